// Writes the converter's movie control template: control.swf (compressed, as shipped) and
// control-fws.swf (the same movie uncompressed) into the current folder. The movie holds the
// control's definitions, sprite 271 among them, between a white SetBackgroundColor and the sprite's
// own 23-byte placement at depth 2; the converter copies what lies between. The output is the same
// on every run.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "app/deze/source/swfshape.h"
#include "common/stream.h"
#include "common/zstream.h"
#include "media/swfaction.h"
#include "media/swfrecord.h"

namespace {

constexpr int32_t kTagSetBackgroundColor = 9;
constexpr int32_t kTagDefineButton2 = 34;
constexpr int32_t kTagDefineEditText = 37;
constexpr int32_t kTagDefineSprite = 39;

// Action codes beyond what ActionBuffer writes.
constexpr uint8_t kActionPlay = 0x06;
constexpr uint8_t kActionMultiply = 0x0C;
constexpr uint8_t kActionDivide = 0x0D;
constexpr uint8_t kActionSetProperty = 0x23;
constexpr uint8_t kActionGetMember = 0x4E;
constexpr uint8_t kActionGotoFrame = 0x81;
constexpr uint8_t kActionJump = 0x99;
constexpr uint8_t kActionDefineFunction = 0x9B;
constexpr uint8_t kActionIf = 0x9D;
constexpr int32_t kPropertyXScale = 2;

// PlaceObject2 flags.
constexpr uint8_t kPlaceHasCharacter = 0x02;
constexpr uint8_t kPlaceHasMatrix = 0x04;
constexpr uint8_t kPlaceHasName = 0x20;

constexpr int32_t kWidth = 200 * kTwipsPerPixel;  // the control: x 0 to 4000, y -260 to 0
constexpr int32_t kHeight = 13 * kTwipsPerPixel;
constexpr uint16_t kControlSprite = 271;
constexpr uint16_t kTemplateDepth = 2;

enum : uint16_t { kBorder = 1, kTrack, kProgress, kButtonFace, kPlayIcon, kPlayButton, kBufferText };

using Bytes = std::vector<uint8_t>;

// Action bytes: ActionBuffer's records joined with the few it does not write.
class Script {
 public:
  Script& Push(const char* text) { return Add([&](ActionBuffer& a) { return a.PushCString(text); }); }
  Script& Push(int32_t value) { return Add([&](ActionBuffer& a) { return a.PushInteger(value); }); }
  Script& PushBoolean(bool value) { return Add([&](ActionBuffer& a) { return a.PushBoolean(value); }); }
  Script& GetVariable() { return Add([](ActionBuffer& a) { return a.GetVariable(); }); }
  Script& SetVariable() { return Add([](ActionBuffer& a) { return a.SetVariable(); }); }
  Script& CallMethod() { return Add([](ActionBuffer& a) { return a.CallMethod(); }); }
  Script& Pop() { return Add([](ActionBuffer& a) { return a.Pop(); }); }
  Script& End() { return Add([](ActionBuffer& a) { return a.End(); }); }
  // _parent.<name>
  Script& ParentMember(const char* name) { return Push("_parent").GetVariable().Push(name).Op(kActionGetMember); }
  // _parent.<method>() with its result dropped.
  Script& CallParent(const char* method) { return Push(0).Push("_parent").GetVariable().Push(method).CallMethod().Pop(); }

  Script& Op(uint8_t code) {
    bytes.push_back(code);
    return *this;
  }
  Script& Record(uint8_t code, const Bytes& payload) {
    Op(code);
    Word(payload.size());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return *this;
  }
  // A branch over the next `distance` bytes.
  Script& Branch(uint8_t code, size_t distance) { return Record(code, {Low(distance), High(distance)}); }
  Script& Append(const Script& other) {
    bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    ok = ok && other.ok;
    return *this;
  }

  static uint8_t Low(size_t value) { return static_cast<uint8_t>(value); }
  static uint8_t High(size_t value) { return static_cast<uint8_t>(value >> 8); }

  Bytes bytes;
  bool ok = true;

