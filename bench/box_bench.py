#!/usr/bin/python3
"""Runs the lossless-path benchmark (box_bench.exe under Wine: the encoder alone, then the whole
graph into a movie) on the synthetic screen recording, then Debian's ffmpeg flashsv encoder on the
same raw frames into a .swf, and prints time and size side by side.

    bench/box_bench.py [--build win32|win64] [frames]
        (after scripts/build; the shipped win32 build and 300 frames by default)
"""

import os

from winebench import arguments, ffmpeg_seconds, run_bench

build, frames = arguments(__doc__)
width, height = 1280, 720
work, output = run_bench(build, "box_bench", frames)

rows = []
for line in output.splitlines():
    fields = line.split()
    if len(fields) == 6 and fields[0] in ("encoder", "graph"):
        what = "SwfBoxEncoder alone" if fields[0] == "encoder" else "whole graph (source, SwfMuxer, File Dump)"
        rows.append((what, float(fields[3]), float(fields[4]) * 1e6))

raw = os.path.join(work, "frames32.raw")
for gop in (12, frames):
    movie = os.path.join(work, "flashsv_g%d.swf" % gop)
    seconds = ffmpeg_seconds(["-f", "rawvideo", "-pix_fmt", "bgr0", "-s", "%dx%d" % (width, height), "-r", "10",
                              "-i", raw, "-c:v", "flashsv", "-g", str(gop), "-y", movie])
    label = "ffmpeg flashsv, key frame every %d" % gop if gop < frames else "ffmpeg flashsv, first frame key only"
    rows.append((label, frames / seconds, os.path.getsize(movie)))
    os.remove(movie)
os.remove(raw)

raw_bytes = width * height * 4 * frames
print()
print("%d frames of %dx%d RGB32; ffmpeg's time includes reading the raw file and converting to bgr24" % (
    frames, width, height))
print("%-44s %8s %10s %7s" % ("", "fps", "movie MB", "ratio"))
for what, fps, size in rows:
    print("%-44s %8.1f %10.2f %7.1f" % (what, fps, size / 1e6, raw_bytes / size))
