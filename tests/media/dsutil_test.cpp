// DirectShow utilities against Wine's filter graph, device enumerator and running object table, with
// the test filters as graph members.

#include "media/dsutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>

#include "common/fourcc.h"
#include "tests/support/capture.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

// PCM formats

TEST(PcmFormat, FillsAndValidates) {
  WAVEFORMATEX format;
  std::memset(&format, 0xCC, sizeof(format));
  FillPcmFormat(2, 44100, 16, format);
  EXPECT_EQ(WAVE_FORMAT_PCM, format.wFormatTag);
  EXPECT_EQ(176400u, format.nAvgBytesPerSec);
  EXPECT_EQ(4, format.nBlockAlign);
  EXPECT_EQ(0, format.cbSize);
  EXPECT_TRUE(IsValidPcmFormat(format));

  const struct {
    const char* what;
    void (*spoil)(WAVEFORMATEX&);
  } spoiled[] = {
      {"extra bytes", [](WAVEFORMATEX& f) { f.cbSize = 2; }},
      {"not PCM", [](WAVEFORMATEX& f) { f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT; }},
      {"no channels", [](WAVEFORMATEX& f) { f.nChannels = 0; }},
      {"no rate", [](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; }},
      {"byte rate", [](WAVEFORMATEX& f) { ++f.nAvgBytesPerSec; }},
      {"block align", [](WAVEFORMATEX& f) { f.nBlockAlign = 2; }},
      {"no sample size", [](WAVEFORMATEX& f) { f.wBitsPerSample = 0; }},
  };
  for (const auto& c : spoiled) {
    WAVEFORMATEX copy = format;
    c.spoil(copy);
    EXPECT_FALSE(IsValidPcmFormat(copy)) << c.what;
  }

  // The PCM form of a compressed format keeps channels, rate and sample size only.
  WAVEFORMATEX mp3 = {WAVE_FORMAT_MPEGLAYER3, 1, 22050, 4000, 1, 16, 12};
  WAVEFORMATEX pcm;
  FillPcmFormatFrom(mp3, pcm);
  EXPECT_TRUE(IsValidPcmFormat(pcm));
  EXPECT_EQ(44100u, pcm.nAvgBytesPerSec);
  EXPECT_FALSE(IsSameWaveFormat(mp3, pcm));
  WAVEFORMATEX again;
  FillPcmFormat(1, 22050, 16, again);
  EXPECT_TRUE(IsSameWaveFormat(pcm, again));
}

TEST(PcmFormat, MediaTypesNeedAWholeWaveFormatEx) {
  WAVEFORMATEX format;
  FillPcmFormat(1, 8000, 8, format);
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Audio;
  type.subtype = MEDIASUBTYPE_PCM;
  type.formattype = FORMAT_WaveFormatEx;
  type.cbFormat = sizeof(format);
  type.pbFormat = reinterpret_cast<BYTE*>(&format);
  EXPECT_TRUE(IsPcmMediaType(&type));
  EXPECT_TRUE(IsValidPcmMediaType(&type));

  const struct {
    const char* what;
    void (*spoil)(AM_MEDIA_TYPE&);
  } spoiled[] = {
      {"bare PCMWAVEFORMAT", [](AM_MEDIA_TYPE& t) { t.cbFormat = 16; }},
      {"no block", [](AM_MEDIA_TYPE& t) { t.pbFormat = nullptr; }},
      {"video", [](AM_MEDIA_TYPE& t) { t.majortype = MEDIATYPE_Video; }},
      {"float", [](AM_MEDIA_TYPE& t) { t.subtype = MEDIASUBTYPE_IEEE_FLOAT; }},
      {"format type", [](AM_MEDIA_TYPE& t) { t.formattype = FORMAT_None; }},
  };
  for (const auto& c : spoiled) {
    AM_MEDIA_TYPE copy = type;
    c.spoil(copy);
    EXPECT_FALSE(IsPcmMediaType(&copy)) << c.what;
  }
  EXPECT_FALSE(IsPcmMediaType(nullptr));
  format.cbSize = 2;
  EXPECT_TRUE(IsPcmMediaType(&type));
  EXPECT_FALSE(IsValidPcmMediaType(&type));
}

