#!/usr/bin/python3
"""The movie control and the page in a real Flash player (Ruffle in chromium, through player.cjs).

    player_check.py --runner run_project.exe --media-run scripts/media-run make
        converts a lossless movie with sound, the control and the page under a name that needs
        escaping (run_project.exe in the media prefix), and a copy of it that starts stopped and
        has a blue border
    player_check.py --player <node_modules> control | stopped
        plays them and judges screenshots: the control's size, progress, sign and buffering text,
        pause and play, the end, and the video pixel for pixel against the input frames
"""
import argparse
import glob
import os
import subprocess
import sys
import time
import urllib.parse
from html.parser import HTMLParser

from PIL import Image

from convert_check import Check, ffmpeg, write_project

HERE = os.path.dirname(os.path.abspath(__file__))
NAME = "Tom & Jerry #2 ü 日本.swf"
PAGE = "Tom & Jerry #2 ü 日本.htm"
STOPPED = "stopped.swf"
WIDTH, HEIGHT, SECONDS = 320, 240, 8
# The control below the video, centred: its border, its track's middle row, its button's sign.
LEFT, TOP = (WIDTH - 200) // 2, HEIGHT
BORDER, TRACK, PROGRESS, ICON = (0x33, 0x33, 0x33), (0xFF, 0xFF, 0xFF), (0x78, 0x78, 0x78), (0xCC, 0, 0)
PROGRESS_LEFT, PROGRESS_WIDTH = 14, 184


def make(arguments):
    for name in (NAME, PAGE, STOPPED, "stopped.htm", "clock.avi", "clock.rgb"):
        if os.path.exists(name):
            os.remove(name)
    # A picture that changes every frame, with a tone.
    ffmpeg("-f", "lavfi", "-i", f"testsrc=size={WIDTH}x{HEIGHT}:rate=10", "-f", "lavfi",
           "-i", f"sine=frequency=440:sample_rate=22050:duration={SECONDS}", "-frames:v", str(10 * SECONDS),
           "-c:v", "rawvideo", "-pix_fmt", "bgra", "-c:a", "pcm_s16le", "-shortest", "clock.avi")
    ffmpeg("-i", "clock.avi", "-f", "rawvideo", "-pix_fmt", "rgb24", "clock.rgb")
    check = Check(arguments)
    check.register_pcm_converter()
    write_project("clock.xml", "clock.avi", NAME, audio_type=1, published=True)
    status, said = check.convert("clock.xml")
    check.good_run(status, said)
    check.expect(os.path.exists(NAME), f"{NAME} was not written")
    if check.failures:
        sys.exit("\n".join(check.failures))
    # The same movie told to start stopped, with a border of another colour.
    movie = open(NAME, "rb").read()
    for name, value in ((b"svStopAtBeginning", b"\x01"), (b"svBorderColor", b"0000FF")):
        # Behind the name: the value's push record (code, length, type), then the value.
        at = movie.index(name + b"\0\x96") + len(name) + 5
        movie = movie[:at] + value + movie[at + len(value):]
    with open(STOPPED, "wb") as copy:
        copy.write(movie)
    with open("stopped.htm", "w") as page:
        page.write(f'<html><head></head><body><object type="application/x-shockwave-flash" data="{STOPPED}" '
                   f'width="{WIDTH}" height="{HEIGHT + 13}"></object></body></html>')
    print("movies made")


