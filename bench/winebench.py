"""What the benchmark scripts share: their arguments (the build, win32 or win64, and the frame
count), running a bench program of that build under Wine in its own work folder, and timing
ffmpeg."""

import argparse
import os
import re
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def arguments(description):
    """The build folder (build/win32, the shipped build, unless --build says otherwise) and the
    frame count."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--build", choices=("win32", "win64"), default="win32",
                        help="the build whose programs run (default: win32, the shipped build)")
    parser.add_argument("frames", type=int, nargs="?", default=300)
    parsed = parser.parse_args()
    return os.path.join(root, "build", parsed.build), parsed.frames


def work_folder(build, name):
    """build/bench/<build>/<name>, made when missing."""
    work = os.path.join(root, "build", "bench", os.path.basename(build), name)
    os.makedirs(work, exist_ok=True)
    return work


def run_bench(build, name, frames):
    """Runs <build>/bench/<name>.exe in its work folder with the frame count, prints and returns
    its output and the work folder; ends the script when it fails."""
    work = work_folder(build, name.replace("_bench", ""))
    bench = os.path.join(build, "bench", name + ".exe")
    print("%s (%s)" % (name, os.path.basename(build)))
    run = subprocess.run([os.path.join(root, "scripts", "wine-run"), bench, ".", str(frames)], cwd=work,
                         capture_output=True, text=True, timeout=3600)
    print(run.stdout, end="")
    if run.returncode != 0:
        sys.exit(name + " failed:\n" + run.stderr)
    return work, run.stdout


def ffmpeg_seconds(arguments):
    """Real time of ffmpeg's own work (-benchmark), without process start-up."""
    result = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-benchmark"] + arguments,
                            capture_output=True, text=True, timeout=3600)
    if result.returncode != 0:
        sys.exit("ffmpeg failed:\n" + result.stderr[-2000:])
    return float(re.search(r"rtime=([0-9.]+)s", result.stderr).group(1))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_lossless_project(project, video, movie):
    """A project that converts the video losslessly into the movie, without control or page."""
    with open(project, "w", encoding="utf-8", newline="") as out:
        out.write("\r\n".join([
            '<?xml version="1.0" encoding="UTF-8"?>', "<root>",
            "  <video_config>", "    <video_file>%s</video_file>" % windows_path(video), "    <format>0</format>",
            "  </video_config>",
            "  <audio_config>", "    <audio_type>0</audio_type>", "  </audio_config>",
            "  <publish_config>", "    <save_dir>%s</save_dir>" % windows_path(os.path.dirname(movie)),
            "    <save_name>%s</save_name>" % os.path.basename(movie), "    <add_control>0</add_control>",
            "    <create_html>0</create_html>", "  </publish_config>", "</root>", ""]))
