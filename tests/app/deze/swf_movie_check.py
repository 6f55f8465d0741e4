#!/usr/bin/python3
"""Host check: the movie that swfmovie_test.cpp wrote is read by parsers written elsewhere.
yaswfp walks the header, every tag, the shape records, the placement and the DoAction pushes;
ffmpeg's SWF demuxer decodes the DefineBitsLossless2 bitmap. Both must give back what the movie
was meant to carry."""
import os
import subprocess
import sys
import zlib

from yaswfp import swfparser

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def signed(value, bits):
    """yaswfp reads RECT and MATRIX fields as unsigned: undo the two's complement."""
    return value - (1 << bits) if value >= 1 << (bits - 1) else value


# What swfmovie_test.cpp wrote (twips for coordinates).
expect = {
    "version": 8, "frame_size": [0, 6400, 0, 4800], "frame_rate": 0x0C80, "frame_count": 1,
    "tags": ["DoAction", "DefineBitsLossless2", "DefineShape3", "PlaceObject2", "ShowFrame"],
    "variables": [["svTitle", "String", "Screen recording"], ["svBuffer", "Boolean", 1],
                  ["svStopAtBeginning", "Boolean", 0], ["svWidth", "Integer", 320], ["svOffset", "Integer", -5]],
    "bitmap": {"id": 1, "format": 5, "width": 24, "height": 16},
    "shape": {"id": 2, "bounds": [0, 480, 0, 320], "bitmap_scale": 20 << 16,
              "boxes": [[0, 0, 160, 320], [160, 0, 320, 160], [160, 160, 320, 160]]},
    "place": {"depth": 1, "character": 2, "translate": [-400, 260]},
}
pixels = open("movie_pixels.argb", "rb").read()
size = os.path.getsize("movie.swf")

with open("movie.swf", "rb") as source:
    movie = swfparser.SWFParser(source)

header = movie.header
check(header.Signature == "FWS", f"signature {header.Signature}")
check(header.Version == expect["version"], f"version {header.Version}")
check(header.FileLength == size, f"FileLength {header.FileLength} for a file of {size} bytes")
check(list(header.FrameSize) == expect["frame_size"], f"FrameSize {header.FrameSize}")
check(header.FrameRate == expect["frame_rate"], f"FrameRate {header.FrameRate}")
check(header.FrameCount == expect["frame_count"], f"FrameCount {header.FrameCount}")

names = [tag.name for tag in movie.tags]
check(names == expect["tags"], f"tags {names}")
for tag in movie.tags:
    check(type(tag).__name__ != "FailingObject", f"yaswfp failed to parse {tag.name}")

tags = {tag.name: tag for tag in movie.tags}

# DoAction: name, value, SetVariable for each variable, then the method call tail.
actions = tags["DoAction"].Actions
pushes = [a for a in actions if a.name == "ActionPush"]
i = 0
for name, kind, value in expect["variables"]:
    check(pushes[i].Type == 0 and pushes[i].String == name, f"push of name {name}")
    pushed = pushes[i + 1]
    got = getattr(pushed, kind, None)
    if kind == "Integer" and got is not None:
        got = signed(got, 32)
    check(got == value, f"value of {name}: {got!r} for {value!r}")
    i += 2
tail = [(a.name, getattr(a, "String", getattr(a, "Integer", None)))
        for a in actions[3 * len(expect["variables"]):]]
check(tail == [("ActionPush", "this"), ("ActionGetVariable", None), ("ActionPush", 1),
               ("ActionPush", "_parent"), ("ActionGetVariable", None), ("ActionPush", "svMovieStarts"),
               ("ActionCallMethod", None), ("ActionPop", None)], f"tail {tail}")
check(sum(a.name == "ActionSetVariable" for a in actions) == len(expect["variables"]), "SetVariable count")