class Player:
    """player.cjs on a page of the working folder; each picture is the whole stage, kept as
    <case>-<number>.png."""

    def __init__(self, modules, page, case):
        for old in glob.glob(f"{case}-*.png"):
            os.remove(old)
        self.case = case
        self.process = subprocess.Popen(["node", os.path.join(HERE, "player.cjs"), modules, ".", page],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.shots = 0
        words = self.answer().split()
        if words[1:3] != [str(WIDTH), str(HEIGHT + 13)]:
            raise AssertionError(f"the player shows {words}")

    def answer(self):
        line = self.process.stdout.readline().strip()
        if not line.startswith("ok"):
            raise AssertionError(f"player: {line or 'no answer'}")
        return line

    def tell(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.answer()

    def shot(self):
        self.shots += 1
        path = f"{self.case}-{self.shots:02d}.png"
        self.tell(f"shot {path}")
        return Image.open(path).convert("RGB")

    def click_button(self):
        self.tell(f"click {LEFT + 6} {TOP + 6}")

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


def video(picture):
    return picture.crop((0, 0, WIDTH, HEIGHT)).tobytes()


def frame_of(picture, frames):
    """The input frame the video shows pixel for pixel, or None."""
    return next((index for index, frame in enumerate(frames) if frame == video(picture)), None)


def row(picture, y, start, end):
    return [picture.getpixel((x, y)) for x in range(LEFT + start, LEFT + end)]


def sign(picture):
    """The button's sign: "pause" for two bars, "play" for one triangle in its middle row."""
    red = "".join("x" if p == ICON else "." for p in row(picture, TOP + 6, 1, 12))
    return {1: "play", 2: "pause"}.get(len([run for run in red.split(".") if run]), red)


def progress(picture):
    return row(picture, TOP + 6, PROGRESS_LEFT, PROGRESS_LEFT + PROGRESS_WIDTH).count(PROGRESS)


class Judge:
    def __init__(self, modules):
        self.modules = modules
        self.failures = []
        with open("clock.rgb", "rb") as raw:
            data = raw.read()
        size = WIDTH * HEIGHT * 3
        self.frames = [data[i:i + size] for i in range(0, len(data), size)]

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)
        return condition

    def control(self, picture, when, border=BORDER):
        """A 200-pixel border, with nothing but the track right of the progress bar."""
        top = row(picture, TOP, -1, 201)
        self.expect(top[1:-1] == [border] * 200 and border not in (top[0], top[-1]),
                    f"{when}: the border's top row spans {top.count(border)} pixels of {border}")
        filled = progress(picture)
        free = [row(picture, y, PROGRESS_LEFT + filled + 1, PROGRESS_LEFT + PROGRESS_WIDTH + 1)
                for y in range(TOP + 1, TOP + 12)]
        self.expect(all(p == TRACK for line in free for p in line), f"{when}: text or marks on the free track")
        return filled

    def click_once(self, player, wanted):
        """Clicks the button once and waits for its sign: a button that misses a click fails."""
        player.click_button()
        deadline = time.monotonic() + 3
        while True:
            time.sleep(0.3)
            shown = sign(player.shot())
            if shown == wanted:
                return True
            if time.monotonic() > deadline:
                return self.expect(False, f"one click did not bring the {wanted} sign: it shows {shown}")

    def watch(self, player, when, playing):
        """Two pictures 0.6 s apart: a moving video under the pause sign, or a standing one under the
        play sign; returns the second."""
        first = player.shot()
        time.sleep(0.6)
        second = player.shot()
        self.expect((video(first) != video(second)) == playing, f"{when}: the video {('stands', 'moves')[not playing]}")
        self.expect(sign(second) == ("pause" if playing else "play"), f"{when}: the sign is {sign(second)}")
        return second

    def page(self):
        """The converter's page names the movie whole: readable in its title, percent-encoded in its URLs."""
        class Reader(HTMLParser):
            title, urls, in_title = "", [], False

            def handle_starttag(self, tag, attrs):
                attrs = dict(attrs)
                self.in_title = tag == "title"
                self.urls += [attrs[key] for key in ("data", "href") if key in attrs]
                if tag == "param" and attrs.get("name") == "movie":
                    self.urls.append(attrs["value"])

            def handle_endtag(self, tag):
                self.in_title = False

            def handle_data(self, data):
                if self.in_title:
                    self.title += data

        reader = Reader()
        with open(PAGE, encoding="utf-8", errors="replace") as page:
            reader.feed(page.read())
        self.expect(reader.title == NAME, f"page title {reader.title!r}")
        self.expect(len(reader.urls) == 3 and all(urllib.parse.unquote(url) == NAME and url.isascii()
                                                  and not set("# ") & set(url) for url in reader.urls),
                    f"page URLs {reader.urls}")

    def case_control(self):
        self.page()
        player = Player(self.modules, PAGE, "control")
        try:
            time.sleep(2.5)
            early = player.shot()
            time.sleep(1.5)
            later = player.shot()
            shorter, longer = self.control(early, "at 2.5 s"), self.control(later, "at 4 s")
            self.expect(0 < shorter < longer, f"progress {shorter} then {longer} pixels")
            self.expect(sign(later) == "pause", f"playing: the sign is {sign(later)}")
            if self.click_once(player, "play"):
                paused = self.watch(player, "paused", False)
                at = frame_of(paused, self.frames)
                self.expect(at is not None, "paused: the video is none of the input frames")
                # The movie's own end shows the play sign too: a missed click must not pass for a pause.
                self.expect(at != len(self.frames) - 1, "paused: at the last frame, not by the click")
                self.control(paused, "paused")
            if self.click_once(player, "pause"):
                self.watch(player, "played on", True)
            # svStopAtEnd: the last frame stays, with the play sign and the full bar.
            deadline = time.monotonic() + 20
            while sign(player.shot()) != "play" and time.monotonic() < deadline:
                time.sleep(0.5)
            end = self.watch(player, "at the end", False)
            last = len(self.frames) - 1
            self.expect(frame_of(end, self.frames) == last, f"at the end: frame {frame_of(end, self.frames)} of {last}")
            self.expect(self.control(end, "at the end") == PROGRESS_WIDTH, f"at the end: progress {progress(end)}")
            # A click there plays from the start.
            player.click_button()
            time.sleep(0.3)
            again = self.watch(player, "after the end", True)
            self.expect(progress(again) < PROGRESS_WIDTH // 2, f"after the end: progress {progress(again)}")
        finally:
            player.close()

    def case_stopped(self):
        player = Player(self.modules, "stopped.htm", "stopped")
        try:
            time.sleep(2)
            first = self.watch(player, "svStopAtBeginning", False)
            self.expect(frame_of(first, self.frames) == 0, f"svStopAtBeginning: frame {frame_of(first, self.frames)}")
            self.control(first, "svStopAtBeginning", border=(0, 0, 0xFF))
            if self.click_once(player, "pause"):
                self.watch(player, "started by a click", True)
        finally:
            player.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner")
    parser.add_argument("--media-run")
    parser.add_argument("--player")
    parser.add_argument("case")
    arguments = parser.parse_args()
    if arguments.case == "make":
        make(arguments)
        return
    judge = Judge(arguments.player)
    try:
        getattr(judge, "case_" + arguments.case)()
    except AssertionError as error:
        judge.failures.append(str(error))
    if judge.failures:
        sys.exit("\n".join(judge.failures))
    print(f"{arguments.case}: ok")


if __name__ == "__main__":
    main()
