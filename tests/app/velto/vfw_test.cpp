// The codec through the system's own Video-for-Windows paths: installed in the prefix under
// Drivers32 and reached through ICOpen, OpenDriver by path, ICInfo and avifil32, as any host would.

#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/handle.h"
#include "common/window.h"
#include "tests/app/velto/frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');
constexpr wchar_t kDrivers32[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

bool IsWbvk(DWORD code) { return (code | 0x20202020u) == kWbvk; }

std::wstring CodecPath() { return GetModuleFolder(nullptr) + L"\\velto.dll"; }

// Installs the codec in the prefix once for the whole program; it stays installed for the host
// checks that run Wine's own tools afterwards.
class InstalledCodec : public testing::Environment {
 public:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDrivers32, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    HandleGuard guard(RegCloseKey, key);
    const std::wstring path = CodecPath();
    ASSERT_EQ(RegSetValueExW(key, L"vidc.wbvk", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
};

const testing::Environment* const kInstalled = testing::AddGlobalTestEnvironment(new InstalledCodec);

DWORD Image(int width, int height, int bits) { return static_cast<DWORD>(FrameImageSize(width, height, bits)); }

class Compressor {
 public:
  explicit Compressor(UINT mode) : hic_(ICOpen(ICTYPE_VIDEO, kWbvk, mode)) {}
  ~Compressor() {
    if (hic_) ICClose(hic_);
  }
  HIC Get() const { return hic_; }

 private:
  HIC hic_;
};

TEST(VfwHost, OpensAndDescribesTheCodec) {
  Compressor codec(ICMODE_QUERY);
  ASSERT_TRUE(codec.Get());
  ICINFO info = {};
  ASSERT_EQ(ICGetInfo(codec.Get(), &info, sizeof(info)), sizeof(info));
  EXPECT_STREQ(info.szName, L"wbvk");
  EXPECT_STREQ(info.szDescription, L"Quillory Codec");
  // The manager's own enumeration lists the installed codec.
  bool listed = false;
  for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i) listed = listed || IsWbvk(info.fccHandler);
  EXPECT_TRUE(listed);

  // The library opened by path, as a host that ships its own codec would.
  ICOPEN open = {};
  open.dwSize = sizeof(open);
  open.fccType = ICTYPE_VIDEO;
  open.fccHandler = kWbvk;
  HDRVR driver = OpenDriver(CodecPath().c_str(), nullptr, reinterpret_cast<LPARAM>(&open));
  ASSERT_TRUE(driver);
  uint8_t state[2] = {};
  EXPECT_EQ(SendDriverMessage(driver, ICM_GETSTATE, reinterpret_cast<LPARAM>(state), 2), ICERR_OK);
  EXPECT_EQ(state[0], 0x10);
  EXPECT_EQ(state[1], 6);
  EXPECT_EQ(CloseDriver(driver, 0, 0), 1);
}

// Each depth with its own level, whose mark the key frame's zlib header carries: the deflater
// takes the level set before the first frame.
TEST(VfwHost, CompressAndDecompressAtEveryDepth) {
  const struct {
    int bits;
    int level;
    uint8_t header;
  } cases[] = {{8, 1, 0x01}, {16, 4, 0x5E}, {24, 6, 0x9C}, {32, 9, 0xDA}};
  std::mt19937 random(11);
  for (const auto& c : cases) {
    Compressor compressor(ICMODE_COMPRESS);
    Compressor decompressor(ICMODE_DECOMPRESS);
    ASSERT_TRUE(compressor.Get() && decompressor.Get());
    const uint8_t state[2] = {0x10, static_cast<uint8_t>(c.level)};
    ASSERT_EQ(ICSetState(compressor.Get(), state, 2), ICERR_OK);
    const int width = 123;
    const int height = 45;
    BITMAPINFOHEADER input = DibHeader(width, height, c.bits, BI_RGB, Image(width, height, c.bits));
    BITMAPINFOHEADER packed = {};
    ASSERT_EQ(ICCompressGetFormat(compressor.Get(), &input, &packed), ICERR_OK);
    EXPECT_EQ(packed.biCompression, kWbvk);
    ASSERT_EQ(ICCompressBegin(compressor.Get(), &input, &packed), ICERR_OK);
    BITMAPINFOHEADER output = input;
    ASSERT_EQ(ICDecompressBegin(decompressor.Get(), &packed, &output), ICERR_OK);
    Bytes compressed(static_cast<size_t>(ICCompressGetSize(compressor.Get(), &input, &packed)));

    TestFrame frame(width, height, c.bits);
    FillScreenLike(frame, random);
    for (int i = 0; i < 6; ++i) {
      if (i != 3) ChangeSome(frame, random);  // frame 3 repeats frame 2
      DWORD flags = 0;
      ASSERT_EQ(ICCompress(compressor.Get(), i == 4 ? ICCOMPRESS_KEYFRAME : 0, &packed, compressed.data(), &input,
                           frame.bytes.data(), nullptr, &flags, i, 0, 10000, nullptr, nullptr),
                ICERR_OK);
      EXPECT_EQ((flags & AVIIF_KEYFRAME) != 0, i == 0 || i == 4) << c.bits << " " << i;
      const Bytes frameBytes(compressed.begin(), compressed.begin() + packed.biSizeImage);
      if (i == 0) {
        EXPECT_EQ(Bytes(frameBytes.begin(), frameBytes.begin() + 2), Bytes({0x78, c.header})) << c.level;
      }
      if (i == 3) {
        EXPECT_EQ(frameBytes, Bytes({0, 1}));
      }
      TestFrame decoded(width, height, c.bits);
      ASSERT_EQ(ICDecompress(decompressor.Get(), 0, &packed, compressed.data(), &output, decoded.bytes.data()),
                ICERR_OK);
      EXPECT_TRUE(decoded.SamePixels(frame)) << c.bits << " " << i;
    }
    ICCompressEnd(compressor.Get());
    ICDecompressEnd(decompressor.Get());
  }
}

// avifil32 writes a movie through the codec (AVIMakeCompressedStream) and reads it back through
// it (AVIStreamGetFrame). The file stays for the host's ffprobe check.
TEST(VfwHost, AviRoundTripThroughAvifil) {
  AVIFileInit();
  const int width = 160;
  const int height = 90;
  const int frames = 12;
  std::mt19937 random(13);
  std::vector<TestFrame> written;
  TestFrame frame(width, height, 32);
  FillScreenLike(frame, random);
  for (int i = 0; i < frames; ++i) {
    ChangeSome(frame, random);
    written.push_back(frame);
  }
  {
    DeleteFileW(L"wbvk.avi");
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, L"wbvk.avi", OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
    AVISTREAMINFOW info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = kWbvk;
    info.dwScale = 1;
    info.dwRate = 10;
    info.dwSuggestedBufferSize = static_cast<DWORD>(frame.bytes.size());
    SetRect(&info.rcFrame, 0, 0, width, height);
    PAVISTREAM raw = nullptr;
    ASSERT_EQ(AVIFileCreateStreamW(file, &raw, &info), AVIERR_OK);
    AVICOMPRESSOPTIONS options = {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = kWbvk;
    options.dwKeyFrameEvery = 5;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES;
    PAVISTREAM compressed = nullptr;
    ASSERT_EQ(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), AVIERR_OK);
    BITMAPINFOHEADER format = DibHeader(width, height, 32);
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, &format, sizeof(format)), AVIERR_OK);
    for (int i = 0; i < frames; ++i) {
      ASSERT_EQ(AVIStreamWrite(compressed, i, 1, written[i].bytes.data(), static_cast<LONG>(frame.bytes.size()), 0,
                               nullptr, nullptr),
                AVIERR_OK)
          << i;
    }
    AVIStreamRelease(compressed);
    AVIStreamRelease(raw);
    AVIFileRelease(file);
  }
  {
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileW(&stream, L"wbvk.avi", streamtypeVIDEO, 0, OF_READ, nullptr), AVIERR_OK);
    AVISTREAMINFOW info = {};
    ASSERT_EQ(AVIStreamInfoW(stream, &info, sizeof(info)), AVIERR_OK);
    EXPECT_TRUE(IsWbvk(info.fccHandler)) << std::hex << info.fccHandler;
    BITMAPINFOHEADER stored = {};
    LONG storedSize = sizeof(stored);
    ASSERT_EQ(AVIStreamReadFormat(stream, 0, &stored, &storedSize), AVIERR_OK);
    EXPECT_EQ(stored.biCompression, kWbvk);
    EXPECT_EQ(AVIStreamLength(stream), frames);
    BITMAPINFOHEADER wanted = DibHeader(width, height, 32);
    PGETFRAME getter = AVIStreamGetFrameOpen(stream, &wanted);
    ASSERT_TRUE(getter);
    for (int i = 0; i < frames; ++i) {
      const BITMAPINFOHEADER* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(getter, i));
      ASSERT_TRUE(dib) << i;
      ASSERT_EQ(dib->biBitCount, 32);
      TestFrame decoded(width, height, 32);
      const uint8_t* bits = reinterpret_cast<const uint8_t*>(dib) + dib->biSize + dib->biClrUsed * sizeof(RGBQUAD);
      memcpy(decoded.bytes.data(), bits, decoded.bytes.size());
      EXPECT_TRUE(decoded.SamePixels(written[i])) << i;
    }
    AVIStreamGetFrameClose(getter);
    AVIStreamRelease(stream);
  }
  AVIFileExit();
}

}  // namespace
