#!/usr/bin/python3
"""Runs the lossless-path benchmark (box_bench.exe under Wine: the encoder alone, then the whole
graph into a movie) on the synthetic screen recording, then Debian's ffmpeg flashsv encoder on the
same raw frames into a .swf, and prints time and size side by side.

    bench/box_bench.py [frames]      (after scripts/build; frames default 300)
"""

import os
import re
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
frames = int(sys.argv[1]) if len(sys.argv) > 1 else 300
work = os.path.join(root, "build", "bench", "box")
os.makedirs(work, exist_ok=True)
width, height = 1280, 720

bench = os.path.join(root, "build", "win64", "bench", "box_bench.exe")
run = subprocess.run([os.path.join(root, "scripts", "wine-run"), bench, ".", str(frames)], cwd=work,
                     capture_output=True, text=True, timeout=3600)
print(run.stdout, end="")
if run.returncode != 0:
    sys.exit("box_bench failed:\n" + run.stderr)

rows = []
for line in run.stdout.splitlines():
    fields = line.split()
    if len(fields) == 6 and fields[0] in ("encoder", "graph"):
        what = "SwfBoxEncoder alone" if fields[0] == "encoder" else "whole graph (source, SwfMuxer, File Dump)"
        rows.append((what, float(fields[3]), float(fields[4]) * 1e6))

raw = os.path.join(work, "frames32.raw")
for gop in (12, frames):
    movie = os.path.join(work, "flashsv_g%d.swf" % gop)
    result = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-benchmark", "-f", "rawvideo", "-pix_fmt", "bgr0",
                             "-s", "%dx%d" % (width, height), "-r", "10", "-i", raw, "-c:v", "flashsv", "-g", str(gop),
                             "-y", movie], capture_output=True, text=True, timeout=3600)
    if result.returncode != 0:
        sys.exit("ffmpeg failed:\n" + result.stderr[-2000:])
    seconds = float(re.search(r"rtime=([0-9.]+)s", result.stderr).group(1))
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
