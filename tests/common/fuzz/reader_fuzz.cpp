// A mutation loop under Wine for the readers of outside files that do not build on the host: the
// RIFF walker and the settings and project reader (Expat with 16-bit characters). Each input lies in
// a buffer that ends at a no-access page, so a read past it faults at once. Inputs a reader accepts
// join the pool the next mutations start from.
//
//   reader_fuzz riff|xml <executions> <random seed> [seed file or folder]...
//
// A crash, a broken invariant or a stall writes the input to finding-<reader>.bin and fails.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/handle.h"
#include "common/riff.h"
#include "common/strutil.h"
#include "common/text.h"
#include "common/xml.h"
#include "tests/support/guarded.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInputBytes = 64 * 1024;
constexpr size_t kMaxPool = 4096;
constexpr DWORD kStallMs = 20000;

// What a finding writes out: the input of the execution in progress.
std::wstring g_findingPath;
const Bytes* g_current = nullptr;
volatile LONG64 g_executions = 0;

void WriteFinding(const char* why) {
  fprintf(stderr, "finding: %s after %lld executions\n", why, static_cast<long long>(g_executions));
  if (!g_current) return;
  std::ofstream out(std::filesystem::path(g_findingPath), std::ios::binary);
  out.write(reinterpret_cast<const char*>(g_current->data()), static_cast<std::streamsize>(g_current->size()));
  fprintf(stderr, "input written to %ls (%zu bytes)\n", g_findingPath.c_str(), g_current->size());
}

void Check(bool condition, const char* what) {
  if (condition) return;
  WriteFinding(what);
  fflush(stderr);
  ExitProcess(2);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  char what[64];
  snprintf(what, sizeof(what), "exception 0x%08lX", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  WriteFinding(what);
  fflush(stderr);
  ExitProcess(3);
}

// Ends the process when no execution finished for a while: a reader that hangs is a finding too.
DWORD WINAPI Watchdog(void*) {
  LONG64 seen = -1;
  for (;;) {
    Sleep(kStallMs);
    const LONG64 now = g_executions;
    if (now == seen) {
      WriteFinding("stall");
      fflush(stderr);
      ExitProcess(4);
    }
    seen = now;
  }
}

// Swallows the dump's text after formatting it.
class NullText : public TextHandler {
 public:
  void Write(const wchar_t*) override {}
};

// ---- RIFF ----

// Every chunk of an accepted walk lies inside the file, and its data reads back.
void CheckChunks(DataStream& stream, const ChunkNode& node, int64_t fileSize, int depth) {
  Check(depth <= static_cast<int>(kMaxRiffDepth) + 1, "tree deeper than the walker allows");
  for (const auto& child : node.GetChildren()) {
    Check(child->GetParent() == &node, "child with another parent");
    Check(child->dataPosition >= 0 && child->dataPosition + child->dataLength <= fileSize, "chunk outside the file");
    uint8_t head[16];
    const int32_t want = static_cast<int32_t>(std::min<uint32_t>(child->dataLength, sizeof(head)));
    Check(child->ReadData(stream, head, want) == (want > 0 ? want : 0), "chunk data does not read back");
    CheckChunks(stream, *child, fileSize, depth + 1);
  }
}

bool RunRiff(GuardedBuffer& input) {
  const auto size = static_cast<int64_t>(input.size());
  CountedPtr<DataStream> stream(new BufferStream(input.data(), input.size()));
  RiffTree tree(stream, Chunk(), size);
  if (tree.GetRoot()) CheckChunks(*stream, *tree.GetRoot(), size, 0);

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
  Check(before.GetName() == after.GetName(), "a saved name reads back changed");
  Check(before.GetChildren().size() == after.GetChildren().size(), "saved children read back changed");
  if (before.GetChildren().empty()) Check(before.GetText() == after.GetText(), "a saved text reads back changed");
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
    Check(node.FindChild(child->GetName()) != nullptr, "a child is not found by its name");
    ReadEverything(*child);
  }
}

bool RunXml(GuardedBuffer& input) {
  ClearErrors();
  std::unique_ptr<XmlElement> root = ParseXmlFileBytes(reinterpret_cast<const char*>(input.data()), input.size());
  Check(root != nullptr || HasErrors(), "a refused file left no message");
  if (!root) return false;
  ClearErrors();

  // What was read is saved again in the file's form, and that text reads back as the same tree.
  std::wostringstream written;
  root->Write(written, 0);
  std::string bytes;
  Check(ToNarrow(written.str(), bytes, kUtf8CodePage), "a read tree does not convert to UTF-8");
  std::unique_ptr<XmlElement> again = ParseXmlFileBytes(bytes.data(), bytes.size());
  Check(again != nullptr, "a read tree, written out, is refused");
  ExpectSameTree(*root, *again);

  XmlData node(true, nullptr, root.release(), true);
  ReadEverything(node);
  return true;
}

// ---- Mutations ----

const char* const kRiffTokens[] = {"RIFF", "LIST", "AVI ", "WAVE", "hdrl", "movi", "strl", "idx1", "fmt ", "data",
                                   "JUNK", "avih", "strh", "strf", "00dc"};
const char* const kXmlTokens[] = {"<", ">", "</", "/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xEF\xBB\xBF",
                                  "<!DOCTYPE a [", "<!ENTITY e \"x\">", "]>", "&e;", "&amp;", "&#13;", "&#x10FFFF;",
                                  "<![CDATA[", "]]>", "<!--", "-->", "<?pi?>", "UTF-8", "utf-8", "UTF-16",
                                  "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\r\n", "\0", "<root>", "</root>", "<a>", "</a>"};
constexpr uint32_t kInterestingWords[] = {0, 1, 2, 3, 4, 5, 8, 12, 0x7F, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF,
                                          0x80000000, 0xFFFFFFF8, 0xFFFFFFFC, 0xFFFFFFFF};

