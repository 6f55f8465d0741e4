#!/usr/bin/python3
"""A working session's screen recording (bench/session_screen.py: terminals whose text scrolls, an
editor, a clock, a moving pointer, idle moments; 1280x720 at 10 fps) converted lossless by the
conversion engine (run_project.exe in the media prefix) and by Debian's ffmpeg flashsv encoder
(-g 12); both movies then play, one after the other, in the real Flash player (player.cjs: Ruffle in
headless chromium, software rendering). Prints, for each movie, its size and the input frame it shows
at 30, 100, 200 and 300 s of playing (from the player's first answer, the movie loaded), and whether
that screenshot equals the frame pixel for pixel.

    bench/session_bench.py [--build win32|win64] [--runner FOLDER] [frames]
        (after scripts/build and the player's set-up; the shipped win32 build and 3200 frames,
        5 min 20 s, by default; --runner names a folder holding run_project.exe with deze.dll and the
        stand-ins beside it, in place of the build's own)

The recording stays in the work folder, build/bench/<build>/session/, as FFV1 in Matroska beside the
MD5 of each frame's RGB, and is made again only when missing or made by another count or drawing;
flashsv's movie is kept with it. The engine's 32-bit RGB AVI exists only for the engine's run.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import zlib

from PIL import Image, ImageChops

from session_screen import RATE, WIDTH, HEIGHT, session_frames
from winebench import ffmpeg_seconds, root, windows_path, work_folder, write_lossless_project

POINTS = (30, 100, 200, 300)
PLAYER = os.path.join(root, "tests", "app", "converter", "player.cjs")
MODULES = os.path.join(root, "build", "player", "node_modules")
FRAME_BYTES = WIDTH * HEIGHT * 3

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("--build", choices=("win32", "win64"), default="win32",
                    help="the build whose programs run (default: win32, the shipped build)")
parser.add_argument("--runner", help="folder holding the run_project.exe to measure (default: the build's)")
parser.add_argument("frames", type=int, nargs="?", default=320 * RATE)
arguments = parser.parse_args()
build = os.path.join(root, "build", arguments.build)
runner = os.path.abspath(arguments.runner or os.path.join(build, "tests", "app", "converter"))
frames = arguments.frames
work = work_folder(build, "session")
began = time.monotonic()


def ffmpeg(*words, **options):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y"] + list(words), check=True, timeout=3600, **options)


# The recording, made once per frame count and drawing.
recording = os.path.join(work, "session.mkv")
hashes_file = os.path.join(work, "session.md5")
stamp_file = os.path.join(work, "session.json")
flashsv = os.path.join(work, "flashsv.swf")
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "session_screen.py"), "rb") as source:
    stamp = {"frames": frames, "drawing": hashlib.sha256(source.read()).hexdigest()}
try:
    with open(stamp_file) as kept:
        reuse = json.load(kept) == stamp and os.path.exists(recording) and os.path.exists(hashes_file)
except (OSError, ValueError):
    reuse = False
if not reuse:
    for old in (stamp_file, recording, hashes_file, flashsv):
        if os.path.exists(old):
            os.remove(old)
    started = time.monotonic()
    encoder = subprocess.Popen(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
                                "-s", "%dx%d" % (WIDTH, HEIGHT), "-r", str(RATE), "-i", "-", "-c:v", "ffv1",
                                "-level", "3", "-slices", "16", "-threads", "8", recording], stdin=subprocess.PIPE)
    drawn = []
    for picture in session_frames(frames):
        drawn.append(hashlib.md5(picture).hexdigest())
        encoder.stdin.write(picture)
    encoder.stdin.close()
    if encoder.wait() != 0:
        sys.exit("ffmpeg could not write the recording")
    # The frames as the file gives them back: every later step reads the file.
    listing = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", recording, "-pix_fmt", "rgb24", "-f",
                              "framemd5", "-"], capture_output=True, text=True, check=True, timeout=3600).stdout
    decoded = [line.split(",")[-1].strip() for line in listing.splitlines() if line and not line.startswith("#")]
    if decoded != drawn:
        sys.exit("the FFV1 recording does not give back the frames drawn")
    with open(hashes_file, "w") as out:
        out.write("\n".join(drawn) + "\n")
    with open(stamp_file, "w") as out:
        json.dump(stamp, out)
    print("recording drawn and stored in %.0f s" % (time.monotonic() - started))
with open(hashes_file) as kept:
    hashes = kept.read().split()
changing = sum(1 for i in range(1, len(hashes)) if hashes[i] != hashes[i - 1])


# The engine, from a raw 32-bit RGB AVI as the lossless format takes it.
class PrivateX:
    """An X server of the bench's own, given to media-run as MEDIA_DISPLAY: media-run then leaves
    the prefix's wineserver alone, which other runs may share."""

    def __enter__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1080x24",
                                        "-nolisten", "tcp", "-noreset"], pass_fds=(write,),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as answer:
            number = answer.readline().strip()
        if not number.isdigit():
            self.server.kill()
            sys.exit("Xvfb did not start")
        return ":" + number

    def __exit__(self, *error):
        # Wine's helpers of this run hold the display until the prefix's server has gone quiet.
        subprocess.run(["timeout", "60", "/usr/lib/wine/wineserver", "-w"],
                       env=dict(os.environ, WINEPREFIX=os.path.join(root, "build", "wine-media")))
        self.server.terminate()
        self.server.wait(timeout=30)


