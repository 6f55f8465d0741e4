#include "media/dsutil.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/bitmap.h"
#include "common/fourcc.h"
#include "common/format.h"
#include "common/handle.h"
#include "media/comx.h"
#include "platform/dshow/mediatype.h"

namespace {

constexpr wchar_t kSource[] = L".\\source\\dsutil.cpp";

constexpr wchar_t kAudioCompressorPrefix[] = L"@device:cm:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\";
constexpr wchar_t kVideoCompressorPrefix[] = L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\";

// The part of a WAVEFORMATEX that the format tests compare: everything up to cbSize included.
constexpr size_t kWaveFormatExBytes = 18;

HRESULT Failed(int line, HRESULT result) {
  OnComError(kSource, line, result);
  return result;
}

// Appends what an enumerator yields, one at a time, until it answers anything but S_OK.
template <class Enumerator, class Item>
void AppendAll(Enumerator* enumerator, std::vector<ComPtr<Item>>& items) {
  ComPtr<Item> item;
  while (enumerator->Next(1, item.Clear(), nullptr) == S_OK && item.IsValid()) items.push_back(item);
}

bool OffersType(IPin* pin, const GUID* majorType, const GUID* subtype, HRESULT& result) {
  ComPtr<IEnumMediaTypes> types;
  result = pin->EnumMediaTypes(types.Clear());
  if (FAILED(result)) {
    Failed(225, result);
    return false;
  }
  for (;;) {
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    const bool got = types->Next(1, &type, &fetched) == S_OK && fetched == 1;
    // Freed before the next fetch, and also when it matches.
    HandleGuard typeGuard(DeleteMediaType, type);
    if (!got || !type) return false;
    if ((!majorType || *majorType == type->majortype) && (!subtype || *subtype == type->subtype)) return true;
  }
}

// OnComError lines of the three steps of a compressor bind.
struct BindLines {
  int context;
  int parse;
  int bind;
};
constexpr BindLines kAudioBindLines = {81, 86, 88};
constexpr BindLines kVideoBindLines = {101, 106, 108};

HRESULT BindCompressor(const std::wstring& displayName, const BindLines& lines, ComPtr<IBaseFilter>& filter) {
  ComPtr<IBindCtx> context;
  HRESULT result = CreateBindCtx(0, context.Clear());
  if (result != S_OK) return Failed(lines.context, result);
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  result = MkParseDisplayName(context.Get(), displayName.c_str(), &eaten, moniker.Clear());
  if (result != S_OK) return Failed(lines.parse, result);
  result = moniker->BindToObject(context.Get(), nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear()));
  if (result != S_OK) {
    filter.Release();
    return Failed(lines.bind, result);
  }
  return S_OK;
}

struct EventName {
  long code;
  const wchar_t* name;
};

