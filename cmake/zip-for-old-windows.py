#!/usr/bin/env python3
"""Writes a copy of a zip whose entry names Windows XP's and Vista's own extraction reads right
on a Chinese system: each name in code page 936 without the UTF-8 flag, which those versions
ignore, plus the Info-ZIP Unicode Path extra field (0x7075) with the name in UTF-8, which
7-Zip, unzip and bsdtar prefer wherever the system's code page is. The data of every entry is
copied, so the files, times and order are those of the original.
Usage: zip-for-old-windows.py ZIP OUTPUT
"""
import struct
import sys
import zlib

LOCAL, CENTRAL, END = b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06"
UTF8_FLAG, HAS_DESCRIPTOR = 0x0800, 0x0008
LOCAL_FORMAT = "<4s5H3L2H"       # signature .. extra length, 30 bytes
CENTRAL_FORMAT = "<4s6H3L5H2L"   # signature .. local header offset, 46 bytes
END_FORMAT = "<4s4H2LH"          # 22 bytes
LEGACY_CODE_PAGE = "cp936"


def legacy_name(name_bytes, flags):
    """The name in the legacy code page and the extra field that carries it in UTF-8, if it
    needs one."""
    name = name_bytes.decode("utf-8" if flags & UTF8_FLAG else "cp437")
    legacy = name.encode(LEGACY_CODE_PAGE)
    if name.isascii():
        return legacy, b""
    utf8 = name.encode("utf-8")
    field = struct.pack("<BL", 1, zlib.crc32(legacy)) + utf8
    return legacy, struct.pack("<2H", 0x7075, len(field)) + field


def convert(data):
    end = data.rfind(END)
    if end < 0:
        raise SystemExit("no end of central directory: not a zip")
    (_, disk, _, _, count, size, offset, _) = struct.unpack_from(END_FORMAT, data, end)
    if disk != 0 or count == 0xFFFF or 0xFFFFFFFF in (size, offset):
        raise SystemExit("split or zip64 archives are not handled")
    entries, central, at = [], [], offset
    for _ in range(count):
        header = list(struct.unpack_from(CENTRAL_FORMAT, data, at))
        if header[0] != CENTRAL:
            raise SystemExit(f"no central directory entry at {at}")
        name_length, extra_length, comment_length = header[10:13]
        start = at + 46
        name = data[start:start + name_length]
        rest = data[start + name_length:start + name_length + extra_length + comment_length]
        entries.append((header, name, rest))
        at = start + name_length + extra_length + comment_length

    out = bytearray()
    for header, name, rest in entries:
        flags, compressed, local_at = header[3], header[8], header[16]
        local = list(struct.unpack_from(LOCAL_FORMAT, data, local_at))
        if local[0] != LOCAL:
            raise SystemExit(f"no local header at {local_at}")
        local_name_length, local_extra_length = local[9], local[10]
        body = local_at + 30 + local_name_length
        local_extra = data[body:body + local_extra_length]
        body += local_extra_length
        end_of_data = body + compressed
        legacy, unicode_field = legacy_name(name, flags)

        # The checksum and sizes go into the local header, where every reader finds them, in
        # place of a data descriptor after the data: unzip takes a descriptor after a local
        # header with a Unicode Path field for overlapping entries.
        local[2] &= ~(UTF8_FLAG | HAS_DESCRIPTOR)
        local[6:9] = header[7:10]
        header[3] &= ~HAS_DESCRIPTOR
        local[9], local[10] = len(legacy), len(local_extra) + len(unicode_field)
        header[3] &= ~UTF8_FLAG
        header[10], header[11] = len(legacy), header[11] + len(unicode_field)
        header[16] = len(out)
        out += struct.pack(LOCAL_FORMAT, *local) + legacy + local_extra + unicode_field
        out += data[body:end_of_data]
        extra = rest[:header[11] - len(unicode_field)]
        comment = rest[len(extra):]
        central.append(struct.pack(CENTRAL_FORMAT, *header) + legacy + extra + unicode_field + comment)

    directory = b"".join(central)
    trailer = data[end:]
    out += directory
    out += struct.pack(END_FORMAT, END, 0, 0, count, count, len(directory), len(out) - len(directory),
                       len(trailer) - 22) + trailer[22:]
    return bytes(out)


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as source:
        converted = convert(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(converted)
