#pragma once
// Free functions over DirectShow with which the conversion engine builds and tears down its graph:
// pin and filter searches, removal of everything downstream of a pin, compressors bound by their
// moniker text, PCM formats, device names, the running object table, event names and text dumps.
// Every failing COM call goes to OnComError and its HRESULT is returned unchanged; out pointers are
// emptied at entry, so a failed call leaves them empty.

#include <dshow.h>
#include <mmreg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/comptr.h"
#include "common/text.h"

// DirectShow's times (REFERENCE_TIME) count 100 ns units.
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

// Media-type and format tests. A PCM media type needs an audio major type, the PCM subtype, a
// WAVEFORMATEX format type and a format block of at least 18 bytes.
bool IsPcmMediaType(const AM_MEDIA_TYPE* type);
bool IsValidPcmMediaType(const AM_MEDIA_TYPE* type);
// Tag 1, channels and rate non-zero, block align and byte rate consistent, no extra bytes.
bool IsValidPcmFormat(const WAVEFORMATEX& format);
void FillPcmFormat(int channels, int sampleRate, int bitsPerSample, WAVEFORMATEX& format);
// The PCM form of any format with the source's channels, rate and sample size.
void FillPcmFormatFrom(const WAVEFORMATEX& source, WAVEFORMATEX& format);
// The first 18 bytes are equal.
bool IsSameWaveFormat(const WAVEFORMATEX& first, const WAVEFORMATEX& second);

// The first pin of the direction that offers a type of that major type and subtype (null: any; both
// null: the first pin of the direction). S_FALSE when no pin matches, E_FAIL for no filter.
HRESULT FindPin(IBaseFilter* filter, PIN_DIRECTION direction, const GUID* majorType, const GUID* subtype,
                ComPtr<IPin>& pin);
HRESULT GetPinFilter(IPin* pin, ComPtr<IBaseFilter>& filter);
// What an enumerator yields before it fails stays in the list.
HRESULT GetFilterPins(IBaseFilter* filter, std::vector<ComPtr<IPin>>& pins);
HRESULT GetGraphFilters(IFilterGraph* graph, std::vector<ComPtr<IBaseFilter>>& filters);
// Removes every filter downstream of an output pin, the farthest first, and leaves the pin
// unconnected. E_POINTER for a null graph or pin, E_FAIL for an input pin.
HRESULT RemoveDownstream(IFilterGraph* graph, IPin* pin);

// Binds a codec-manager compressor by its moniker text: the audio one by WAVE format tag and
// friendly name, the video one by FourCC. Anything but S_OK is a failure.
HRESULT CreateAudioCompressor(int formatTag, const wchar_t* friendlyName, ComPtr<IBaseFilter>& filter);
HRESULT CreateVideoCompressor(uint32_t fourcc, ComPtr<IBaseFilter>& filter);
// "@device:cm:{category}\" and the name, as the two above build it.
std::wstring AudioCompressorDisplayName(int formatTag, const wchar_t* friendlyName);
std::wstring VideoCompressorDisplayName(uint32_t fourcc);
// The friendly names of a device category; S_FALSE (after OnComError) for an empty category.
HRESULT GetDeviceNames(REFCLSID category, std::vector<std::wstring>& names);

// Makes the graph visible to graph inspectors of other processes, and takes it away again.
HRESULT AddGraphToRot(IUnknown* graph, DWORD& cookie);
HRESULT RemoveGraphFromRot(DWORD cookie);

// "EC_COMPLETE" and the like; "Unknown" for a code DirectShow does not define.
const wchar_t* GetEventCodeName(long code);
// The name of a media GUID (major type, subtype, format type...), "Unknown GUID Name" when none.
const wchar_t* GetGuidName(REFGUID guid);

// Indented dumps; each returns the stream.
TextStream& DumpVideoInfoHeader(TextStream& stream, const VIDEOINFOHEADER& header);
TextStream& DumpMediaType(TextStream& stream, const AM_MEDIA_TYPE& type);
TextStream& DumpWaveFormatEx(TextStream& stream, const WAVEFORMATEX& format);
// The same without cbSize, for the 16-byte form.
TextStream& DumpWaveFormat(TextStream& stream, const PCMWAVEFORMAT& format);
