#!/usr/bin/env python3
"""Lists what of the toolchain's run-time the statically linked Windows programs contain, read
from the linker's maps: each object file and archive from outside the build tree, with the
members the linker took from the archives. With --notices, fails unless the notices file names
every one of them, so that a new run-time part cannot ship without its notice.
Usage: runtime-parts.py [--notices FILE] MAP...
"""
import collections
import pathlib
import re
import sys

# "…/libmingwex.a(lib32_libmingwex_a-gdtoa.o)" at the start of a line of the map's first part.
MEMBER = re.compile(r"^(/\S+\.a)\((\S+)\)$")
LOADED_OBJECT = re.compile(r"^LOAD (/\S+\.o)$")
# The members of an import library: one stub per function of the DLL, its head and its tail.
IMPORT_STUB = re.compile(r"^lib\w+?(h|t|s\d+|_defh|_deft|_defs\d+)\.o$")


def parts(maps):
    found = collections.defaultdict(set)
    for map_file in maps:
        for line in pathlib.Path(map_file).read_text(encoding="utf-8", errors="replace").splitlines():
            member = MEMBER.match(line)
            loaded = LOADED_OBJECT.match(line)
            if member:
                name = re.sub(r"^lib\d*_lib\w+?_a-", "", member.group(2))
                found[pathlib.Path(member.group(1)).name].add(name)
            elif loaded:
                found[pathlib.Path(loaded.group(1)).name]
    return found


def main(arguments):
    notices = None
    if arguments[:1] == ["--notices"]:
        notices, arguments = pathlib.Path(arguments[1]).read_text(encoding="utf-8"), arguments[2:]
    found = parts(arguments)
    for name in sorted(found):
        members = sorted(member for member in found[name] if not IMPORT_STUB.match(member))
        stubs = len(found[name]) - len(members)
        print(f"{name}: {' '.join(members)}{f' ({stubs} import stubs)' if stubs else ''}".rstrip())
    if not found:
        print("no run-time parts found: the maps are not what this reader expects")
        return 1
    if notices is not None:
        missing = [name for name in sorted(found) if name not in notices]
        if missing:
            print(f"not named in the notices: {' '.join(missing)}")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
