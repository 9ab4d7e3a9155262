#!/usr/bin/env python3
"""Prints a zip's names as Windows lists them: xp (XP's and Vista's own extraction) reads the
name's bytes in the system's CODE_PAGE, the UTF-8 flag ignored; win7 (7 and later) reads UTF-8
where flagged. Every entry's data and local header are read too.
Usage: zip-names.py ZIP xp|win7 CODE_PAGE
"""
import sys
import zipfile

path, reader, code_page = sys.argv[1:4]
with zipfile.ZipFile(path, metadata_encoding=code_page) as archive:
    broken = archive.testzip()
    if broken:
        sys.exit(f"{path}: {broken} is damaged or its local header disagrees")
    for entry in archive.infolist():
        flagged = entry.flag_bits & 0x800
        raw = entry.orig_filename.encode("utf-8" if flagged else code_page)
        print(raw.decode("utf-8" if flagged and reader == "win7" else code_page, "replace"))
