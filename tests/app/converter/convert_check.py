#!/usr/bin/python3
"""Host side of the engine's end-to-end tests.

    convert_check.py --runner run_project.exe --media-run scripts/media-run make
        makes the test media with ffmpeg in the working folder
    convert_check.py --runner ... --media-run ... <case>
        writes the case's project file, converts it with run_project.exe in the media prefix and
        judges the movie with yaswfp, ffprobe, ffmpeg and box_replay_check.py
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from xml.sax.saxutils import escape

from yaswfp import swfparser

HERE = os.path.dirname(os.path.abspath(__file__))
BOX_REPLAY = os.path.join(HERE, "..", "deze", "box_replay_check.py")
DEADLINE_SECONDS = 60

# The state block of the VP6 stand-in after ICM_SETSTATE: the engine's table (offset, value); every
# other byte stays as the stand-in keeps it (0).
VP6_TABLE = [(0x14, 840), (0xB8, 2), (0xBC, 0), (0x100, 0), (0x3C, 0), (0xC0, 5), (0x2C, 1), (0x38, 250),
             (0x98, 100), (0x68, 0), (0x94, 0), (0x18, 50), (0x40, 0), (0x74, 20), (0x44, 0), (0x78, 35),
             (0x7C, 45), (0x9C, 100), (0x6C, 4), (0x70, 5), (0xA0, 6), (0xA8, 70), (0xB0, 40), (0xAC, 400)]
VP6_STATE_BYTES = 0x104


DEFINE_SHAPE3 = 32
DEFINE_BITS_LOSSLESS2 = 36


def swf_tags(path):
    """(code, body) of every tag of an uncompressed movie, read from its tag headers alone."""
    with open(path, "rb") as source:
        data = source.read()
    at = 8 + (5 + 4 * (data[8] >> 3) + 7) // 8 + 4  # behind the header's RECT, rate and count
    while at + 2 <= len(data):
        header = data[at] | data[at + 1] << 8
        code, length, at = header >> 6, header & 0x3F, at + 2
        if length == 0x3F:
            length, at = int.from_bytes(data[at:at + 4], "little"), at + 4
        yield code, data[at:at + length]
        at += length


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", *arguments], check=True, timeout=60)


def raw_movie(path, width, height, rate, frames, raw_path=None):
    """An RGB32 AVI of the frames (B, G, R, X bytes, top row first) that the generator yields; the
    frames also go to `raw_path` as they are, for the replay check."""
    encoder = subprocess.Popen(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "bgra",
                                "-s", f"{width}x{height}", "-r", str(rate), "-i", "-", "-c:v", "rawvideo",
                                "-pix_fmt", "bgra", path], stdin=subprocess.PIPE)
    raw = open(raw_path, "wb") if raw_path else None
    for frame in frames:
        encoder.stdin.write(frame)
        if raw:
            raw.write(frame)
    encoder.stdin.close()
    if raw:
        raw.close()
    if encoder.wait(timeout=60):
        raise RuntimeError(f"ffmpeg could not write {path}")


def scattered_frames(count, blocks=120):
    """160 x 120: blocks of 4 x 4 pixels, 16 columns and 4 rows apart (far enough for the lossless
    encoder to send each one alone), each a colour of its own in every frame. Every frame but the first
    takes a character identifier per block and one for their shape: 121 with all 120 blocks."""
    width = 160
    background = bytes((0xA5, 0x6E, 0x3A, 0xFF)) * (width * 120)
    for frame in range(count):
        picture = bytearray(background)
        for block in range(blocks):
            value = frame * blocks + block + 1
            pixels = bytes((value & 0xFF, value >> 8 & 0xFF, value >> 16, 0xFF)) * 4
            x, y = block % 8 * 20, block // 8 * 8
            for row in range(y, y + 4):
                at = (row * width + x) * 4
                picture[at:at + 16] = pixels
        yield bytes(picture)


def make_media():
    raw = ["-c:v", "rawvideo", "-pix_fmt", "bgra"]
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-frames:v", "10", *raw, "video10.avi")
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=48000:duration=1", "-frames:v", "25", *raw,
           "-c:a", "pcm_s16le", "-ac", "2", "-shortest", "av25.avi")
    # Two sound tracks: the first a 440 Hz tone, the second 880 Hz.
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-f", "lavfi",
           "-i", "sine=frequency=880:sample_rate=44100:duration=1", "-map", "0:v", "-map", "1:a", "-map", "2:a",
           "-frames:v", "25", *raw, "-c:a", "pcm_s16le", "-shortest", "two_tracks.avi")
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=1", "-ac", "1", "tone8k.wav")
    ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=1", "-ac", "1",
           "-c:a", "libmp3lame", "-id3v2_version", "0", "-write_xing", "0", "tone22k.mp3")
    # The frames as ffmpeg reads them, top row first, for the replay check.
    ffmpeg("-i", "video10.avi", "-f", "rawvideo", "-pix_fmt", "bgr0", "video10.raw")
    with open("garbage.avi", "wb") as garbage:
        garbage.write(b"RIFF\x10\x00\x00\x00AVI not a movie at all" * 8)
    # The first 100 kB of a 1280 x 720 RGB32 movie: its headers and no whole frame.
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=1280x720:rate=10", "-frames:v", "2", *raw, "hd.avi")
    with open("hd.avi", "rb") as whole, open("headers_only.avi", "wb") as cut:
        cut.write(whole.read(100_000))
    os.remove("hd.avi")
    # One frame more than a movie holds: 16001 small frames at 30 fps.
    ffmpeg("-f", "lavfi", "-i", "color=c=0x3a6ea5:size=16x16:rate=30", "-frames:v", "16001", *raw, "long16001.avi")
    # A minute of changes in many separate places at 10 fps: more character identifiers than a
    # lossless movie holds, long before 16000 frames.
    raw_movie("scattered.avi", 160, 120, 10, scattered_frames(600))
    # Two minutes of 40 such blocks: none of a frame's rectangles ever covers an earlier shape, so
    # today's shapes would stay on the display list, 48000 rectangles by the end.
    raw_movie("persistent.avi", 160, 120, 10, scattered_frames(1200, blocks=40), "persistent.raw")
    # Two minutes at 0.5 fps, with 44.1 kHz stereo sound all along.
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=320x240:rate=1/2", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=44100:duration=120", "-t", "120", *raw,
           "-c:a", "pcm_s16le", "-ac", "2", "slow_sound.avi")
    # A picture one pixel wider than a movie holds (ffmpeg's own sources round odd widths), and a
    # rate above what a movie plays.
    raw_movie("wide.avi", 3277, 16, 10, [bytes((0xA5, 0x6E, 0x3A, 0xFF)) * (3277 * 16)] * 2)
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=32x24:rate=300", "-frames:v", "10", *raw, "fast.avi")
    print("media made")


def write_project(name, video, movie, format=0, bitrate=700, interval=10, quality=8, audio_type=0,
                  audio="", published=False, page=None):
    """Writes the project file and removes the movie and page it names, so that the case judges
    only what this run writes. A published movie has the control and the page; `page` sets the
    page alone."""
    stem = os.path.splitext(movie)[0]
    for output in {movie, stem + ".swf", stem + ".htm"}:
        if os.path.exists(output):
            os.remove(output)
    values = [("video_config", [("video_file", windows_path(video)), ("format", format), ("bitrate", bitrate),
                                ("key_frame_interval", interval), ("quality", quality)]),
              ("audio_config", [("audio_type", audio_type), ("audio_file", windows_path(audio) if audio else "")]),
              ("publish_config", [("save_dir", windows_path(".")), ("save_name", movie),
                                  ("add_control", int(published)),
                                  ("create_html", int(published if page is None else page))])]
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<root>"]
    for group, keys in values:
        lines.append(f"  <{group}>")
        lines += [f"    <{key}>{escape(str(value))}</{key}>" for key, value in keys]
        lines.append(f"  </{group}>")
    lines.append("</root>")
    with open(name, "w", encoding="utf-8", newline="") as project:
        project.write("\r\n".join(lines) + "\r\n")


class Check:
    def __init__(self, arguments):
        self.arguments = arguments
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)
        return condition

    def convert(self, project, environment=None, mode=None, runner=None):
        """Runs the project; returns (exit status, output lines as a dict of label: [values])."""
        env = dict(os.environ, **(environment or {}))
        started = time.monotonic()
        run = subprocess.run([self.arguments.media_run, runner or self.arguments.runner, windows_path(project),
                              str(DEADLINE_SECONDS)] + ([mode] if mode else []), capture_output=True, text=True, env=env,
                             timeout=DEADLINE_SECONDS + 120)
        print(run.stdout, end="")
        print(f"(ran {time.monotonic() - started:.1f} s, exit {run.returncode})")
        said = {}
        for line in run.stdout.splitlines():
            label, _, value = line.partition(": ")
            said.setdefault(label.strip(), []).append(value.strip())
        return run.returncode, said

    def runner_copy(self, folder, leave_out=(), replace=None):
        """A copy of the runner's folder (the program and what lies beside it), without some files
        or with others in their place; returns the copied runner."""
        source = os.path.dirname(os.path.abspath(self.arguments.runner))
        if os.path.exists(folder):
            shutil.rmtree(folder)
        os.makedirs(folder)
        for name in ("run_project.exe", "deze.dll", "vp6vfw.dll", "lame.ax", "pcmconv.ax", "control.swf", "control.htm"):
            if name not in leave_out and os.path.exists(os.path.join(source, name)):
                shutil.copy(os.path.join(source, name), folder)
        for name, content in (replace or {}).items():
            with open(os.path.join(folder, name), "wb") as replaced:
                replaced.write(content)
        return os.path.join(folder, "run_project.exe")

    def failed_without_movie(self, status, said, movie, error):
        """The run failed, said why, and left no movie behind."""
        self.expect(status != 0 and said.get("movie") != ["good"], f"exit {status}, movie {said.get('movie')}")
        self.expect(error in said.get("error", []), f"errors {said.get('error')}, expected {error!r}")
        self.expect(not os.path.exists(movie), f"{movie} was left behind"
                    + (f" ({os.path.getsize(movie)} bytes)" if os.path.exists(movie) else ""))

    def register_pcm_converter(self):
        """The PCM converter stand-in, registered in the media prefix as the system's "PCM" audio
        compressor; again every time, since enumerating that category drops the entry."""
        converter = os.path.join(os.path.dirname(os.path.abspath(self.arguments.runner)), "pcmconv.ax")
        run = subprocess.run([self.arguments.media_run, "regsvr32", "/s", windows_path(converter)],
                             capture_output=True, text=True, timeout=120)
        self.expect(run.returncode == 0, f"regsvr32 pcmconv.ax: {run.returncode} {run.stdout}")

    def movie(self, path, frames):
        """The header agrees with the file and with the ShowFrame tags; returns the header."""
        if not self.expect(os.path.exists(path), f"{path} was not written"):
            return None
        try:
            with open(path, "rb") as source:
                movie = swfparser.SWFParser(source)
        except Exception as error:  # a movie cut short in a tag
            self.expect(False, f"{path} does not parse: {error!r}")
            return None
        shown = sum(1 for tag in movie.tags if tag.name == "ShowFrame")
        header = movie.header
        self.expect(header.FileLength == os.path.getsize(path),
                    f"FileLength {header.FileLength}, file {os.path.getsize(path)} bytes")
        self.expect(header.FrameCount == shown, f"FrameCount {header.FrameCount}, {shown} ShowFrame tags")
        if frames is not None:
            self.expect(shown == frames, f"{shown} frames, expected {frames}")
        self.expect(not any(type(tag).__name__ == "FailingObject" for tag in movie.tags), "a tag yaswfp cannot read")
        return header

    def streams(self, path):
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-show_streams", "-of", "json", path],
                               capture_output=True, text=True, timeout=60)
        self.expect(probe.returncode == 0, f"ffprobe failed: {probe.stderr}")
        streams = json.loads(probe.stdout or "{}").get("streams", [])
        return ([s for s in streams if s.get("codec_type") == "video"],
                [s for s in streams if s.get("codec_type") == "audio"])

    def good_run(self, status, said, progress=None):
        self.expect(status == 0, f"run_project exited {status}")
        self.expect(said.get("result") == ["finished"] and said.get("movie") == ["good"],
                    f"result {said.get('result')}, movie {said.get('movie')}")
        if progress is not None:
            self.expect(said.get("progress") == [str(progress)], f"progress {said.get('progress')}, expected {progress}")

    def tone(self, path, rate, channels, frequencies=(440,)):
        """One MP3 stream of that rate and channel count, decoding to one of the tones; returns the
        seconds of sound decoded."""
        video, audio = self.streams(path)
        if not self.expect(len(audio) == 1, f"audio streams: {audio}"):
            return 0
        stream = audio[0]
        self.expect(stream.get("codec_name") == "mp3" and int(stream.get("sample_rate", 0)) == rate
                    and int(stream.get("channels", 0)) == channels,
                    f"audio {stream.get('codec_name')} {stream.get('sample_rate')} Hz, {stream.get('channels')} channels")
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:a", "-ac", "1",
                                  "-f", "s16le", "-"], capture_output=True, timeout=60).stdout
        samples = [int.from_bytes(decoded[i:i + 2], "little", signed=True) for i in range(0, len(decoded) - 1, 2)]
        middle = samples[len(samples) // 4: 3 * len(samples) // 4]
        rises = sum(1 for a, b in zip(middle, middle[1:]) if a < 0 <= b)
        seconds = len(middle) / rate
        frequency = rises / seconds if seconds else 0
        self.expect(any(abs(frequency - tone) <= tone * 0.02 for tone in frequencies),
                    f"decoded tone {frequency:.1f} Hz over {seconds:.2f} s")
        print(f"audio: mp3 {rate} Hz, {channels} channel(s), tone {frequency:.1f} Hz, {len(samples) / rate:.2f} s")
        return len(samples) / rate

    def replay(self, movie, frames):
        replay = subprocess.run([sys.executable, BOX_REPLAY, movie, frames], capture_output=True, text=True,
                                timeout=240)
        print(replay.stdout, end="")
        self.expect(replay.returncode == 0, f"replay: {replay.stdout}{replay.stderr}")

    # The cases.

    def case_lossless(self):
        write_project("lossless.xml", "video10.avi", "lossless.swf")
        status, said = self.convert("lossless.xml")
        self.good_run(status, said, progress=90)
        if self.movie("lossless.swf", 10):
            self.replay("lossless.swf", "video10.raw")

    def case_vp6(self):
        write_project("vp6.xml", "av25.avi", "vp6.swf", format=1, bitrate=700, interval=10)
        if os.path.exists("vp6_state.bin"):
            os.remove("vp6_state.bin")
        status, said = self.convert("vp6.xml", {"VP6_STANDIN_STATE_FILE": windows_path("vp6_state.bin")})
        self.good_run(status, said)
        self.movie("vp6.swf", 25)
        video, audio = self.streams("vp6.swf")
        self.expect(len(video) == 1 and video[0].get("codec_name") == "vp6f"
                    and int(video[0].get("nb_read_packets", 0)) == 25, f"video streams: {video}")
        self.expect(not audio, f"audio without audio_type: {audio}")
        if self.expect(os.path.exists("vp6_state.bin"), "the codec's state was never set"):
            state = open("vp6_state.bin", "rb").read()
            self.expect(len(state) == VP6_STATE_BYTES, f"state block of {len(state)} bytes")
            expected = bytearray(VP6_STATE_BYTES)
            for offset, value in VP6_TABLE:
                expected[offset:offset + 4] = value.to_bytes(4, "little", signed=True)
            differing = [hex(i) for i in range(min(len(state), len(expected))) if state[i] != expected[i]]
            self.expect(not differing, f"state bytes differ at {differing[:16]}")

    def case_unreadable(self):
        write_project("unreadable.xml", "garbage.avi", "unreadable.swf")
        if os.path.exists("unreadable.swf"):
            os.remove("unreadable.swf")
        status, said = self.convert("unreadable.xml")
        self.expect(status != 0, "an unreadable movie converted")
        self.expect(said.get("error") == ["Failed to parse video file " + windows_path("garbage.avi")],
                    f"errors {said.get('error')}")
        self.expect(not os.path.exists("unreadable.swf"), "a movie was written")

    def case_soundless(self):
        write_project("soundless.xml", "video10.avi", "soundless.swf", audio_type=2, audio="video10.avi")
        status, said = self.convert("soundless.xml")
        self.good_run(status, said)
        self.expect(said.get("error") == ["Audio will not be included in result file"], f"errors {said.get('error')}")
        self.movie("soundless.swf", 10)
        video, audio = self.streams("soundless.swf")
        self.expect(not audio, f"audio streams: {audio}")

    def case_replace(self):
        write_project("replace.xml", "video10.avi", "replace.swf")
        with open("replace.swf", "wb") as old:
            old.write(b"\xAB" * (1 << 20))
        status, said = self.convert("replace.xml")
        self.good_run(status, said)
        header = self.movie("replace.swf", 10)
        self.expect(os.path.getsize("replace.swf") < 1 << 20, "the old movie's tail is still there")

    def case_published(self):
        """With the movie control and the web page: the control below the video, the page beside."""
        write_project("published.xml", "video10.avi", "published.swf", published=True)
        if os.path.exists("published.htm"):
            os.remove("published.htm")
        status, said = self.convert("published.xml")
        self.good_run(status, said, progress=90)
        header = self.movie("published.swf", 10)
        if header:
            self.expect(header.FrameSize[1] == 160 * 20 and header.FrameSize[3] == (120 + 13) * 20,
                        f"stage {header.FrameSize} twips, expected 160x133 pixels")
        if self.expect(os.path.exists("published.htm"), "no web page"):
            page = open("published.htm", encoding="latin-1").read()
            self.expect('data="published.swf" width="160" height="133"' in page, "the page does not show the movie")

    def case_released(self):
        """A builder released while the multiplexer has a movie open but no frame (a paused graph,
        as when the window closes right after Start): no movie without a frame stays, and no page."""
        write_project("released.xml", "av25.avi", "released.swf", format=1, published=True)
        status, said = self.convert("released.xml", mode="release-paused")
        self.expect(status == 0 and "released" in said, f"exit {status}, output {said}")
        for name in ("released.swf", "released.htm"):
            self.expect(not os.path.exists(name), f"{name} was left behind")

    def case_released_running(self):
        """A builder released while its graph runs, two frames in, stops the graph while it is still
        whole: the finish reaches the builder, the movie is closed well-formed, the page written."""
        write_project("released_running.xml", "long16001.avi", "released_running.swf", published=True)
        status, said = self.convert("released_running.xml", mode="release-running")
        self.expect(status == 0 and "released" in said, f"exit {status}, output {said}")
        header = self.movie("released_running.swf", None)
        if header:
            self.expect(2 <= header.FrameCount < 16000, f"{header.FrameCount} frames")
        self.expect(os.path.exists("released_running.htm"), "no web page: the finish did not reach the builder")

    def case_stuck(self):
        """A builder released while stopping its graph fails still takes itself and its control out
        of the multiplexer's calls: nothing calls into it after it is gone."""
        write_project("stuck.xml", "av25.avi", "stuck.swf", format=1, published=True)
        status, said = self.convert("stuck.xml", mode="release-stuck")
        self.expect(status == 0 and said.get("stop") == ["failed"], f"exit {status}, output {said}")
        self.expect(said.get("handlers") == ["removed"], f"handlers {said.get('handlers')}")

    def case_no_encoder(self):
        """The build fails after the File Dump made the movie's file (no MP3 encoder beside the
        program): the empty file goes."""
        runner = self.runner_copy("no_encoder", leave_out=("lame.ax",))
        write_project("no_encoder.xml", "av25.avi", "no_encoder.swf", audio_type=1)
        status, said = self.convert("no_encoder.xml", runner=runner)
        self.failed_without_movie(status, said, "no_encoder.swf", "Failed to load module lame.ax")

    def case_broken_control(self):
        """A control movie that cannot be read stops the movie before it begins: nothing stays."""
        runner = self.runner_copy("broken_control", replace={"control.swf": b"FWS\x06 not a movie"})
        write_project("broken_control.xml", "video10.avi", "broken_control.swf", published=True)
        status, said = self.convert("broken_control.xml", runner=runner)
        self.expect(status != 0 and "result" not in said, f"exit {status}, output {said}")
        self.expect(not os.path.exists("broken_control.swf"), "broken_control.swf was left behind")

    def case_no_frame(self):
        """A movie file that gives no whole frame: the run fails, says so, and leaves no movie."""
        write_project("no_frame.xml", "headers_only.avi", "no_frame.swf")
        status, said = self.convert("no_frame.xml")
        self.failed_without_movie(status, said, "no_frame.swf",
                                  "No video frame could be read from " + windows_path("headers_only.avi"))

    def case_cut(self):
        """One frame more than a movie holds: the movie is kept with its 16000 frames, and the run
        warns where it was cut (16000 frames at 30 fps end at 8:53)."""
        write_project("cut.xml", "long16001.avi", "cut.swf")
        status, said = self.convert("cut.xml")
        self.good_run(status, said)
        self.expect(said.get("warning") == ["The movie was cut at 08:53, after 16000 frames: a Flash movie holds "
                                            "at most 16000 frames."], f"warnings {said.get('warning')}")
        self.movie("cut.swf", 16000)

    def case_identifiers(self):
        """A recording that changes in many separate places runs out of the lossless movie's 65535
        character identifiers long before 16000 frames: the movie ends before the frame that does
        not fit, well-formed, with a warning where it was cut and its page."""
        write_project("identifiers.xml", "scattered.avi", "identifiers.swf", page=True)
        status, said = self.convert("identifiers.xml")
        self.good_run(status, said)
        header = self.movie("identifiers.swf", None)
        self.expect(os.path.exists("identifiers.htm"), "no web page")
        if not header:
            return
        frames = header.FrameCount
        self.expect(500 < frames < 600, f"{frames} frames of 600")
        seconds = frames // 10
        self.expect(said.get("warning") == [f"The movie was cut at {seconds // 60:02d}:{seconds % 60:02d}, after "
                                            f"{frames} frames: a lossless Flash movie holds at most 65535 pictures "
                                            "and shapes."], f"warnings {said.get('warning')}")
        defined = [body[0] | body[1] << 8 for code, body in swf_tags("identifiers.swf")
                   if code in (DEFINE_BITS_LOSSLESS2, DEFINE_SHAPE3)]
        self.expect(len(defined) == len(set(defined)), "an identifier was defined twice")
        # The frame left out needed 121 identifiers, more than were left.
        self.expect(65535 - 121 < max(defined) <= 65535, f"the last identifier is {max(defined)}")
        print(f"identifiers: {len(defined)} defined, the last {max(defined)}, {frames} frames")

    def case_persistent(self):
        """Changes that stay in many separate places keep the display list within the encoder's bound
        all along, and every frame is as it went in."""
        write_project("persistent.xml", "persistent.avi", "persistent.swf")
        status, said = self.convert("persistent.xml")
        self.good_run(status, said)
        if self.movie("persistent.swf", 1200):
            self.replay("persistent.swf", "persistent.raw")

    def case_slow_sound(self):
        """Two minutes at 0.5 fps with 44.1 kHz stereo sound: each frame's sound spans more samples
        than a sound block counts, and the movie still finishes with all of its sound."""
        self.register_pcm_converter()
        write_project("slow_sound.xml", "slow_sound.avi", "slow_sound.swf", audio_type=1)
        status, said = self.convert("slow_sound.xml")
        self.good_run(status, said)
        self.movie("slow_sound.swf", None)
        seconds = self.tone("slow_sound.swf", 44100, 2)
        self.expect(119.9 <= seconds <= 120.1, f"{seconds:.2f} s of sound, expected 120")

    def refused_video(self, case, video, cause):
        write_project(case + ".xml", video, case + ".swf")
        status, said = self.convert(case + ".xml")
        self.failed_without_movie(status, said, case + ".swf", cause)
        self.expect(said.get("error", [])[:1] == ["Failed to convert movie file " + windows_path(video)],
                    f"errors {said.get('error')}")

    def case_wide(self):
        """A picture wider than a movie holds is refused with its size."""
        self.refused_video("wide", "wide.avi",
                           "The video is 3277 x 16 pixels: a Flash movie is at most 3276 pixels wide and high.")

    def case_fast(self):
        """A video of 300 frames a second is refused with its rate."""
        self.refused_video("fast", "fast.avi", "The video plays 300 frames a second: a Flash movie plays more "
                                               "than 1/256 and fewer than 256.")

    def case_movie_audio(self):
        self.register_pcm_converter()
        write_project("movie_audio.xml", "av25.avi", "movie_audio.swf", audio_type=1)
        status, said = self.convert("movie_audio.xml")
        self.good_run(status, said)
        self.movie("movie_audio.swf", None)
        self.tone("movie_audio.swf", 44100, 2)

    def case_two_tracks(self):
        """A movie with two sound tracks: one is converted, and no renderer of the other stays in the
        graph (it would play aloud and hold the run to real time)."""
        self.register_pcm_converter()
        write_project("two_tracks.xml", "two_tracks.avi", "two_tracks.swf", audio_type=1)
        status, said = self.convert("two_tracks.xml")
        self.good_run(status, said)
        renderers = [f for f in said.get("filter", []) if ("DirectSound" in f or "Renderer" in f)
                     and not f.split(", ")[-1].startswith("0 of")]
        self.expect(not renderers, f"renderers left in the graph: {renderers}")
        self.movie("two_tracks.swf", None)
        # Which track is taken follows the order in which the graph lists its renderers.
        self.tone("two_tracks.swf", 44100, 1, frequencies=(440, 880))

    def case_vp6_wav(self):
        self.register_pcm_converter()
        write_project("vp6_wav.xml", "av25.avi", "vp6_wav.swf", format=1, audio_type=2, audio="tone8k.wav")
        status, said = self.convert("vp6_wav.xml")
        self.good_run(status, said)
        self.movie("vp6_wav.swf", None)
        self.tone("vp6_wav.swf", 11025, 1)

    def case_vp6_mp3(self):
        self.register_pcm_converter()
        write_project("vp6_mp3.xml", "av25.avi", "vp6_mp3.swf", format=1, audio_type=2, audio="tone22k.mp3")
        status, said = self.convert("vp6_mp3.xml")
        self.good_run(status, said)
        self.movie("vp6_mp3.swf", None)
        self.tone("vp6_mp3.swf", 22050, 1)
        # Which way Wine's intelligent connection took, for the log.
        filters = said.get("filter", [])
        lame = next((f for f in filters if f.startswith("My Lame,")), "")
        pcm = any(f.startswith("My PCM,") for f in filters)
        path = ("straight to the multiplexer" if lame.startswith("My Lame, 0 ") else
                "through the PCM stage and the encoder" if pcm else "through the encoder, without the PCM stage")
        print(f"MP3 path: {path}; filters: {filters}")

    def case_empty_frame(self):
        write_project("empty_frame.xml", "av25.avi", "empty_frame.swf", format=1)
        started = time.monotonic()
        status, said = self.convert("empty_frame.xml", {"VP6_STANDIN_EMPTY_FRAME": "5"})
        self.expect(time.monotonic() - started < DEADLINE_SECONDS, "the run needed its deadline")
        self.expect(status == 1 and said.get("movie") == ["bad"] and said.get("result") in (["failed"], ["finished"]),
                    f"exit {status}, result {said.get('result')}, movie {said.get('movie')}")
        header = self.movie("empty_frame.swf", None)
        if header:
            self.expect(header.FrameCount < 25, f"FrameCount {header.FrameCount} for a movie that failed at frame 5")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--media-run", required=True)
    parser.add_argument("case")
    arguments = parser.parse_args()
    if arguments.case == "make":
        make_media()
        return
    check = Check(arguments)
    getattr(check, "case_" + arguments.case)()
    if check.failures:
        sys.exit("\n".join(check.failures))
    print(f"{arguments.case}: ok")


if __name__ == "__main__":
    main()
