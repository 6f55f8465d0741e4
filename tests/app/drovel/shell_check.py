"""drovel.exe run from the shell with no recorder: its error box is closed by box_closer.exe, and
the shell must see the exit code -1 as status 255."""
import os
import subprocess
import sys

wine_run, drovel, closer = sys.argv[1:4]
env = dict(os.environ, WINE_RUN_TIMEOUT="60")
tool = subprocess.Popen([wine_run, drovel, "record"], env=env, stdout=subprocess.DEVNULL)
closed = subprocess.run([wine_run, closer], env=env, capture_output=True, text=True)
status = tool.wait(timeout=90)

failures = []
if closed.returncode != 0:
    failures.append("no error box was seen: %r" % closed.stdout)
elif closed.stdout.strip() != "Failed to find Quillory main window":
    failures.append("box text %r" % closed.stdout.strip())
if status != 255:
    failures.append("shell status %d, expected 255" % status)
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
