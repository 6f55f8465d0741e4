#!/usr/bin/python3
"""Host check: replays a lossless movie and compares every shown frame with the frames that went in.

yaswfp reads the tags and python's zlib inflates the bitmaps. The replay keeps the display list
(PlaceObject2 and RemoveObject2 by depth) and, at every ShowFrame, draws the shapes in depth order:
each shape is a set of rectangular outlines filled with clipped bitmaps. Only RGB is compared (the
fourth input byte carries no colour). Before drawing a frame it checks that the display list holds
no more bitmap rectangles than the encoder's bound, read from its one definition: a player draws
them all in every frame. ffmpeg's SWF demuxer must decode the first bitmap as frame 0.

    box_replay_check.py [movie.swf frames.raw]     (raw: top-down B, G, R, X bytes per pixel)
"""
import os
import re
import subprocess
import sys
import zlib

from yaswfp import swfparser

HERE = os.path.dirname(os.path.abspath(__file__))
ENCODER_HEADER = os.path.join(HERE, "..", "..", "..", "app", "deze", "source", "swfbox.h")
TWIPS = 20
SCALE = TWIPS << 16
movie_path, frames_path = sys.argv[1:3] if len(sys.argv) > 2 else ("box.swf", "box_frames.raw")
failures = []
with open(ENCODER_HEADER, encoding="utf-8") as header_source:
    LIST_BOUND = int(re.search(r"\bkMaxDisplayListRects = (\d+);", header_source.read()).group(1))


def fail(what):
    failures.append(what)
    if len(failures) > 20:
        sys.exit("\n".join(failures))


def signed(value, bits):
    """yaswfp reads MATRIX fields as unsigned: undo the two's complement."""
    return value - (1 << bits) if bits and value >= 1 << (bits - 1) else value


def as_argb(frame):
    """B, G, R, X bytes to A, R, G, B with opaque alpha."""
    argb = bytearray(b"\xff" * len(frame))
    argb[1::4], argb[2::4], argb[3::4] = frame[2::4], frame[1::4], frame[0::4]
    return argb


