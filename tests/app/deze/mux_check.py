#!/usr/bin/python3
"""Host check: the movies that the multiplexer tests wrote are read by parsers written elsewhere.
yaswfp walks every movie (FileLength is the file's size, FrameCount the number of ShowFrame tags);
ffprobe finds a vp6f stream with the pushed packets and an mp3 stream of the fixture's rate and
channels; the sound copied back out with ffmpeg is byte for byte the fixture that was pushed."""
import glob
import json
import os
import subprocess
import sys

from yaswfp import swfparser

fixtures = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


codings = [f"{coding}_{rate}_{channels}" for coding in ("cbr", "vbr") for rate in (11025, 22050, 44100)
           for channels in (1, 2)]
movies = sorted(glob.glob("*.swf"))
expected = {"golden.swf", "golden_again.swf", "stopped.swf", "capped.swf", "empty_frame.swf"} | {f"out_{name}.swf" for name in codings}
check(expected <= set(movies), f"movies missing: {sorted(expected - set(movies))}")
for movie in movies:
    size = os.path.getsize(movie)
    with open(movie, "rb") as source:
        parsed = swfparser.SWFParser(source)
        # yaswfp stops at the End tag: it must be the file's last two bytes.
        check(source.tell() == size, f"{movie}: the End tag at {source.tell() - 2} of {size} bytes")
    names = [tag.name for tag in parsed.tags]
    check(parsed.header.FileLength == size, f"{movie}: FileLength {parsed.header.FileLength}, file {size}")
    check(parsed.header.FrameCount == names.count("ShowFrame"),
          f"{movie}: FrameCount {parsed.header.FrameCount}, {names.count('ShowFrame')} ShowFrame tags")
    check(all(type(tag).__name__ != "FailingObject" for tag in parsed.tags), f"{movie}: a tag yaswfp cannot read")

for name in codings:
    coding, rate, channels = name.split("_")
    rate, channels = int(rate), int(channels)
    video_frames = 10 if coding == "cbr" else 20
    movie = f"out_{name}.swf"
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "fatal", "-show_streams", "-show_packets", "-of", "json", movie],
        check=True, capture_output=True).stdout)
    streams = {stream["codec_type"]: stream for stream in probe["streams"]}
    video, audio = streams.get("video", {}), streams.get("audio", {})
    check(video.get("codec_name") == "vp6f", f"{movie}: video {video.get('codec_name')}")
    check(audio.get("codec_name") == "mp3", f"{movie}: audio {audio.get('codec_name')}")
    check(int(audio.get("sample_rate", 0)) == rate, f"{movie}: rate {audio.get('sample_rate')}")
    check(audio.get("channels") == channels, f"{movie}: channels {audio.get('channels')}")
    sizes = [int(packet["size"]) for packet in probe["packets"]
             if packet["stream_index"] == video.get("index")]
    check(sizes == [30 + 11 * i for i in range(video_frames)], f"{movie}: video packets {sizes}")
    copied = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", movie, "-map", "0:a", "-c", "copy", "-f", "mp3",
         "-id3v2_version", "0", "-write_xing", "0", "-"], check=True, capture_output=True).stdout
    with open(os.path.join(fixtures, name + ".mp3"), "rb") as pushed:
        check(copied == pushed.read(), f"{movie}: the sound copied out differs from {name}.mp3")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(movies)} movies checked")
sys.exit(1 if failures else 0)
