// Writes the converter's movie control template: control.swf (compressed, as shipped) and
// control-fws.swf (the same movie uncompressed) into the current folder. The movie holds the
// control's definitions, sprite 271 among them, between a white SetBackgroundColor and the sprite's
// own 23-byte placement at depth 2; the converter copies what lies between. The output is the same
// on every run.
//
// The control drives the movie it is placed in (its _parent): a progress sprite scaled with the
// movie's frame, a button that stops and plays it with a pause or a play sign, and a buffering text
// while the movie holds at its start until enough of it has loaded. It reads the converter's
// variables from its _parent every frame rather than waiting for a call, since the converter's
// _parent.svMovieStarts(this) on the main timeline reaches nothing.

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

// SetProperty's property numbers.
constexpr int32_t kPropertyXScale = 2;
constexpr int32_t kPropertyVisible = 7;

// The control in twips: x 0 to 4000, y -260 to 0. The button is the square at the left, the track
// the rest; each part is a sprite of its own, so that its colour can be set and the progress can
// scale without the rest.
constexpr int32_t kPixel = kTwipsPerPixel;
constexpr int32_t kWidth = 200 * kPixel;
constexpr int32_t kHeight = 13 * kPixel;
constexpr int32_t kButtonRight = kHeight;
constexpr int32_t kProgressLeft = kButtonRight + kPixel;
constexpr int32_t kProgressWidth = kWidth - kPixel - kProgressLeft - kPixel;  // the track less a pixel each side
// The buffering text's device font: with the text field's 2-pixel gutter its line fits the track.
constexpr uint16_t kFontHeight = 8 * kPixel;
constexpr uint16_t kControlSprite = 271;
constexpr uint16_t kTemplateDepth = 2;

enum : uint16_t {
  kBorderShape = 1, kTrackShape, kProgressShape, kFaceShape, kPlayShape, kPauseBarShape,
  kBorder, kTrack, kProgress, kFace, kPlayIcon, kPauseIcon, kPlayButton, kFont, kBufferText
};

using Bytes = std::vector<uint8_t>;

// Action bytes: ActionBuffer's records joined with the few it does not write, and branches to
// labels placed before or after them.
class Script {
 public:
  using Label = size_t;

  Script& Push(const char* text) { return Add([&](ActionBuffer& a) { return a.PushCString(text); }); }
  Script& Push(int32_t value) { return Add([&](ActionBuffer& a) { return a.PushInteger(value); }); }
  Script& PushBoolean(bool value) { return Add([&](ActionBuffer& a) { return a.PushBoolean(value); }); }
  // Equals2 holds null equal to undefined as well.
  Script& PushNull() { return Record(kActionPush, {kPushNull}); }
  Script& GetVariable() { return Add([](ActionBuffer& a) { return a.GetVariable(); }); }
  Script& SetVariable() { return Add([](ActionBuffer& a) { return a.SetVariable(); }); }
  Script& CallMethod() { return Add([](ActionBuffer& a) { return a.CallMethod(); }); }
  Script& Pop() { return Add([](ActionBuffer& a) { return a.Pop(); }); }
  Script& End() { return Add([](ActionBuffer& a) { return a.End(); }); }
  Script& Get(const char* name) { return Push(name).GetVariable(); }
  Script& Set(const char* name, bool value) { return Push(name).PushBoolean(value).SetVariable(); }
  Script& Set(const char* name, const char* text) { return Push(name).Push(text).SetVariable(); }
  // _parent.<name>
  Script& ParentMember(const char* name) { return Get("_parent").Push(name).Op(kActionGetMember); }
  // _parent.<method>() or _parent.<method>(argument), the result dropped.
  Script& CallParent(const char* method) { return Push(0).Get("_parent").Push(method).CallMethod().Pop(); }
  Script& CallParent(const char* method, int32_t argument) {
    return Push(argument).Push(1).Get("_parent").Push(method).CallMethod().Pop();
  }

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
  Script& Append(const Script& other) {
    bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    ok = ok && other.Complete();
    return *this;
  }