// Ascending by code. Written out here because the platform header lacks some of them.
constexpr EventName kEventNames[] = {
    {0x00, L"EC_SYSTEMBASE"},
    {0x01, L"EC_COMPLETE"},
    {0x02, L"EC_USERABORT"},
    {0x03, L"EC_ERRORABORT"},
    {0x04, L"EC_TIME"},
    {0x05, L"EC_REPAINT"},
    {0x06, L"EC_STREAM_ERROR_STOPPED"},
    {0x07, L"EC_STREAM_ERROR_STILLPLAYING"},
    {0x08, L"EC_ERROR_STILLPLAYING"},
    {0x09, L"EC_PALETTE_CHANGED"},
    {0x0A, L"EC_VIDEO_SIZE_CHANGED"},
    {0x0B, L"EC_QUALITY_CHANGE"},
    {0x0C, L"EC_SHUTTING_DOWN"},
    {0x0D, L"EC_CLOCK_CHANGED"},
    {0x0E, L"EC_PAUSED"},
    {0x10, L"EC_OPENING_FILE"},
    {0x11, L"EC_BUFFERING_DATA"},
    {0x12, L"EC_FULLSCREEN_LOST"},
    {0x13, L"EC_ACTIVATE"},
    {0x14, L"EC_NEED_RESTART"},
    {0x15, L"EC_WINDOW_DESTROYED"},
    {0x16, L"EC_DISPLAY_CHANGED"},
    {0x17, L"EC_STARVATION"},
    {0x18, L"EC_OLE_EVENT"},
    {0x19, L"EC_NOTIFY_WINDOW"},
    {0x1A, L"EC_STREAM_CONTROL_STOPPED"},
    {0x1B, L"EC_STREAM_CONTROL_STARTED"},
    {0x1C, L"EC_END_OF_SEGMENT"},
    {0x1D, L"EC_SEGMENT_STARTED"},
    {0x1E, L"EC_LENGTH_CHANGED"},
    {0x1F, L"EC_DEVICE_LOST"},
    {0x20, L"EC_NEW_PIN"},
    {0x21, L"EC_PROCESSING_LATENCY"},
    {0x22, L"EC_SAMPLE_LATENCY"},
    {0x23, L"EC_SCRUB_TIME"},
    {0x24, L"EC_STEP_COMPLETE"},
    {0x25, L"EC_SKIP_FRAMES"},
    {0x30, L"EC_TIMECODE_AVAILABLE"},
    {0x31, L"EC_EXTDEVICE_MODE_CHANGE"},
    {0x32, L"EC_STATE_CHANGE"},
    {0x40, L"EC_PLEASE_REOPEN"},
    {0x41, L"EC_STATUS"},
    {0x42, L"EC_MARKER_HIT"},
    {0x43, L"EC_LOADSTATUS"},
    {0x44, L"EC_FILE_CLOSED"},
    {0x45, L"EC_ERRORABORTEX"},
    {0x46, L"EC_EOS_SOON"},
    {0x47, L"EC_CONTENTPROPERTY_CHANGED"},
    {0x48, L"EC_BANDWIDTHCHANGE"},
    {0x49, L"EC_VIDEOFRAMEREADY"},
    {0x50, L"EC_GRAPH_CHANGED"},
    {0x51, L"EC_CLOCK_UNSET"},
    {0x53, L"EC_VMR_RENDERDEVICE_SET"},
    {0x54, L"EC_VMR_SURFACE_FLIPPED"},
    {0x55, L"EC_VMR_RECONNECTION_FAILED"},
    {0x56, L"EC_PREPROCESS_COMPLETE"},
    {0x57, L"EC_CODECAPI_EVENT"},
    {0x251, L"EC_WMT_INDEX_EVENT"},
    {0x252, L"EC_WMT_EVENT"},
    {0x300, L"EC_BUILT"},
    {0x301, L"EC_UNBUILT"},
    {0x8000, L"EC_USER"},
};

struct GuidName {
  const wchar_t* name;
  GUID guid;
};

// The platform's list of media GUIDs, turned into a name table.
const GuidName kGuidNames[] = {
#define OUR_GUID_ENTRY(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  {L## #name, {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}},
#include <uuids.h>
};

void DumpGuidLine(TextStream& stream, const wchar_t* label, REFGUID guid) {
  stream.Printf(L"%s%s ", label, GuidToString(guid).c_str());
  stream.Printf(L"(%s)\n", GetGuidName(guid));
}

void DumpWaveFields(TextStream& stream, const WAVEFORMAT& format, WORD bitsPerSample) {
  stream.PrintLabelled(L"wFormatTag: ", format.wFormatTag);
  stream.PrintLabelled(L"nChannels: ", format.nChannels);
  stream.PrintLabelled(L"nSamplesPerSec: ", static_cast<int32_t>(format.nSamplesPerSec));
  stream.PrintLabelled(L"nAvgBytesPerSec: ", static_cast<int32_t>(format.nAvgBytesPerSec));
  stream.PrintLabelled(L"nBlockAlign: ", format.nBlockAlign);
  stream.PrintLabelled(L"wBitsPerSample: ", bitsPerSample);
}

}  // namespace

// Formats