avi = os.path.join(work, "session.avi")
movie = os.path.join(work, "session.swf")
project = os.path.join(work, "session.xml")
need = frames * WIDTH * HEIGHT * 4 + (1 << 30)
free = shutil.disk_usage(work).free
if free < need:
    sys.exit("the AVI needs %.1f GB and %.1f GB are free" % (need / 1e9, free / 1e9))
write_lossless_project(project, avi, movie)
if os.path.exists(movie):
    os.remove(movie)
try:
    ffmpeg("-i", recording, "-c:v", "rawvideo", "-pix_fmt", "bgra", avi)
    with PrivateX() as display:
        run = subprocess.run([os.path.join(root, "scripts", "media-run"), os.path.join(runner, "run_project.exe"),
                              windows_path(project), "3600"], capture_output=True, text=True, timeout=4000,
                             env=dict(os.environ, MEDIA_DISPLAY=display, WINE_RUN_TIMEOUT="3700"))
finally:
    if os.path.exists(avi):
        os.remove(avi)
if run.returncode != 0 or not os.path.exists(movie):
    sys.exit("run_project failed:\n" + run.stdout + run.stderr)
built_seconds = float(re.search(r"^built: ([0-9.]+)", run.stdout, re.M).group(1))
engine_seconds = float(re.search(r"^seconds: ([0-9.]+)", run.stdout, re.M).group(1)) - built_seconds

flashsv_seconds = None
if not os.path.exists(flashsv):
    flashsv_seconds = ffmpeg_seconds(["-i", recording, "-c:v", "flashsv", "-g", "12", "-y", flashsv])


def bounds(tag, at):
    """A RECT at byte `at` of the tag: its four values (twips) and the byte after it."""
    bits = tag[at] >> 3
    length = (5 + 4 * bits + 7) // 8
    value = int.from_bytes(tag[at:at + length], "big") >> (length * 8 - 5 - 4 * bits)
    fields = [value >> (bits * (3 - i)) & ((1 << bits) - 1) for i in range(4)]
    return [f - (1 << bits) if bits and f >> (bits - 1) else f for f in fields], at + length