  Label NewLabel() {
    marks_.push_back(kUnmarked);
    return marks_.size() - 1;
  }
  Script& Jump(Label label) { return Branch(kActionJump, label); }
  // Branches when the popped value is true.
  Script& If(Label label) { return Branch(kActionIf, label); }
  Script& Mark(Label label) {
    marks_[label] = bytes.size();
    for (auto [target, field] : pending_) {
      if (target == label) Patch(field, bytes.size());
    }
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](auto& p) { return p.first == label; }),
                   pending_.end());
    return *this;
  }
  // Every record written and every branch placed.
  bool Complete() const { return ok && pending_.empty(); }

  static uint8_t Low(size_t value) { return static_cast<uint8_t>(value); }
  static uint8_t High(size_t value) { return static_cast<uint8_t>(value >> 8); }

  Bytes bytes;
  bool ok = true;

 private:
  static constexpr size_t kUnmarked = static_cast<size_t>(-1);

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
  Script& Branch(uint8_t code, Label label) {
    Record(code, {0, 0});
    const size_t field = bytes.size() - 2;
    if (marks_[label] != kUnmarked) {
      Patch(field, marks_[label]);
    } else {
      pending_.emplace_back(label, field);
    }
    return *this;
  }
  // The branch offset counts from the end of the branch record, signed 16 bits.
  void Patch(size_t field, size_t target) {
    const int64_t offset = static_cast<int64_t>(target) - static_cast<int64_t>(field + 2);
    ok = ok && offset >= INT16_MIN && offset <= INT16_MAX;
    const uint16_t word = static_cast<uint16_t>(static_cast<int16_t>(offset));
    bytes[field] = Low(word);
    bytes[field + 1] = High(word);
  }

  std::vector<size_t> marks_;
  std::vector<std::pair<Label, size_t>> pending_;
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
  uint8_t flags = kPlaceFlagHasCharacter | kPlaceFlagHasMatrix | (name ? kPlaceFlagHasName : 0);
  FMATRIX matrix;
  matrix.TranslateX.value = x;
  matrix.TranslateY.value = y;
  return ExchangeUI8(body, flags) && ExchangeUI16(body, depth) && ExchangeUI16(body, character) &&
         matrix.Exchange(body) && (!name || WriteString(body, name)) && WriteTag(out, kTagPlaceObject2, body);
}

// new Color(<clip>).setRGB(parseInt(_parent.<variable>, 16)) when the movie sets the variable;
// else the clip keeps the colour it is drawn in.
Script& Tint(Script& s, const char* clip, const char* variable) {
  const Script::Label unset = s.NewLabel();
  s.ParentMember(variable).PushNull().Op(kActionEquals2).If(unset);
  s.Push(16).ParentMember(variable).Push(2).Push("parseInt").Op(kActionCallFunction);
  s.Push(1).Get(clip).Push(1).Push("Color").Op(kActionNewObject).Push("setRGB").CallMethod().Pop();
  return s.Mark(unset);
}

// The button's sign follows `paused`: play while the movie stands, pause while it plays.
Script& ShowState(Script& s) {
  s.Push("playIcon").Push(kPropertyVisible).Get("paused").Op(kActionSetProperty);
  return s.Push("pauseIcon").Push(kPropertyVisible).Get("paused").Op(kActionNot).Op(kActionSetProperty);
}

// A click: a standing movie plays on (from frame 1 when it stands on its last frame), a playing one
// stops. A click while the movie still buffers starts it as well. Button actions run on the
// control's timeline, as its frames' do.
Script ToggleScript() {
  Script s;
  const Script::Label pause = s.NewLabel(), playOn = s.NewLabel(), resumed = s.NewLabel(), shown = s.NewLabel();
  s.Set("started", true).Set("bufferText", "");
  s.Get("paused").Op(kActionNot).If(pause);
  s.ParentMember("_currentframe").ParentMember("_totalframes").Op(kActionLess2).If(playOn);
  s.CallParent("gotoAndPlay", 1).Jump(resumed);
  s.Mark(playOn).CallParent("play");
  s.Mark(resumed).Set("paused", false).Jump(shown);
  s.Mark(pause).CallParent("stop").Set("paused", true);
  s.Mark(shown);
  return ShowState(s);
}

