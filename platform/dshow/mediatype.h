#pragma once
// Media types: CMediaType owns its format block and format object; the free helpers handle the
// AM_MEDIA_TYPE blocks that pins and enumerators exchange through CoTaskMemAlloc.

#include <dshow.h>
#include <mmreg.h>

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID& majorType);
  // Copies; when memory runs out the copy has no format block.
  CMediaType(const AM_MEDIA_TYPE& type);  // NOLINT: converts like the structure it extends
  CMediaType(const CMediaType& type);
  ~CMediaType();
  CMediaType& operator=(const AM_MEDIA_TYPE& type);
  CMediaType& operator=(const CMediaType& type);

  // Same major type, subtype, format type and format block.
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const { return !(*this == other); }

  // Copies another type; E_OUTOFMEMORY leaves this one without a format block.
  HRESULT Set(const AM_MEDIA_TYPE& type);

  const GUID* Type() const { return &majortype; }
  const GUID* Subtype() const { return &subtype; }
  const GUID* FormatType() const { return &formattype; }
  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }

  void SetType(const GUID* type) { majortype = *type; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  void SetSampleSize(ULONG size);
  void SetVariableSize();
  void SetTemporalCompression(bool compressed) { bTemporalCompression = compressed; }
  // Replaces the format block with a zeroed one of `length` bytes; null when memory runs out.
  BYTE* AllocFormatBuffer(ULONG length);
  bool SetFormat(const BYTE* format, ULONG length);
  void ResetFormatBuffer();

  // A major type, subtype or format type of GUID_NULL leaves that part open.
  bool IsPartiallySpecified() const;
  // Whether this type fits the parts a partial type fixes.
  bool MatchesPartial(const CMediaType* partial) const;

 private:
  void Init();
};

// Frees the format block and releases the format object.
void FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then the block itself (made with CoTaskMemAlloc).
void DeleteMediaType(AM_MEDIA_TYPE* type);
// A CoTaskMemAlloc copy for an enumerator's caller; null when memory runs out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// Copies into an uninitialised target; on E_OUTOFMEMORY the target has no format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// The media subtype GUID of a FourCC: {fourcc-0000-0010-8000-00AA00389B71}.
class FOURCCMap : public GUID {
 public:
  explicit FOURCCMap(DWORD fourcc);
  DWORD GetFOURCC() const { return Data1; }
};

// S_OK for a video type with a VIDEOINFOHEADER block and a sound bitmap header; E_POINTER for
// none; VFW_E_TYPE_NOT_ACCEPTED otherwise.
HRESULT CheckVideoInfoType(const AM_MEDIA_TYPE* type);
// The VIDEOINFOHEADER of a type's format block; null when the block is missing or too short.
const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type);
// The bitmap header of a VIDEOINFOHEADER or VIDEOINFOHEADER2 block; null for anything else. Both
// blocks begin alike, up to and with AvgTimePerFrame.
const BITMAPINFOHEADER* PictureOf(const AM_MEDIA_TYPE& type);

// Whether `changed` keeps what a filter set itself up for from `prepared`: the same major type,
// subtype and format type; for video the same frame size, bit depth, compression and colour table or
// masks (a table the format block does not hold counts as changed); for sound the
// same wave format (tag, channels, rate, sample size, block); any other format block unchanged.
// Rectangles, rates and the like may differ.
bool KeepsPreparedFormat(const AM_MEDIA_TYPE& prepared, const AM_MEDIA_TYPE& changed);

// An audio type for a wave format: the subtype from the format tag (or the sub-format of an
// extensible format), fixed-size samples of one block, and the format block when `setFormat`.
HRESULT CreateAudioMediaType(const WAVEFORMATEX* format, AM_MEDIA_TYPE* type, BOOL setFormat);
