"""The accuracy tables of two benchmark reports side by side.

    python benchmarks/run.py --out /tmp/before      # with the earlier build installed
    python benchmarks/run.py                        # with this build: results/report.md
    python benchmarks/before_after.py /tmp/before/report.md results/report.md \
        results/accuracy_before_after.md
"""
import re
import sys
def rows(path):
    overall={}; perrho={}; section=None; hdr=None; caption=''
    for line in open(path):
        if line.startswith('## '): section=line[3:].strip(); hdr=None; continue
        if line.startswith('Largest relative error') or line.startswith('Time per separation'): caption=line; continue
        if line.startswith('| method'):
            hdr=[c.strip() for c in line.strip().strip('|').split('|')]; continue
        if line.startswith('|') and hdr and not line.startswith('|---'):
            cells=[c.strip() for c in line.strip().strip('|').split('|')]
            if not re.match(r'(integrated_|witt_mao|heyrovsky|discrete)', cells[0]): continue
            d=dict(zip(hdr,cells))
            if 'max rel. error' in hdr: overall.setdefault((section,cells[0]),d)
            elif caption.startswith('Largest') and 'ρ = 0.1' in hdr: perrho.setdefault((section,cells[0]),d)
    return overall, perrho
before_path, after_path, out_path = sys.argv[1:4]
bo,bp=rows(before_path); ao,ap=rows(after_path)
out=["# Accuracy before and after the closed forms were made exact near the limb, the ring and far out",
"",
"Both columns are `python benchmarks/run.py` on the same 290-point mpmath reference set (`benchmarks/data/reference.tsv`):",
"*before* with the module of revision e26c388, *after* with this revision (`results/report.md`). Worst relative error.",
"The tabulated and discrete maps are measured against the built-in law, so their figures are the error of tabulating it (101 radii, N rings), not of the module.",
"Made by `benchmarks/before_after.py`.",
"The regime-by-regime validation against a two-route truth, with the peers, is `validation.md`.",
"","| function | before: max | after: max | before: max where \\|x − 1\\| ≥ 1e-2 | after |","|---|---|---|---|---|"]
for k,a in ao.items():
    b=bo.get(k)
    if not b: continue
    F=[h for h in a if h.startswith('max where')][0]
    out.append("| %s | %s | %s | %s | %s |" % (k[1], b['max rel. error'], a['max rel. error'], b[F], a[F]))
rhos=['ρ = 0.001','ρ = 0.01','ρ = 0.1','ρ = 1','ρ = 10']
out+=["","Largest relative error for each source size (before → after):","","| function | "+" | ".join(rhos)+" |","|---|"+"---|"*len(rhos)]
for k,a in ap.items():
    b=bp.get(k)
    if not b: continue
    out.append(f"| {k[1]} | "+" | ".join(f"{b.get(r,'-')} → {a.get(r,'-')}" for r in rhos)+" |")
open(out_path,'w').write("\n".join(out)+"\n")
