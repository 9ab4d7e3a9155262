#!/usr/bin/env python3
"""Rewrites packages CPack made so that their bytes depend on the commit alone.

CPack (CMake 3.25) takes two things from the machine that PackageStage.cmake cannot reach: the zip
writer stores the packager's user and group id and the files' access and change times in extra
fields of every entry, in the order the folder lists them; and the members of a .deb's outer
archive get the modes of the packager's umask.

Usage: normalise-package.py SOURCE_DATE_EPOCH PACKAGE...
"""
import os
import sys
import time
import zipfile

UNIX = 3
FOLDER_ATTRIBUTE = 0x10  # MS-DOS attribute, for unzip programs that read no Unix mode


def normalise_zip(path, epoch):
    # A zip time has no time zone; the commit's time in UTC is the same on every machine.
    date_time = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path) as source:
        entries = sorted(((info, source.read(info)) for info in source.infolist()),
                         key=lambda entry: entry[0].filename)
    rewritten = path + ".normalised"
    with zipfile.ZipFile(rewritten, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as target:
        for info, data in entries:
            entry = zipfile.ZipInfo(info.filename, date_time)
            entry.create_system = UNIX
            if info.is_dir():
                entry.external_attr = 0o40755 << 16 | FOLDER_ATTRIBUTE
            else:
                executable = (info.external_attr >> 16) & 0o111
                entry.external_attr = (0o100755 if executable else 0o100644) << 16
                entry.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(entry, data)
    os.replace(rewritten, path)


def normalise_deb(path):
    with open(path, "r+b") as deb:
        if deb.read(8) != b"!<arch>\n":
            sys.exit(f"{path}: not an ar archive")
        # Each member: a 60-byte header (mode at 40, 8 bytes; size at 48, 10 bytes), its data,
        # padded to an even length.
        while header := deb.read(60):
            deb.seek(-20, os.SEEK_CUR)
            deb.write(b"100644  ")
            size = int(header[48:58])
            deb.seek(12 + size + size % 2, os.SEEK_CUR)


def main():
    epoch = int(sys.argv[1])
    for path in sys.argv[2:]:
        if path.endswith(".zip"):
            normalise_zip(path, epoch)
        elif path.endswith(".deb"):
            normalise_deb(path)


if __name__ == "__main__":
    main()