// Every frame of the control. Until the movie has started it holds at its start with the buffering
// text while it is still loading and has less than svBufferTime seconds loaded ahead (svDuration 0
// divides to infinity: then all of it); then it starts stopped or playing, as svStopAtBeginning
// says. While it plays, svStopAtEnd stops it on its last frame. The progress follows the frame.
Script UpdateScript() {
  Script s;
  const Script::Label start = s.NewLabel(), play = s.NewLabel(), running = s.NewLabel(), shown = s.NewLabel();
  s.Get("started").If(running);
  s.Get("buffered").If(start);
  s.ParentMember("svBuffer").Op(kActionNot).If(start);
  s.ParentMember("_framesloaded").ParentMember("_totalframes").Op(kActionLess2).Op(kActionNot).If(start);
  s.ParentMember("_framesloaded").ParentMember("_currentframe").ParentMember("svBufferTime");
  s.ParentMember("_totalframes").Op(kActionMultiply).ParentMember("svDuration").Op(kActionDivide).Op(kActionAdd);
  s.Op(kActionLess2).Op(kActionNot).If(start);
  s.Push("bufferText").ParentMember("svBufferText").SetVariable().CallParent("stop").Jump(shown);

  s.Mark(start).Set("started", true).Set("bufferText", "");
  s.Push("paused").ParentMember("svStopAtBeginning").Op(kActionNot).Op(kActionNot).SetVariable();
  s.Get("paused").Op(kActionNot).If(play);
  s.CallParent("gotoAndStop", 1).Jump(running);
  s.Mark(play).CallParent("play");

  s.Mark(running).Get("paused").If(shown);
  s.ParentMember("svStopAtEnd").Op(kActionNot).If(shown);
  s.ParentMember("_currentframe").ParentMember("_totalframes").Op(kActionLess2).If(shown);
  s.CallParent("stop").Set("paused", true);

  s.Mark(shown).Push("progress").Push(kPropertyXScale);
  s.ParentMember("_currentframe").Push(100).Op(kActionMultiply).ParentMember("_totalframes").Op(kActionDivide);
  s.Op(kActionSetProperty);
  ShowState(s).End();
  return s;
}

// The parts in their colours, the state, svMovieStarts for hosts that call it (it ends the
// buffering), then the first update.
Script SetUpScript() {
  Script s;
  s.Set("started", false).Set("buffered", false).Set("paused", false).Set("bufferText", "");
  Script started;  // a function body ends with its size, not with an End
  started.Set("buffered", true);
  Bytes function = {'s', 'v', 'M', 'o', 'v', 'i', 'e', 'S', 't', 'a', 'r', 't', 's', 0, 1, 0,
                    'm', 'o', 'v', 'i', 'e', 0, Script::Low(started.bytes.size()), Script::High(started.bytes.size())};
  s.Record(kActionDefineFunction, function).Append(started);
  Tint(s, "border", "svBorderColor");
  Tint(s, "track", "svTrackColor");
  Tint(s, "progress", "svProgressColor");
  Tint(s, "face", "svBttnUpColor");
  Tint(s, "playIcon", "svIconColor");
  Tint(s, "pauseIcon", "svIconColor");
  const Script::Label untouched = s.NewLabel();
  s.ParentMember("svTextColor").PushNull().Op(kActionEquals2).If(untouched);
  s.Get("bufferField").Push("textColor").Push(16).ParentMember("svTextColor").Push(2).Push("parseInt");
  s.Op(kActionCallFunction).Op(kActionSetMember).Mark(untouched);
  return s.Append(UpdateScript());
}

