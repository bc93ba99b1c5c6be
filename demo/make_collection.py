"""Builds the demo collection from demo_set.py: a few complete sets, some partial ones, one
archive under a wrong name, one archive nobody needs, one corrupt archive.

usage: make_collection.py ROMDIR
"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_set import GAMES, content  # noqa: E402


def set_roms(set_name):
    """Every ROM of a set (all clones), one per name, as (name, key, size)."""
    for name, _desc, _neogeo, clones in GAMES:
        if name != set_name:
            continue
        roms = {}
        for _clone, _cdesc, entries in clones:
            for rom_name, key, size, _own in entries:
                if key not in (None, "placeholder"):
                    roms.setdefault(rom_name, (key, size))
        return roms
    raise KeyError(set_name)


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(name, data)


def main():
    romdir = sys.argv[1]
    os.makedirs(romdir, exist_ok=True)

    def archive(file_name, set_name, leave_out=()):
        roms = set_roms(set_name)
        write_zip(os.path.join(romdir, file_name),
                  [(n, content(k, s)) for n, (k, s) in sorted(roms.items()) if n not in leave_out])

    archive("neogeo.zip", "neogeo")                               # complete
    archive("gemquest.zip", "gemquest")                           # complete
    archive("moonrace.zip", "moonrace", leave_out={"mr-2a.bin"})  # the bootleg lacks its own ROM
    archive("pixelpop.zip", "pixelpop", leave_out={"pp-gfx.u5"})  # partial
    archive("starblaster.zip", "starblas")                        # complete, under a wrong name
    write_zip(os.path.join(romdir, "mystery.zip"), [("notes.bin", b"nobody needs this\n")])
    with open(os.path.join(romdir, "broken.zip"), "wb") as f:     # not a zip archive at all
        f.write(b"PK\x03\x04 this download was cut short" + bytes(64))
    # turbotk is missing; calcdesk needs no ROMs.


if __name__ == "__main__":
    main()