def shape_boxes(shape, bitmaps):
    """[(x, y, width, height, bitmap id, bitmap x, bitmap y)] in pixels, or None when the shape is
    anything but bitmap-filled rectangles on the pixel grid."""
    fills = shape.Shapes.FillStyles.FillStyles
    if shape.Shapes.LineStyles.LineStyles:
        return None
    records = shape.Shapes.ShapeRecords
    if len(records) % 5:
        return None
    boxes = []
    for start in range(0, len(records), 5):
        move, *edges = records[start:start + 5]
        if move.name != "StyleChangeRecord" or not move.StateMoveTo or not move.StateFillStyle1 or move.StateNewStyles:
            return None
        if any(e.name != "StraightEdgeRecord" for e in edges):
            return None
        steps = [(getattr(e, "DeltaX", 0), getattr(e, "DeltaY", 0)) for e in edges]
        width, height = steps[0][0], steps[1][1]
        # A clockwise outline, y downwards, filled on its right side.
        if steps != [(width, 0), (0, height), (-width, 0), (0, -height)] or width <= 0 or height <= 0:
            return None
        if any(v % TWIPS for v in (move.MoveDeltaX, move.MoveDeltaY, width, height)):
            return None
        fill = fills[move.FillStyle1 - 1]
        matrix = fill.BitmapMatrix
        if fill.FillStyleType != 0x41 or fill.BitmapId not in bitmaps or matrix.HasRotate:
            return None
        if not matrix.HasScale or (matrix.ScaleX, matrix.ScaleY) != (SCALE, SCALE):
            return None
        tx, ty = (signed(v, matrix.NTranslateBits) for v in (matrix.TranslateX, matrix.TranslateY))
        if tx % TWIPS or ty % TWIPS:
            return None
        boxes.append((move.MoveDeltaX // TWIPS, move.MoveDeltaY // TWIPS, width // TWIPS, height // TWIPS,
                      fill.BitmapId, tx // TWIPS, ty // TWIPS))
    return boxes


with open(movie_path, "rb") as source:
    movie = swfparser.SWFParser(source)
header = movie.header
width, height = header.FrameSize[1] // TWIPS, header.FrameSize[3] // TWIPS
frame_bytes = width * height * 4
frames_size = os.path.getsize(frames_path)
if frames_size % frame_bytes:
    sys.exit(f"{frames_path} holds no whole number of {width}x{height} frames")
if header.FileLength != os.path.getsize(movie_path):
    fail(f"FileLength {header.FileLength} for a file of {os.path.getsize(movie_path)} bytes")

bitmaps = {}    # id: (width, height, ARGB bytes)
shapes = {}     # id: boxes
display = {}    # depth: shape id
shown = 0
most_on_list = 0
canvas = bytearray(frame_bytes)  # alpha 0: a pixel no shape covers cannot match
# What changed since the last frame: shapes placed above all others are drawn over the last
# picture; a removal, or a placement below, draws the whole list again.
placed = []
redraw = True


def draw(depths):
    for depth in depths:
        for x, y, w, h, bitmap, ox, oy in shapes.get(display[depth], []):
            bw, bh, pixels = bitmaps[bitmap]
            if x < ox or y < oy or x + w > ox + bw or y + h > oy + bh or x + w > width or y + h > height:
                fail(f"frame {shown}: box {x},{y} {w}x{h} leaves bitmap {bitmap} or the stage")
                continue
            for row in range(y, y + h):
                source = ((row - oy) * bw + x - ox) * 4
                canvas[(row * width + x) * 4:(row * width + x + w) * 4] = pixels[source:source + w * 4]


with open(frames_path, "rb") as frames:
    for tag in movie.tags:
        name = tag.name
        if type(tag).__name__ == "FailingObject":
            fail(f"yaswfp could not parse a {name} tag")
        elif name == "DefineBitsLossless2":
            body = tag.raw_payload
            ident, kind = body[0] | body[1] << 8, body[2]
            bw, bh = body[3] | body[4] << 8, body[5] | body[6] << 8
            pixels = zlib.decompress(body[7:])
            if kind != 5 or len(pixels) != bw * bh * 4 or ident in bitmaps or ident in shapes:
                fail(f"bitmap {ident}: format {kind}, {len(pixels)} bytes for {bw}x{bh}, or a redefinition")
            bitmaps[ident] = (bw, bh, pixels)
        elif name == "DefineShape3":
            boxes = shape_boxes(tag, bitmaps)
            if boxes is None or tag.ShapeId in shapes or tag.ShapeId in bitmaps:
                fail(f"shape {tag.ShapeId} is not a new set of bitmap rectangles")
            shapes[tag.ShapeId] = boxes or []
        elif name == "PlaceObject2":
            identity = not tag.Matrix.HasScale and not tag.Matrix.HasRotate and tag.Matrix.NTranslateBits == 0
            if tag.PlaceFlagMove or not tag.PlaceFlagHasCharacter or not identity or tag.Depth in display:
                fail(f"placement at depth {tag.Depth} is not a new shape at the origin")
            redraw = redraw or any(depth > tag.Depth for depth in display)
            display[tag.Depth] = tag.CharacterId
            placed.append(tag.Depth)
        elif name == "RemoveObject2":
            if display.pop(tag.Depth, None) is None:
                fail(f"removal of the empty depth {tag.Depth}")
            redraw = True
        elif name == "ShowFrame":
            on_list = sum(len(shapes.get(shape, [])) for shape in display.values())
            if on_list > LIST_BOUND:
                fail(f"frame {shown}: {on_list} rectangles on the display list, more than {LIST_BOUND}")
                sys.exit("\n".join(failures))
            most_on_list = max(most_on_list, on_list)
            expect = frames.read(frame_bytes)
            if len(expect) < frame_bytes:
                fail(f"frame {shown} is shown but was never pushed")
                break
            if redraw:
                canvas[:] = bytes(frame_bytes)
                draw(sorted(display))
            else:
                draw(sorted(depth for depth in placed if depth in display))
            placed, redraw = [], False
            expect = as_argb(expect)
            if canvas != expect:
                first = next(i for i in range(0, frame_bytes, 4) if canvas[i:i + 4] != expect[i:i + 4])
                pixel = first // 4
                fail(f"frame {shown}: pixel ({pixel % width}, {pixel // width}) is {canvas[first:first + 4].hex()},"
                     f" not {expect[first:first + 4].hex()}")
            shown += 1
if shown * frame_bytes != frames_size:
    fail(f"{shown} frames shown of {frames_size // frame_bytes} pushed")
if header.FrameCount != shown:
    fail(f"FrameCount {header.FrameCount} for {shown} frames")

# ffmpeg's own inflater and pixel handling on the first bitmap, which is the whole frame 0.
decoded = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", movie_path, "-frames:v", "1", "-f", "rawvideo",
                          "-pix_fmt", "argb", "-"], capture_output=True)
with open(frames_path, "rb") as frames:
    first = as_argb(frames.read(frame_bytes))
if decoded.returncode != 0 or decoded.stdout != first:
    fail(f"ffmpeg decoded {len(decoded.stdout)} bytes unlike frame 0: {decoded.stderr.decode(errors='replace')}")

if failures:
    sys.exit("\n".join(failures))
print(f"{shown} frames of {width}x{height} replayed from {len(bitmaps)} bitmaps and {len(shapes)} shapes, at most "
      f"{most_on_list} rectangles on the display list: every pixel as pushed")
