#include "common/riff.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/fourcc.h"
#include "common/strutil.h"
#include "common/text.h"
#include "tests/support/capture.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

// One chunk of a walk, flattened: nesting depth, id, list type, data position, stored size.
struct Entry {
  int depth;
  uint32_t id;
  uint32_t listType;
  int64_t dataPosition;
  uint32_t storedSize;
  bool operator==(const Entry&) const = default;
};

std::string ToNarrowCode(uint32_t code) { return ToNarrowString(FourCCToString(code, kFourCCKeepCase), 0); }

void PrintTo(const Entry& e, std::ostream* out) {
  *out << e.depth << ":" << ToNarrowCode(e.id) << "/" << ToNarrowCode(e.listType) << "@" << e.dataPosition << "+"
       << e.storedSize;
}

std::string Le32(uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

std::string MakeChunk(const std::string& id, const std::string& data) {
  std::string chunk = id + Le32(static_cast<uint32_t>(data.size())) + data;
  if (data.size() % 2) chunk += '\0';
  return chunk;
}

std::string MakeList(const std::string& id, const std::string& type, const std::string& body) {
  return id + Le32(static_cast<uint32_t>(body.size() + 4)) + type + body;
}

uint32_t Code(const char* text) { return MakeFourCCCode(text[0], text[1], text[2], text[3]); }

// Holds the bytes for as long as the stream lives.
struct MemoryFile {
  explicit MemoryFile(std::string data)
      : bytes(std::move(data)), stream(new BufferStream(bytes.data(), bytes.size())) {}
  std::string bytes;
  CountedPtr<DataStream> stream;
};

void Flatten(const ChunkNode& node, int depth, std::vector<Entry>& out) {
  for (const auto& child : node.GetChildren()) {
    out.push_back({depth, child->id, child->listType, child->dataPosition,
                   child->IsList() ? child->dataLength + 4 : child->dataLength});
    Flatten(*child, depth + 1, out);
  }
}

// The tree of a whole file or memory image; nullopt when the walk failed.
std::optional<std::vector<Entry>> TreeOf(const CountedPtr<DataStream>& stream) {
  RiffTree tree(stream, Chunk(), stream->GetSize());
  if (!tree.GetRoot()) return std::nullopt;
  std::vector<Entry> entries;
  Flatten(*tree.GetRoot(), 0, entries);
  return entries;
}

std::optional<std::vector<Entry>> TreeOfFile(const std::wstring& path) {
  auto* file = new FileStream(path.c_str(), true);
  CountedPtr<DataStream> stream(file);
  if (!file->IsOpen()) return std::nullopt;
  return TreeOf(stream);
}

// The same file through the system's own RIFF parser.
void MmioWalk(HMMIO file, const MMCKINFO* parent, int depth, std::vector<Entry>& out) {
  MMCKINFO chunk = {};
  while (mmioDescend(file, &chunk, parent, 0) == MMSYSERR_NOERROR) {
    const bool list = chunk.ckid == FOURCC_RIFF || chunk.ckid == FOURCC_LIST;
    // For a list the system's data offset points at the list type.
    out.push_back({depth, chunk.ckid, list ? chunk.fccType : 0, chunk.dwDataOffset + (list ? 4 : 0), chunk.cksize});
    if (list) MmioWalk(file, &chunk, depth + 1, out);
    mmioAscend(file, &chunk, 0);
  }
}

std::vector<Entry> MmioTree(const std::wstring& path) {
  std::vector<Entry> entries;
  HMMIO file = mmioOpenW(const_cast<wchar_t*>(path.c_str()), nullptr, MMIO_READ);
  if (!file) return entries;
  MmioWalk(file, nullptr, 0, entries);
  mmioClose(file, 0);
  return entries;
}

TEST(RiffTree, MatchesTheSystemParserOnFilesOfOutsideWriters) {
  for (const wchar_t* name : {L"riff\\stereo16.wav", L"riff\\odd_padded.wav", L"riff\\small.avi"}) {
    const std::vector<Entry> expected = MmioTree(name);
    ASSERT_GT(expected.size(), 2u) << "made by riff_media.py: " << ToNarrowString(name, 0);
    const auto walked = TreeOfFile(name);
    ASSERT_TRUE(walked.has_value()) << ToNarrowString(name, 0);
    EXPECT_EQ(expected, *walked) << ToNarrowString(name, 0);
  }
  // RIFF, then hdrl, then strl: lists three deep.
  const auto avi = TreeOfFile(L"riff\\small.avi");
  ASSERT_TRUE(avi.has_value());
  int deepest = 0;
  for (const Entry& e : *avi) deepest = std::max(deepest, e.depth);
  EXPECT_EQ(3, deepest);
}

TEST(RiffTree, OddChunkWithoutItsPadByteFailsTheWalk) {
  // The system's parser lists the chunks; the walk seeks past the end for the missing pad byte.
  EXPECT_EQ(3u, MmioTree(L"riff\\odd.wav").size());
  EXPECT_FALSE(TreeOfFile(L"riff\\odd.wav").has_value());
  struct Counter : ChunkHandler {
    bool BeginChunk(RiffContext&, const Chunk&) override { return true; }
    bool EndChunk(RiffContext&, const Chunk&) override { return true; }
  } counter;
  EXPECT_FALSE(counter.ParseFile(L"riff\\odd.wav"));
  EXPECT_EQ(std::vector<std::wstring>{L"Failed to parse file riff\\odd.wav"}, RecordedErrors().Pushed());
}

TEST(RiffTree, PadBytesPlaceTheNextChunk) {
  MemoryFile file(MakeList("RIFF", "TEST", MakeChunk("abc ", "xyz") + MakeChunk("defg", "1234")));
  const auto entries = TreeOf(file.stream);
  ASSERT_TRUE(entries.has_value());
  const std::vector<Entry> expected = {
      {0, kRiffId, Code("TEST"), 12, 4 + 12 + 12},
      {1, Code("abc "), 0, 20, 3},
      {1, Code("defg"), 0, 20 + 3 + 1 + 8, 4},
  };
  EXPECT_EQ(expected, *entries);

  RiffTree tree(file.stream, Chunk(), file.stream->GetSize());
  const ChunkNode* riff = tree.GetRoot()->FindChild(kRiffId, Code("TEST"));
  ASSERT_NE(nullptr, riff);
  EXPECT_EQ(tree.GetRoot(), riff->GetParent());
  const ChunkNode* second = riff->FindChild(Code("defg"), 0);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(nullptr, riff->FindChild(Code("defg"), Code("TEST")));
  char data[5] = {};
  EXPECT_EQ(4, second->ReadData(*file.stream, data, 4));
  EXPECT_STREQ("1234", data);
  EXPECT_EQ(0, second->ReadData(*file.stream, data, 5));
  EXPECT_EQ(0, second->ReadData(*file.stream, data, 0));
  EXPECT_EQ(0, second->ReadData(*file.stream, nullptr, 2));
}

TEST(RiffTree, TopLevelRuleAtTheFileRootOnly) {
  const std::string riff = MakeList("RIFF", "AVI ", MakeChunk("avih", "12"));
  const std::string extension = MakeList("RIFF", "AVIX", MakeChunk("ix00", "34"));
  const struct {
    std::string bytes;
    bool walked;
    size_t chunks;
  } cases[] = {
      {riff, true, 2},
      {riff + std::string(11, 'x'), true, 2},        // too short for a chunk header: ends quietly
      {riff + MakeChunk("JUNK", "abcd"), true, 2},  // only RIFF chunks after the first
      {riff + extension, true, 4},
      {riff + extension + "RIFF" + Le32(100) + "AVIX", false, 0},  // a list cut short
      {riff + "RIFF" + Le32(3) + "AVIX", false, 0},       // a list too small for its type
  };
  for (const auto& c : cases) {
    MemoryFile file(c.bytes);
    const auto entries = TreeOf(file.stream);
    ASSERT_EQ(c.walked, entries.has_value()) << c.bytes.size();
    if (entries) {
      EXPECT_EQ(c.chunks, entries->size()) << c.bytes.size();
    }
  }

  // Inside a list the rule does not hold: a tree of the list alone sees all its children.
  const std::string info = MakeList("LIST", "INFO", MakeChunk("IART", "ab") + MakeChunk("ICMT", "cd"));
  MemoryFile file(MakeList("RIFF", "WAVE", info));
  const Chunk list(kListId, Code("INFO"), 24, 20);
  RiffTree tree(file.stream, list, 0);
  ASSERT_NE(nullptr, tree.GetRoot());
  ASSERT_EQ(2u, tree.GetRoot()->GetChildren().size());
  EXPECT_EQ(Code("ICMT"), tree.GetRoot()->GetChildren()[1]->id);
  // Exactly one of the chunk's length and the limit gives the span.
  EXPECT_EQ(nullptr, RiffTree(file.stream, list, 10).GetRoot());
}

TEST(RiffTree, ChunkRunningPastItsListFailsTheWalk) {
  // The list holds 8 data bytes of "data" but claims 12; the bytes after it belong to "next".
  const std::string list = MakeList("LIST", "movi", std::string("data") + Le32(12) + "abcdefgh");
  const std::string inside = list + MakeChunk("next", "wxyz");
  const struct {
    std::string bytes;
    bool walked;
  } cases[] = {
      {MakeList("RIFF", "AVI ", MakeList("LIST", "movi", MakeChunk("data", "abcdefgh")) + MakeChunk("next", "wxyz")),
       true},
      {MakeList("RIFF", "AVI ", inside), false},
      // A chunk's pad byte past its list is no read of the list's data: still taken.
      {MakeList("RIFF", "AVI ", MakeList("LIST", "movi", std::string("data") + Le32(3) + "abc") + std::string(1, '\0') +
                                    MakeChunk("next", "wxyz")),
       true},
  };
  for (const auto& c : cases) {
    MemoryFile file(c.bytes);
    EXPECT_EQ(c.walked, TreeOf(file.stream).has_value()) << c.bytes.size();
  }
}

std::string Nested(int depth) {
  std::string body = MakeChunk("leaf", "x");
  for (int i = 0; i < depth; ++i) body = MakeList("LIST", "nest", body);
  return MakeList("RIFF", "DEEP", body);
}

TEST(RiffTree, DeepNestingFailsInsteadOfExhaustingTheStack) {
  MemoryFile shallow(Nested(60));
  EXPECT_TRUE(TreeOf(shallow.stream).has_value());
  MemoryFile deep(Nested(70));
  EXPECT_FALSE(TreeOf(deep.stream).has_value());
}

// Records the begin and end of every chunk with the path it saw; may skip or stop.
class Recorder : public ChunkHandler {
 public:
  bool BeginChunk(RiffContext& context, const Chunk& chunk) override {
    std::string line = "+" + Name(chunk) + " in";
    for (const Chunk& outer : context.path) line += " " + Name(outer);
    log.push_back(line);
    context.skipChildren = chunk.listType == skip;
    context.stop = chunk.id == stopAt;
    return chunk.id != failAt;
  }
  bool EndChunk(RiffContext&, const Chunk& chunk) override {
    log.push_back("-" + Name(chunk));
    return true;
  }
  static std::string Name(const Chunk& chunk) {
    if (chunk.id == 0) return "root";
    return ToNarrowString(FourCCToString(chunk.IsList() ? chunk.listType : chunk.id, kFourCCKeepCase), 0);
  }

  std::vector<std::string> log;
  uint32_t skip = 0;
  uint32_t stopAt = 0;
  uint32_t failAt = 0;
};

TEST(RiffWalker, PathSkipStopAndFailure) {
  MemoryFile file(MakeList("RIFF", "AVI ", MakeList("LIST", "hdrl", MakeChunk("avih", "1")) +
                                               MakeList("LIST", "movi", MakeChunk("00dc", "22")) +
                                               MakeChunk("idx1", "333")));
  const auto walk = [&](Recorder& recorder, bool expected) {
    RiffWalker walker(recorder);
    RiffContext context;
    context.stream = file.stream;
    EXPECT_EQ(expected, walker.Walk(context, Chunk(), file.stream->GetSize()));
    return context.path.size();
  };
  Recorder all;
  EXPECT_EQ(0u, walk(all, true));
  EXPECT_EQ((std::vector<std::string>{"+AVI  in root", "+hdrl in root AVI ", "+avih in root AVI  hdrl", "-avih",
                                      "-hdrl", "+movi in root AVI ", "+00dc in root AVI  movi", "-00dc", "-movi",
                                      "+idx1 in root AVI ", "-idx1", "-AVI "}),
            all.log);

  Recorder skipping;
  skipping.skip = Code("hdrl");
  walk(skipping, true);
  EXPECT_EQ(10u, skipping.log.size());
  EXPECT_EQ("-hdrl", skipping.log[2]);

  // A stop ends the walk with success and leaves the path as it was.
  Recorder stopping;
  stopping.stopAt = Code("00dc");
  EXPECT_EQ(3u, walk(stopping, true));
  EXPECT_EQ("+00dc in root AVI  movi", stopping.log.back());

  Recorder failing;
  failing.failAt = Code("idx1");
  EXPECT_EQ(2u, walk(failing, false));

  RiffContext noStream;
  EXPECT_FALSE(RiffWalker(all).Walk(noStream, Chunk(), 10));
}

TEST(RiffDumper, PrintsTheTreeAndRefusesOtherFiles) {
  PutFile(L"dump.wav", MakeList("RIFF", "WAVE", MakeChunk("fmt ", std::string(16, 'f')) + MakeChunk("data", "abc")));
  CapturedStream out;
  RiffDumper dumper(out.stream);
  ASSERT_TRUE(dumper.ParseFile(L"dump.wav"));
  EXPECT_EQ(L"  [RIFF] [40] [WAVE] data_pos = 0xC (12) data_len = 36\n"
            L"    [fmt ] [16] data_pos = 0x14 (20) data_len = 16\n"
            L"    [data] [3] data_pos = 0x2C (44) data_len = 3\n",
            out.handler->Text());
  EXPECT_EQ(0, out.stream.IndentLevel());

  PutFile(L"notriff.bin", MakeChunk("RIFX", "abcd"));
  EXPECT_FALSE(dumper.ParseFile(L"notriff.bin"));
  EXPECT_EQ((std::vector<std::wstring>{L"File is not RIFF type", L"Failed to parse file notriff.bin"}),
            RecordedErrors().Pushed());

  RecordedErrors().Reset();
  EXPECT_FALSE(dumper.ParseFile(L"missing.wav"));
  const std::vector<std::wstring> pushed = RecordedErrors().Pushed();
  ASSERT_FALSE(pushed.empty());
  EXPECT_EQ(L"Failed to open file missing.wav", pushed.back());
}

}  // namespace