// Pins, filters and removal

class GraphUtilities : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

TEST_F(GraphUtilities, FindPinByDirectionAndType) {
  auto* source = new TestSource({CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24),
                                 CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
                                 CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32)});
  ComPtr<IBaseFilter> sourceRef(source);
  auto* sink = new TestSink;
  ComPtr<IBaseFilter> sinkRef(sink);
  const struct {
    IBaseFilter* filter;
    PIN_DIRECTION direction;
    const GUID* majorType;
    const GUID* subtype;
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
    EXPECT_EQ(c.expected, pin.Get());
  }
  ComPtr<IPin> pin(sink->Pin());
  EXPECT_EQ(E_FAIL, FindPin(nullptr, PINDIR_OUTPUT, nullptr, nullptr, pin));
  EXPECT_TRUE(pin.IsNull());

  std::vector<ComPtr<IPin>> pins;
  ASSERT_EQ(S_OK, GetFilterPins(source, pins));
  ASSERT_EQ(3u, pins.size());
  EXPECT_EQ(source->Pin(2), pins[2].Get());
  ComPtr<IBaseFilter> owner;
  EXPECT_EQ(S_OK, GetPinFilter(pins[1].Get(), owner));
  EXPECT_EQ(source, owner.Get());
  EXPECT_EQ(E_FAIL, GetPinFilter(nullptr, owner));
  EXPECT_TRUE(owner.IsNull());
  EXPECT_EQ(E_FAIL, GetFilterPins(nullptr, pins));
}

// A source whose first pin cannot say its direction.
class BrokenPin : public TestSourcePin {
 public:
  using TestSourcePin::TestSourcePin;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION*) override { return E_UNEXPECTED; }
};

class SourceWithBrokenPin : public TestSource {
 public:
  explicit SourceWithBrokenPin(const CMediaType& type)
      : TestSource({type}), broken_(this, &brokenLock_, L"Broken", type) {}
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override { return index == 0 ? &broken_ : TestSource::GetPin(index - 1); }

 private:
  CriticalSection brokenLock_;
  BrokenPin broken_;
};

TEST_F(GraphUtilities, FindPinPassesOverAPinWithoutDirection) {
  auto* source = new SourceWithBrokenPin(CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32));
  ComPtr<IBaseFilter> sourceRef(source);
  ComPtr<IPin> pin;
  EXPECT_EQ(S_OK, FindPin(source, PINDIR_OUTPUT, nullptr, &MEDIASUBTYPE_RGB32, pin));
  EXPECT_EQ(source->Pin(0), pin.Get());
}

std::vector<IBaseFilter*> FiltersOf(IFilterGraph* graph) {
  std::vector<ComPtr<IBaseFilter>> held;
  EXPECT_EQ(S_OK, GetGraphFilters(graph, held));
  std::vector<IBaseFilter*> filters;
  for (const auto& filter : held) filters.push_back(filter.Get());
  std::sort(filters.begin(), filters.end());
  return filters;
}

std::vector<IBaseFilter*> Sorted(std::vector<IBaseFilter*> filters) {
  std::sort(filters.begin(), filters.end());
  return filters;
}

bool IsConnected(IPin* pin) {
  ComPtr<IPin> peer;
  return SUCCEEDED(pin->ConnectedTo(peer.Clear())) && peer.IsValid();
}

