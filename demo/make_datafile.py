"""Writes the bundled demo datafile (datas/demo.dat) from demo_set.py."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_set import GAMES, crc_text  # noqa: E402

D = "\xac"
HEADER = [
    "[CREDITS]", "Author=Quillmark demo", "Version=1.0", "Comment=Invented games for the demo collection",
    "[DAT]", "version=1.90",
    "[EMULATOR]", "refname=mame", "version=Demo Arcade 1.0", "exe=", "runcmd=", "romspaths=",
    "[GAMES]",
]

lines = list(HEADER)
for set_name, set_desc, neogeo, clones in GAMES:
    for clone_name, clone_desc, roms in clones:
        for rom_name, key, size, own in roms:
            fields = [set_name, set_desc, clone_name, clone_desc, rom_name, crc_text(key, size),
                      "O" if neogeo else "N", "O" if own else "N", str(size)]
            lines.append(D + D.join(fields) + D)

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "datas", "demo.dat")
os.makedirs(os.path.dirname(out), exist_ok=True)
with open(out, "wb") as f:
    f.write(("\r\n".join(lines) + "\r\n").encode("cp1252"))
print(out)
