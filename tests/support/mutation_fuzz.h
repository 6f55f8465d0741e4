#pragma once
// The mutation loop of the fuzz programs that run under Wine, for readers that do not build on the
// host. Each input lies in a buffer that ends at a no-access page, so a read past it faults at once.
// Inputs a reader accepts join the pool the next mutations start from. A crash, a broken invariant
// (CheckFuzz) or a stall writes the input in progress to the finding file and ends the process
// with a non-zero code.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/handle.h"
#include "tests/support/guarded.h"

namespace fuzz {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInputBytes = 64 * 1024;
constexpr size_t kMaxPool = 4096;
constexpr DWORD kStallMs = 20000;

// What a finding writes out: the input of the execution in progress.
inline std::wstring g_findingPath;
inline const Bytes* g_current = nullptr;
inline volatile LONG64 g_executions = 0;

inline void WriteFinding(const char* why) {
  fprintf(stderr, "finding: %s after %lld executions\n", why, static_cast<long long>(g_executions));
  if (!g_current) return;
  std::ofstream out(std::filesystem::path(g_findingPath), std::ios::binary);
  out.write(reinterpret_cast<const char*>(g_current->data()), static_cast<std::streamsize>(g_current->size()));
  fprintf(stderr, "input written to %ls (%zu bytes)\n", g_findingPath.c_str(), g_current->size());
}

inline void CheckFuzz(bool condition, const char* what) {
  if (condition) return;
  WriteFinding(what);
  fflush(stderr);
  ExitProcess(2);
}

inline LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  char what[64];
  snprintf(what, sizeof(what), "exception 0x%08lX", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  WriteFinding(what);
  fflush(stderr);
  ExitProcess(3);
}

// Ends the process when no execution finished for a while: a reader that hangs is a finding too.
inline DWORD WINAPI Watchdog(void*) {
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

constexpr uint32_t kInterestingWords[] = {0, 1, 2, 3, 4, 5, 8, 12, 0x7F, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF,
                                          0x80000000, 0xFFFFFFF8, 0xFFFFFFFC, 0xFFFFFFFF};

class Mutator {
 public:
  // The tokens are byte strings of the format that mutations insert whole.
  Mutator(uint64_t seed, std::vector<std::string> tokens) : random_(seed), tokens_(std::move(tokens)) {}

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

  size_t Below(size_t limit) { return limit ? static_cast<size_t>(random_() % limit) : 0; }

 private:
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
        // Sizes and counts: the words a header or a length field holds.
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
      case 6:
        if (!tokens_.empty()) {
          const std::string& token = tokens_[Below(tokens_.size())];
          Insert(input, token.data(), token.size());
        }
        break;
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
  std::vector<std::string> tokens_;
  std::vector<Bytes> pool_;
  size_t seeds_ = 0;
};

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void AddSeedFiles(Mutator& mutator, const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error))
      if (entry.is_regular_file(error)) mutator.Add(ReadFileBytes(entry.path()));
  } else if (std::filesystem::is_regular_file(path, error)) {
    mutator.Add(ReadFileBytes(path));
  }
}

// Runs `executions` mutated inputs through `run` (true: accepted) and prints the tally; the seeds
// must be in the mutator already. Only returns when nothing was found.
template <typename Run>
int RunMutationLoop(const char* name, long long executions, Mutator& mutator, Run run) {
  g_findingPath = L"finding-" + std::wstring(name, name + strlen(name)) + L".bin";
  // No box may ever wait for a click: reports are collected, never shown.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  HandleGuard watchdog(CloseHandle, CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

  mutator.EndSeeds();
  const size_t seeds = mutator.PoolSize();
  long long accepted = 0;
  GuardedBuffer buffer(kMaxInputBytes);
  const ULONGLONG start = GetTickCount64();
  for (long long i = 0; i < executions; ++i) {
    const Bytes input = mutator.Next();
    g_current = &input;
    CheckFuzz(buffer.Refill(input.data(), input.size()), "no guarded buffer");
    if (run(buffer)) {
      ++accepted;
      mutator.Add(input);
    }
    g_current = nullptr;
    InterlockedIncrement64(&g_executions);
  }
  const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  printf("%s: %lld executions from %zu seeds in %.1f s (%.0f/s), %lld accepted, 0 findings\n", name, executions,
         seeds, seconds, seconds > 0 ? static_cast<double>(executions) / seconds : 0.0, accepted);
  return 0;
}

}  // namespace fuzz
