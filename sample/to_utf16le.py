"""Rewrites 8-bit INF files in place as UTF-16LE with a byte-order mark, the
encoding many driver packages ship their INFs in."""
import sys

for path in sys.argv[1:]:
    with open(path, "rb") as source:
        data = source.read()
    if data.startswith(b"\xff\xfe"):
        continue
    with open(path, "wb") as target:
        target.write(b"\xff\xfe" + data.decode("latin-1").encode("utf-16-le"))
