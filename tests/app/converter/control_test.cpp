// The movie control's own bytes: the DoAction of its variables, the settings it makes at prepare,
// its placement, and the cut of the template movie, with every broken template refused quietly.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/converter/source/control.h"
#include "common/fileutil.h"
#include "common/window.h"
#include "media/swfrecord.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(const MemOut& out) { return Bytes(out.GetData(), out.GetData() + out.GetDataSize()); }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::wstring Beside(const wchar_t* name) { return GetModuleFolder(nullptr) + L"\\" + name; }

Bytes FileBytes(const std::wstring& path) {
  Bytes bytes;
  ReadFileBytes(path.c_str(), bytes);
  return bytes;
}

// The settings as the multiplexer hands them to its handlers.
void Fill(MuxSettings& settings, int32_t width, int32_t height, int64_t duration) {
  settings.Clear();
  settings.width = width;
  settings.height = height;
  settings.duration = duration;
  settings.nextCharacterId = 1;
  settings.nextDepth = 1;
}

size_t Find(const Bytes& haystack, const Bytes& needle, size_t from = 0) {
  return static_cast<size_t>(std::search(haystack.begin() + from, haystack.end(), needle.begin(), needle.end()) -
                             haystack.begin());
}

const Bytes kWhite = {0x43, 0x02, 0xFF, 0xFF, 0xFF};
const Bytes kPlacement = {0x97, 0x06, 0x26, 0x02, 0x00};

}  // namespace

TEST(SwfControl, DoActionSetsEveryVariableThenCallsSvMovieStarts) {
  SwfControl control;
  control.SetMovieName(L"movie.swf");
  MuxSettings settings;
  Fill(settings, 320, 240, 218000000);
  ASSERT_EQ(S_OK, control.OnPrepare(&settings));
  MemOut out;
  ASSERT_TRUE(control.Parameters().WriteActions(out));
  const Bytes bytes = Written(out);
  ASSERT_EQ(bytes.size(), 6u + 907u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), Bytes({0x3F, 0x03, 0x8B, 0x03, 0x00, 0x00}));
  // The first variable, a string: two pushes and SetVariable.
  const Bytes title = Concat({{0x96, 0x09, 0x00, 0x00}, Text("svTitle"), {0x00, 0x96, 0x0B, 0x00, 0x00},
                              Text("movie.swf"), {0x00, 0x1D}});
  EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 6 + title.size()), title);
  // A boolean and an integer, in table order.
  const size_t boolean = Find(bytes, Concat({Text("svStopAtBeginning"), {0x00, 0x96, 0x02, 0x00, 0x05, 0x00, 0x1D}}));
  const size_t integer =
      Find(bytes, Concat({Text("svStopAtEnd"), {0x00, 0x96, 0x05, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00, 0x1D}}));
  EXPECT_LT(boolean, integer);
  EXPECT_LT(integer, bytes.size());
  EXPECT_NE(Find(bytes, Concat({Text("svDuration"), {0x00, 0x96, 0x0B, 0x00, 0x00}, Text("21.000000")})), bytes.size());
  EXPECT_NE(Find(bytes, Concat({Text("svWidth"), {0x00, 0x96, 0x05, 0x00, 0x07, 0x40, 0x01, 0x00, 0x00, 0x1D}})),
            bytes.size());
  const Bytes tail = Concat({Text("svMovieStarts"), {0x00, 0x52, 0x17, 0x00}});
  EXPECT_EQ(Bytes(bytes.end() - tail.size(), bytes.end()), tail);
}