TEST_F(GraphUtilities, RemoveDownstreamTakesAChainFarthestFirst) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    auto* source = new TestSource({CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32)});
    auto* first = new TestPassThrough;
    auto* second = new TestPassThrough;
    auto* sink = new TestSink;
    const ComPtr<IBaseFilter> refs[] = {ComPtr<IBaseFilter>(source), ComPtr<IBaseFilter>(first),
                                        ComPtr<IBaseFilter>(second), ComPtr<IBaseFilter>(sink)};
    for (const auto& filter : refs) ASSERT_EQ(S_OK, graph.Add(filter.Get(), nullptr));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), first->InputPin()));
    ASSERT_EQ(S_OK, graph.Connect(first->OutputPin(), second->InputPin()));
    ASSERT_EQ(S_OK, graph.Connect(second->OutputPin(), sink->Pin()));

    EXPECT_EQ(E_POINTER, RemoveDownstream(nullptr, source->Pin(0)));
    EXPECT_EQ(E_POINTER, RemoveDownstream(graph.Get(), nullptr));
    EXPECT_EQ(E_FAIL, RemoveDownstream(graph.Get(), first->InputPin()));
    EXPECT_EQ(4u, FiltersOf(graph.Get()).size());

    EXPECT_EQ(S_OK, RemoveDownstream(graph.Get(), source->Pin(0)));
    EXPECT_EQ(std::vector<IBaseFilter*>{source}, FiltersOf(graph.Get()));
    EXPECT_FALSE(IsConnected(source->Pin(0)));
    // Nothing left downstream.
    EXPECT_EQ(S_OK, RemoveDownstream(graph.Get(), source->Pin(0)));
    std::vector<ComPtr<IBaseFilter>> none;
    EXPECT_EQ(E_FAIL, GetGraphFilters(nullptr, none));
  });
}

TEST_F(GraphUtilities, RemoveDownstreamFollowsOnlyThePinsBranches) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    // source 0 -> tee -> (capture -> pass -> sink A, preview -> sink B); source 1 -> sink C.
    auto* source = new TestSource({CountedType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32),
                                   CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)});
    ComPtr<IBaseFilter> tee;
    ASSERT_EQ(S_OK, tee.CreateInstance(CLSID_SmartTee));
    auto* pass = new TestPassThrough;
    auto *sinkA = new TestSink, *sinkB = new TestSink, *sinkC = new TestSink;
    const ComPtr<IBaseFilter> refs[] = {ComPtr<IBaseFilter>(source), tee, ComPtr<IBaseFilter>(pass),
                                        ComPtr<IBaseFilter>(sinkA), ComPtr<IBaseFilter>(sinkB),
                                        ComPtr<IBaseFilter>(sinkC)};
    for (const auto& filter : refs) ASSERT_EQ(S_OK, graph.Add(filter.Get(), nullptr));
    ComPtr<IPin> teeIn, capture, preview;
    ASSERT_EQ(S_OK, FindPin(tee.Get(), PINDIR_INPUT, nullptr, nullptr, teeIn));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), teeIn.Get()));
    std::vector<ComPtr<IPin>> teePins;
    ASSERT_EQ(S_OK, GetFilterPins(tee.Get(), teePins));
    ASSERT_EQ(3u, teePins.size());
    ASSERT_EQ(S_OK, graph.Connect(teePins[1].Get(), pass->InputPin()));
    ASSERT_EQ(S_OK, graph.Connect(pass->OutputPin(), sinkA->Pin()));
    ASSERT_EQ(S_OK, graph.Connect(teePins[2].Get(), sinkB->Pin()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(1), sinkC->Pin()));

    EXPECT_EQ(S_OK, RemoveDownstream(graph.Get(), source->Pin(0)));
    EXPECT_EQ(Sorted({source, sinkC}), FiltersOf(graph.Get()));
    EXPECT_FALSE(IsConnected(source->Pin(0)));
    EXPECT_TRUE(IsConnected(source->Pin(1)));
  });
}

// Compressors and devices

