#!/usr/bin/python3
"""Converts the synthetic screen recording (bench/screen.h, 1280x720, 10 fps) end to end: as a raw
RGB32 AVI, by the conversion engine (run_project.exe in the media prefix, lossless) and by
Debian's ffmpeg flashsv encoder (-g 12); prints speed, size and compression of both.

    bench/convert_bench.py [--build win32|win64] [frames]
        (after scripts/build; the shipped win32 build and 300 frames by default)
"""

import os
import re
import subprocess
import sys

from winebench import arguments, ffmpeg_seconds, root, windows_path, work_folder, write_lossless_project

build, frames = arguments(__doc__)
width, height = 1280, 720
work = work_folder(build, "convert")

raw = os.path.join(work, "screen.raw")
avi = os.path.join(work, "screen.avi")
subprocess.run([os.path.join(root, "scripts", "wine-run"), os.path.join(build, "bench", "screen_raw.exe"),
                windows_path(raw), str(frames), str(width), str(height)], check=True, timeout=600)
subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "bgr0", "-s",
                "%dx%d" % (width, height), "-r", "10", "-i", raw, "-c:v", "rawvideo", "-pix_fmt", "bgra", avi],
               check=True, timeout=600)

movie = os.path.join(work, "screen.swf")
project = os.path.join(work, "screen.xml")
write_lossless_project(project, avi, movie)
run = subprocess.run([os.path.join(root, "scripts", "media-run"),
                      os.path.join(build, "tests", "app", "converter", "run_project.exe"), windows_path(project),
                      "3600"], capture_output=True, text=True, timeout=4000)
if run.returncode != 0:
    sys.exit("run_project failed:\n" + run.stdout + run.stderr)
built_seconds = float(re.search(r"^built: ([0-9.]+)", run.stdout, re.M).group(1))
engine_seconds = float(re.search(r"^seconds: ([0-9.]+)", run.stdout, re.M).group(1)) - built_seconds
engine_size = os.path.getsize(movie)

flashsv = os.path.join(work, "flashsv.swf")
ffmpeg_time = ffmpeg_seconds(["-f", "rawvideo", "-pix_fmt", "bgr0", "-s", "%dx%d" % (width, height), "-r", "10",
                              "-i", raw, "-c:v", "flashsv", "-g", "12", "-y", flashsv])
ffmpeg_size = os.path.getsize(flashsv)

raw_bytes = width * height * 4 * frames
print("%d frames of %dx%d RGB32 at 10 fps (%.1f MB raw)" % (frames, width, height, raw_bytes / 1e6))
print("engine: the graph's run (Wine's AVI splitter included), after a build of %.2f s;"
      " ffmpeg: its own work (-benchmark)" % built_seconds)
print("%-40s %8s %10s %10s" % ("", "fps", "movie MB", "raw/movie"))
for what, seconds, size in (("run_project.exe, lossless", engine_seconds, engine_size),
                            ("ffmpeg flashsv -g 12", ffmpeg_time, ffmpeg_size)):
    print("%-40s %8.1f %10.2f %10.1f" % (what, frames / seconds, size / 1e6, raw_bytes / size))
print("engine / ffmpeg: speed %.2f, size %.2f" % (ffmpeg_time / engine_seconds, engine_size / ffmpeg_size))
for path in (raw, avi, flashsv):
    os.remove(path)