# DefineBitsLossless2: yaswfp keeps the body raw; its pixels inflate to what was written.
bitmap = expect["bitmap"]
raw = tags["DefineBitsLossless2"].raw_payload
check(raw[0] | raw[1] << 8 == bitmap["id"], "bitmap id")
check(raw[2] == bitmap["format"], "bitmap format")
check(raw[3] | raw[4] << 8 == bitmap["width"] and raw[5] | raw[6] << 8 == bitmap["height"], "bitmap size")
check(zlib.decompress(raw[7:]) == pixels, "bitmap pixels (python zlib)")

# DefineShape3: one clipped bitmap fill and one outlined box per expected box.
shape_expect = expect["shape"]
shape = tags["DefineShape3"]
check(shape.ShapeId == shape_expect["id"], f"ShapeId {shape.ShapeId}")
check(list(shape.ShapeBounds) == shape_expect["bounds"], f"bounds {shape.ShapeBounds}")
fills = shape.Shapes.FillStyles.FillStyles
boxes = shape_expect["boxes"]
check(len(fills) == len(boxes), f"{len(fills)} fill styles")
for fill in fills:
    m = fill.BitmapMatrix
    check(fill.FillStyleType == 0x41 and fill.BitmapId == bitmap["id"], "fill style type and bitmap")
    scale = shape_expect["bitmap_scale"]
    check(m.HasScale == 1 and m.ScaleX == scale and m.ScaleY == scale, "bitmap scale")
    check(m.HasRotate == 0, "bitmap rotation")
check(len(shape.Shapes.LineStyles.LineStyles) == 0, "line styles")
records = shape.Shapes.ShapeRecords
check(len(records) == 5 * len(boxes), f"{len(records)} shape records")
for index, box in enumerate(boxes):
    start, *edges = records[5 * index:5 * index + 5]
    check(start.name == "StyleChangeRecord" and start.StateMoveTo == 1 and start.StateFillStyle1 == 1,
          f"box {index} style change")
    check((start.MoveDeltaX, start.MoveDeltaY) == (box[0], box[1]), f"box {index} move {start.MoveDeltaX}")
    check(start.FillStyle1 == index + 1, f"box {index} fill {start.FillStyle1}")
    x, y, width, height = box
    steps = [(getattr(e, "DeltaX", 0), getattr(e, "DeltaY", 0)) for e in edges]
    check(all(e.name == "StraightEdgeRecord" and e.GeneralLineFlag == 0 for e in edges), f"box {index} edges")
    check(steps == [(width, 0), (0, height), (-width, 0), (0, -height)], f"box {index} steps {steps}")

# PlaceObject2: depth, character and a negative translation.
place_expect = expect["place"]
place = tags["PlaceObject2"]
check(place.PlaceFlagHasMatrix == 1 and place.PlaceFlagHasCharacter == 1 and place.PlaceFlagMove == 0,
      "place flags")
check(place.Depth == place_expect["depth"] and place.CharacterId == place_expect["character"], "place ids")
matrix = place.Matrix
translate = [signed(value, matrix.NTranslateBits) for value in (matrix.TranslateX, matrix.TranslateY)]
check(matrix.HasScale == 0 and matrix.HasRotate == 0, "place matrix has no scale or rotation")
check(translate == place_expect["translate"], f"translate {translate}")

# ffmpeg's demuxer inflates the bitmap itself; as 32-bit ARGB it must equal the pixels written.
decoded = subprocess.run(
    ["ffmpeg", "-v", "error", "-nostdin", "-i", "movie.swf", "-frames:v", "1", "-f", "rawvideo",
     "-pix_fmt", "argb", "-"], capture_output=True)
check(decoded.returncode == 0, f"ffmpeg failed: {decoded.stderr.decode(errors='replace')}")
check(decoded.stdout == pixels, f"ffmpeg decoded {len(decoded.stdout)} bytes, not the {len(pixels)} written")

if failures:
    sys.exit("\n".join(failures))
print(f"yaswfp and ffmpeg read {len(movie.tags)} tags of {size} bytes as written")
