// DirectShow utilities against Wine's filter graph, device enumerator and running object table, with
// the test filters as graph members.

#include "media/dsutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "common/fourcc.h"
#include "tests/support/capture.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

TEST(PcmFormat, FillsValidatesAndComparesFormatsAndTypes) {
  WAVEFORMATEX format;
  FillPcmFormat(2, 44100, 16, format);
  EXPECT_EQ(176400u, format.nAvgBytesPerSec);
  EXPECT_EQ(4, format.nBlockAlign);
  EXPECT_TRUE(IsValidPcmFormat(format));
  void (*const spoilers[])(WAVEFORMATEX&) = {
      [](WAVEFORMATEX& f) { f.cbSize = 2; },           [](WAVEFORMATEX& f) { f.wFormatTag = 3; },
      [](WAVEFORMATEX& f) { f.nChannels = 0; },        [](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; },
      [](WAVEFORMATEX& f) { ++f.nAvgBytesPerSec; },    [](WAVEFORMATEX& f) { f.nBlockAlign = 2; },
      [](WAVEFORMATEX& f) { f.wBitsPerSample = 0; },
  };
  for (const auto& spoil : spoilers) {
    WAVEFORMATEX copy = format;
    spoil(copy);
    EXPECT_FALSE(IsValidPcmFormat(copy)) << (&spoil - spoilers);
    EXPECT_FALSE(IsSameWaveFormat(format, copy));
  }

  // The PCM form of a compressed format.
  const WAVEFORMATEX mp3 = {WAVE_FORMAT_MPEGLAYER3, 1, 22050, 4000, 1, 16, 12};
  WAVEFORMATEX pcm, expected;
  FillPcmFormatFrom(mp3, pcm);
  FillPcmFormat(1, 22050, 16, expected);
  EXPECT_TRUE(IsSameWaveFormat(expected, pcm));

  AM_MEDIA_TYPE type = {MEDIATYPE_Audio, MEDIASUBTYPE_PCM, TRUE, FALSE, 4, FORMAT_WaveFormatEx, nullptr,
                        sizeof(format), reinterpret_cast<BYTE*>(&format)};
  EXPECT_TRUE(IsValidPcmMediaType(&type));
  type.cbFormat = 16;  // a bare PCMWAVEFORMAT
  EXPECT_FALSE(IsPcmMediaType(&type));
  EXPECT_FALSE(IsPcmMediaType(nullptr));
  type.cbFormat = sizeof(format);
  format.cbSize = 2;
  EXPECT_TRUE(IsPcmMediaType(&type));
  EXPECT_FALSE(IsValidPcmMediaType(&type));
}

class GraphUtilities : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

// A source whose first pin cannot say its direction.
class BrokenPin : public TestSourcePin {
 public:
  using TestSourcePin::TestSourcePin;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION*) override { return E_UNEXPECTED; }
};

class SourceWithBrokenPin : public TestSource {
 public:
  explicit SourceWithBrokenPin(const std::vector<CMediaType>& types)
      : TestSource(types), broken_(this, &brokenLock_, L"Broken", types[0]) {}
  int GetPinCount() override { return TestSource::GetPinCount() + 1; }
  CBasePin* GetPin(int index) override {
    if (index == 0) return &broken_;
    return index > 0 && index <= TestSource::GetPinCount() ? Pin(index - 1) : nullptr;
  }

 private:
  CriticalSection brokenLock_;
  BrokenPin broken_;
};