TEST(Compressors, BindVideoCodecsByFourCC) {
  // Wine writes the codec-manager monikers when the category is first enumerated.
  std::vector<std::wstring> names = {L"stale"};
  ASSERT_EQ(S_OK, GetDeviceNames(CLSID_VideoCompressorCategory, names));
  EXPECT_NE(names.end(), std::find_if(names.begin(), names.end(), [](const std::wstring& name) {
              return name.find(L"Cinepak") != std::wstring::npos;
            }));
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), L"stale"));

  ComPtr<IBaseFilter> compressor;
  ASSERT_EQ(S_OK, CreateVideoCompressor(MakeFourCCCode('c', 'v', 'i', 'd'), compressor));
  ComPtr<IPin> input;
  EXPECT_EQ(S_OK, FindPin(compressor.Get(), PINDIR_INPUT, nullptr, nullptr, input));

  TraceCapture trace;
  EXPECT_NE(S_OK, CreateVideoCompressor(MakeFourCCCode('z', 'z', 'z', 'z'), compressor));
  EXPECT_TRUE(compressor.IsNull());
  // The name parses; only the bind finds no such codec.
  EXPECT_EQ(std::vector<int>{108}, trace.ComErrorLines());
}

TEST(Compressors, DisplayNamesOfTheCodecManager) {
  EXPECT_EQ(L"@device:cm:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\85MPEG Layer-3",
            AudioCompressorDisplayName(85, L"MPEG Layer-3"));
  EXPECT_EQ(L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\vp62",
            VideoCompressorDisplayName(MakeFourCCCode('V', 'P', '6', '2')));
  ComPtr<IBaseFilter> compressor;
  EXPECT_NE(S_OK, CreateAudioCompressor(85, L"No Such Codec", compressor));
  EXPECT_TRUE(compressor.IsNull());
}

TEST(Compressors, AnEmptyCategoryHasNoNames) {
  const GUID unknownCategory = {0x6a1e6e52, 0x3c5d, 0x4d3a, {0x9b, 0x1e, 0x52, 0x77, 0x41, 0x0c, 0x2f, 0x11}};
  std::vector<std::wstring> names = {L"stale"};
  TraceCapture trace;
  EXPECT_EQ(S_FALSE, GetDeviceNames(unknownCategory, names));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(std::vector<int>{45}, trace.ComErrorLines());
}

// Running object table

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(RunningObjectTable, ListsTheGraphUntilRemoved) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    ASSERT_TRUE(graph.IsValid());
    const ULONG before = References(graph.Get());
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AddGraphToRot(graph.Get(), cookie));

    ComPtr<IRunningObjectTable> table;
    ASSERT_EQ(S_OK, GetRunningObjectTable(0, table.Clear()));
    // Finds the registration by its name: the graph's whole address and the process id, in hex.
    auto registeredName = [&]() -> std::wstring {
      ComPtr<IEnumMoniker> monikers;
      EXPECT_EQ(S_OK, table->EnumRunning(monikers.Clear()));
      ComPtr<IBindCtx> context;
      CreateBindCtx(0, context.Clear());
      ComPtr<IMoniker> moniker;
      while (monikers->Next(1, moniker.Clear(), nullptr) == S_OK) {
        LPOLESTR text = nullptr;
        if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &text))) continue;
        std::wstring name = text;
        CoTaskMemFree(text);
        const wchar_t* address = std::wcsstr(name.c_str(), L"FilterGraph ");
        if (!address) continue;
        wchar_t* end = nullptr;
        const auto value = static_cast<uintptr_t>(std::wcstoull(address + 12, &end, 16));
        if (value != reinterpret_cast<uintptr_t>(graph.Get())) continue;
        EXPECT_EQ(GetCurrentProcessId(), std::wcstoul(end + 5, nullptr, 16)) << name;
        EXPECT_EQ(0, std::wcsncmp(end, L" pid ", 5));
        return name;
      }
      return L"";
    };
    EXPECT_NE(L"", registeredName());
    EXPECT_EQ(S_OK, RemoveGraphFromRot(cookie));
    EXPECT_EQ(L"", registeredName());
    EXPECT_EQ(before, References(graph.Get()));
  });
}

