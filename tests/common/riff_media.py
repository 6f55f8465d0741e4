#!/usr/bin/python3
"""Host setup: RIFF files made by outside writers for the RIFF reader's tests. Python's wave module
writes the WAV files (it writes no pad byte after an odd-sized data chunk); ffmpeg writes a small
AVI with a video and an audio stream, so lists nest three deep."""
import os
import struct
import subprocess
import sys
import wave

os.makedirs("riff", exist_ok=True)


def write_wav(name, channels, width, rate, frames):
    with wave.open(os.path.join("riff", name), "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(width)
        out.setframerate(rate)
        out.writeframes(bytes((i * 37) & 0xFF for i in range(frames * channels * width)))


write_wav("stereo16.wav", 2, 2, 22050, 441)
# 7 bytes of 8-bit mono data and no pad byte after them: the file ends one byte short.
write_wav("odd.wav", 1, 1, 8000, 7)

# The same odd file completed as RIFF requires: the pad byte, counted in the RIFF size.
data = bytearray(open("riff/odd.wav", "rb").read())
data += b"\0"
struct.pack_into("<I", data, 4, len(data) - 8)
open("riff/odd_padded.wav", "wb").write(data)

result = subprocess.run(
    ["ffmpeg", "-y", "-loglevel", "error",
     "-f", "lavfi", "-i", "testsrc=size=32x24:rate=5:duration=1",
     "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=1",
     "-c:v", "rawvideo", "-pix_fmt", "bgr24", "-c:a", "pcm_u8", "riff/small.avi"],
    check=False)
sys.exit(result.returncode)