bool IsPcmMediaType(const AM_MEDIA_TYPE* type) {
  return type && type->majortype == MEDIATYPE_Audio && type->subtype == MEDIASUBTYPE_PCM &&
         type->formattype == FORMAT_WaveFormatEx && type->cbFormat >= kWaveFormatExBytes && type->pbFormat;
}

bool IsValidPcmMediaType(const AM_MEDIA_TYPE* type) {
  return IsPcmMediaType(type) && IsValidPcmFormat(*reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat));
}

bool IsValidPcmFormat(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels != 0 && format.nSamplesPerSec != 0 &&
         format.nAvgBytesPerSec == DWORD{format.nBlockAlign} * format.nSamplesPerSec &&
         format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8 && format.wBitsPerSample != 0 &&
         format.cbSize == 0;
}

void FillPcmFormat(int channels, int sampleRate, int bitsPerSample, WAVEFORMATEX& format) {
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
  format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
  format.nAvgBytesPerSec = static_cast<DWORD>(int64_t{channels} * sampleRate * bitsPerSample / 8);
  format.nBlockAlign = static_cast<WORD>(int64_t{channels} * bitsPerSample / 8);
  format.cbSize = 0;
}

void FillPcmFormatFrom(const WAVEFORMATEX& source, WAVEFORMATEX& format) {
  FillPcmFormat(source.nChannels, static_cast<int>(source.nSamplesPerSec), source.wBitsPerSample, format);
}

bool IsSameWaveFormat(const WAVEFORMATEX& first, const WAVEFORMATEX& second) {
  return std::memcmp(&first, &second, kWaveFormatExBytes) == 0;
}

// Pins and filters

HRESULT FindPin(IBaseFilter* filter, PIN_DIRECTION direction, const GUID* majorType, const GUID* subtype,
                ComPtr<IPin>& pin) {
  pin.Release();
  if (!filter) return E_FAIL;
  ComPtr<IEnumPins> pins;
  HRESULT result = filter->EnumPins(pins.Clear());
  if (FAILED(result)) return Failed(212, result);
  ComPtr<IPin> candidate;
  while (pins->Next(1, candidate.Clear(), nullptr) == S_OK && candidate.IsValid()) {
    PIN_DIRECTION candidateDirection;
    // A pin that cannot say its direction is no answer.
    if (FAILED(candidate->QueryDirection(&candidateDirection)) || candidateDirection != direction) continue;
    if (majorType || subtype) {
      const bool offers = OffersType(candidate.Get(), majorType, subtype, result);
      if (FAILED(result)) return result;
      if (!offers) continue;
    }
    pin = candidate;
    return S_OK;
  }
  return S_FALSE;
}

HRESULT GetPinFilter(IPin* pin, ComPtr<IBaseFilter>& filter) {
  filter.Release();
  if (!pin) return E_FAIL;
  PIN_INFO info;
  const HRESULT result = pin->QueryPinInfo(&info);
  if (FAILED(result)) return Failed(281, result);
  filter.Attach(info.pFilter);
  return S_OK;
}

HRESULT GetFilterPins(IBaseFilter* filter, std::vector<ComPtr<IPin>>& pins) {
  if (!filter) return E_FAIL;
  pins.clear();
  ComPtr<IEnumPins> enumerator;
  const HRESULT result = filter->EnumPins(enumerator.Clear());
  if (FAILED(result)) return Failed(309, result);
  AppendAll(enumerator.Get(), pins);
  return S_OK;
}

HRESULT GetGraphFilters(IFilterGraph* graph, std::vector<ComPtr<IBaseFilter>>& filters) {
  if (!graph) return E_FAIL;
  filters.clear();
  ComPtr<IEnumFilters> enumerator;
  const HRESULT result = graph->EnumFilters(enumerator.Clear());
  if (FAILED(result)) return Failed(293, result);
  AppendAll(enumerator.Get(), filters);
  return S_OK;
}

