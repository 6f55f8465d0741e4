// A mutation loop under Wine (tests/support/mutation_fuzz.h) for the readers of outside files that
// do not build on the host: the RIFF walker and the settings and project reader (Expat with 16-bit
// characters).
//
//   reader_fuzz riff|xml <executions> <random seed> [seed file or folder]...
//
// A crash, a broken invariant or a stall writes the input to finding-<reader>.bin and fails.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/handle.h"
#include "common/riff.h"
#include "common/strutil.h"
#include "common/text.h"
#include "common/xml.h"
#include "tests/support/mutation_fuzz.h"

namespace {

using fuzz::Bytes;
using fuzz::CheckFuzz;

// Swallows the dump's text after formatting it.
class NullText : public TextHandler {
 public:
  void Write(const wchar_t*) override {}
};

// ---- RIFF ----

// Every chunk of an accepted walk lies inside its parent's data (the root's is the file), and its
// data reads back.
void CheckChunks(DataStream& stream, const ChunkNode& node, int64_t begin, int64_t end, int depth) {
  CheckFuzz(depth <= static_cast<int>(kMaxRiffDepth) + 1, "tree deeper than the walker allows");
  for (const auto& child : node.GetChildren()) {
    CheckFuzz(child->GetParent() == &node, "child with another parent");
    const int64_t childEnd = child->dataPosition + child->dataLength;
    CheckFuzz(child->dataPosition >= begin && childEnd <= end, "chunk outside its parent");
    uint8_t head[16];
    const int32_t want = static_cast<int32_t>(std::min<uint32_t>(child->dataLength, sizeof(head)));
    CheckFuzz(child->ReadData(stream, head, want) == (want > 0 ? want : 0), "chunk data does not read back");
    CheckChunks(stream, *child, child->dataPosition, childEnd, depth + 1);
  }
}

bool RunRiff(GuardedBuffer& input) {
  const auto size = static_cast<int64_t>(input.size());
  CountedPtr<DataStream> stream(new BufferStream(input.data(), input.size()));
  RiffTree tree(stream, Chunk(), size);
  if (tree.GetRoot()) CheckChunks(*stream, *tree.GetRoot(), 0, size, 0);

  TextStream text(CountedPtr<TextHandler>(new NullText));
  RiffDumper dumper(text);
  RiffWalker walker(dumper);
  RiffContext context;
  context.stream = stream;
  walker.Walk(context, Chunk(), size);
  return tree.GetRoot() != nullptr;
}

// ---- Settings and project files ----

void ExpectSameTree(const XmlElement& before, const XmlElement& after) {
  CheckFuzz(before.GetName() == after.GetName(), "a saved name reads back changed");
  CheckFuzz(before.GetChildren().size() == after.GetChildren().size(), "saved children read back changed");
  if (before.GetChildren().empty()) CheckFuzz(before.GetText() == after.GetText(), "a saved text reads back changed");
  for (size_t i = 0; i < before.GetChildren().size(); ++i)
    ExpectSameTree(*before.GetChildren()[i], *after.GetChildren()[i]);
}

// Reads every node as each kind of value a settings object asks for.
void ReadEverything(DataNode& node) {
  std::wstring text;
  node.ExchangeString(text);
  int64_t wide = 0;
  int number = 0;
  unsigned long unsignedLong = 0;
  node.ExchangeInt64(wide);
  node.ExchangeInt(number);
  node.ExchangeULong(unsignedLong);
  node.GetIndex();
  std::vector<DataNode*> children;
  node.GetChildren(children);
  for (DataNode* child : children) {
    CheckFuzz(node.FindChild(child->GetName()) != nullptr, "a child is not found by its name");
    ReadEverything(*child);
  }
}

bool RunXml(GuardedBuffer& input) {
  ClearErrors();
  std::unique_ptr<XmlElement> root = ParseXmlFileBytes(reinterpret_cast<const char*>(input.data()), input.size());
  CheckFuzz(root != nullptr || HasErrors(), "a refused file left no message");
  if (!root) return false;
  ClearErrors();

  // What was read is saved again in the file's form, and that text reads back as the same tree.
  std::wostringstream written;
  root->Write(written, 0);
  std::string bytes;
  CheckFuzz(ToNarrow(written.str(), bytes, kUtf8CodePage), "a read tree does not convert to UTF-8");
  std::unique_ptr<XmlElement> again = ParseXmlFileBytes(bytes.data(), bytes.size());
  CheckFuzz(again != nullptr, "a read tree, written out, is refused");
  ExpectSameTree(*root, *again);

  XmlData node(true, nullptr, root.release(), true);
  ReadEverything(node);
  return true;
}

// ---- Mutations ----

std::vector<std::string> Tokens(bool riff) {
  using namespace std::string_literals;
  if (riff) return {"RIFF", "LIST", "AVI ", "WAVE", "hdrl", "movi", "strl", "idx1", "fmt ", "data", "JUNK", "avih",
                    "strh", "strf", "00dc"};
  return {"<", ">", "</", "/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xEF\xBB\xBF", "<!DOCTYPE a [",
          "<!ENTITY e \"x\">", "]>", "&e;", "&amp;", "&#13;", "&#x10FFFF;", "<![CDATA[", "]]>", "<!--", "-->",
          "<?pi?>", "UTF-8", "utf-8", "UTF-16", "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\r\n", "\0"s, "<root>",
          "</root>", "<a>", "</a>"};
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Le32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// A few well-formed inputs, so that the loop works without seed files too.
void AddBuiltInSeeds(fuzz::Mutator& mutator, bool riff) {
  if (riff) {
    const std::string fmt = "fmt " + Le32(16) + std::string(16, '\1');
    const std::string data = "data" + Le32(5) + "abcde" + std::string(1, '\0');
    const std::string wave = "WAVE" + fmt + data;
    mutator.Add(FromText("RIFF" + Le32(static_cast<uint32_t>(wave.size())) + wave));
    const std::string strl = "LIST" + Le32(4 + 8 + 8) + "strl" + "strh" + Le32(0) + "strf" + Le32(0);
    const std::string hdrl = "LIST" + Le32(static_cast<uint32_t>(4 + strl.size())) + "hdrl" + strl;
    const std::string movi = "LIST" + Le32(4 + 10) + "movi" + "00dc" + Le32(2) + "xy";
    const std::string avi = "AVI " + hdrl + movi;
    mutator.Add(FromText("RIFF" + Le32(static_cast<uint32_t>(avi.size())) + avi + "RIFF" + Le32(4) + "AVIX"));
    return;
  }
  mutator.Add(FromText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n  <Width>640</Width>\r\n"
                       "  <Name>a &amp; b &#13;</Name>\r\n  <List>\r\n    <Item>1</Item>\r\n    <Item>-2</Item>\r\n"
                       "  </List>\r\n</root>\r\n"));
  mutator.Add(FromText("\xEF\xBB\xBF<root><Text>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</Text><Empty/></root>"));
  mutator.Add(FromText("<a><b><c>x</c></b>tail</a>"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (strcmp(argv[1], "riff") != 0 && strcmp(argv[1], "xml") != 0)) {
    fprintf(stderr, "usage: reader_fuzz riff|xml <executions> <random seed> [seed file or folder]...\n");
    return 1;
  }
  const bool riff = strcmp(argv[1], "riff") == 0;
  fuzz::Mutator mutator(static_cast<uint64_t>(_atoi64(argv[3])), Tokens(riff));
  AddBuiltInSeeds(mutator, riff);
  for (int i = 4; i < argc; ++i) fuzz::AddSeedFiles(mutator, argv[i]);
  return fuzz::RunMutationLoop(argv[1], _atoi64(argv[2]), mutator,
                               [riff](GuardedBuffer& input) { return riff ? RunRiff(input) : RunXml(input); });
}
