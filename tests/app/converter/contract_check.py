#!/usr/bin/python3
"""Host check: the converter sees deze's filters only through their contract, since the filters
come from deze.dll at run time. The cross compiler lists (-M) every header that each source of
app/converter/source reaches, built as the build builds it (compile_commands.json); none may be a
header of the filter library but swfmuxapi.h, nor a DirectShow base-class header but mediatype.h.
A probe that includes flip.h must be caught first: a check that sees no header cannot pass.

  contract_check.py <source root> <compile_commands.json>
"""
import concurrent.futures
import glob
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

root = os.path.realpath(sys.argv[1])
commands_path = sys.argv[2]
converter_folder = os.path.join(root, "app", "converter", "source")
# Folder -> the headers of it that the converter may reach.
ALLOWED = {
    os.path.join(root, "app", "deze", "source"): {"swfmuxapi.h"},
    os.path.join(root, "platform", "dshow"): {"mediatype.h"},
}
# Options of the build's command that name its outputs; -M takes their place.
OUTPUT_OPTIONS_WITH_VALUE = {"-o", "-MF", "-MT", "-MQ"}
OUTPUT_OPTIONS = {"-c", "-MD", "-MMD"}


def load_commands():
    with open(commands_path) as source:
        entries = json.load(source)
    commands = {}
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        commands[path] = entry
    return commands


def reached_headers(entry, source):
    """Every file that the compiler reads for source with entry's flags, as real paths."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    build_file = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    kept = []
    skip = False
    for arg in args:
        if skip:
            skip = False
        elif arg in OUTPUT_OPTIONS_WITH_VALUE:
            skip = True
        elif arg in OUTPUT_OPTIONS or os.path.realpath(os.path.join(entry["directory"], arg)) == build_file:
            pass
        else:
            kept.append(arg)
    run = subprocess.run(kept + ["-M", source], cwd=entry["directory"], capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        raise RuntimeError(f"{kept[0]} -M {source} failed:\n{run.stderr}")
    # "target: first second \<newline> third"; a space inside a name is escaped.
    rule = run.stdout.replace("\\\n", " ")
    names = re.split(r"(?<!\\)\s+", rule.split(": ", 1)[1].strip())
    return {os.path.realpath(os.path.join(entry["directory"], name.replace("\\ ", " "))) for name in names if name}


def forbidden(headers):
    found = []
    for header in headers:
        folder, name = os.path.split(header)
        if folder in ALLOWED and name not in ALLOWED[folder]:
            found.append(os.path.relpath(header, root))
    return sorted(found)


def probe(entry):
    """The forbidden headers that a converter source including flip.h is found to reach."""
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "probe.cpp")
        with open(source, "w") as out:
            out.write('#include "app/converter/source/swfgen.h"\n#include "app/deze/source/flip.h"\n')
        return forbidden(reached_headers(entry, source))


def main():
    commands = load_commands()
    sources = sorted(os.path.realpath(path) for path in glob.glob(os.path.join(converter_folder, "*.cpp")))
    failures = [f"{os.path.relpath(path, root)} has no compile command" for path in sources if path not in commands]
    sources = [path for path in sources if path in commands]
    if not sources:
        failures.append("no source of the converter to check")
        print("\n".join(failures))
        return 1

    caught = probe(commands[sources[0]])
    for expected in ("app/deze/source/flip.h", "platform/dshow/transip.h"):
        if expected not in caught:
            failures.append(f"a probe that includes flip.h is not found to reach {expected}")

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        results = pool.map(lambda path: (path, forbidden(reached_headers(commands[path], path))), sources)
        for path, headers in results:
            name = os.path.relpath(path, root)
            print(f"{name}: {len(headers)} header(s) beyond the contract")
            failures += [f"{name} reaches {header}" for header in headers]

    if failures:
        print("\n".join(failures))
        return 1
    print(f"{len(sources)} sources of the converter see deze only through swfmuxapi.h")
    return 0


sys.exit(main())
