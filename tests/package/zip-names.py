#!/usr/bin/env python3
"""Prints the names of a zip's files as one reader lists them:
  xp    Windows XP's and Vista's own extraction: the name's bytes in the system's code page,
        the UTF-8 flag ignored
  win7  Windows 7 and later: UTF-8 where the flag says so, else the system's code page
Each entry's data and local header are read as well, and must agree with its listing.
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
