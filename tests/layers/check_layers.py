#!/usr/bin/env python3
"""Fails when a source folder includes a folder of a higher floor."""
import pathlib
import re
import sys

# Floors from the ground up; a folder includes only its own floor's folder and those below.
FLOORS = [{"platform"}, {"settings", "log"}, {"context"}, {"gsm"}, {"mail"}, {"gate"}, {"core"},
          {"ui", "install"}, {"app"}]
FLOOR = {folder: n for n, floor in enumerate(FLOORS) for folder in floor}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)

src = pathlib.Path(sys.argv[1])
faults = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or path.parent.name not in FLOOR:
        continue
    own = path.parent.name
    for used in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
        if used in FLOOR and used != own and FLOOR[used] >= FLOOR[own]:
            faults.append(f"{path.relative_to(src)} includes {used}/")
print("\n".join(faults) or "every include runs down")
sys.exit(1 if faults else 0)
