// Text renderings of Video-for-Windows codes and structures, and the state-change diagnostic run
// against the logging test codec installed as "vidc.tcdc".

#include "app/deze/source/vcmtext.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/error.h"
#include "common/format.h"
#include "common/handle.h"
#include "tests/app/deze/codecs.h"
#include "tests/support/capture.h"
#include "tests/support/files.h"

namespace {

TEST(VcmText, NamesOfCodes) {
  EXPECT_STREQ(L"DRV_POWER", VcmMessageName(DRV_POWER));
  EXPECT_STREQ(L"ICM_COMPRESS_GET_FORMAT", VcmMessageName(0x4004));
  EXPECT_STREQ(L"ICM_ABOUT", VcmMessageName(0x500B));
  EXPECT_STREQ(L"Unknown", VcmMessageName(0x4100));
  EXPECT_STREQ(L"ICERR_STOPDRAWING", VcmErrorName(4));
  EXPECT_STREQ(L"ICERR_BADIMAGESIZE", VcmErrorName(-201));
  EXPECT_STREQ(L"Unknown", VcmErrorName(5));
  EXPECT_STREQ(L"ICMODE_DRAW", VcmModeName(8));
  EXPECT_STREQ(L"Unknown", VcmModeName(6));
  EXPECT_EQ(L"ICDRAW_QUERY | ICDRAW_BUFFER", VcmDrawFlags(ICDRAW_QUERY | ICDRAW_BUFFER));
  EXPECT_EQ(L"ICDECOMPRESS_PREROLL | ICDECOMPRESS_NOTKEYFRAME",
            VcmDecompressFlags(ICDECOMPRESS_PREROLL | ICDECOMPRESS_NOTKEYFRAME));
}

std::wstring Dumped(const std::function<void(TextStream&)>& dump) {
  auto* handler = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(handler)};
  dump(stream);
  return handler->Text();
}

TEST(VcmText, StructureDumps) {
  ICOPEN open = MakeOpenBlock(kWbvk, true);
  EXPECT_EQ(Format(L"dwSize      = %d\n", static_cast<int>(sizeof(ICOPEN))) +
                L"fccType     = vidc (0x63646976)\n"
                L"fccHandler  = wbvk (0x6b766277)\n"
                L"dwVersion   = 0\n"
                L"dwFlags     = ICMODE_COMPRESS (0x00000001)\n"
                L"dwError     = 0\n" +
                Format(L"pV1Reserved = %p\npV2Reserved = %p\n", nullptr, nullptr) + L"dnDevNode   = 0\n",
            Dumped([&](TextStream& s) { DumpIcOpen(s, open); }));

  BITMAPINFOHEADER input = {sizeof(BITMAPINFOHEADER), 4, 2, 1, 32, BI_RGB, 32, 0, 0, 0, 0};
  DWORD flags = AVIIF_KEYFRAME;
  ICCOMPRESS compress = {};
  compress.dwFlags = ICCOMPRESS_KEYFRAME;
  compress.lpbiInput = &input;
  compress.lpdwFlags = &flags;
  compress.lFrameNum = 7;
  const std::wstring text = Dumped([&](TextStream& s) { DumpIcCompress(s, compress); });
  EXPECT_EQ(0u, text.find(L"dwFlags     = ICCOMPRESS_KEYFRAME\nlpbiOutput  = 0\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"lpbiInput   =\n  biSize: 40\n  biWidth: 4\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"lpdwFlags   = AVIIF_KEYFRAME\nlFrameNum   = 7\n")) << text;

  ICINFO info = {};
  info.dwFlags = VIDCF_TEMPORAL | VIDCF_QUALITY;
  std::fill(std::begin(info.szName), std::end(info.szName), L'x');  // not terminated
  const std::wstring infoText = Dumped([&](TextStream& s) { DumpIcInfo(s, info); });
  EXPECT_NE(std::wstring::npos, infoText.find(L"dwFlags     = VIDCF_QUALITY | VIDCF_TEMPORAL\n")) << infoText;
  EXPECT_NE(std::wstring::npos, infoText.find(L"szName      = " + std::wstring(16, L'x') + L"\n")) << infoText;

  // Every structure prints without touching what its pointers point to.
  ICDECOMPRESS decompress = {};
  decompress.dwFlags = ICDECOMPRESS_HURRYUP;
  EXPECT_EQ(0u, Dumped([&](TextStream& s) { DumpIcDecompress(s, decompress); })
                    .find(L"dwFlags     = ICDECOMPRESS_HURRYUP\nlpbiInput   = 0\n"));
  const ICDRAWBEGIN draw = {};
  const ICDECOMPRESSEX decompressEx = {};
  const ICCOMPRESSFRAMES frames = {};
  EXPECT_FALSE(Dumped([&](TextStream& s) {
                 DumpIcDrawBegin(s, draw);
                 DumpIcDecompressEx(s, decompressEx);
                 DumpIcCompressFrames(s, frames);
               }).empty());
}

