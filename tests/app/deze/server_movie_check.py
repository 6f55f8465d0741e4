#!/usr/bin/python3
"""Host check: the movie that deze.dll's four filters wrote holds one VP6 stream of five frames,
as ffprobe reads it."""
import json
import subprocess
import sys

probe = subprocess.run(
    ["ffprobe", "-v", "error", "-count_packets", "-show_streams", "-of", "json", "vp6_movie.swf"],
    capture_output=True, text=True, check=False)
if probe.returncode != 0:
    sys.exit(f"ffprobe failed: {probe.stderr}")
streams = json.loads(probe.stdout).get("streams", [])
video = [s for s in streams if s.get("codec_type") == "video"]
if len(video) != 1 or not video[0].get("codec_name", "").startswith("vp6"):
    sys.exit(f"expected one VP6 stream: {streams}")
if int(video[0].get("nb_read_packets", 0)) != 5:
    sys.exit(f"expected 5 frames: {video[0]}")
print(f"{video[0]['codec_name']}: {video[0]['nb_read_packets']} frames")
