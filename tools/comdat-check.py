#!/usr/bin/env python3
"""Checks a MinGW program linked with a static Qt for functions that both the program's own
objects and Qt compile (template instances, inline functions), from the linker's map
(-Wl,-Map=FILE).

The linker keeps one copy of such a function and drops the others. GCC compiles a caller
knowing which registers its own copy of the callee leaves alone (interprocedural register
allocation), so a caller in Qt whose copy was dropped for one of the program's may find a
register clobbered: the Windows build once crashed so in QTemporaryDir. A function is listed
when the kept copy uses a register that the Windows calling convention lets a callee clobber,
and a dropped copy of the other side neither uses it nor calls out (a call clobbers them all).

Usage: comdat-check.py MAP QT-PREFIX [FOLDER]: QT-PREFIX is a part of the names of Qt's
archives, FOLDER the one the program was linked in (the map's names are relative to it; the
current one when not given). Exit status: 0 none listed, 1 some listed, 2 the map or an object cannot
be read."""
import os
import re
import subprocess
import sys
import tempfile

SECTION = re.compile(r"^ \.text\$(\S+)\s*$")
PLACE = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
MEMBER = re.compile(r"^(.*)\((.*)\)$")
VOLATILE = {
    "rax": "rax", "eax": "rax", "ax": "rax", "al": "rax", "ah": "rax",
    "rcx": "rcx", "ecx": "rcx", "cx": "rcx", "cl": "rcx", "ch": "rcx",
    "rdx": "rdx", "edx": "rdx", "dx": "rdx", "dl": "rdx", "dh": "rdx",
}
for n in (8, 9, 10, 11):
    for suffix in ("", "d", "w", "b"):
        VOLATILE[f"r{n}{suffix}"] = f"r{n}"
for n in range(6):
    for kind in ("xmm", "ymm"):
        VOLATILE[f"{kind}{n}"] = f"xmm{n}"
REGISTER = re.compile(r"%([a-z0-9]+)")
# Instructions that write registers they do not name.
IMPLICIT = {"div": {"rax", "rdx"}, "idiv": {"rax", "rdx"}, "mul": {"rax", "rdx"},
            "cpuid": {"rax", "rcx", "rdx"}, "rdtsc": {"rax", "rdx"}, "cqto": {"rdx"},
            "cltq": {"rax"}, "cltd": {"rdx"}, "rep": {"rcx"}, "movs": {"rcx"}}


def sections(path, foreign):
    """name -> list of (side, object) for each copy the map lists, kept one first."""
    found = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        discarded = True
        section = None
        for line in f:
            if line.startswith("Linker script and memory map"):
                discarded = False
            m = SECTION.match(line)
            if m:
                section = m.group(1)
                continue
            m = PLACE.match(line) if section else None
            if m:
                where = m.group(2).strip()
                side = "qt" if foreign in where else "own"
                entry = (side, where)
                copies = found.setdefault(section, [])
                copies.insert(0, entry) if not discarded else copies.append(entry)
            section = None
    return found


class Objects:
    """Disassembles one section of an object or of an archive member."""

    def __init__(self, base, scratch):
        self.base, self.scratch, self.extracted = base, scratch, {}

    def file(self, where):
        m = MEMBER.match(where)
        if not m:
            return os.path.join(self.base, where)
        archive, member = os.path.join(self.base, m.group(1)), m.group(2)
        key = (archive, member)
        if key not in self.extracted:
            folder = os.path.join(self.scratch, str(len(self.extracted)))
            os.makedirs(folder)
            subprocess.run(["x86_64-w64-mingw32-ar", "x", archive, member], cwd=folder,
                           check=True)
            self.extracted[key] = os.path.join(folder, member)
        return self.extracted[key]

    def use(self, where, name):
        """(volatile registers it names or writes, whether it calls or jumps out)"""
        text = subprocess.run(["x86_64-w64-mingw32-objdump", "-dr", "-j", ".text$" + name,
                               self.file(where)], capture_output=True, text=True,
                              check=True).stdout
        used, calls, jump = set(), False, False
        for line in text.splitlines():
            if "IMAGE_REL_AMD64_REL32" in line and jump:
                calls = True  # a jump to another function's code: a tail call
            parts = line.split("\t")
            if len(parts) < 3 or not parts[2].split():
                continue
            op = parts[2].split()[0]
            calls = calls or op.startswith("call")
            jump = op.startswith("jmp")
            used |= {VOLATILE[r] for r in REGISTER.findall(parts[2]) if r in VOLATILE}
            for prefix, regs in IMPLICIT.items():
                if op.startswith(prefix):
                    used |= regs
        return used, calls


def main():
    if len(sys.argv) not in (3, 4):
        print("usage: comdat-check.py MAP QT-PREFIX [FOLDER]", file=sys.stderr)
        return 2
    try:
        found = sections(sys.argv[1], sys.argv[2])
        listed = 0
        with tempfile.TemporaryDirectory() as scratch:
            objects = Objects(sys.argv[3] if len(sys.argv) == 4 else os.getcwd(), scratch)
            for name, copies in sorted(found.items()):
                if len({side for side, _ in copies}) < 2:
                    continue
                kept_side, kept = copies[0]
                kept_use, _ = objects.use(kept, name)
                for side, where in copies[1:]:
                    if side == kept_side:
                        continue
                    use, calls = objects.use(where, name)
                    if not calls and not kept_use <= use:
                        listed += 1
                        print(f"{name}: kept from {kept} uses {sorted(kept_use - use)}, "
                              f"which {where} leaves alone")
                        break
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"comdat-check: {e}", file=sys.stderr)
        return 2
    return 1 if listed else 0


if __name__ == "__main__":
    sys.exit(main())
