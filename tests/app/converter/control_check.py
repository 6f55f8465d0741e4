#!/usr/bin/python3
"""Host check: the control templates, the movies made with them and the pages, read by tools
written elsewhere. yaswfp reads both templates (version 6, FileLength, white background first,
sprite 271 drawn within the control's box, ids below 1000, the 23-byte placement last) and the
merged movies (FileLength, FrameCount, the DoAction's 31 variables in order, the control at 16001);
ffprobe counts the VP6 movie's video frames; xmllint and html.parser read the pages."""
import json
import os
import struct
import subprocess
import sys
import zlib
from html.parser import HTMLParser

from yaswfp import swfparser

program = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def signed(value, bits):
    return value - (1 << bits) if value & (1 << (bits - 1)) else value


def body_of(path):
    """The uncompressed bytes after the 8-byte header, and the header's FileLength."""
    with open(path, "rb") as source:
        data = source.read()
    length = struct.unpack_from("<I", data, 4)[0]
    return (zlib.decompress(data[8:]) if data[:1] == b"C" else data[8:]), length


def top_tags(body):
    """(code, body bytes) of the top-level tags, End included; the body starts with the RECT."""
    bits = body[0] >> 3
    at = (5 + 4 * bits + 7) // 8 + 4
    tags = []
    while at < len(body):
        word = struct.unpack_from("<H", body, at)[0]
        code, length, at = word >> 6, word & 0x3F, at + 2
        if length == 0x3F:
            length, at = struct.unpack_from("<I", body, at)[0], at + 4
        tags.append((code, body[at:at + length]))
        at += length
        if code == 0:
            break
    return tags


def read_rect(data):
    """A RECT at the start of the bytes, signed: yaswfp keeps the fields unsigned without their width."""
    bits = int.from_bytes(data[:18], "big")
    total = len(data[:18]) * 8
    nbits = bits >> (total - 5)
    values = [(bits >> (total - 5 - nbits * (i + 1))) & ((1 << nbits) - 1) for i in range(4)]
    xmin, xmax, ymin, ymax = [signed(value, nbits) for value in values]
    return [(xmin, ymin), (xmax, ymax)]


def parse(path):
    with open(path, "rb") as source:
        return swfparser.SWFParser(source)


def translation(matrix):
    return signed(matrix.TranslateX, matrix.NTranslateBits), signed(matrix.TranslateY, matrix.NTranslateBits)


# ---- the templates ----
fws_body, _ = body_of(os.path.join(program, "control-fws.swf"))
for name in ("control.swf", "control-fws.swf"):
    path = os.path.join(program, name)
    body, length = body_of(path)
    check(body == fws_body, f"{name}: a body other than the uncompressed form's")
    check(length == 8 + len(body), f"{name}: FileLength {length}, movie {8 + len(body)}")
    parsed = parse(path)
    check(parsed.header.Version == 6, f"{name}: version {parsed.header.Version}")
    check(parsed.header.FrameCount == 1, f"{name}: {parsed.header.FrameCount} frames")
    names = [tag.name for tag in parsed.tags]
    check(names[0] == "SetBackgroundColor" and list(parsed.tags[0].BackgroundColor) == [255, 255, 255],
          f"{name}: first tag {names[0]}")
    check(names[-3:] == ["PlaceObject2", "ShowFrame", "End"] or names[-2:] == ["PlaceObject2", "ShowFrame"],
          f"{name}: ends with {names[-3:]}")
    check(names.count("ShowFrame") == 1, f"{name}: {names.count('ShowFrame')} top-level ShowFrame tags")
    raw = top_tags(body)
    raw_definitions = {struct.unpack_from("<H", tag)[0]: tag for code, tag in raw if code in (32, 37)}
    check(raw[-3][0] == 26 and len(raw[-3][1]) == 23 and raw[-3][1][:5] == bytes([0x26, 2, 0, 0x0F, 0x01]),
          f"{name}: the last placement {raw[-3][0]} of {len(raw[-3][1])} bytes")
    check(raw[-3][1][-14:] == b"videoControls\0", f"{name}: the placement's name")
    ids = {}
    for tag in parsed.tags:
        for field in ("ShapeId", "CharacterID", "ButtonId", "SpriteID"):
            if hasattr(tag, field):
                ids[getattr(tag, field)] = tag
    check(all(0 < character < 1000 for character in ids), f"{name}: ids {sorted(ids)}")
    sprite = ids.get(271)
    check(sprite is not None and sprite.name == "DefineSprite", f"{name}: no sprite 271")
    if sprite is None:
        continue

    def bounds(character):
        if character in raw_definitions:
            return read_rect(raw_definitions[character][2:])
        tag = ids[character]
        if tag.name == "DefineSprite":  # a sprite or a button: the corners of what it shows
            shown = [(place.CharacterId, place.Matrix) for place in tag.ControlTags if place.name == "PlaceObject2"]
        else:
            shown = [(record.CharacterId, record.PlaceMatrix) for record in tag.Characters]
        corners = []
        for shown_character, matrix in shown:
            x, y = translation(matrix)
            corners += [(cx + x, cy + y) for cx, cy in bounds(shown_character)]
        return corners

    placed = [tag for tag in sprite.ControlTags if tag.name == "PlaceObject2"]
    check(len(placed) >= 3, f"{name}: the sprite places {len(placed)} characters")
    for place in placed:
        x, y = translation(place.Matrix)
        for cx, cy in bounds(place.CharacterId):
            check(0 <= cx + x <= 4000 and -260 <= cy + y <= 0,
                  f"{name}: character {place.CharacterId} reaches ({cx + x}, {cy + y}) twips")
    functions = [action for tag in sprite.ControlTags if tag.name == "DoAction" for action in tag.Actions
                 if action.name == "ActionDefineFunction"]
    check([f.FunctionName for f in functions] == ["svMovieStarts"], f"{name}: functions {functions}")
    pushed = [action.String for tag in sprite.ControlTags if tag.name == "DoAction" for action in tag.Actions
              if action.name == "ActionPush" and action.Type == 0]
    check("_parent" in pushed and "svBufferText" in pushed, f"{name}: the sprite does not read _parent")