class Mutator {
 public:
  Mutator(uint64_t seed, bool riff) : random_(seed), riff_(riff) {}

  void Add(Bytes input) {
    if (input.size() > kMaxInputBytes) input.resize(kMaxInputBytes);
    if (pool_.size() < kMaxPool) {
      pool_.push_back(std::move(input));
    } else {
      pool_[seeds_ + Below(pool_.size() - seeds_)] = std::move(input);
    }
  }
  // The pool's first entries, the seeds, are never replaced.
  void EndSeeds() { seeds_ = pool_.size(); }
  size_t PoolSize() const { return pool_.size(); }

  Bytes Next() {
    Bytes input = pool_[Below(pool_.size())];
    const size_t steps = 1 + Below(8);
    for (size_t i = 0; i < steps; ++i) Mutate(input);
    if (input.size() > kMaxInputBytes) input.resize(kMaxInputBytes);
    return input;
  }

 private:
  size_t Below(size_t limit) { return limit ? static_cast<size_t>(random_() % limit) : 0; }

  void Insert(Bytes& input, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    input.insert(input.begin() + static_cast<ptrdiff_t>(Below(input.size() + 1)), bytes, bytes + size);
  }

  void Mutate(Bytes& input) {
    const size_t at = Below(input.size());
    switch (Below(9)) {
      case 0:
        if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << Below(8));
        break;
      case 1:
        if (!input.empty()) input[at] = static_cast<uint8_t>(random_());
        break;
      case 2: {
        // Sizes and counts: the words a chunk header or a length field holds.
        uint32_t word = Below(3) ? kInterestingWords[Below(std::size(kInterestingWords))]
                                 : static_cast<uint32_t>(input.size() - at + Below(9) - 4);
        if (input.size() >= 4) memcpy(&input[Below(input.size() - 3)], &word, 4);
        break;
      }
      case 3:
        if (!input.empty()) {
          const size_t length = 1 + Below(std::min<size_t>(input.size() - at, 64));
          input.erase(input.begin() + static_cast<ptrdiff_t>(at), input.begin() + static_cast<ptrdiff_t>(at + length));
        }
        break;
      case 4: {
        uint8_t random[8];
        for (uint8_t& byte : random) byte = static_cast<uint8_t>(random_());
        Insert(input, random, 1 + Below(sizeof(random)));
        break;
      }
      case 5:
        if (!input.empty()) {
          const size_t length = 1 + Below(std::min<size_t>(input.size() - at, 256));
          const Bytes copy(input.begin() + static_cast<ptrdiff_t>(at), input.begin() + static_cast<ptrdiff_t>(at + length));
          Insert(input, copy.data(), copy.size());
        }
        break;
      case 6: {
        const char* token = riff_ ? kRiffTokens[Below(std::size(kRiffTokens))] : kXmlTokens[Below(std::size(kXmlTokens))];
        Insert(input, token, std::max<size_t>(strlen(token), 1));
        break;
      }
      case 7: {
        // Splice: this input's head with another's tail.
        const Bytes& other = pool_[Below(pool_.size())];
        const size_t from = Below(other.size() + 1);
        input.resize(Below(input.size() + 1));
        input.insert(input.end(), other.begin() + static_cast<ptrdiff_t>(from), other.end());
        break;
      }
      default:
        input.resize(Below(input.size() + 1));
        break;
    }
  }

  std::mt19937_64 random_;
  bool riff_;
  std::vector<Bytes> pool_;
  size_t seeds_ = 0;
};

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Le32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// A few well-formed inputs, so that the loop works without seed files too.
void AddBuiltInSeeds(Mutator& mutator, bool riff) {
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

void AddSeedFiles(Mutator& mutator, const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error))
      if (entry.is_regular_file(error)) mutator.Add(ReadFileBytes(entry.path()));
  } else if (std::filesystem::is_regular_file(path, error)) {
    mutator.Add(ReadFileBytes(path));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (strcmp(argv[1], "riff") != 0 && strcmp(argv[1], "xml") != 0)) {
    fprintf(stderr, "usage: reader_fuzz riff|xml <executions> <random seed> [seed file or folder]...\n");
    return 1;
  }
  const bool riff = strcmp(argv[1], "riff") == 0;
  const long long executions = _atoi64(argv[2]);
  const uint64_t seed = static_cast<uint64_t>(_atoi64(argv[3]));
  g_findingPath = riff ? L"finding-riff.bin" : L"finding-xml.bin";
  // No box may ever wait for a click: reports are collected, never shown.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  HandleGuard watchdog(CloseHandle, CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

  Mutator mutator(seed, riff);
  AddBuiltInSeeds(mutator, riff);
  for (int i = 4; i < argc; ++i) AddSeedFiles(mutator, argv[i]);
  mutator.EndSeeds();
  const size_t seeds = mutator.PoolSize();

  long long accepted = 0;
  GuardedBuffer buffer(kMaxInputBytes);
  const ULONGLONG start = GetTickCount64();
  for (long long i = 0; i < executions; ++i) {
    const Bytes input = mutator.Next();
    g_current = &input;
    Check(buffer.Refill(input.data(), input.size()), "no guarded buffer");
    const bool ok = riff ? RunRiff(buffer) : RunXml(buffer);
    if (ok) {
      ++accepted;
      mutator.Add(input);
    }
    g_current = nullptr;
    InterlockedIncrement64(&g_executions);
  }
  const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  printf("%s: %lld executions from %zu seeds in %.1f s (%.0f/s), %lld accepted, 0 findings\n", argv[1], executions,
         seeds, seconds, seconds > 0 ? static_cast<double>(executions) / seconds : 0.0, accepted);
  return 0;
}
