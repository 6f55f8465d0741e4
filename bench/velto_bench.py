#!/usr/bin/python3
"""Runs the codec benchmark (velto_bench.exe under Wine) on its synthetic screen recording, then
Debian's ffmpeg zmbv encoder on the same raw frames (32-bit as bgr0, 16-bit as rgb565le; zmbv has
no 24-bit input), and prints both side by side.

    bench/velto_bench.py [--build win32|win64] [frames]
        (after scripts/build; the shipped win32 build and 300 frames by default)
"""

import os
import subprocess
import sys

from winebench import arguments, ffmpeg_seconds, run_bench

build, frames = arguments(__doc__)
width, height = 1280, 720
work, output = run_bench(build, "velto_bench", frames)

ours = {}
for line in output.splitlines():
    fields = line.split()
    if len(fields) == 10 and fields[0] in ("wbvk", "coder"):
        ours[(fields[0], int(fields[1]), int(fields[2]))] = {
            "ratio": float(fields[6]), "enc": float(fields[7]), "dec": float(fields[8]), "bad": int(fields[9])}


def stream_bytes(path):
    sizes = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=size",
                            "-of", "csv=p=0", path], capture_output=True, text=True, check=True).stdout.split()
    return sum(int(size) for size in sizes)


theirs = {}
for bits, pixel_format in ((32, "bgr0"), (16, "rgb565le")):
    raw = os.path.join(work, "frames%d.raw" % bits)
    raw_bytes = os.path.getsize(raw)
    for level in (1, 6, 9):
        movie = os.path.join(work, "zmbv%d_%d.avi" % (bits, level))
        encode = ffmpeg_seconds(["-f", "rawvideo", "-pix_fmt", pixel_format, "-s", "%dx%d" % (width, height),
                                 "-r", "10", "-i", raw, "-c:v", "zmbv", "-g", "80", "-compression_level", str(level),
                                 "-y", movie])
        decode = ffmpeg_seconds(["-i", movie, "-f", "null", "-"])
        theirs[(bits, level)] = {"ratio": raw_bytes / stream_bytes(movie), "enc": raw_bytes / 1e6 / encode,
                                 "dec": raw_bytes / 1e6 / decode}
        os.remove(movie)
    os.remove(raw)

print()
print("%d frames of %dx%d; MB/s of raw frame data; ffmpeg times include reading the raw file" % (frames, width,
                                                                                               height))
print("%-5s %-5s | %-26s | %-26s" % ("bits", "level", "wbvk: ratio  enc   dec", "zmbv: ratio  enc   dec"))
for bits in (32, 16, 24):
    for level in (1, 6, 9):
        mine = ours.get(("wbvk", bits, level))
        other = theirs.get((bits, level))
        left = "%6.1f %6.0f %6.0f" % (mine["ratio"], mine["enc"], mine["dec"]) if mine else "-"
        right = "%6.1f %6.0f %6.0f" % (other["ratio"], other["enc"], other["dec"]) if other else "(no 24-bit input)"
        print("%-5d %-5d |       %-20s |       %-20s" % (bits, level, left, right))
if any(entry["bad"] for entry in ours.values()):
    sys.exit("some frames did not round-trip")
