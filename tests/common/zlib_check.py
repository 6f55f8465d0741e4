#!/usr/bin/python3
"""Host check: the Windows build's deflate output inflates to its input with Python's zlib, and is
byte-identical to Python's own level-6 output when both use the same zlib version."""
import sys
import zlib

data = open("zlib_input.bin", "rb").read()
packed = open("zlib_level6.bin", "rb").read()
version = open("zlib_version.txt").read().strip()

if zlib.decompress(packed) != data:
    sys.exit("deflate output does not inflate to its input")
if version == zlib.ZLIB_RUNTIME_VERSION:
    if zlib.compress(data, 6) != packed:
        sys.exit(f"level-6 output differs from Python's zlib {version}")
    print(f"identical to zlib {version}")
else:
    print(f"versions differ ({version} vs {zlib.ZLIB_RUNTIME_VERSION}): round trip only")