// The button only catches the mouse over the face; its conditions colour the face sprite below it
// and the release over it toggles.
bool WritePlayButton(BitStream& out) {
  constexpr uint8_t kStateHitTest = 0x08;
  constexpr uint8_t kIdleToOverUp = 0x01, kOverUpToIdle = 0x02, kOverUpToOverDown = 0x04, kOverDownToOverUp = 0x08;
  constexpr uint8_t kOverDownToOutDown = 0x10, kOutDownToOverDown = 0x20, kOutDownToIdle = 0x40;
  MemOut records;
  uint8_t states = kStateHitTest, identityColor = 0;  // CXFORMWITHALPHA without terms
  uint16_t face = kFaceShape, depth = 1;
  FMATRIX matrix;
  if (!ExchangeUI8(records, states) || !ExchangeUI16(records, face) || !ExchangeUI16(records, depth) ||
      !matrix.Exchange(records) || !ExchangeUI8(records, identityColor)) {
    return false;
  }
  auto paint = [](const char* variable) {
    Script s;
    return Tint(s, "face", variable);
  };
  Script toggle = paint("svBttnOverColor");
  toggle.Append(ToggleScript());
  const std::pair<uint8_t, Script> conditions[] = {
      {kOverDownToOverUp, toggle},
      {kIdleToOverUp, paint("svBttnOverColor")},
      {kOverUpToIdle | kOverDownToOutDown | kOutDownToIdle, paint("svBttnUpColor")},
      {kOverUpToOverDown | kOutDownToOverDown, paint("svBttnDownColor")},
  };
  MemOut actions;
  for (size_t i = 0; i < std::size(conditions); ++i) {
    Script script = conditions[i].second;
    script.End();
    // Each condition's size leads to the next; the last one's is 0.
    uint16_t size = i + 1 == std::size(conditions) ? 0 : static_cast<uint16_t>(4 + script.bytes.size());
    uint8_t conditionFlags = conditions[i].first, keyPress = 0;
    if (!script.Complete() || !ExchangeUI16(actions, size) || !ExchangeUI8(actions, conditionFlags) ||
        !ExchangeUI8(actions, keyPress) ||
        !WriteBytes(actions, script.bytes.data(), static_cast<int32_t>(script.bytes.size()))) {
      return false;
    }
  }
  MemOut body;
  uint16_t id = kPlayButton;
  uint8_t trackAsMenu = 0, endOfRecords = 0;
  uint16_t actionOffset = static_cast<uint16_t>(2 + records.GetDataSize() + 1);
  return ExchangeUI16(body, id) && ExchangeUI8(body, trackAsMenu) && ExchangeUI16(body, actionOffset) &&
         WriteBytes(body, records.GetData(), records.GetDataSize()) && ExchangeUI8(body, endOfRecords) &&
         WriteBytes(body, actions.GetData(), actions.GetDataSize()) && WriteTag(out, kTagDefineButton2, body);
}

// A device font without glyphs: the player draws the text in its own sans-serif face.
bool WriteFont(BitStream& out) {
  MemOut body;
  uint16_t id = kFont, glyphs = 0, codeTableOffset = 2;
  uint8_t flags = 0, latin = 1, nameLength = 5;
  return ExchangeUI16(body, id) && ExchangeUI8(body, flags) && ExchangeUI8(body, latin) &&
         ExchangeUI8(body, nameLength) && WriteBytes(body, reinterpret_cast<const uint8_t*>("_sans"), nameLength) &&
         ExchangeUI16(body, glyphs) && ExchangeUI16(body, codeTableOffset) && WriteTag(out, kTagDefineFont2, body);
}

// Read-only text bound to the control's variable bufferText, on the track right of the button.
bool WriteBufferText(BitStream& out) {
  constexpr uint8_t kHasText = 0x80, kReadOnly = 0x08, kHasTextColor = 0x04, kHasFont = 0x01;
  constexpr uint8_t kNoSelect = 0x10;
  MemOut body;
  uint16_t id = kBufferText, font = kFont, fontHeight = kFontHeight;
  FRECT bounds(kProgressLeft + 2 * kPixel, kWidth - kPixel, -kHeight, 0);
  uint8_t flags1 = kHasText | kReadOnly | kHasTextColor | kHasFont, flags2 = kNoSelect;
  FRGBA color(0x33, 0x33, 0x33, 0xFF);
  return ExchangeUI16(body, id) && bounds.Exchange(body) && body.AlignToByte() && ExchangeUI8(body, flags1) &&
         ExchangeUI8(body, flags2) && ExchangeUI16(body, font) && ExchangeUI16(body, fontHeight) &&
         color.Exchange(body) && WriteString(body, "bufferText") && WriteString(body, "") &&
         WriteTag(out, kTagDefineEditText, body);
}