HRESULT RemoveDownstream(IFilterGraph* graph, IPin* pin) {
  if (!graph || !pin) return E_POINTER;
  PIN_DIRECTION direction;
  HRESULT result = pin->QueryDirection(&direction);
  if (FAILED(result)) return Failed(245, result);
  if (direction == PINDIR_INPUT) return E_FAIL;

  ComPtr<IPin> connected;
  if (FAILED(pin->ConnectedTo(connected.Clear())) || connected.IsNull()) return S_OK;
  PIN_INFO info;
  result = connected->QueryPinInfo(&info);
  if (FAILED(result)) return Failed(253, result);
  ComPtr<IBaseFilter> downstream;
  downstream.Attach(info.pFilter);
  if (downstream.IsNull()) return Failed(253, E_UNEXPECTED);

  // Depth first: removing a filter breaks its connections, so what lies beyond must go before it.
  ComPtr<IEnumPins> pins;
  result = downstream->EnumPins(pins.Clear());
  if (FAILED(result)) return Failed(258, result);
  ComPtr<IPin> next;
  while (pins->Next(1, next.Clear(), nullptr) == S_OK && next.IsValid()) {
    PIN_DIRECTION nextDirection;
    result = next->QueryDirection(&nextDirection);
    if (FAILED(result)) return Failed(263, result);
    if (nextDirection != PINDIR_OUTPUT) continue;
    result = RemoveDownstream(graph, next.Get());
    if (FAILED(result)) return Failed(266, result);
  }
  result = graph->RemoveFilter(downstream.Get());
  if (FAILED(result)) return Failed(269, result);
  graph->Disconnect(pin);
  return S_OK;
}

// Compressors and devices

std::wstring AudioCompressorDisplayName(int formatTag, const wchar_t* friendlyName) {
  return Format(L"%s%d%s", kAudioCompressorPrefix, formatTag, friendlyName ? friendlyName : L"");
}

std::wstring VideoCompressorDisplayName(uint32_t fourcc) {
  return kVideoCompressorPrefix + FourCCToString(fourcc, kFourCCLower);
}

HRESULT CreateAudioCompressor(int formatTag, const wchar_t* friendlyName, ComPtr<IBaseFilter>& filter) {
  filter.Release();
  return BindCompressor(AudioCompressorDisplayName(formatTag, friendlyName), kAudioBindLines, filter);
}

HRESULT CreateVideoCompressor(uint32_t fourcc, ComPtr<IBaseFilter>& filter) {
  filter.Release();
  return BindCompressor(VideoCompressorDisplayName(fourcc), kVideoBindLines, filter);
}

HRESULT GetDeviceNames(REFCLSID category, std::vector<std::wstring>& names) {
  names.clear();
  ComPtr<ICreateDevEnum> devices;
  HRESULT result = devices.CreateInstance(CLSID_SystemDeviceEnum);
  if (FAILED(result)) return Failed(42, result);
  ComPtr<IEnumMoniker> monikers;
  // S_FALSE, an empty category, comes without an enumerator.
  result = devices->CreateClassEnumerator(category, monikers.Clear(), 0);
  if (result != S_OK) return Failed(45, result);
  if (monikers.IsNull()) return S_FALSE;
  ComPtr<IMoniker> moniker;
  ULONG fetched = 0;
  while (monikers->Next(1, moniker.Clear(), &fetched) == S_OK && fetched == 1 && moniker.IsValid()) {
    ComPtr<IPropertyBag> properties;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(properties.Clear()))))
      break;
    ComVariant name(VT_BSTR);
    if (FAILED(properties->Read(L"FriendlyName", name.Get(), nullptr)) || name.Get()->vt != VT_BSTR) break;
    names.emplace_back(name.Get()->bstrVal ? name.Get()->bstrVal : L"");
  }
  return S_OK;
}

// Graph registration and events

