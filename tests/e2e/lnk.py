#!/usr/bin/env python3
# lnk.py FILE FIELD: the target ("target") or the working folder ("workdir") that a shell
# link (.lnk) records; the scenarios read the package's shortcuts with it.
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
pos = 0x4C
if flags & 0x01:                                   # item id list
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
target = ""
if flags & 0x02:                                   # link info: local base path
    size, _, info_flags, _, base = struct.unpack_from("<IIIII", data, pos)
    if info_flags & 1:
        target = data[pos + base:data.index(b"\0", pos + base)].decode("latin-1")
    pos += size
fields = {"target": target}
for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "workdir"), (0x20, "args")):
    if flags & bit:
        count = struct.unpack_from("<H", data, pos)[0]
        width = 2 if flags & 0x80 else 1
        raw = data[pos + 2:pos + 2 + count * width]
        fields[name] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
        pos += 2 + count * width
print(fields.get(sys.argv[2], ""))