// Names and dumps

TEST(EventCodeNames, AnswerForExactlyTheDefinedCodes) {
#define EVENT(code) {code, L## #code}
  const struct {
    long code;
    const wchar_t* name;
  } platform[] = {
      // The platform header's values, where it has them.
      EVENT(EC_SYSTEMBASE), EVENT(EC_COMPLETE), EVENT(EC_USERABORT), EVENT(EC_ERRORABORT), EVENT(EC_TIME),
      EVENT(EC_REPAINT), EVENT(EC_STREAM_ERROR_STOPPED), EVENT(EC_STREAM_ERROR_STILLPLAYING),
      EVENT(EC_ERROR_STILLPLAYING), EVENT(EC_PALETTE_CHANGED), EVENT(EC_VIDEO_SIZE_CHANGED),
      EVENT(EC_QUALITY_CHANGE), EVENT(EC_SHUTTING_DOWN), EVENT(EC_CLOCK_CHANGED), EVENT(EC_PAUSED),
      EVENT(EC_OPENING_FILE), EVENT(EC_BUFFERING_DATA), EVENT(EC_FULLSCREEN_LOST), EVENT(EC_ACTIVATE),
      EVENT(EC_NEED_RESTART), EVENT(EC_WINDOW_DESTROYED), EVENT(EC_DISPLAY_CHANGED), EVENT(EC_STARVATION),
      EVENT(EC_OLE_EVENT), EVENT(EC_NOTIFY_WINDOW), EVENT(EC_STREAM_CONTROL_STOPPED),
      EVENT(EC_STREAM_CONTROL_STARTED), EVENT(EC_END_OF_SEGMENT), EVENT(EC_SEGMENT_STARTED),
      EVENT(EC_LENGTH_CHANGED), EVENT(EC_DEVICE_LOST), EVENT(EC_NEW_PIN), EVENT(EC_PROCESSING_LATENCY),
      EVENT(EC_SAMPLE_LATENCY), EVENT(EC_SCRUB_TIME), EVENT(EC_STEP_COMPLETE), EVENT(EC_TIMECODE_AVAILABLE),
      EVENT(EC_EXTDEVICE_MODE_CHANGE), EVENT(EC_STATE_CHANGE), EVENT(EC_PLEASE_REOPEN), EVENT(EC_STATUS),
      EVENT(EC_MARKER_HIT), EVENT(EC_LOADSTATUS), EVENT(EC_FILE_CLOSED), EVENT(EC_ERRORABORTEX),
      EVENT(EC_EOS_SOON), EVENT(EC_CONTENTPROPERTY_CHANGED), EVENT(EC_BANDWIDTHCHANGE),
      EVENT(EC_VIDEOFRAMEREADY), EVENT(EC_GRAPH_CHANGED), EVENT(EC_CLOCK_UNSET), EVENT(EC_VMR_RENDERDEVICE_SET),
      EVENT(EC_VMR_SURFACE_FLIPPED), EVENT(EC_VMR_RECONNECTION_FAILED), EVENT(EC_PREPROCESS_COMPLETE),
      EVENT(EC_CODECAPI_EVENT), EVENT(EC_WMT_INDEX_EVENT), EVENT(EC_WMT_EVENT), EVENT(EC_BUILT),
      EVENT(EC_UNBUILT), EVENT(EC_USER),
      // Missing from the platform header.
      {0x25, L"EC_SKIP_FRAMES"},
  };
#undef EVENT
  for (const auto& event : platform) EXPECT_STREQ(event.name, GetEventCodeName(event.code)) << event.code;
  EXPECT_STREQ(L"EC_NEW_PIN", GetEventCodeName(0x20));
  EXPECT_STREQ(L"EC_PROCESSING_LATENCY", GetEventCodeName(0x21));

  int named = 0;
  for (long code = 0; code <= 0xFFFF; ++code) named += std::wcscmp(GetEventCodeName(code), L"Unknown") != 0;
  EXPECT_EQ(62, named);  // the 61 system codes and EC_USER
  for (long code : {0x0FL, 0x26L, 0x52L, 0x8001L, -1L}) EXPECT_STREQ(L"Unknown", GetEventCodeName(code)) << code;
}

