#!/usr/bin/python3
"""Gives a TrueType file the family name that the installer asks for.

The stock Roboto files all call their family "Roboto", so a request for the face "Roboto Bold"
would fall back to some other font. The installer embeds copies whose family, full and
PostScript names are its own face names, each family with one member.

usage: rename_font.py SOURCE.ttf TARGET.ttf "Roboto Bold"
"""
import sys

from fontTools.ttLib import TTFont

# nameID: 1 family, 2 subfamily, 3 unique id, 4 full name, 6 PostScript name,
# 16/17 typographic family/subfamily (dropped: they would regroup the faces under "Roboto").
FAMILY, SUBFAMILY, UNIQUE_ID, FULL_NAME, POSTSCRIPT_NAME = 1, 2, 3, 4, 6
TYPOGRAPHIC = (16, 17)


def rename(source: str, target: str, face: str) -> None:
    font = TTFont(source)
    table = font["name"]
    table.names = [n for n in table.names if n.nameID not in TYPOGRAPHIC]
    postscript = face.replace(" ", "-")
    for nameID, text in ((FAMILY, face), (SUBFAMILY, "Regular"), (UNIQUE_ID, postscript),
                         (FULL_NAME, face), (POSTSCRIPT_NAME, postscript)):
        table.removeNames(nameID=nameID)
        table.setName(text, nameID, 3, 1, 0x409)  # Windows, Unicode BMP, English (US)
        table.setName(text, nameID, 1, 0, 0)      # Macintosh, Roman, English
    font.save(target)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    rename(*sys.argv[1:])
