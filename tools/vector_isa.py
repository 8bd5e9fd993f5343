"""Where a binary holds AVX instructions: only in code of the vector paths.

The vector paths are compiled for AVX2 in translation units of their own,
and everything they define carries ``avx2`` in its name (namespace
``lanes::avx2``, ``models::avx2``, or a template instantiated for
``lanes::avx2::Lanes4``). An inline function that the baseline code shares
with such a unit is emitted by both, and the linker keeps one copy: if it
keeps the AVX2 one, the baseline path runs AVX instructions, and crashes on
a processor without them. That copy has a name without ``avx2``; this finds
it in the disassembly (objdump from binutils).

    python3 tools/vector_isa.py BINARY [--expect NAME]...

lists every function with AVX instructions and no ``avx2`` in its name and
exits 1 if there is one; with ``--expect NAME``, it also fails unless a
function whose demangled name contains NAME exists and holds AVX
instructions (so that the check cannot pass on a disassembly it did not
understand). Exits 2 where it cannot check: no objdump, or a binary
without a symbol table (stripped), whose functions have no names.
"""
from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys

# Mnemonics that begin with "v" but are not VEX or EVEX encoded: segment
# verification and the virtualisation instructions (VMX, SVM).
NOT_AVX = frozenset({
    "verr", "verw", "vmcall", "vmclear", "vmfunc", "vmgexit", "vmlaunch", "vmload",
    "vmmcall", "vmptrld", "vmptrst", "vmread", "vmresume", "vmrun", "vmsave", "vmwrite",
    "vmxoff", "vmxon",
})
# Prefixes that objdump writes before a mnemonic.
PREFIXES = frozenset({
    "lock", "rep", "repe", "repz", "repne", "repnz", "notrack", "bnd", "data16", "addr32",
    "cs", "ds", "es", "fs", "gs", "ss", "{vex}", "{vex3}", "{evex}",
})
WIDE_REGISTER = re.compile(r"%[yz]mm\d")
FUNCTION = re.compile(r"^[0-9a-f]+ <(.+)>:$")
INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\t(.*)$")


class CannotCheck(Exception):
    """The binary cannot be checked here; the message says why."""


def _environment() -> dict[str, str]:
    # Under the sanitizers the test process preloads the ASan runtime; objdump
    # is not built for it.
    return {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def _objdump() -> str:
    objdump = shutil.which("objdump")
    if objdump is None:
        raise CannotCheck("objdump (binutils) is not installed")
    return objdump


def has_symbol_table(path: str) -> bool:
    out = subprocess.run([_objdump(), "-t", path], capture_output=True, text=True,
                         check=True, env=_environment()).stdout
    return "no symbols" not in out.split("SYMBOL TABLE:", 1)[-1][:200]


def disassemble(path: str) -> str:
    if not has_symbol_table(path):
        raise CannotCheck(f"{path} has no symbol table (stripped): its functions have no names")
    return subprocess.run([_objdump(), "-d", "--no-show-raw-insn", "-C", path],
                          capture_output=True, text=True, check=True, env=_environment()).stdout


def is_avx(instruction: str) -> bool:
    words = instruction.split()
    while words and words[0] in PREFIXES:
        words = words[1:]
    if not words:
        return False
    mnemonic = words[0]
    if mnemonic.startswith("v") and mnemonic not in NOT_AVX:
        return True
    return WIDE_REGISTER.search(instruction) is not None


def functions(disassembly: str) -> dict[str, list[str]]:
    """Every function of the disassembly, with its AVX instructions (maybe none)."""
    found: dict[str, list[str]] = {}
    current = None
    for line in disassembly.splitlines():
        header = FUNCTION.match(line)
        if header:
            current = found.setdefault(header.group(1), [])
            continue
        instruction = INSTRUCTION.match(line)
        if instruction and current is not None and is_avx(instruction.group(1)):
            current.append(instruction.group(1).strip())
    return found


def offenders(found: dict[str, list[str]]) -> dict[str, list[str]]:
    """The functions with AVX instructions and no "avx2" in their name."""
    return {name: avx for name, avx in found.items() if avx and "avx2" not in name}


def describe(found: dict[str, list[str]]) -> str:
    return "\n".join(f"  {name}: {len(avx)} AVX instructions, e.g. {avx[0]}"
                     for name, avx in sorted(found.items()))


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("binary")
    parser.add_argument("--expect", action="append", default=[],
                        help="a function name (part of it) that must hold AVX instructions")
    args = parser.parse_args(argv)
    try:
        found = functions(disassemble(args.binary))
    except CannotCheck as reason:
        print(f"vector_isa: cannot check: {reason}", file=sys.stderr)
        return 2
    status = 0
    bad = offenders(found)
    if bad:
        print(f"vector_isa: {args.binary}: AVX instructions outside the vector paths:\n"
              + describe(bad), file=sys.stderr)
        status = 1
    for name in args.expect:
        if not any(name in f and avx for f, avx in found.items()):
            print(f"vector_isa: {args.binary}: no function named like {name} "
                  "with AVX instructions", file=sys.stderr)
            status = 1
    vector = {f: avx for f, avx in found.items() if avx}
    print(f"vector_isa: {args.binary}: {len(found)} functions, {len(vector)} with AVX "
          f"instructions, {len(bad)} of them outside the vector paths")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
