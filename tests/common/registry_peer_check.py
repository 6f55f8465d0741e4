#!/usr/bin/python3
"""Host check: Wine's own regedit reads the key that the registry test left behind (values, types,
indexed list names, a sub-key), then the key is removed."""
import os
import subprocess
import sys
import tempfile

wine_run = sys.argv[1]
key = r"HKEY_CURRENT_USER\Software\LarkspanTests\Peer"

expected = {
    ("Peer", '"big"'): '"-5"',
    ("Peer", '"bitrate"'): "dword:000002bc",
    ("Peer", '"negative"'): "dword:fffffffe",
    ("Peer", '"file"'): r'"C:\\movies\\one.avi"',
    ("Peer", '"file[1]"'): r'"D:\\two & three.avi"',
    ("Peer", '"file[2]"'): '"th\u00efrd \u6f22 \U0001F600"',
    ("group", '"empty"'): '""',
}

with tempfile.TemporaryDirectory() as folder:
    export = os.path.join(folder, "peer.reg")
    subprocess.run([wine_run, "regedit", "/E", "Z:" + export.replace("/", "\\"), key], check=True)
    text = open(export, "rb").read().decode("utf-16")

found = {}
section = None
for line in text.splitlines():
    if line.startswith("["):
        section = line.strip("[]").rsplit("\\", 1)[-1]
    elif "=" in line:
        name, value = line.split("=", 1)
        found[(section, name)] = value

subprocess.run([wine_run, "reg", "delete", key, "/f"], check=False, capture_output=True)
if found != expected:
    sys.exit(f"regedit read {found}\nexpected {expected}")
print(f"regedit read all {len(found)} values as written")