def display_list(path):
    """Follows the movie's display list: the bitmap-filled rectangles (a shape's fill styles) of the
    shapes placed, at the end and at most, and the frame of the most; and the frames after the first
    that place one rectangle of the whole picture."""
    with open(path, "rb") as swf:
        data = swf.read()
    body = zlib.decompress(data[8:]) if data[:3] == b"CWS" else data[8:]
    at = (5 + 4 * (body[0] >> 3) + 7) // 8 + 4
    fills, placed, whole_shapes = {}, {}, set()
    frame, rects, most, most_frame, whole = 0, 0, 0, 0, 0
    whole_box = [0, WIDTH * 20, 0, HEIGHT * 20]
    while at + 2 <= len(body):
        code, length = (body[at] | body[at + 1] << 8) >> 6, (body[at] | body[at + 1] << 8) & 0x3F
        at += 2
        if length == 0x3F:
            length = int.from_bytes(body[at:at + 4], "little")
            at += 4
        tag = body[at:at + length]
        at += length
        if code == 0:
            break
        if code in (2, 22, 32):  # DefineShape, 2, 3: the fill styles follow the id and the bounds
            box, skip = bounds(tag, 2)
            count = tag[skip]
            character = tag[0] | tag[1] << 8
            fills[character] = tag[skip + 1] | tag[skip + 2] << 8 if count == 0xFF else count
            if fills[character] == 1 and box == whole_box:
                whole_shapes.add(character)
        elif code == 26 and tag[0] & 2:  # PlaceObject2 with a character
            depth, character = tag[1] | tag[2] << 8, tag[3] | tag[4] << 8
            rects += fills.get(character, 0) - placed.get(depth, 0)
            placed[depth] = fills.get(character, 0)
            whole += frame > 0 and character in whole_shapes
        elif code == 28:  # RemoveObject2
            rects -= placed.pop(tag[0] | tag[1] << 8, 0)
        elif code == 1:
            frame += 1
            if rects > most:
                most, most_frame = rects, frame
    return len(placed), rects, most, most_frame, whole