TEST_F(GraphUtilities, FindPinByDirectionAndType) {
  auto* source = new SourceWithBrokenPin({CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24),
                                          CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
                                          CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32)});
  auto* sink = new TestSink;
  const ComPtr<IBaseFilter> sourceRef(source), sinkRef(sink);
  const struct {
    IBaseFilter* filter;
    PIN_DIRECTION direction;
    const GUID *majorType, *subtype;
    IPin* expected;  // null: S_FALSE
  } cases[] = {
      {source, PINDIR_OUTPUT, nullptr, nullptr, source->Pin(0)},
      {source, PINDIR_OUTPUT, &MEDIATYPE_Audio, nullptr, source->Pin(1)},
      {source, PINDIR_OUTPUT, nullptr, &MEDIASUBTYPE_RGB32, source->Pin(2)},
      {source, PINDIR_OUTPUT, &MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, source->Pin(2)},
      {source, PINDIR_OUTPUT, &MEDIATYPE_Audio, &MEDIASUBTYPE_RGB32, nullptr},
      {source, PINDIR_OUTPUT, nullptr, &MEDIASUBTYPE_YUY2, nullptr},
      {source, PINDIR_INPUT, nullptr, nullptr, nullptr},
      {sink, PINDIR_INPUT, nullptr, nullptr, sink->Pin()},
  };
  for (const auto& c : cases) {
    ComPtr<IPin> pin(sink->Pin());  // a stale answer must not survive
    EXPECT_EQ(c.expected ? S_OK : S_FALSE, FindPin(c.filter, c.direction, c.majorType, c.subtype, pin));
    EXPECT_EQ(c.expected, pin.Get()) << (&c - cases);
  }
  ComPtr<IPin> pin(sink->Pin());
  EXPECT_EQ(E_FAIL, FindPin(nullptr, PINDIR_OUTPUT, nullptr, nullptr, pin));
  EXPECT_TRUE(pin.IsNull());
  ComPtr<IBaseFilter> owner;
  EXPECT_EQ(S_OK, GetPinFilter(source->Pin(1), owner));
  EXPECT_EQ(source, owner.Get());
}

std::vector<IBaseFilter*> Sorted(std::vector<IBaseFilter*> filters) {
  std::sort(filters.begin(), filters.end());
  return filters;
}

bool IsConnected(IPin* pin) {
  ComPtr<IPin> peer;
  return SUCCEEDED(pin->ConnectedTo(peer.Clear())) && peer.IsValid();
}

TEST_F(GraphUtilities, RemoveDownstreamTakesThePinsBranchesFarthestFirst) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    // source 0 -> tee -> (capture -> pass -> sink A, preview -> sink B); source 1 -> sink C.
    auto* source = new TestSource({CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32),
                                   CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)});
    ComPtr<IBaseFilter> tee;
    ASSERT_EQ(S_OK, tee.CreateInstance(CLSID_SmartTee));
    auto* pass = new TestPassThrough;
    auto *sinkA = new TestSink, *sinkB = new TestSink, *sinkC = new TestSink;
    const ComPtr<IBaseFilter> filters[] = {ComPtr<IBaseFilter>(source), tee, ComPtr<IBaseFilter>(pass),
                                           ComPtr<IBaseFilter>(sinkA), ComPtr<IBaseFilter>(sinkB),
                                           ComPtr<IBaseFilter>(sinkC)};
    for (const auto& filter : filters) ASSERT_EQ(S_OK, graph.Add(filter.Get(), nullptr));
    std::vector<ComPtr<IPin>> teePins;
    ASSERT_EQ(S_OK, GetFilterPins(tee.Get(), teePins));
    ASSERT_EQ(3u, teePins.size());
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), teePins[0].Get()));
    ASSERT_EQ(S_OK, graph.Connect(teePins[1].Get(), pass->InputPin()));
    ASSERT_EQ(S_OK, graph.Connect(pass->OutputPin(), sinkA->Pin()));
    ASSERT_EQ(S_OK, graph.Connect(teePins[2].Get(), sinkB->Pin()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(1), sinkC->Pin()));

    EXPECT_EQ(E_POINTER, RemoveDownstream(nullptr, source->Pin(0)));
    EXPECT_EQ(E_POINTER, RemoveDownstream(graph.Get(), nullptr));
    EXPECT_EQ(E_FAIL, RemoveDownstream(graph.Get(), pass->InputPin()));
    EXPECT_EQ(S_OK, RemoveDownstream(graph.Get(), source->Pin(0)));
    std::vector<ComPtr<IBaseFilter>> left;
    ASSERT_EQ(S_OK, GetGraphFilters(graph.Get(), left));
    std::vector<IBaseFilter*> leftPointers;
    for (const auto& filter : left) leftPointers.push_back(filter.Get());
    EXPECT_EQ(Sorted({source, sinkC}), Sorted(leftPointers));
    EXPECT_FALSE(IsConnected(source->Pin(0)));
    EXPECT_TRUE(IsConnected(source->Pin(1)));
    EXPECT_EQ(S_OK, RemoveDownstream(graph.Get(), source->Pin(0)));  // nothing left to remove
  });
}

