#!/usr/bin/python3
"""Host check: every settings file the Windows tests wrote into the given folders is well-formed to
xmllint and to Python's xml.etree, has the writer's form (no byte-order mark, the declaration line,
CR LF line ends only), and values.xml holds exactly the texts the test saved.

    xml_check.py <folder>... [--expect <file name>...]    the named files must be among them
"""
import argparse
import glob
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

DECLARATION = b'<?xml version="1.0" encoding="UTF-8"?>\r\n'

# The leaf texts of xml_test's LeafValuesReadBackAsWritten, in order.
VALUES = ["&", "<", ">", "]]>", "  blanks at both ends  ", "a\nb", "a\r\nb", "\r", "tab\there", "\u00e9t\u00e9",
          "\u6f22\u5b57", "\U0001F600 pair", "", "&amp; <![CDATA[x]]> &#13;", "\"quotes' and = signs\""]

parser = argparse.ArgumentParser()
parser.add_argument("folders", nargs="+")
parser.add_argument("--expect", nargs="+", default=[])
arguments = parser.parse_args()
files = sorted(f for folder in arguments.folders for f in glob.glob(os.path.join(folder, "*.xml")))
if not files:
    sys.exit("no xml files found in " + " ".join(arguments.folders))
failures = [f"{name} was not written" for name in arguments.expect
            if name not in {os.path.basename(path) for path in files}]
for path in files:
    data = open(path, "rb").read()
    lint = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
    if lint.returncode != 0:
        failures.append(f"{path}: xmllint: {lint.stderr.strip()}")
        continue
    root = ET.parse(path).getroot()
    if not data.startswith(DECLARATION):
        failures.append(f"{path}: does not start with the declaration line")
    if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
        failures.append(f"{path}: a line end other than CR LF")
    if os.path.basename(path) == "values.xml":
        texts = [element.text or "" for element in root]
        if texts != VALUES:
            failures.append(f"{path}: read {texts!r}")
if failures:
    sys.exit("\n".join(failures))
print(f"{len(files)} files well-formed in the writer's form")
