"""The demo collection's games: one table from which both the bundled datafile and the demo
ROM files are made, so the CRCs of the datafile are those of the files.

Each ROM has a content key; its bytes are the key repeated up to its size. ROMs of equal key
are one ROM image (shared by CRC between sets).
"""
import zlib

# set name, set description, neo-geo flag, [(clone name, clone description, [(rom name, key, size, own)])]
# A key of None is a ROM whose good dump is unknown (CRC 00000000); "placeholder" is the
# "No roms needed" entry of a machine without ROMs.
GAMES = [
    ("calcdesk", "Desk Calculator Demo", False, [
        ("calcdesk", "Desk Calculator Demo", [("No roms needed", "placeholder", 0, True)]),
    ]),
    ("gemquest", "Gem Quest (Neo-Geo)", True, [
        ("gemquest", "Gem Quest (Neo-Geo)", [
            ("gq-c1.c1", "gemquest tiles 1", 512, True),
            ("gq-c2.c2", "gemquest tiles 2", 512, True),
            ("gq-m1.m1", "gemquest z80", 128, True),
            ("gq-p1.p1", "gemquest program", 256, True),
            ("gq-s1.s1", "gemquest fix layer", 128, True),
            ("gq-v1.v1", "gemquest samples", 384, True),
        ]),
    ]),
    ("moonrace", "Moon Racer (set 1)", False, [
        ("moonrace", "Moon Racer (set 1)", [
            ("mr-1.bin", "moonrace cpu 1", 256, True),
            ("mr-2.bin", "moonrace cpu 2", 256, True),
            ("mr-gfx.bin", "moonrace graphics", 384, True),
            ("mr-snd.bin", "moonrace sound", 128, True),
        ]),
        ("moonracea", "Moon Racer (set 2, bootleg)", [
            ("mr-1.bin", "moonrace cpu 1", 256, False),
            ("mr-2a.bin", "moonrace bootleg cpu 2", 256, True),
            ("mr-gfx.bin", "moonrace graphics", 384, False),
            ("mr-pal.pal", None, 260, True),
            ("mr-snd.bin", "moonrace sound", 128, False),
        ]),
    ]),
    ("neogeo", "Neo-Geo Bios", True, [
        ("neogeo", "Neo-Geo Bios", [
            ("000-lo.lo", "neogeo zoom table", 256, True),
            ("neo-geo.rom", "neogeo bios", 512, True),
            ("ng-sfix.rom", "neogeo fix", 128, True),
            ("ng-sm1.rom", "neogeo sound driver", 128, True),
        ]),
    ]),
    ("pixelpop", "Pixel Pop", False, [
        ("pixelpop", "Pixel Pop", [
            ("pp-prg.u1", "pixelpop program", 256, True),
            ("pp-gfx.u5", "pixelpop graphics", 256, True),
            ("snd.u7", "shared sound board", 192, True),
        ]),
    ]),
    ("starblas", "Star Blaster (World)", False, [
        ("starblas", "Star Blaster (World)", [
            ("sb-1.6f", "starblas program 1", 256, True),
            ("sb-2.6h", "starblas program 2", 256, True),
            ("sb-gfx.5d", "starblas graphics", 512, True),
            ("snd.u7", "shared sound board", 192, True),
        ]),
        ("starblasj", "Star Blaster (Japan)", [
            ("sb-1j.6f", "starblas japan program 1", 256, True),
            ("sb-2.6h", "starblas program 2", 256, False),
            ("sb-gfx.5d", "starblas graphics", 512, False),
            ("snd.u7", "shared sound board", 192, False),
        ]),
        ("starblasu", "Star Blaster (US)", [
            ("sb-1u.6f", "starblas us program 1", 256, True),
            ("sb-2.6h", "starblas program 2", 256, False),
            ("sb-gfx.5d", "starblas graphics", 512, False),
            ("snd.u7", "shared sound board", 192, False),
        ]),
    ]),
    ("turbotk", "Turbo Truck", False, [
        ("turbotk", "Turbo Truck", [
            ("tt-prg.bin", "turbotk program", 256, True),
            ("tt-tiles.bin", "turbotk tiles", 320, True),
        ]),
    ]),
]


def content(key, size):
    """The bytes of a ROM image."""
    if key in (None, "placeholder"):
        return b""
    unit = (key + "\n").encode("ascii")
    return (unit * (size // len(unit) + 1))[:size]


def crc_text(key, size):
    if key == "placeholder":
        return " " * 8
    if key is None:
        return "00000000"
    return "%08x" % (zlib.crc32(content(key, size)) & 0xFFFFFFFF)