TEST(Compressors, BindByTheCodecManagersNames) {
  // Wine writes the codec-manager monikers when the category is first enumerated.
  std::vector<std::wstring> names = {L"stale"};
  ASSERT_EQ(S_OK, GetDeviceNames(CLSID_VideoCompressorCategory, names));
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), L"stale"));
  EXPECT_NE(names.end(), std::find_if(names.begin(), names.end(), [](const std::wstring& name) {
              return name.find(L"Cinepak") != std::wstring::npos;
            }));
  ComPtr<IBaseFilter> compressor;
  ASSERT_EQ(S_OK, CreateVideoCompressor(MakeFourCCCode('c', 'v', 'i', 'd'), compressor));
  ComPtr<IPin> input;
  EXPECT_EQ(S_OK, FindPin(compressor.Get(), PINDIR_INPUT, nullptr, nullptr, input));

  TraceCapture trace;
  EXPECT_NE(S_OK, CreateVideoCompressor(MakeFourCCCode('z', 'z', 'z', 'z'), compressor));
  EXPECT_TRUE(compressor.IsNull());
  EXPECT_EQ(std::vector<int>{108}, trace.ComErrorLines());  // the name parses; the bind finds nothing

  EXPECT_EQ(L"@device:cm:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\85MPEG Layer-3",
            AudioCompressorDisplayName(85, L"MPEG Layer-3"));
  EXPECT_EQ(L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\vp62",
            VideoCompressorDisplayName(MakeFourCCCode('V', 'P', '6', '2')));

  const GUID noCategory = {0x6a1e6e52, 0x3c5d, 0x4d3a, {0x9b, 0x1e, 0x52, 0x77, 0x41, 0x0c, 0x2f, 0x11}};
  EXPECT_EQ(S_FALSE, GetDeviceNames(noCategory, names));
  EXPECT_TRUE(names.empty());
}

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// The display name under which the table lists that object, found by the address it carries.
std::wstring RegisteredName(IRunningObjectTable* table, IUnknown* object) {
  ComPtr<IEnumMoniker> monikers;
  ComPtr<IBindCtx> context;
  if (FAILED(table->EnumRunning(monikers.Clear())) || FAILED(CreateBindCtx(0, context.Clear()))) return L"";
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.Clear(), nullptr) == S_OK) {
    LPOLESTR text = nullptr;
    if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &text))) continue;
    const std::wstring name = text;
    CoTaskMemFree(text);
    const size_t address = name.find(L"FilterGraph ");
    if (address != std::wstring::npos &&
        std::wcstoull(name.c_str() + address + 12, nullptr, 16) == reinterpret_cast<uintptr_t>(object))
      return name.substr(address);
  }
  return L"";
}

TEST(RunningObjectTable, ListsTheGraphUntilRemoved) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    ComPtr<IRunningObjectTable> table;
    ASSERT_EQ(S_OK, GetRunningObjectTable(0, table.Clear()));
    const ULONG references = References(graph.Get());
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AddGraphToRot(graph.Get(), cookie));
    const std::wstring name = RegisteredName(table.Get(), graph.Get());
    const size_t pid = name.find(L" pid ");
    ASSERT_NE(std::wstring::npos, pid) << name;
    EXPECT_EQ(GetCurrentProcessId(), std::wcstoul(name.c_str() + pid + 5, nullptr, 16));
    EXPECT_EQ(S_OK, RemoveGraphFromRot(cookie));
    EXPECT_EQ(L"", RegisteredName(table.Get(), graph.Get()));
    EXPECT_EQ(references, References(graph.Get()));
  });
}

