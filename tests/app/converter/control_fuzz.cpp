// A mutation loop under Wine (tests/support/mutation_fuzz.h) for the movie control's template
// reader: every input is read as a template from the guarded buffer and cut. Files are slow under
// Wine, so only every 256th input also goes through the template file into a movie by the handler,
// and every 64th accepted uncompressed template is also compressed and must read back the same.
//
//   control_fuzz <executions> <random seed> [seed file or folder]...
//
// A crash, a broken invariant or a stall writes the input to finding-control.bin and fails.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/converter/source/control.h"
#include "common/fileutil.h"
#include "common/stream.h"
#include "common/zstream.h"
#include "tests/support/mutation_fuzz.h"

namespace {

using fuzz::Bytes;
using fuzz::CheckFuzz;

constexpr wchar_t kTemplatePath[] = L"template.swf";
constexpr size_t kHeaderSize = 8;
const Bytes kWhite = {0x43, 0x02, 0xFF, 0xFF, 0xFF};
const Bytes kPlacement = {0x97, 0x06, 0x26, 0x02, 0x00};

bool WriteTemplate(const uint8_t* data, size_t size) {
  return WriteFileBytes(kTemplatePath, data, static_cast<int64_t>(size), OpenFailure::kQuiet);
}

bool SameBytes(const uint8_t* data, const Bytes& expected) {
  return memcmp(data, expected.data(), expected.size()) == 0;
}

class ControlRun {
 public:
  ControlRun() {
    settings_.Clear();
    settings_.width = 320;
    settings_.height = 240;
    settings_.duration = 218000000;
    control_.SetMovieName(L"movie.swf");
    control_.SetTemplatePath(kTemplatePath);
    CheckFuzz(control_.OnPrepare(&settings_) == S_OK, "the control is not prepared");
    MemOut actions;
    CheckFuzz(control_.Parameters().WriteActions(actions), "the actions are not written");
    actionsSize_ = static_cast<size_t>(actions.GetDataSize());
  }

  bool operator()(GuardedBuffer& input) {
    BufferStream stream(input.data(), input.size());
    const bool read = ReadTemplateBody(stream, body_);
    CheckFuzz(read == !body_.empty(), "a read template has no body, or a refused one kept one");
    const bool uncompressed = input.size() >= kHeaderSize && input.data()[0] == 'F';
    if (uncompressed)
      CheckFuzz(body_.size() == input.size() - kHeaderSize && SameBytes(input.data() + kHeaderSize, body_),
                "an uncompressed body reads back changed");

    size_t start = 0, end = 0;
    const bool cut = read && CutTemplateDefinitions(body_, &start, &end);
    if (cut) {
      CheckFuzz(start >= kWhite.size() && start < end && end + kPlacement.size() <= body_.size(),
                "the cut lies outside the body");
      CheckFuzz(memcmp(body_.data() + start - kWhite.size(), kWhite.data(), kWhite.size()) == 0 &&
                    memcmp(body_.data() + end, kPlacement.data(), kPlacement.size()) == 0,
                "the cut is not between the markers");
    }
    if (++executions_ % 256 == 0) CheckHandler(input, cut, start, end);
    if (cut && uncompressed && ++acceptedUncompressed_ % 64 == 0) CheckCompressed(input);
    return cut;
  }

 private:
  // The handler takes the template file exactly when the reader and the cut take the bytes, and
  // copies the cut behind its actions.
  void CheckHandler(GuardedBuffer& input, bool cut, size_t start, size_t end) {
    CheckFuzz(WriteTemplate(input.data(), input.size()), "the template is not written");
    MemOut movie;
    const HRESULT result = control_.OnHeaderWritten(&settings_, &movie);
    CheckFuzz(result == (cut ? S_OK : E_FAIL), "the handler's answer disagrees with the reader");
    if (!cut) return;
    const size_t copied = end - start;
    CheckFuzz(static_cast<size_t>(movie.GetDataSize()) > actionsSize_ + copied &&
                  memcmp(movie.GetData() + actionsSize_, body_.data() + start, copied) == 0,
              "the movie does not hold the template's definitions");
  }

  // The same body, compressed, reads back the same.
  void CheckCompressed(GuardedBuffer& input) {
    Bytes file(input.data(), input.data() + kHeaderSize);
    file[0] = 'C';
    const int32_t capacity = static_cast<int32_t>(body_.size() + body_.size() / 8 + 128);
    file.resize(kHeaderSize + static_cast<size_t>(capacity));
    const int32_t size =
        deflater_.Compress(body_.data(), static_cast<int32_t>(body_.size()), file.data() + kHeaderSize, capacity);
    CheckFuzz(size > 0, "a body does not compress");
    file.resize(kHeaderSize + static_cast<size_t>(size));
    GuardedBuffer compressed(file);
    BufferStream stream(compressed.data(), compressed.size());
    Bytes body;
    CheckFuzz(ReadTemplateBody(stream, body) && body == body_, "a compressed body reads back changed");
  }

  MuxSettings settings_;
  SwfControl control_;
  size_t actionsSize_ = 0;
  Bytes body_;
  long long executions_ = 0;
  long long acceptedUncompressed_ = 0;
  ZlibDeflater deflater_{6};
};

std::vector<std::string> Tokens() {
  return {"FWS", "CWS", std::string(kWhite.begin(), kWhite.end()), std::string(kPlacement.begin(), kPlacement.end()),
          "\x78\x9C", "\x78\x01", "videoControls"};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: control_fuzz <executions> <random seed> [seed file or folder]...\n");
    return 1;
  }
  fuzz::Mutator mutator(static_cast<uint64_t>(_atoi64(argv[2])), Tokens());
  // Without seed files: the smallest template the reader takes.
  Bytes smallest = {'F', 'W', 'S', 8, 0, 0, 0, 0};
  smallest.insert(smallest.end(), kWhite.begin(), kWhite.end());
  smallest.push_back(0);
  smallest.insert(smallest.end(), kPlacement.begin(), kPlacement.end());
  mutator.Add(smallest);
  for (int i = 3; i < argc; ++i) fuzz::AddSeedFiles(mutator, argv[i]);
  ControlRun run;
  return fuzz::RunMutationLoop("control", _atoi64(argv[1]), mutator,
                               [&run](GuardedBuffer& input) { return run(input); });
}