// The test codec's state block, which each "settings dialog" changes.
uint8_t g_state[8];
int g_configured = 0;

BOOL StatefulCodec(const TestCodecCall* call, LRESULT* result) {
  switch (call->message) {
    case ICM_CONFIGURE:
      if (++g_configured == 2) {
        g_state[0] = 'b';
        g_state[3] = 0x05;
      } else if (g_configured == 3) {
        g_state[7] = '9';
      }
      *result = ICERR_OK;
      return TRUE;
    case ICM_GETSTATE:
      if (call->param1) std::memcpy(reinterpret_cast<void*>(call->param1), g_state, sizeof(g_state));
      *result = call->param1 ? ICERR_OK : static_cast<LRESULT>(sizeof(g_state));
      return TRUE;
    default: return FALSE;
  }
}

constexpr wchar_t kDrivers32[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

using VcmStateChanges = WithTestCodec;

TEST_F(VcmStateChanges, TracesChangedBytesAndWritesEachPass) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDrivers32, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
  HandleGuard keyGuard(RegCloseKey, key);
  const std::wstring path = TestCodecPath();
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"vidc.tcdc", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                          static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))));
  std::memcpy(g_state, "ab\x01\x02" "cdef", sizeof(g_state));
  g_configured = 0;
  TestCodecSetHook(StatefulCodec);
  auto* trace = new CapturingTextHandler;
  const CountedPtr<TextHandler> traceRef(trace);  // outlives its time as the trace handler
  SetTraceHandler(traceRef);
  CreateDirectoryW(L"states", nullptr);
  const bool dumped = DumpCodecStateChanges(kTestFourCC, 3, L"states");
  SetTraceHandler(CountedPtr<TextHandler>());
  RegDeleteValueW(key, L"vidc.tcdc");

  ASSERT_TRUE(dumped);
  EXPECT_EQ(L"state size = 8\n"
            L"state size = 8\n"
            L"pos = 0x00000000 (00000000): 62 vs 61 or b vs a\n"
            L"pos = 0x00000003 (00000003): 05 vs 02\n"
            L"state size = 8\n"
            L"pos = 0x00000007 (00000007): 39 vs 66 or 9 vs f\n",
            trace->Text());
  EXPECT_EQ(std::string("ab\x01\x02" "cdef", 8), FileText(L"states\\vcm-state-00"));
  EXPECT_EQ(std::string("bb\x01\x05" "cdef", 8), FileText(L"states\\vcm-state-01"));
  EXPECT_EQ(std::string("bb\x01\x05" "cde9", 8), FileText(L"states\\vcm-state-02"));
  // Three dialogs were asked for, each as ICM_CONFIGURE with no owner window.
  EXPECT_EQ(3, g_configured);

  // A codec that is not installed gives no state.
  EXPECT_FALSE(DumpCodecStateChanges(mmioFOURCC('n', 'o', 'n', 'e'), 1, L"states"));
}

}  // namespace