TEST(EventCodeNames, NameExactlyTheDefinedCodes) {
  // The first and last code of every range, and the three that the platform header lacks or that
  // are easily swapped.
  const struct {
    long code;
    const wchar_t* name;
  } named[] = {
      {0x00, L"EC_SYSTEMBASE"},      {0x0E, L"EC_PAUSED"},          {0x10, L"EC_OPENING_FILE"},
      {0x20, L"EC_NEW_PIN"},         {0x21, L"EC_PROCESSING_LATENCY"}, {0x25, L"EC_SKIP_FRAMES"},
      {0x30, L"EC_TIMECODE_AVAILABLE"}, {0x32, L"EC_STATE_CHANGE"},  {0x40, L"EC_PLEASE_REOPEN"},
      {0x49, L"EC_VIDEOFRAMEREADY"}, {0x50, L"EC_GRAPH_CHANGED"},   {0x51, L"EC_CLOCK_UNSET"},
      {0x53, L"EC_VMR_RENDERDEVICE_SET"}, {0x57, L"EC_CODECAPI_EVENT"}, {0x251, L"EC_WMT_INDEX_EVENT"},
      {0x252, L"EC_WMT_EVENT"},      {0x300, L"EC_BUILT"},           {0x301, L"EC_UNBUILT"},
      {EC_COMPLETE, L"EC_COMPLETE"}, {EC_USER, L"EC_USER"},
  };
  for (const auto& event : named) EXPECT_STREQ(event.name, GetEventCodeName(event.code)) << event.code;
  int known = 0;
  for (long code = 0; code <= 0xFFFF; ++code) known += std::wcscmp(GetEventCodeName(code), L"Unknown") != 0;
  EXPECT_EQ(62, known);  // the 61 system codes and EC_USER
  EXPECT_STREQ(L"Unknown", GetEventCodeName(-1));
}

std::wstring DumpedMediaType(const AM_MEDIA_TYPE& type) {
  auto* capture = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(capture)};
  DumpMediaType(stream, type);
  EXPECT_EQ(0, stream.IndentLevel());
  return capture->Text();
}

TEST(Dumps, MediaTypesReadAVideoHeaderOnlyWhenItIsWhole) {
  VIDEOINFOHEADER header = {};
  header.rcSource = {1, 2, 11, 22};
  std::vector<BYTE> block(sizeof(header) + 4);  // a header and four bytes after it
  std::memcpy(block.data(), &header, sizeof(header));
  AM_MEDIA_TYPE type = {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, TRUE, FALSE, 400, FORMAT_VideoInfo, nullptr,
                        static_cast<ULONG>(block.size()), block.data()};
  const std::wstring text = DumpedMediaType(type);
  EXPECT_EQ(0u, text.find(L"  majortype: {73646976-0000-0010-8000-00AA00389B71} (MEDIATYPE_Video)\n"
                          L"  subtype: {E436EB7E-524F-11CE-9F53-0020AF0BA770} (MEDIASUBTYPE_RGB32)\n"))
      << text;
  EXPECT_NE(std::wstring::npos, text.find(L"\n    rcSource:\n    1 2 10 20\n"));
  EXPECT_EQ(text.size() - 17, text.rfind(L"\n  Bytes left: 4\n"));

  type.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  type.majortype = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  const std::wstring shortText = DumpedMediaType(type);
  EXPECT_EQ(0u, shortText.find(L"  majortype: {12345678-0001-0002-0304-05060708090A} (Unknown GUID Name)\n"));
  EXPECT_EQ(std::wstring::npos, shortText.find(L"rcSource"));
}

}  // namespace
