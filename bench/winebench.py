"""What the benchmark scripts share: running a bench program of the win64 build under Wine in its
own work folder, and timing ffmpeg."""

import os
import re
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run_bench(name, frames):
    """Runs build/win64/bench/<name>.exe in build/bench/<folder> with the frame count, prints and
    returns its output and the work folder; ends the script when it fails."""
    work = os.path.join(root, "build", "bench", name.replace("_bench", ""))
    os.makedirs(work, exist_ok=True)
    bench = os.path.join(root, "build", "win64", "bench", name + ".exe")
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