std::wstring Dumped(const std::function<void(TextStream&)>& dump) {
  auto* capture = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(capture)};
  dump(stream);
  EXPECT_EQ(0, stream.IndentLevel());
  return capture->Text();
}

TEST(Dumps, MediaTypeWithItsVideoHeader) {
  VIDEOINFOHEADER header = {};
  header.rcSource = {1, 2, 11, 22};
  header.dwBitRate = 1000;
  header.AvgTimePerFrame = 400000;
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = 10;
  std::vector<BYTE> block(sizeof(header) + 4);  // a header and four bytes after it
  std::memcpy(block.data(), &header, sizeof(header));
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB32;
  type.formattype = FORMAT_VideoInfo;
  type.lSampleSize = 400;
  type.cbFormat = static_cast<ULONG>(block.size());
  type.pbFormat = block.data();

  const std::wstring text = Dumped([&](TextStream& stream) { DumpMediaType(stream, type); });
  EXPECT_EQ(0u, text.find(L"  majortype: {73646976-0000-0010-8000-00AA00389B71} (MEDIATYPE_Video)\n"
                          L"  subtype: {E436EB7E-524F-11CE-9F53-0020AF0BA770} (MEDIASUBTYPE_RGB32)\n"
                          L"  bFixedSizeSamples: 0\n"
                          L"  bTemporalCompression: 0\n"
                          L"  lSampleSize: 400\n"
                          L"  formattype: {05589F80-C356-11CE-BF01-00AA0055595A} (FORMAT_VideoInfo)\n"))
      << text;
  EXPECT_NE(std::wstring::npos, text.find(L"  cbFormat: 92\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"    rcSource:\n    1 2 10 20\n    rcTarget:\n    0 0 0 0\n"
                                          L"    dwBitRate: 1000\n    dwBitErrorRate: 0\n"
                                          L"    AvgTimePerFrame: 400000\n    bmiHeader:\n"
                                          L"      biSize: 40\n      biWidth: 10\n"))
      << text;
  EXPECT_EQ(text.size() - 17, text.rfind(L"\n  Bytes left: 4\n")) << text;

  // A block too short for its format type is not read.
  type.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  const std::wstring shortText = Dumped([&](TextStream& stream) { DumpMediaType(stream, type); });
  EXPECT_EQ(std::wstring::npos, shortText.find(L"rcSource"));
  EXPECT_EQ(std::wstring::npos, shortText.find(L"Bytes left"));

  type.majortype = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(0u, Dumped([&](TextStream& stream) { DumpMediaType(stream, type); })
                    .find(L"  majortype: {12345678-0001-0002-0304-05060708090A} (Unknown GUID Name)\n"));
}

TEST(Dumps, WaveFormatsWithAndWithoutExtraSize) {
  WAVEFORMATEX format;
  FillPcmFormat(2, 44100, 16, format);
  const wchar_t* const fields = L"  wFormatTag: 1\n  nChannels: 2\n  nSamplesPerSec: 44100\n"
                                L"  nAvgBytesPerSec: 176400\n  nBlockAlign: 4\n  wBitsPerSample: 16\n";
  EXPECT_EQ(std::wstring(fields) + L"  cbSize: 0\n",
            Dumped([&](TextStream& stream) { DumpWaveFormatEx(stream, format); }));
  PCMWAVEFORMAT bare;
  std::memcpy(&bare, &format, sizeof(bare));
  EXPECT_EQ(fields, Dumped([&](TextStream& stream) { DumpWaveFormat(stream, bare); }));
}

}  // namespace
