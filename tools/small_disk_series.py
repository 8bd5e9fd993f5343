"""Derives the iterated Laplacians of the point-lens magnification.

A(u) = (u^2 + 2) / (u sqrt(u^2 + 4)) is radially symmetric in the lens
plane, so its Laplacian is A'' + A'/u. The mean of A over a disk of radius
R centred at distance u is sum_k (R^2/4)^k Lap^k A(u) / (k! (k+1)!)
(Pizzetti); src/models/concentric_disks.cpp evaluates the terms k = 0..4
printed here. Run: python tools/small_disk_series.py
"""
import sympy as sp


def main() -> None:
    u = sp.symbols("u", positive=True)
    f = (u**2 + 2) / (u * sp.sqrt(u**2 + 4))
    for k in range(1, 5):
        f = sp.simplify(sp.diff(f, u, 2) + sp.diff(f, u) / u)
        coefficient = sp.factorial(k) * sp.factorial(k + 1)
        print(f"k={k}: Lap^k A = {sp.factor(f)};  k!(k+1)! = {coefficient}")


if __name__ == "__main__":
    main()
