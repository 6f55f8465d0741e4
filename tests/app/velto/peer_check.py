"""Wine's and ffmpeg's tools as peers of the codec, after velto_vfw_tests installed it in the
prefix and wrote wbvk.avi through avifil32: Wine's icinfo lists it, ffprobe reads the movie."""

import json
import subprocess
import sys

# Wine's icinfo of the build's kind (system32 or syswow64), which reads that registry view.
wine_run, system_folder = sys.argv[1:3]
icinfo = "C:\\windows\\%s\\icinfo.exe" % system_folder
failures = []
checks = 0


def check(condition, message):
    global checks
    checks += 1
    if not condition:
        failures.append(message)


output = subprocess.run([wine_run, icinfo], capture_output=True, text=True, timeout=120).stdout
# icinfo writes NUL characters between its pieces.
listing = "\n".join(line.replace("\0", "").strip() for line in output.splitlines())
check("\nvidc.wbvk: wbvk\n" in listing, "icinfo does not list vidc.wbvk:\n" + listing)
section = listing.split("vidc.wbvk:", 1)[-1].split("\nvidc.", 1)[0]
check("szDescription: Quillory Codec" in section, "icinfo shows no description for wbvk:\n" + section)
check("VIDCF_TEMPORAL" in section, "icinfo shows no VIDCF_TEMPORAL for wbvk")

probe = subprocess.run(
    ["ffprobe", "-v", "error", "-of", "json", "-show_streams", "-show_packets", "wbvk.avi"],
    capture_output=True, text=True, timeout=120)
check(probe.returncode == 0, "ffprobe failed: " + probe.stderr)
if probe.returncode == 0:
    movie = json.loads(probe.stdout)
    video = movie["streams"][0]
    check(video["codec_tag_string"] == "wbvk", "codec tag " + video["codec_tag_string"])
    check((video["width"], video["height"]) == (160, 90), "frame size %dx%d" % (video["width"], video["height"]))
    packets = movie["packets"]
    check(len(packets) == 12, "%d packets" % len(packets))
    keys = [i for i, p in enumerate(packets) if "K" in p["flags"]]
    check(keys == [0, 5, 10], "key frames at %s" % keys)
    # Every key frame is one zlib stream: its size is far above the 2-byte "no change" frame.
    check(all(int(packets[i]["size"]) > 2 for i in keys), "a key frame of 2 bytes or fewer")

for failure in failures:
    print("FAIL:", failure)
print("%d passed, %d failed" % (checks - len(failures), len(failures)))
sys.exit(1 if failures else 0)
