#!/usr/bin/python3
"""The shipped converter end to end, from a copy of the program folder with the stand-ins of the
outside codecs beside it, driven through its window by converter_driver.exe in the media prefix.

    program_check.py --program <program folder> --standins <folder> --driver <converter_driver.exe>
                     --media-run <scripts/media-run> (settings | registry)

settings: "-c settings.xml" names an empty settings file, which receives the recent project.
registry: no settings file; the recent project lands under the user's registry key.
Either way the movie must read in ffprobe and no converter.xml may appear beside the program.

    program_check.py movie <file.swf> <fewest frames> <most frames>
        a movie that the window tests left reads in ffprobe with a video stream of that many
        frames (both bounds included)
"""
import argparse
import os
import shutil
import subprocess
import sys

KEY = r"HKCU\Software\Tellovane\Larkspan"
STANDINS = ["lame.ax", "pcmconv.ax", "vp6vfw.dll"]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(arguments, timeout=300):
    done = subprocess.run(arguments, capture_output=True, text=True, timeout=timeout)
    print(done.stdout, end="")
    print(done.stderr, end="", file=sys.stderr)
    return done


def probe_movie(path):
    probe = run(["ffprobe", "-v", "error", "-count_packets", "-show_entries",
                 "stream=codec_type,codec_name,nb_read_packets", "-of", "compact", path], timeout=60)
    return probe.returncode == 0 and "codec_type=video" in probe.stdout, probe.stdout


def video_packets(streams):
    for line in streams.splitlines():
        fields = dict(field.split("=", 1) for field in line.split("|")[1:] if "=" in field)
        if fields.get("codec_type") == "video":
            return int(fields.get("nb_read_packets", 0))
    return 0


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "movie":
        readable, streams = probe_movie(sys.argv[2])
        frames = video_packets(streams)
        good = readable and int(sys.argv[3]) <= frames <= int(sys.argv[4])
        print(f"{frames} frames" if good else f"FAIL: ffprobe reads {frames} frames (readable: {readable})")
        return 0 if good else 1
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--standins", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--media-run", required=True)
    parser.add_argument("case", choices=["settings", "registry"])
    arguments = parser.parse_args()
    media_run = arguments.media_run
    failures = []

    work = os.path.abspath(arguments.case)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    program = os.path.join(work, "program")
    shutil.copytree(arguments.program, program)
    for name in STANDINS:
        shutil.copy(os.path.join(arguments.standins, name), program)
    registered = run([media_run, "regsvr32", "/s", windows_path(os.path.join(program, "pcmconv.ax"))])
    if registered.returncode != 0:
        failures.append(f"regsvr32 pcmconv.ax exited {registered.returncode}")

    movie = os.path.join(work, "movie.avi")
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10",
                    "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=2", "-t", "2",
                    "-c:v", "rawvideo", "-pix_fmt", "bgra", "-c:a", "pcm_s16le", movie], check=True, timeout=60)
    project = os.path.join(work, "project.xml")
    with open(project, "w", encoding="utf-8", newline="") as file:
        file.write("\r\n".join([
            '<?xml version="1.0" encoding="UTF-8"?>', "<root>",
            "  <video_config>", f"    <video_file>{windows_path(movie)}</video_file>", "    <format>0</format>",
            "    <bitrate>700</bitrate>", "    <key_frame_interval>10</key_frame_interval>",
            "    <quality>8</quality>", "  </video_config>",
            "  <audio_config>", "    <audio_type>1</audio_type>", "    <audio_file></audio_file>", "  </audio_config>",
            "  <publish_config>", f"    <save_dir>{windows_path(work)}</save_dir>",
            "    <save_name>movie</save_name>", "    <add_control>1</add_control>",
            "    <create_html>1</create_html>", "  </publish_config>", "</root>", ""]))

    driver = [media_run, arguments.driver, windows_path(os.path.join(program, "converter.exe")),
              windows_path(project)]
    settings = os.path.join(work, "settings.xml")
    if arguments.case == "settings":
        open(settings, "wb").close()
        driver += ["--", "-c", windows_path(settings)]
    else:
        run([media_run, "reg", "delete", KEY, "/f"])

    driven = run(driver)
    if driven.returncode != 0 or "box Larkspan: All tasks done!" not in driven.stdout:
        failures.append(f"the driver exited {driven.returncode}")

    swf = os.path.join(work, "movie.swf")
    readable, streams = probe_movie(swf)
    if not readable or "codec_type=audio" not in streams:
        failures.append("ffprobe does not read a video and an audio stream in movie.swf")
    if not os.path.exists(os.path.join(work, "movie.htm")):
        failures.append("no movie.htm beside the movie")
    if os.path.exists(os.path.join(program, "converter.xml")):
        failures.append("converter.xml was created beside the program")

    if arguments.case == "settings":
        recent = run(["xmllint", "--xpath", "string(/root/recent_projects/file)", settings], timeout=60)
        if recent.stdout.strip() != windows_path(project):
            failures.append(f"settings hold {recent.stdout.strip()!r}, expected {windows_path(project)!r}")
    else:
        query = run([media_run, "reg", "query", KEY + r"\recent_projects"])
        if windows_path(project) not in query.stdout:
            failures.append("the registry key does not hold the project")
        if os.path.exists(settings):
            failures.append("a settings file appeared")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