TEST(SwfControl, PrepareMakesRoomBelowTheVideo) {
  SwfControl control;
  control.SetMovieName(L"clip.swf");
  MuxSettings settings;
  Fill(settings, 320, 240, 218000000);
  ASSERT_EQ(S_OK, control.OnPrepare(&settings));
  EXPECT_EQ(settings.controlWidth, 200);
  EXPECT_EQ(settings.controlHeight, 13);
  EXPECT_EQ(settings.stageWidth, 320);
  EXPECT_EQ(settings.stageHeight, 253);
  EXPECT_EQ(settings.nextCharacterId, 1000);
  EXPECT_EQ(settings.nextDepth, 1000);
  const ControlParameters& parameters = control.Parameters();
  EXPECT_EQ(parameters.svTitle, "clip.swf");
  EXPECT_EQ(parameters.svDuration, "21.000000");
  EXPECT_EQ(parameters.svWidth, 320);
  EXPECT_EQ(parameters.svHeight, 240);
  EXPECT_EQ(parameters.svStopAtEnd, 1);
  EXPECT_EQ(parameters.svBufferText, "Buffering ...");

  // Whole seconds, also below one second and for long movies.
  for (auto [duration, text] : {std::pair<int64_t, const char*>{9999999, "0.000000"},
                                {36000000000LL, "3600.000000"}}) {
    MuxSettings other;
    Fill(other, 320, 240, duration);
    ASSERT_EQ(S_OK, control.OnPrepare(&other));
    EXPECT_EQ(control.Parameters().svDuration, text);
  }
}

TEST(SwfControl, PlacementCentresTheControlOnTheStagesBottomEdge) {
  const Bytes name = Concat({Text("videoControls"), {0x00}});
  MuxSettings settings;
  settings.stageWidth = 320;
  settings.stageHeight = 253;
  MemOut out;
  ASSERT_TRUE(WriteControlPlacement(out, settings, 200, 271));
  EXPECT_EQ(Written(out), Concat({{0x98, 0x06, 0x26, 0x81, 0x3E, 0x0F, 0x01, 0x1C, 0x25, 0x82, 0x78, 0x80}, name}));

  struct Case {
    int32_t stageWidth;
    int32_t twipsX;
  };
  for (const Case& c : {Case{100, -1000}, Case{321, 1200}, Case{320, 1200}, Case{200, 0}, Case{99, -1000}}) {
    settings.stageWidth = c.stageWidth;
    MemOut placed;
    ASSERT_TRUE(WriteControlPlacement(placed, settings, 200, 271));
    const Bytes bytes = Written(placed);
    BufferStream in(bytes.data() + 7, bytes.size() - 7);
    FMATRIX matrix;
    ASSERT_TRUE(matrix.Exchange(in));
    EXPECT_EQ(matrix.TranslateX.value, c.twipsX) << c.stageWidth;
    EXPECT_EQ(matrix.TranslateY.value, 253 * 20);
    EXPECT_EQ(matrix.ScaleX.value, FMATRIX::kUnitScale);
  }
}

TEST(SwfControl, CutNeedsBothMarkersInOrder) {
  struct Case {
    Bytes body;
    bool found;
    size_t start, end;
  };
  const Bytes tag = {0x40, 0x00};  // a ShowFrame between the markers
  const Case cases[] = {
      {{}, false, 0, 0},
      {{0x43, 0x02, 0xFF, 0xFF}, false, 0, 0},
      {kWhite, false, 0, 0},
      {Concat({kWhite, kPlacement}), false, 0, 0},  // nothing left for the search to reach
      {Concat({kWhite, tag, kPlacement, {0}}), true, 5, 7},
      {Concat({tag, kWhite, tag, kPlacement, tag, kPlacement, tag}), true, 7, 16},
      {Concat({kPlacement, tag, kWhite, tag}), false, 0, 0},  // the placement before the background
      {Concat({tag, kPlacement, tag}), false, 0, 0},          // no background
      {Concat({kWhite, tag}), false, 0, 0},                   // no placement
  };
  for (const Case& c : cases) {
    size_t start = 0, end = 0;
    EXPECT_EQ(CutTemplateDefinitions(c.body, &start, &end), c.found) << c.body.size();
    if (c.found) {
      EXPECT_EQ(start, c.start);
      EXPECT_EQ(end, c.end);
    }
  }
}

