"""Decodes the MP3 files the encoder test wrote (tone-<rate>-<channels>.mp3) with ffprobe and
ffmpeg: each must be plain MPEG audio frames (no ID3 tag, no Xing or Info frame) at the named rate
and channel count, carrying the 440 Hz test tone."""

import glob
import json
import re
import subprocess
import sys


def zero_crossing_hertz(samples, rate):
    """Upward crossings of a tenth of the peak after a dip below minus that, so that coding noise
    around zero does not count twice."""
    level = max(abs(s) for s in samples) // 10
    ups, low = [], False
    for i, sample in enumerate(samples):
        if sample < -level:
            low = True
        elif low and sample > level:
            ups.append(i)
            low = False
    return (len(ups) - 1) * rate / (ups[-1] - ups[0]) if len(ups) > 1 else 0.0


def check(path):
    rate, channels = map(int, re.match(r"tone-(\d+)-(\d+)\.mp3$", path).groups())
    data = open(path, "rb").read()
    problems = []
    if data[:3] == b"ID3" or data[-128:-125] == b"TAG":
        problems.append("carries an ID3 tag")
    if data[0] != 0xFF or data[1] & 0xE0 != 0xE0:
        problems.append("does not start with a frame header")
    if b"Xing" in data[:2048] or b"Info" in data[:2048]:
        problems.append("starts with a Xing/Info frame")
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-show_streams", "-of", "json", path],
        check=True, capture_output=True).stdout)["streams"][0]
    if probe["codec_name"] != "mp3" or int(probe["sample_rate"]) != rate or probe["channels"] != channels:
        problems.append("ffprobe sees %s %s Hz %s channels" % (probe["codec_name"], probe["sample_rate"], probe["channels"]))
    pcm = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", path, "-ac", "1", "-f", "s16le", "-"],
        check=True, capture_output=True).stdout
    samples = [int.from_bytes(pcm[i:i + 2], "little", signed=True) for i in range(0, len(pcm) - 1, 2)]
    # Skip the encoder's start-up delay and the padding at the end.
    body = samples[rate // 10: rate * 9 // 10]
    hertz = zero_crossing_hertz(body, rate)
    if abs(hertz - 440) > 3:
        problems.append("tone at %.1f Hz" % hertz)
    if len(samples) < rate:
        problems.append("only %d samples decoded" % len(samples))
    print("%s: %d samples, %.1f Hz%s" % (path, len(samples), hertz, "".join("; " + p for p in problems)))
    return not problems


def main():
    paths = sorted(glob.glob("tone-*.mp3"))
    if len(paths) != 5:
        print("expected 5 MP3 files, found %d" % len(paths))
        return 1
    return 0 if all([check(path) for path in paths]) else 1


if __name__ == "__main__":
    sys.exit(main())
