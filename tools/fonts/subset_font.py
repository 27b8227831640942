#!/usr/bin/python3
"""Keeps only the glyphs of a TrueType file that the installer can draw with it.

The kept characters are every character of the given text files (the language files), every
printable ASCII character (numbers, units and the texts the program composes itself) and any
extra text given with --text. A character the font lacks stays missing, and Windows draws it
with a fallback font as before. The glyph outlines, metrics and layout rules of the kept
characters are unchanged; run rename_font.py on the result to give it the installer's face name.

usage: subset_font.py SOURCE.ttf TARGET.ttf [--text TEXT] TEXTFILE...
"""
import argparse

from fontTools import subset
from fontTools.ttLib import TTFont

PRINTABLE_ASCII = "".join(chr(c) for c in range(0x20, 0x7F))


def characters(text_files, extra_text):
    wanted = set(PRINTABLE_ASCII) | set(extra_text)
    for path in text_files:
        with open(path, encoding="utf-8") as f:
            wanted |= set(f.read())
    return {ord(c) for c in wanted if c.isprintable() or c == "\u00a0"}


def make_subset(source, target, codepoints):
    options = subset.Options()
    options.notdef_outline = True  # a box for characters that fall through to it
    options.name_IDs = ["*"]       # rename_font.py rewrites the ones the installer asks for
    options.name_languages = ["*"]
    font = TTFont(source)
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=codepoints)
    subsetter.subset(font)
    font.save(target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("target")
    parser.add_argument("text_files", nargs="*")
    parser.add_argument("--text", default="", help="further characters to keep")
    args = parser.parse_intermixed_args()
    make_subset(args.source, args.target, characters(args.text_files, args.text))


if __name__ == "__main__":
    main()