class ControlTemplate : public testing::Test {
 protected:
  void SetUp() override {
    fws_ = FileBytes(Beside(L"control-fws.swf"));
    cws_ = FileBytes(Beside(L"control.swf"));
    ASSERT_GT(fws_.size(), 8u);
    ASSERT_GT(cws_.size(), 8u);
    control_.SetMovieName(L"movie.swf");
    Fill(settings_, 320, 240, 218000000);
    ASSERT_EQ(S_OK, control_.OnPrepare(&settings_));
  }

  // The handler's output for a template file, and its answer.
  HRESULT Run(const std::wstring& path, Bytes* written) {
    control_.SetTemplatePath(path);
    MemOut out;
    const HRESULT result = control_.OnHeaderWritten(&settings_, &out);
    if (written) *written = Written(out);
    return result;
  }

  HRESULT RunBytes(const Bytes& file, Bytes* written = nullptr) {
    PutFile(L"variant.swf", std::string(file.begin(), file.end()));
    return Run(L"variant.swf", written);
  }

  Bytes fws_, cws_;
  SwfControl control_;
  MuxSettings settings_;
};

TEST_F(ControlTemplate, BothFormsGiveTheDefinitionsBetweenTheMarkers) {
  Bytes fromFws, fromCws;
  ASSERT_EQ(S_OK, Run(Beside(L"control-fws.swf"), &fromFws));
  ASSERT_EQ(S_OK, Run(Beside(L"control.swf"), &fromCws));
  EXPECT_EQ(fromFws, fromCws);

  MemOut actions, placement;
  ASSERT_TRUE(control_.Parameters().WriteActions(actions));
  ASSERT_TRUE(WriteControlPlacement(placement, settings_, 200, 271));
  const Bytes body(fws_.begin() + 8, fws_.end());
  const size_t start = Find(body, kWhite) + 5;
  size_t end = 0;
  for (size_t at = Find(body, kPlacement); at < body.size(); at = Find(body, kPlacement, at + 1)) end = at;
  ASSERT_LT(start, end);
  EXPECT_EQ(fromFws, Concat({Written(actions), Bytes(body.begin() + start, body.begin() + end), Written(placement)}));
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST_F(ControlTemplate, BrokenTemplatesFailQuietlyAfterTheDoAction) {
  auto replaced = [&](const Bytes& marker, const Bytes& with) {
    Bytes bytes = fws_;
    const size_t at = Find(bytes, marker, 8);
    EXPECT_LT(at, bytes.size());
    std::copy(with.begin(), with.end(), bytes.begin() + at);
    return bytes;
  };
  Bytes damaged = cws_;
  damaged[damaged.size() / 2] ^= 0x55;
  struct Variant {
    const char* what;
    Bytes file;
  };
  std::vector<Variant> variants = {
      {"background not white", replaced(kWhite, {0x43, 0x02, 0xFF, 0xFF, 0xFE})},
      {"placement at depth 3", replaced(kPlacement, {0x97, 0x06, 0x26, 0x03, 0x00})},
      {"placement 22 bytes long", replaced(kPlacement, {0x96, 0x06, 0x26, 0x02, 0x00})},
      {"file under 8 bytes", Bytes(fws_.begin(), fws_.begin() + 7)},
      {"empty file", {}},
      {"cut-off CWS", Bytes(cws_.begin(), cws_.begin() + cws_.size() / 2)},
      {"damaged CWS", damaged},
      {"CWS header only", Bytes(cws_.begin(), cws_.begin() + 8)},
  };
  for (size_t bodySize = 0; bodySize < 5; ++bodySize) {
    variants.push_back({"short body", Bytes(fws_.begin(), fws_.begin() + 8 + bodySize)});
  }
  MemOut actions;
  ASSERT_TRUE(control_.Parameters().WriteActions(actions));
  for (const Variant& variant : variants) {
    Bytes written;
    EXPECT_EQ(E_FAIL, RunBytes(variant.file, &written)) << variant.what;
    EXPECT_EQ(written, Written(actions)) << variant.what;
  }
  EXPECT_EQ(E_FAIL, Run(L"no such folder\\control.swf", nullptr));
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}