// A sprite of one frame that shows the shape once at each offset.
bool WriteSprite(BitStream& out, uint16_t id, uint16_t shape, std::initializer_list<int32_t> offsetsX = {0}) {
  MemOut tags;
  uint16_t depth = 1;
  for (int32_t x : offsetsX) {
    if (!WritePlacement(tags, depth++, shape, x, 0)) return false;
  }
  MemOut body;
  uint16_t frames = 1;
  return WriteRecordHeader(tags, kTagShowFrame, 0) && WriteRecordHeader(tags, kTagEnd, 0) &&
         ExchangeUI16(body, id) && ExchangeUI16(body, frames) &&
         WriteBytes(body, tags.GetData(), tags.GetDataSize()) && WriteTag(out, kTagDefineSprite, body);
}

bool WriteDoAction(BitStream& out, const Script& script) {
  return script.Complete() && WriteTag(out, kTagDoAction, script.bytes);
}

// Frame 1 sets up and updates, frame 2 updates, frame 3 loops back to frame 2.
bool WriteControlSprite(BitStream& out) {
  Script loop;
  loop.Record(kActionGotoFrame, {1, 0}).Op(kActionPlay).End();
  MemOut tags;
  const bool written =
      WritePlacement(tags, 1, kBorder, 0, 0, "border") && WritePlacement(tags, 2, kTrack, 0, 0, "track") &&
      WritePlacement(tags, 3, kProgress, kProgressLeft, 0, "progress") &&
      WritePlacement(tags, 4, kFace, 0, 0, "face") && WritePlacement(tags, 5, kPlayIcon, 0, 0, "playIcon") &&
      WritePlacement(tags, 6, kPauseIcon, 0, 0, "pauseIcon") &&
      WritePlacement(tags, 7, kBufferText, 0, 0, "bufferField") && WritePlacement(tags, 8, kPlayButton, 0, 0) &&
      WriteDoAction(tags, SetUpScript()) && WriteRecordHeader(tags, kTagShowFrame, 0) &&
      WriteDoAction(tags, UpdateScript()) && WriteRecordHeader(tags, kTagShowFrame, 0) &&
      WriteDoAction(tags, loop) && WriteRecordHeader(tags, kTagShowFrame, 0) && WriteRecordHeader(tags, kTagEnd, 0);
  MemOut body;
  uint16_t id = kControlSprite, frames = 3;
  return written && ExchangeUI16(body, id) && ExchangeUI16(body, frames) &&
         WriteBytes(body, tags.GetData(), tags.GetDataSize()) && WriteTag(out, kTagDefineSprite, body);
}

// Drawn in the colours the control has when the movie sets none.
bool WriteDefinitions(BitStream& out) {
  const FRGBA dark(0x33, 0x33, 0x33, 0xFF), white(0xFF, 0xFF, 0xFF, 0xFF), red(0xCC, 0x00, 0x00, 0xFF);
  const int32_t barTop = -10 * kPixel, barBottom = -3 * kPixel;
  return WriteRectangle(out, kBorderShape, 0, -kHeight, kWidth, 0, dark) &&
         WriteRectangle(out, kTrackShape, kButtonRight, -kHeight + kPixel, kWidth - kPixel, -kPixel, white) &&
         WriteRectangle(out, kProgressShape, 0, -kHeight + 2 * kPixel, kProgressWidth, -2 * kPixel,
                        FRGBA(0x78, 0x78, 0x78, 0xFF)) &&
         WriteRectangle(out, kFaceShape, kPixel, -kHeight + kPixel, kButtonRight - kPixel, -kPixel, white) &&
         WritePolygon(out, kPlayShape, {{90, -200}, {200, -130}, {90, -60}}, red) &&
         WriteRectangle(out, kPauseBarShape, 3 * kPixel, barTop, 5 * kPixel, barBottom, red) &&
         WriteSprite(out, kBorder, kBorderShape) && WriteSprite(out, kTrack, kTrackShape) &&
         WriteSprite(out, kProgress, kProgressShape) && WriteSprite(out, kFace, kFaceShape) &&
         WriteSprite(out, kPlayIcon, kPlayShape) && WriteSprite(out, kPauseIcon, kPauseBarShape, {0, 5 * kPixel}) &&
         WritePlayButton(out) && WriteFont(out) && WriteBufferText(out) && WriteControlSprite(out);
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