# ---- the movies with the control ----
variables = [("svTitle", 0), ("svStopAtBeginning", 5), ("svStopAtEnd", 7), ("svStartAtVolume", 7),
             ("svPlayButtonStyle", 0), ("svUseSnapshot", 5), ("svChapterMenu", 5), ("svEnableSpeed", 5),
             ("svTextColor", 0), ("svIconColor", 0), ("svBorderColor", 0), ("svTrackColor", 0),
             ("svLoadColor", 0), ("svProgressColor", 0), ("svShowTitleBar", 5), ("svBttnUpColor", 0),
             ("svBttnOverColor", 0), ("svBttnDownColor", 0), ("svBttnRoundness", 7), ("svSubtitleColor", 0),
             ("svSubtitleLang", 0), ("svLanguageMenu", 5), ("svOverlayURL", 0), ("svOverlayTarget", 0),
             ("svBuffer", 5), ("svBufferText", 0), ("svBufferTime", 7), ("svDuration", 0), ("svWidth", 7),
             ("svHeight", 7), ("svMovieHasStarted", 5)]
for movie in ("control_vp6.swf", "control_box.swf"):
    size = os.path.getsize(movie)
    parsed = parse(movie)
    names = [tag.name for tag in parsed.tags]
    check(parsed.header.FileLength == size, f"{movie}: FileLength {parsed.header.FileLength}, file {size}")
    check(parsed.header.FrameCount == names.count("ShowFrame"), f"{movie}: FrameCount {parsed.header.FrameCount}")
    check(all(type(tag).__name__ != "FailingObject" for tag in parsed.tags), f"{movie}: a tag yaswfp cannot read")
    check(names[0] == "DoAction", f"{movie}: first tag {names[0]}")
    actions = parsed.tags[0].Actions
    found = []
    for index in range(len(variables)):
        name_push, value_push, assign = actions[3 * index:3 * index + 3]
        found.append((name_push.String, value_push.Type))
        check(assign.name == "ActionSetVariable", f"{movie}: variable {index} ends with {assign.name}")
    check(found == variables, f"{movie}: variables {found}")
    call = [action.name for action in actions[3 * len(variables):]]
    check(call == ["ActionPush", "ActionGetVariable", "ActionPush", "ActionPush", "ActionGetVariable", "ActionPush",
                   "ActionCallMethod", "ActionPop"], f"{movie}: the call {call}")
    check(actions[3 * len(variables) + 5].String == "svMovieStarts", f"{movie}: the call's method")
    control = [tag for tag in parsed.tags if tag.name == "PlaceObject2" and tag.Depth == 16001]
    check(len(control) == 1, f"{movie}: {len(control)} placements at 16001")
    if control:
        check(control[0].Name == "videoControls" and control[0].CharacterId == 271, f"{movie}: the control's name")
        check(translation(control[0].Matrix) == (1200, 5060), f"{movie}: at {translation(control[0].Matrix)}")

probe = json.loads(subprocess.run(["ffprobe", "-v", "fatal", "-show_streams", "-show_packets", "-of", "json",
                                   "control_vp6.swf"], check=True, capture_output=True).stdout)
video = [stream for stream in probe["streams"] if stream["codec_type"] == "video"]
check(len(video) == 1 and video[0]["codec_name"] == "vp6f", f"control_vp6.swf: streams {probe['streams']}")
packets = [packet for packet in probe["packets"] if video and packet["stream_index"] == video[0]["index"]]
check(len(packets) == 6, f"control_vp6.swf: {len(packets)} video frames")


# ---- the pages ----
class ObjectFinder(HTMLParser):
    def __init__(self):
        super().__init__()
        self.objects = []

    def handle_starttag(self, tag, attrs):
        if tag == "object":
            self.objects.append(dict(attrs))


for page, movie in (("control_vp6.real.htm", "control_vp6.real.swf"), ("control_box.real.htm", "control_box.real.swf")):
    lint = subprocess.run(["xmllint", "--html", "--noout", page], capture_output=True, text=True)
    check(lint.stdout + lint.stderr == "", f"{page}: xmllint says {lint.stdout + lint.stderr}")
    with open(page, encoding="utf-8") as source:
        text = source.read()
    check("$(" not in text, f"{page}: a placeholder left")
    finder = ObjectFinder()
    finder.feed(text)
    check(len(finder.objects) == 1, f"{page}: {len(finder.objects)} objects")
    if finder.objects:
        found = finder.objects[0]
        check((found.get("data"), found.get("width"), found.get("height")) == (movie, "320", "253"),
              f"{page}: object {found}")

for failure in failures:
    print("FAIL:", failure)
print("templates, 2 movies and 2 pages checked")
sys.exit(1 if failures else 0)
