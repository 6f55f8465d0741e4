#include "app/deze/source/vcmtext.h"

#include <vector>

#include "app/deze/source/vcm.h"
#include "common/bitmap.h"
#include "common/error.h"
#include "common/fileutil.h"
#include "common/format.h"
#include "common/fourcc.h"
#include "common/text.h"

namespace {

struct CodeName {
  LRESULT code;
  const wchar_t* name;
};

#define VCM_NAME(code) \
  { code, L## #code }

const CodeName kMessageNames[] = {
    VCM_NAME(DRV_LOAD), VCM_NAME(DRV_ENABLE), VCM_NAME(DRV_OPEN), VCM_NAME(DRV_CLOSE), VCM_NAME(DRV_DISABLE),
    VCM_NAME(DRV_FREE), VCM_NAME(DRV_CONFIGURE), VCM_NAME(DRV_QUERYCONFIGURE), VCM_NAME(DRV_INSTALL),
    VCM_NAME(DRV_REMOVE), VCM_NAME(DRV_EXITSESSION), VCM_NAME(DRV_POWER), VCM_NAME(DRV_RESERVED),
    VCM_NAME(DRV_USER), VCM_NAME(ICM_GETSTATE), VCM_NAME(ICM_SETSTATE), VCM_NAME(ICM_GETINFO),
    VCM_NAME(ICM_CONFIGURE), VCM_NAME(ICM_ABOUT), VCM_NAME(ICM_GETERRORTEXT), VCM_NAME(ICM_GETFORMATNAME),
    VCM_NAME(ICM_ENUMFORMATS), VCM_NAME(ICM_GETDEFAULTQUALITY), VCM_NAME(ICM_GETQUALITY),
    VCM_NAME(ICM_SETQUALITY), VCM_NAME(ICM_SET), VCM_NAME(ICM_GET), VCM_NAME(ICM_COMPRESS_GET_FORMAT),
    VCM_NAME(ICM_COMPRESS_GET_SIZE), VCM_NAME(ICM_COMPRESS_QUERY), VCM_NAME(ICM_COMPRESS_BEGIN),
    VCM_NAME(ICM_COMPRESS), VCM_NAME(ICM_COMPRESS_END), VCM_NAME(ICM_DECOMPRESS_GET_FORMAT),
    VCM_NAME(ICM_DECOMPRESS_QUERY), VCM_NAME(ICM_DECOMPRESS_BEGIN), VCM_NAME(ICM_DECOMPRESS),
    VCM_NAME(ICM_DECOMPRESS_END), VCM_NAME(ICM_DECOMPRESS_SET_PALETTE), VCM_NAME(ICM_DECOMPRESS_GET_PALETTE),
    VCM_NAME(ICM_DRAW_QUERY), VCM_NAME(ICM_DRAW_BEGIN), VCM_NAME(ICM_DRAW_GET_PALETTE), VCM_NAME(ICM_DRAW_START),
    VCM_NAME(ICM_DRAW_STOP), VCM_NAME(ICM_DRAW_END), VCM_NAME(ICM_DRAW_GETTIME), VCM_NAME(ICM_DRAW),
    VCM_NAME(ICM_DRAW_WINDOW), VCM_NAME(ICM_DRAW_SETTIME), VCM_NAME(ICM_DRAW_REALIZE), VCM_NAME(ICM_DRAW_FLUSH),
    VCM_NAME(ICM_DRAW_RENDERBUFFER), VCM_NAME(ICM_DRAW_START_PLAY), VCM_NAME(ICM_DRAW_STOP_PLAY),
    VCM_NAME(ICM_DRAW_SUGGESTFORMAT), VCM_NAME(ICM_DRAW_CHANGEPALETTE), VCM_NAME(ICM_GETBUFFERSWANTED),
    VCM_NAME(ICM_GETDEFAULTKEYFRAMERATE), VCM_NAME(ICM_DECOMPRESSEX_BEGIN), VCM_NAME(ICM_DECOMPRESSEX_QUERY),
    VCM_NAME(ICM_DECOMPRESSEX), VCM_NAME(ICM_DECOMPRESSEX_END), VCM_NAME(ICM_COMPRESS_FRAMES_INFO),
    VCM_NAME(ICM_COMPRESS_FRAMES), VCM_NAME(ICM_SET_STATUS_PROC),
};

const CodeName kErrorNames[] = {
    VCM_NAME(ICERR_OK), VCM_NAME(ICERR_DONTDRAW), VCM_NAME(ICERR_NEWPALETTE), VCM_NAME(ICERR_GOTOKEYFRAME),
    VCM_NAME(ICERR_STOPDRAWING), VCM_NAME(ICERR_UNSUPPORTED), VCM_NAME(ICERR_BADFORMAT), VCM_NAME(ICERR_MEMORY),
    VCM_NAME(ICERR_INTERNAL), VCM_NAME(ICERR_BADFLAGS), VCM_NAME(ICERR_BADPARAM), VCM_NAME(ICERR_BADSIZE),
    VCM_NAME(ICERR_BADHANDLE), VCM_NAME(ICERR_CANTUPDATE), VCM_NAME(ICERR_ABORT), VCM_NAME(ICERR_ERROR),
    VCM_NAME(ICERR_BADBITDEPTH), VCM_NAME(ICERR_BADIMAGESIZE), VCM_NAME(ICERR_CUSTOM),
};

const CodeName kModeNames[] = {
    VCM_NAME(ICMODE_COMPRESS), VCM_NAME(ICMODE_DECOMPRESS), VCM_NAME(ICMODE_FASTDECOMPRESS),
    VCM_NAME(ICMODE_QUERY),    VCM_NAME(ICMODE_FASTCOMPRESS), VCM_NAME(ICMODE_DRAW),
};

#undef VCM_NAME

template <size_t N>
const wchar_t* NameOf(const CodeName (&names)[N], LRESULT code) {
  for (const CodeName& entry : names)
    if (entry.code == code) return entry.name;
  return L"Unknown";
}

constexpr LRESULT kMaxStateBytes = 0x100000;

bool IsLetterOrDigit(uint8_t byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// "label = value": labels padded so that short ones line up.
void Line(TextStream& stream, const wchar_t* label, const std::wstring& value) {
  stream.Printf(L"%-11s = %s\n", label, value.c_str());
}

void Number(TextStream& stream, const wchar_t* label, long long value) { Line(stream, label, Format(L"%I64d", value)); }

void Pointer(TextStream& stream, const wchar_t* label, const void* pointer) {
  Line(stream, label, Format(L"%p", pointer));
}

void FourCC(TextStream& stream, const wchar_t* label, DWORD code) {
  Line(stream, label, Format(L"%s (0x%08x)", FourCCToString(code, kFourCCKeepCase).c_str(), code));
}

void Header(TextStream& stream, const wchar_t* label, const BITMAPINFOHEADER* header) {
  if (!header) {
    Line(stream, label, L"0");
    return;
  }
  stream.Printf(L"%-11s =\n", label);
  DumpBitmapInfoHeader(stream, *header);
}

void Rectangle(TextStream& stream, const wchar_t* label, int x, int y, int width, int height) {
  Line(stream, label, Format(L"%d %d %d %d", x, y, width, height));
}

}  // namespace

const wchar_t* VcmMessageName(UINT message) { return NameOf(kMessageNames, message); }

const wchar_t* VcmErrorName(LRESULT code) { return NameOf(kErrorNames, code); }

const wchar_t* VcmModeName(DWORD mode) { return NameOf(kModeNames, mode); }

std::wstring VcmDrawFlags(DWORD flags) {
  return FlagsToString(flags, {{ICDRAW_QUERY, L"ICDRAW_QUERY"},
                               {ICDRAW_FULLSCREEN, L"ICDRAW_FULLSCREEN"},
                               {ICDRAW_HDC, L"ICDRAW_HDC"},
                               {ICDRAW_ANIMATE, L"ICDRAW_ANIMATE"},
                               {ICDRAW_CONTINUE, L"ICDRAW_CONTINUE"},
                               {ICDRAW_MEMORYDC, L"ICDRAW_MEMORYDC"},
                               {ICDRAW_UPDATING, L"ICDRAW_UPDATING"},
                               {ICDRAW_RENDER, L"ICDRAW_RENDER"},
                               {ICDRAW_BUFFER, L"ICDRAW_BUFFER"}});
}

std::wstring VcmDecompressFlags(DWORD flags) {
  return FlagsToString(flags, {{ICDECOMPRESS_HURRYUP, L"ICDECOMPRESS_HURRYUP"},
                               {ICDECOMPRESS_UPDATE, L"ICDECOMPRESS_UPDATE"},
                               {ICDECOMPRESS_PREROLL, L"ICDECOMPRESS_PREROLL"},
                               {ICDECOMPRESS_NULLFRAME, L"ICDECOMPRESS_NULLFRAME"},
                               {ICDECOMPRESS_NOTKEYFRAME, L"ICDECOMPRESS_NOTKEYFRAME"}});
}

void DumpIcOpen(TextStream& stream, const ICOPEN& open) {
  Number(stream, L"dwSize", open.dwSize);
  FourCC(stream, L"fccType", open.fccType);
  FourCC(stream, L"fccHandler", open.fccHandler);
  Number(stream, L"dwVersion", open.dwVersion);
  Line(stream, L"dwFlags", Format(L"%s (0x%08x)", VcmModeName(open.dwFlags), open.dwFlags));
  Number(stream, L"dwError", static_cast<LONG>(open.dwError));
  Pointer(stream, L"pV1Reserved", open.pV1Reserved);
  Pointer(stream, L"pV2Reserved", open.pV2Reserved);
  Number(stream, L"dnDevNode", open.dnDevNode);
}

void DumpIcInfo(TextStream& stream, const ICINFO& info) {
  Number(stream, L"dwSize", info.dwSize);
  FourCC(stream, L"fccType", info.fccType);
  FourCC(stream, L"fccHandler", info.fccHandler);
  Line(stream, L"dwFlags", FlagsToString(info.dwFlags, {{VIDCF_QUALITY, L"VIDCF_QUALITY"},
                                                        {VIDCF_CRUNCH, L"VIDCF_CRUNCH"},
                                                        {VIDCF_TEMPORAL, L"VIDCF_TEMPORAL"},
                                                        {VIDCF_COMPRESSFRAMES, L"VIDCF_COMPRESSFRAMES"},
                                                        {VIDCF_DRAW, L"VIDCF_DRAW"},
                                                        {VIDCF_FASTTEMPORALC, L"VIDCF_FASTTEMPORALC"},
                                                        {VIDCF_FASTTEMPORALD, L"VIDCF_FASTTEMPORALD"}}));
  Line(stream, L"dwVersion", Format(L"0x%08x", info.dwVersion));
  Line(stream, L"dwVersionICM", Format(L"0x%08x", info.dwVersionICM));
  // The names are fixed arrays that a codec need not terminate.
  Line(stream, L"szName", std::wstring(info.szName, wcsnlen(info.szName, std::size(info.szName))));
  Line(stream, L"szDescription",
       std::wstring(info.szDescription, wcsnlen(info.szDescription, std::size(info.szDescription))));
  Line(stream, L"szDriver", std::wstring(info.szDriver, wcsnlen(info.szDriver, std::size(info.szDriver))));
}

void DumpIcCompress(TextStream& stream, const ICCOMPRESS& compress) {
  Line(stream, L"dwFlags", FlagsToString(compress.dwFlags, {{ICCOMPRESS_KEYFRAME, L"ICCOMPRESS_KEYFRAME"}}));
  Header(stream, L"lpbiOutput", compress.lpbiOutput);
  Pointer(stream, L"lpOutput", compress.lpOutput);
  Header(stream, L"lpbiInput", compress.lpbiInput);
  Pointer(stream, L"lpInput", compress.lpInput);
  if (compress.lpckid)
    FourCC(stream, L"lpckid", *compress.lpckid);
  else
    Line(stream, L"lpckid", L"0");
  if (compress.lpdwFlags)
    Line(stream, L"lpdwFlags", FlagsToString(*compress.lpdwFlags, {{AVIIF_KEYFRAME, L"AVIIF_KEYFRAME"}}));
  else
    Line(stream, L"lpdwFlags", L"0");
  Number(stream, L"lFrameNum", compress.lFrameNum);
  Number(stream, L"dwFrameSize", compress.dwFrameSize);
  Number(stream, L"dwQuality", compress.dwQuality);
  Header(stream, L"lpbiPrev", compress.lpbiPrev);
  Pointer(stream, L"lpPrev", compress.lpPrev);
}

void DumpIcDecompress(TextStream& stream, const ICDECOMPRESS& decompress) {
  Line(stream, L"dwFlags", VcmDecompressFlags(decompress.dwFlags));
  Header(stream, L"lpbiInput", decompress.lpbiInput);
  Pointer(stream, L"lpInput", decompress.lpInput);
  Header(stream, L"lpbiOutput", decompress.lpbiOutput);
  Pointer(stream, L"lpOutput", decompress.lpOutput);
  FourCC(stream, L"ckid", decompress.ckid);
}

void DumpIcDrawBegin(TextStream& stream, const ICDRAWBEGIN& begin) {
  Line(stream, L"dwFlags", VcmDrawFlags(begin.dwFlags));
  Pointer(stream, L"hpal", begin.hpal);
  Pointer(stream, L"hwnd", begin.hwnd);
  Pointer(stream, L"hdc", begin.hdc);
  Rectangle(stream, L"dst", begin.xDst, begin.yDst, begin.dxDst, begin.dyDst);
  Header(stream, L"lpbi", begin.lpbi);
  Rectangle(stream, L"src", begin.xSrc, begin.ySrc, begin.dxSrc, begin.dySrc);
  Number(stream, L"dwRate", begin.dwRate);
  Number(stream, L"dwScale", begin.dwScale);
}

void DumpIcDecompressEx(TextStream& stream, const ICDECOMPRESSEX& decompress) {
  Line(stream, L"dwFlags", VcmDecompressFlags(decompress.dwFlags));
  Header(stream, L"lpbiSrc", decompress.lpbiSrc);
  Pointer(stream, L"lpSrc", decompress.lpSrc);
  Header(stream, L"lpbiDst", decompress.lpbiDst);
  Pointer(stream, L"lpDst", decompress.lpDst);
  Rectangle(stream, L"dst", decompress.xDst, decompress.yDst, decompress.dxDst, decompress.dyDst);
  Rectangle(stream, L"src", decompress.xSrc, decompress.ySrc, decompress.dxSrc, decompress.dySrc);
}

void DumpIcCompressFrames(TextStream& stream, const ICCOMPRESSFRAMES& frames) {
  Line(stream, L"dwFlags", FlagsToString(frames.dwFlags, {{ICCOMPRESSFRAMES_PADDING, L"ICCOMPRESSFRAMES_PADDING"}}));
  Header(stream, L"lpbiOutput", frames.lpbiOutput);
  Number(stream, L"lOutput", frames.lOutput);
  Header(stream, L"lpbiInput", frames.lpbiInput);
  Number(stream, L"lInput", frames.lInput);
  Number(stream, L"lStartFrame", frames.lStartFrame);
  Number(stream, L"lFrameCount", frames.lFrameCount);
  Number(stream, L"lQuality", frames.lQuality);
  Number(stream, L"lDataRate", frames.lDataRate);
  Number(stream, L"lKeyRate", frames.lKeyRate);
  Number(stream, L"dwRate", frames.dwRate);
  Number(stream, L"dwScale", frames.dwScale);
  Number(stream, L"dwOverheadPerFrame", frames.dwOverheadPerFrame);
  Number(stream, L"dwReserved2", frames.dwReserved2);
  Pointer(stream, L"GetData", reinterpret_cast<const void*>(frames.GetData));
  Pointer(stream, L"PutData", reinterpret_cast<const void*>(frames.PutData));
}

bool DumpCodecStateChanges(DWORD fourcc, int passes, const wchar_t* folder) {
  if (!folder) return false;
  VcmEncoder encoder(CountedPtr<VcmDriver>(new VcmIc(fourcc, true)));
  std::vector<uint8_t> previous;
  for (int pass = 0; pass < passes; ++pass) {
    encoder.DriverMessage(ICM_CONFIGURE, 0, 0);
    const LRESULT size = encoder.DriverMessage(ICM_GETSTATE, 0, 0);
    Trace(L"state size = %d\n", static_cast<int>(size));
    if (size <= 0 || size > kMaxStateBytes) return false;
    std::vector<uint8_t> state(static_cast<size_t>(size));
    if (encoder.DriverMessage(ICM_GETSTATE, reinterpret_cast<LPARAM>(state.data()), size) < 0) return false;
    for (size_t i = 0; pass > 0 && i < state.size() && i < previous.size(); ++i) {
      if (state[i] == previous[i]) continue;
      Trace(L"pos = 0x%08x (%08d): %02x vs %02x", static_cast<unsigned>(i), static_cast<int>(i), state[i],
            previous[i]);
      if (IsLetterOrDigit(state[i]) && IsLetterOrDigit(previous[i]))
        Trace(L" or %c vs %c\n", state[i], previous[i]);
      else
        Trace(L"\n");
    }
    previous = std::move(state);
    DumpBufferToFile(previous.data(), previous.size(), L"%s\\vcm-state-%02d", folder, pass);
  }
  return true;
}