 private:
  template <class Write>
  Script& Add(Write write) {
    ActionBuffer buffer;
    ok = ok && write(buffer);
    if (buffer.GetSize() > 0) bytes.insert(bytes.end(), buffer.GetData(), buffer.GetData() + buffer.GetSize());
    return *this;
  }
  void Word(size_t value) {
    bytes.push_back(Low(value));
    bytes.push_back(High(value));
  }
};

bool WriteBytes(BitStream& out, const uint8_t* data, int32_t size) {
  return size == 0 || out.TransferExactly(const_cast<uint8_t*>(data), size);
}

bool WriteTag(BitStream& out, int32_t code, const MemOut& body) {
  return WriteRecordHeader(out, code, body.GetDataSize()) && WriteBytes(out, body.GetData(), body.GetDataSize());
}

bool WriteTag(BitStream& out, int32_t code, const Bytes& body) {
  return WriteRecordHeader(out, code, static_cast<int32_t>(body.size())) &&
         WriteBytes(out, body.data(), static_cast<int32_t>(body.size()));
}

bool WriteString(BitStream& out, const char* text) {
  Bytes bytes(text, text + strlen(text) + 1);
  return WriteBytes(out, bytes.data(), static_cast<int32_t>(bytes.size()));
}

// One solid-filled outline, points in twips.
bool WritePolygon(BitStream& out, uint16_t id, std::initializer_list<std::pair<int32_t, int32_t>> points,
                  FRGBA color) {
  DefineShape<3> shape;
  shape.ShapeId = id;
  int32_t xmin = points.begin()->first, xmax = xmin, ymin = points.begin()->second, ymax = ymin;
  for (auto [x, y] : points) {
    xmin = std::min(xmin, x), xmax = std::max(xmax, x), ymin = std::min(ymin, y), ymax = std::max(ymax, y);
  }
  shape.ShapeBounds = FRECT(xmin, xmax, ymin, ymax);
  SHAPEWITHSTYLE<3>& body = shape.Shapes;
  FILLSTYLE<3> fill;
  fill.Color = color;
  body.FillStyles.Styles.push_back(fill);
  body.NumFillBits = UBX<4>(1);
  auto start = MakeCounted<STYLECHANGERECORD<3>>(1, 0);
  start->StateMoveTo = start->StateFillStyle1 = UBX<1>(1);
  start->MoveDeltaX.value = points.begin()->first;
  start->MoveDeltaY.value = points.begin()->second;
  start->FillStyle1.value = 1;
  body.ShapeRecords.push_back(start);
  auto previous = *points.begin();
  std::vector<std::pair<int32_t, int32_t>> outline(points.begin() + 1, points.end());
  outline.push_back(*points.begin());
  for (auto point : outline) {
    auto edge = MakeCounted<STRAIGHTEDGERECORD>();
    const int32_t dx = point.first - previous.first, dy = point.second - previous.second;
    edge->GeneralLineFlag = UBX<1>(dx != 0 && dy != 0);
    edge->VertLineFlag = UBX<1>(dx == 0);
    edge->DeltaX.value = dx;
    edge->DeltaY.value = dy;
    body.ShapeRecords.push_back(edge);
    previous = point;
  }
  body.ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
  MemOut bytes;
  return shape.Exchange(bytes) && WriteTag(out, kTagDefineShape3, bytes);
}

bool WriteRectangle(BitStream& out, uint16_t id, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    FRGBA color) {
  return WritePolygon(out, id, {{left, top}, {right, top}, {right, bottom}, {left, bottom}}, color);
}

bool WritePlacement(BitStream& out, uint16_t depth, uint16_t character, int32_t x, int32_t y,
                    const char* name = nullptr) {
  MemOut body;
  uint8_t flags = kPlaceHasCharacter | kPlaceHasMatrix | (name ? kPlaceHasName : 0);
  FMATRIX matrix;
  matrix.TranslateX.value = x;
  matrix.TranslateY.value = y;
  return ExchangeUI8(body, flags) && ExchangeUI16(body, depth) && ExchangeUI16(body, character) &&
         matrix.Exchange(body) && (!name || WriteString(body, name)) && WriteTag(out, kTagPlaceObject2, body);
}

// Pause or play the movie on release; `paused` lives on the control's timeline.
Script ToggleScript() {
  Script resume;
  resume.CallParent("play").Push("paused").PushBoolean(false).SetVariable();
  Script pause;
  pause.CallParent("stop").Push("paused").PushBoolean(true).SetVariable();
  pause.Branch(kActionJump, resume.bytes.size());
  Script toggle;
  toggle.Push("paused").GetVariable().Branch(kActionIf, pause.bytes.size()).Append(pause).Append(resume).End();
  return toggle;
}

bool WritePlayButton(BitStream& out) {
  constexpr uint8_t kStateUp = 0x01, kStateOver = 0x02, kStateDown = 0x04, kStateHitTest = 0x08;
  constexpr uint8_t kOverDownToOverUp = 0x08;  // released over the button
  MemOut records;
  for (auto [character, states] : {std::pair{kButtonFace, kStateUp | kStateOver | kStateDown | kStateHitTest},
                                   std::pair{kPlayIcon, kStateUp | kStateOver | kStateDown}}) {
    uint8_t flags = static_cast<uint8_t>(states);
    uint16_t id = character, depth = character;
    uint8_t identityColor = 0;  // CXFORMWITHALPHA without terms
    FMATRIX matrix;
    if (!ExchangeUI8(records, flags) || !ExchangeUI16(records, id) || !ExchangeUI16(records, depth) ||
        !matrix.Exchange(records) || !ExchangeUI8(records, identityColor)) {
      return false;
    }
  }
  const Script toggle = ToggleScript();
  MemOut body;
  uint16_t id = kPlayButton;
  uint8_t trackAsMenu = 0, endOfRecords = 0, conditionFlags = kOverDownToOverUp, keyPress = 0;
  uint16_t actionOffset = static_cast<uint16_t>(2 + records.GetDataSize() + 1), lastAction = 0;
  return toggle.ok && ExchangeUI16(body, id) && ExchangeUI8(body, trackAsMenu) && ExchangeUI16(body, actionOffset) &&
         WriteBytes(body, records.GetData(), records.GetDataSize()) && ExchangeUI8(body, endOfRecords) &&
         ExchangeUI16(body, lastAction) && ExchangeUI8(body, conditionFlags) && ExchangeUI8(body, keyPress) &&
         WriteBytes(body, toggle.bytes.data(), static_cast<int32_t>(toggle.bytes.size())) &&
         WriteTag(out, kTagDefineButton2, body);
}

// Read-only text bound to the control's variable bufferText.
bool WriteBufferText(BitStream& out) {
  constexpr uint8_t kHasText = 0x80, kReadOnly = 0x08, kHasTextColor = 0x04;
  constexpr uint8_t kNoSelect = 0x10;
  MemOut body;
  uint16_t id = kBufferText;
  FRECT bounds(3 * kTwipsPerPixel, kWidth - 2 * kTwipsPerPixel, -kHeight, 0);
  uint8_t flags1 = kHasText | kReadOnly | kHasTextColor, flags2 = kNoSelect;
  FRGBA color(0x33, 0x33, 0x33, 0xFF);
  return ExchangeUI16(body, id) && bounds.Exchange(body) && body.AlignToByte() && ExchangeUI8(body, flags1) &&
         ExchangeUI8(body, flags2) && color.Exchange(body) && WriteString(body, "bufferText") &&
         WriteString(body, "") && WriteTag(out, kTagDefineEditText, body);
}

bool WriteDoAction(BitStream& out, const Script& script) {
  return script.ok && WriteTag(out, kTagDoAction, script.bytes);
}

// Frame 1 sets up and defines svMovieStarts, frame 2 follows the movie's progress, frame 3 loops
// back to frame 2.
bool WriteControlSprite(BitStream& out) {
  Script setUp;
  setUp.Push("bufferText").ParentMember("svBufferText").SetVariable();
  setUp.Push("paused").ParentMember("svStopAtBeginning").SetVariable();
  Script started;  // svMovieStarts(movie): playing, so the buffering text goes
  started.Push("bufferText").Push("").SetVariable();
  Bytes function = {'s', 'v', 'M', 'o', 'v', 'i', 'e', 'S', 't', 'a', 'r', 't', 's', 0, 1, 0,
                    'm', 'o', 'v', 'i', 'e', 0, Script::Low(started.bytes.size()), Script::High(started.bytes.size())};
  setUp.Record(kActionDefineFunction, function).Append(started).End();

  Script progress;  // progress._xscale = _parent._currentframe * 100 / _parent._totalframes
  progress.Push("progress").Push(kPropertyXScale).ParentMember("_currentframe").Push(100).Op(kActionMultiply);
  progress.ParentMember("_totalframes").Op(kActionDivide).Op(kActionSetProperty).End();

  Script loop;
  loop.Record(kActionGotoFrame, {1, 0}).Op(kActionPlay).End();

  MemOut tags;
  const int32_t inset = kTwipsPerPixel, buttonRight = kHeight;
  const bool written =
      WritePlacement(tags, 1, kBorder, 0, 0) && WritePlacement(tags, 2, kTrack, 0, 0) &&
      WritePlacement(tags, 3, kProgress, buttonRight + inset, 0, "progress") &&
      WritePlacement(tags, 4, kPlayButton, 0, 0) && WritePlacement(tags, 5, kBufferText, 0, 0) &&
      WriteDoAction(tags, setUp) && WriteRecordHeader(tags, kTagShowFrame, 0) && WriteDoAction(tags, progress) &&
      WriteRecordHeader(tags, kTagShowFrame, 0) && WriteDoAction(tags, loop) &&
      WriteRecordHeader(tags, kTagShowFrame, 0) && WriteRecordHeader(tags, kTagEnd, 0);
  MemOut body;
  uint16_t id = kControlSprite, frames = 3;
  return written && ExchangeUI16(body, id) && ExchangeUI16(body, frames) &&
         WriteBytes(body, tags.GetData(), tags.GetDataSize()) && WriteTag(out, kTagDefineSprite, body);
}

bool WriteDefinitions(BitStream& out) {
  const int32_t inset = kTwipsPerPixel, buttonRight = kHeight;
  return WriteRectangle(out, kBorder, 0, -kHeight, kWidth, 0, FRGBA(0x33, 0x33, 0x33, 0xFF)) &&
         WriteRectangle(out, kTrack, buttonRight, -kHeight + inset, kWidth - inset, -inset,
                        FRGBA(0xFF, 0xFF, 0xFF, 0xFF)) &&
         WriteRectangle(out, kProgress, 0, -kHeight + 2 * inset, kWidth - buttonRight - 3 * inset, -2 * inset,
                        FRGBA(0x78, 0x78, 0x78, 0xFF)) &&
         WriteRectangle(out, kButtonFace, inset, -kHeight + inset, buttonRight - inset, -inset,
                        FRGBA(0xFF, 0xFF, 0xFF, 0xFF)) &&
         WritePolygon(out, kPlayIcon, {{90, -200}, {200, -130}, {90, -60}}, FRGBA(0xCC, 0x00, 0x00, 0xFF)) &&
         WritePlayButton(out) && WriteBufferText(out) && WriteControlSprite(out);
}

// The body after the 8-byte file header.
bool WriteBody(MemOut& out) {
  FRECT frameSize(0, kWidth, 0, kHeight);
  uint16_t frameRate = 12 << 8, frameCount = 1;
  const Bytes white = {0xFF, 0xFF, 0xFF};
  return frameSize.Exchange(out) && out.AlignToByte() && ExchangeUI16(out, frameRate) &&
         ExchangeUI16(out, frameCount) && WriteTag(out, kTagSetBackgroundColor, white) && WriteDefinitions(out) &&
         WritePlacement(out, kTemplateDepth, kControlSprite, 0, kHeight, "videoControls") &&
         WriteRecordHeader(out, kTagShowFrame, 0) && WriteRecordHeader(out, kTagEnd, 0);
}

bool WriteMovie(const wchar_t* path, char signature, const uint8_t* body, int32_t bodySize, uint32_t fileLength) {
  FileStream file(path, false);
  uint8_t version = 6;
  uint8_t header[] = {static_cast<uint8_t>(signature), 'W', 'S'};
  return file.IsOpen() && WriteBytes(file, header, sizeof(header)) && ExchangeUI8(file, version) &&
         ExchangeUI32(file, fileLength) && WriteBytes(file, body, bodySize);
}

}  // namespace

int main() {
  MemOut body;
  if (!WriteBody(body)) {
    fputs("makecontrol: the control movie could not be assembled\n", stderr);
    return 1;
  }
  const int32_t bodySize = body.GetDataSize();
  const uint32_t fileLength = static_cast<uint32_t>(8 + bodySize);
  std::vector<uint8_t> compressed(static_cast<size_t>(bodySize) + bodySize / 100 + 64);
  ZlibDeflater deflater(9);
  const int32_t compressedSize =
      deflater.Compress(body.GetData(), bodySize, compressed.data(), static_cast<int32_t>(compressed.size()));
  if (compressedSize < 0 || !WriteMovie(L"control-fws.swf", 'F', body.GetData(), bodySize, fileLength) ||
      !WriteMovie(L"control.swf", 'C', compressed.data(), compressedSize, fileLength)) {
    fputs("makecontrol: control.swf or control-fws.swf could not be written\n", stderr);
    return 1;
  }
  return 0;
}
