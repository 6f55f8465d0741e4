#pragma once
// Text renderings of Video-for-Windows messages, codes and structures for traces, and the
// diagnostic that finds which bytes of a codec's state block its settings dialog changes.

#include <windows.h>
#include <vfw.h>

#include <string>

class TextStream;

// "DRV_OPEN", "ICM_COMPRESS", ...; "Unknown" for a code without a name.
const wchar_t* VcmMessageName(UINT message);
// "ICERR_OK", "ICERR_UNSUPPORTED", ...; "Unknown" otherwise.
const wchar_t* VcmErrorName(LRESULT code);
// "ICMODE_COMPRESS", ...; "Unknown" otherwise.
const wchar_t* VcmModeName(DWORD mode);
// The names of the set bits joined by " | ".
std::wstring VcmDrawFlags(DWORD flags);
std::wstring VcmDecompressFlags(DWORD flags);

// One "label = value" line per field, in the structure's order; formats as BITMAPINFOHEADER dumps.
void DumpIcOpen(TextStream& stream, const ICOPEN& open);
void DumpIcInfo(TextStream& stream, const ICINFO& info);
void DumpIcCompress(TextStream& stream, const ICCOMPRESS& compress);
void DumpIcDecompress(TextStream& stream, const ICDECOMPRESS& decompress);
void DumpIcDrawBegin(TextStream& stream, const ICDRAWBEGIN& begin);
void DumpIcDecompressEx(TextStream& stream, const ICDECOMPRESSEX& decompress);
void DumpIcCompressFrames(TextStream& stream, const ICCOMPRESSFRAMES& frames);

// Opens the installed codec as a compressor and, for each of `passes` passes, shows its settings
// dialog (ICM_CONFIGURE), reads its state block, traces every byte that changed since the previous
// pass and writes the block to "<folder>\vcm-state-NN". False when the codec does not open or
// gives no state. Nothing in the product calls it.
bool DumpCodecStateChanges(DWORD fourcc, int passes, const wchar_t* folder);