# The player.
def play(path):
    """Plays the movie from a page of its own and takes the screenshots; returns (seconds asked,
    seconds answered, picture file) per point, and the load average before."""
    name = os.path.splitext(os.path.basename(path))[0]
    page = name + ".htm"
    with open(os.path.join(work, page), "w") as out:
        out.write('<html><head></head><body style="margin:0; overflow:hidden"><object type="application/'
                  'x-shockwave-flash" data="%s" width="%d" height="%d"></object></body></html>'
                  % (os.path.basename(path), WIDTH, HEIGHT))
    load = os.getloadavg()[0]
    player = subprocess.Popen(["node", PLAYER, MODULES, work, page, "%dx%d" % (WIDTH, HEIGHT)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def answer():
        line = player.stdout.readline().strip()
        if not line.startswith("ok"):
            player.kill()
            sys.exit("player: %s" % (line or "no answer"))
        return line

    try:
        words = answer().split()
        loaded = time.monotonic()
        if words[1:4] != [str(WIDTH), str(HEIGHT), str(frames)]:
            sys.exit("the player shows %s" % words)
        shots = []
        for point in POINTS:
            if point * RATE >= frames:
                continue
            time.sleep(max(0.0, loaded + point - time.monotonic()))
            picture = os.path.join(work, "%s-%03d.png" % (name, point))
            asked = time.monotonic() - loaded
            player.stdin.write("shot %s\n" % picture)
            player.stdin.flush()
            answer()
            shots.append((point, asked, time.monotonic() - loaded, picture))
        player.stdin.close()
        player.wait(timeout=60)
    finally:
        if player.poll() is None:
            player.kill()
    return shots, load


def decoded(count):
    """The first `count` frames of the recording as RGB24 bytes."""
    reader = subprocess.Popen(["ffmpeg", "-v", "error", "-nostdin", "-i", recording, "-frames:v", str(count),
                               "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE)
    for index in range(count):
        frame = reader.stdout.read(FRAME_BYTES)
        if len(frame) < FRAME_BYTES:
            break
        yield index, frame
    reader.stdout.close()
    reader.wait()


def judge(picture, expected):
    """The frames the picture shows and the pixels that differ: when it equals a frame pixel for
    pixel, the run of equal frames in a row nearest the expected one, and 0; else the closest frame of
    those up to ten seconds past the expected one."""
    shown = Image.open(picture).convert("RGB")
    if shown.size != (WIDTH, HEIGHT):
        return None, None, "a %dx%d picture" % shown.size
    digest = hashlib.md5(shown.tobytes()).hexdigest()
    equal = [i for i, h in enumerate(hashes) if h == digest]
    if equal:
        first = last = min(equal, key=lambda i: abs(i - expected))
        while first > 0 and hashes[first - 1] == digest:
            first -= 1
        while last + 1 < len(hashes) and hashes[last + 1] == digest:
            last += 1
        return first, last, 0
    best, fewest = None, None
    for index, frame in decoded(min(frames, expected + 10 * RATE)):
        other = Image.frombytes("RGB", (WIDTH, HEIGHT), frame)
        differing = ImageChops.difference(shown, other).convert("L").point(lambda v: 255 if v else 0).histogram()[255]
        if fewest is None or differing < fewest:
            best, fewest = index, differing
    return best, best, fewest


movies = [("run_project.exe, lossless", movie), ("ffmpeg flashsv -g 12", flashsv)]
results = []
for what, path in movies:
    shots, load = play(path)
    results.append((what, path, load, [(point, asked, answered, judge(picture, point * RATE))
                                       for point, asked, answered, picture in shots]))

with open(os.path.join(MODULES, "@ruffle-rs", "ruffle", "package.json")) as package:
    ruffle = json.load(package)["version"]
shapes, rects, most, most_frame, whole = display_list(movie)
print("%d frames of %dx%d at %d fps (%d s), %d of them differ from the frame before; FFV1 %.1f MB"
      % (frames, WIDTH, HEIGHT, RATE, frames // RATE, changing, os.path.getsize(recording) / 1e6))
print("engine: %s, %.1f s for the graph's run (after a build of %.2f s)"
      % (os.path.join(runner, "run_project.exe"), engine_seconds, built_seconds))
print("its display list: %d shapes holding %d bitmap rectangles at the end, at most %d rectangles (frame %d);"
      " %d frames after the first written as one rectangle of the whole picture"
      % (shapes, rects, most, most_frame, whole))
if flashsv_seconds is not None:
    print("flashsv: made in %.1f s" % flashsv_seconds)
print("player: Ruffle %s in headless chromium, %dx%d viewport, the movies one after the other (load: the"
      " 1-minute load average as each began);" % (ruffle, WIDTH, HEIGHT))
print("at each point the input frame shown (frames a-b: equal frames in a row) / the expected frame;"
      " '=' pixel-exact, else the pixels that differ from the closest frame")
print("%-26s %8s %5s" % ("", "movie MB", "load") + "".join("%18s" % ("at %d s" % point) for point, *_ in
                                                            results[0][3]))
for what, path, load, judged in results:
    cells = []
    for point, asked, answered, (first, last, differing) in judged:
        if first is None:
            cells.append(differing)
            continue
        shown = "%d" % first if first == last else "%d-%d" % (first, last)
        if differing == 0:
            cells.append("%s/%d =" % (shown, point * RATE))
        else:
            cells.append("%s/%d %dpx" % (shown, point * RATE, differing))
    print("%-26s %8.2f %5.2f" % (what, os.path.getsize(path) / 1e6, load) + "".join("%18s" % c for c in cells))
for what, path, load, judged in results:
    print("%s: shots taken at %s s" % (what, ", ".join("%.1f-%.1f" % (asked, answered)
                                                       for _, asked, answered, _ in judged)))
print("engine / flashsv size %.2f; the whole run took %.0f s"
      % (os.path.getsize(movie) / os.path.getsize(flashsv), time.monotonic() - began))