HRESULT AddGraphToRot(IUnknown* graph, DWORD& cookie) {
  ComPtr<IRunningObjectTable> table;
  HRESULT result = GetRunningObjectTable(0, table.Clear());
  if (FAILED(result)) return Failed(116, result);
  // The address is printed pointer-sized, so two graphs of a 64-bit process never share a name.
  const std::wstring item = Format(L"FilterGraph %08Ix pid %08x", reinterpret_cast<uintptr_t>(graph),
                                   static_cast<unsigned>(GetCurrentProcessId()));
  ComPtr<IMoniker> moniker;
  result = CreateItemMoniker(L"!", item.c_str(), moniker.Clear());
  if (FAILED(result)) return Failed(122, result);
  result = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker.Get(), &cookie);
  if (FAILED(result)) return Failed(123, result);
  return result;
}

HRESULT RemoveGraphFromRot(DWORD cookie) {
  ComPtr<IRunningObjectTable> table;
  const HRESULT result = GetRunningObjectTable(0, table.Clear());
  if (FAILED(result)) return Failed(131, result);
  table->Revoke(cookie);
  return S_OK;
}

const wchar_t* GetEventCodeName(long code) {
  const auto* end = std::end(kEventNames);
  const auto* found = std::lower_bound(std::begin(kEventNames), end, code,
                                       [](const EventName& entry, long value) { return entry.code < value; });
  return found != end && found->code == code ? found->name : L"Unknown";
}

const wchar_t* GetGuidName(REFGUID guid) {
  for (const GuidName& entry : kGuidNames)
    if (entry.guid == guid) return entry.name;
  return L"Unknown GUID Name";
}

// Dumps

TextStream& DumpVideoInfoHeader(TextStream& stream, const VIDEOINFOHEADER& header) {
  IndentGuard indent(stream);
  stream.PrintField<RECT>(L"rcSource:\n", header.rcSource);
  stream.PrintField<RECT>(L"rcTarget:\n", header.rcTarget);
  stream.PrintLabelled(L"dwBitRate: ", static_cast<int32_t>(header.dwBitRate));
  stream.PrintLabelled(L"dwBitErrorRate: ", static_cast<int32_t>(header.dwBitErrorRate));
  stream.Printf(L"AvgTimePerFrame: %I64d\n", static_cast<long long>(header.AvgTimePerFrame));
  stream.PrintField<BITMAPINFOHEADER>(L"bmiHeader:\n", header.bmiHeader);
  return stream;
}

TextStream& DumpMediaType(TextStream& stream, const AM_MEDIA_TYPE& type) {
  IndentGuard indent(stream);
  DumpGuidLine(stream, L"majortype: ", type.majortype);
  DumpGuidLine(stream, L"subtype: ", type.subtype);
  stream.PrintLabelled(L"bFixedSizeSamples: ", type.bFixedSizeSamples);
  stream.PrintLabelled(L"bTemporalCompression: ", type.bTemporalCompression);
  stream.PrintLabelled(L"lSampleSize: ", static_cast<int32_t>(type.lSampleSize));
  DumpGuidLine(stream, L"formattype: ", type.formattype);
  stream.PrintField<void*>(L"pUnk: ", type.pUnk);
  stream.PrintLabelled(L"cbFormat: ", static_cast<int32_t>(type.cbFormat));
  stream.PrintField<void*>(L"pbFormat: ", type.pbFormat);
  // A block shorter than its format type claims is not read.
  if (type.formattype == FORMAT_VideoInfo && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    DumpVideoInfoHeader(stream, *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat));
    stream.Printf(L"Bytes left: %d\n", static_cast<int>(type.cbFormat - sizeof(VIDEOINFOHEADER)));
  }
  return stream;
}

TextStream& DumpWaveFormatEx(TextStream& stream, const WAVEFORMATEX& format) {
  IndentGuard indent(stream);
  const WAVEFORMAT fields = {format.wFormatTag, format.nChannels, format.nSamplesPerSec, format.nAvgBytesPerSec,
                             format.nBlockAlign};
  DumpWaveFields(stream, fields, format.wBitsPerSample);
  stream.PrintLabelled(L"cbSize: ", format.cbSize);
  return stream;
}

TextStream& DumpWaveFormat(TextStream& stream, const PCMWAVEFORMAT& format) {
  IndentGuard indent(stream);
  DumpWaveFields(stream, format.wf, format.wBitsPerSample);
  return stream;
}
