// deze.dll as a COM server: its classes by class identifier, created from the file without
// registration as the converter does, and registered with Wine's own regsvr32.

#include <dshow.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/deze/source/dump.h"
#include "app/deze/source/flip.h"
#include "app/deze/source/swfmux.h"
#include "app/deze/source/vcmds.h"
#include "common/handle.h"
#include "common/module.h"
#include "common/strutil.h"
#include "media/comx.h"
#include "tests/app/deze/codecs.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"
#include "tests/support/process.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using ServerFunction = HRESULT(STDAPICALLTYPE*)();

struct FilterClass {
  CLSID classId;
  const wchar_t* name;
  std::vector<std::wstring> pins;
};

const std::vector<FilterClass>& FilterClasses() {
  static const std::vector<FilterClass> classes = {
      {CLSID_FlipFilter, L"Frame Flip", {L"In", L"Out"}},
      {CLSID_SwfMuxer, L"SwfMuxer", {L"Video Input", L"Audio Input", L"Output"}},
      {CLSID_FileDump, L"File Dump", {L"Input"}},
      {CLSID_VcmEncoderFilter, L"VcmEncoderFilter", {L"In", L"Out"}},
  };
  return classes;
}

std::vector<std::wstring> PinNames(IBaseFilter* filter) {
  std::vector<std::wstring> names;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Clear()))) return names;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.Clear(), nullptr) == S_OK) {
    PIN_INFO info = {};
    pin->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    names.push_back(info.achName);
  }
  return names;
}

class DezeServer : public testing::Test {
 protected:
  void SetUp() override {
    // By name, through the normal search, as the converter loads it.
    ComPtr<IBaseFilter> first;
    ASSERT_EQ(S_OK, CreateObjectFromModule(L"deze.dll", CLSID_FlipFilter, IID_IBaseFilter,
                                           reinterpret_cast<void**>(first.Clear())));
    module_ = GetModuleHandleW(L"deze.dll");
    ASSERT_NE(nullptr, module_);
    getClassObject_ = GetProcedure<GetClassObjectFunction>(module_, "DllGetClassObject");
    canUnloadNow_ = GetProcedure<ServerFunction>(module_, "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject_ && canUnloadNow_);
  }
  void TearDown() override { EXPECT_EQ(S_OK, canUnloadNow_()); }

  HMODULE module_ = nullptr;
  GetClassObjectFunction getClassObject_ = nullptr;
  ServerFunction canUnloadNow_ = nullptr;
};

TEST_F(DezeServer, EachClassMakesItsFilter) {
  for (const FilterClass& entry : FilterClasses()) {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, CreateObjectFromModule(L"deze.dll", entry.classId, IID_IBaseFilter,
                                           reinterpret_cast<void**>(filter.Clear())));
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    CLSID classId = {};
    EXPECT_EQ(S_OK, filter->GetClassID(&classId));
    EXPECT_EQ(entry.classId, classId);
    EXPECT_EQ(entry.pins, PinNames(filter.Get())) << ToNarrowString(entry.name, 0);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject_(entry.classId, IID_IClassFactory, reinterpret_cast<void**>(factory.Clear())));
    ComPtr<IBaseFilter> second;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(second.Clear())));
    EXPECT_NE(filter.Get(), second.Get());
  }
  EXPECT_EQ(S_OK, canUnloadNow_());

  ComPtr<IClassFactory> none;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            getClassObject_(CLSID_FilterGraph, IID_IClassFactory, reinterpret_cast<void**>(none.Clear())));
  EXPECT_TRUE(none.IsNull());
}

ComPtr<IBaseFilter> FromLibrary(REFCLSID classId) {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, CreateObjectFromModule(L"deze.dll", classId, IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear())));
  return filter;
}

IPin* FindPin(IBaseFilter* filter, const wchar_t* name, ComPtr<IPin>& pin) {
  filter->FindPin(name, pin.Clear());
  return pin.Get();
}

// The converter's VP6 path made of the library's four filters: frames are turned upside down,
// compressed by the VP6 stand-in and written into a movie, which the host check reads with ffprobe.
TEST_F(DezeServer, ItsFourFiltersMakeAMovie) {
  RunWithDeadline(20000, [] {
    ComPtr<IBaseFilter> flip = FromLibrary(CLSID_FlipFilter);
    ComPtr<IBaseFilter> encoder = FromLibrary(CLSID_VcmEncoderFilter);
    ComPtr<IBaseFilter> muxer = FromLibrary(CLSID_SwfMuxer);
    ComPtr<IBaseFilter> dump = FromLibrary(CLSID_FileDump);
    ASSERT_TRUE(flip.IsValid() && encoder.IsValid() && muxer.IsValid() && dump.IsValid());
    ASSERT_EQ(S_OK, ComPtr<IVcmDriver>::QueryFrom(encoder.Get())->LoadDriver(Beside(L"vp6vfw.dll").c_str(), kVp62));
    ASSERT_EQ(S_OK, ComPtr<IFileSinkFilter>::QueryFrom(dump.Get())->SetFileName(L"vp6_movie.swf", nullptr));

    TestGraph graph;
    auto* source = new TestSource({RgbVideoType(64, 48, 32)});
    ComPtr<IBaseFilter> sourceRef(source);
    source->Pin(0)->SetBuffers(2, 64 * 48 * 4);
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(flip.Get(), L"Flip"));
    ASSERT_EQ(S_OK, graph.Add(encoder.Get(), L"Vp6 Encoder"));
    ASSERT_EQ(S_OK, graph.Add(muxer.Get(), L"Swf Mux"));
    ASSERT_EQ(S_OK, graph.Add(dump.Get(), L"File Dump"));
    ComPtr<IPin> pins[6];
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), FindPin(flip.Get(), L"In", pins[0])));
    ASSERT_EQ(S_OK, graph.Connect(FindPin(flip.Get(), L"Out", pins[1]), FindPin(encoder.Get(), L"In", pins[2])));
    ASSERT_EQ(S_OK,
              graph.Connect(FindPin(encoder.Get(), L"Out", pins[3]), FindPin(muxer.Get(), L"Video Input", pins[4])));
    ComPtr<IPin> muxOut, dumpIn;
    ASSERT_EQ(S_OK, graph.Connect(FindPin(muxer.Get(), L"Output", muxOut), FindPin(dump.Get(), L"Input", dumpIn)));
    ASSERT_EQ(S_OK, graph.Run());
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(S_OK, source->Pin(0)->Push(PatternFrame(64, 48, 32, i), i * 400000, (i + 1) * 400000));
    // The multiplexer answers the end of its last stream with S_FALSE: the movie is finished.
    EXPECT_TRUE(SUCCEEDED(source->Pin(0)->SendEndOfStream()));
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 10000));
    ASSERT_EQ(S_OK, graph.Stop());
  });
}

std::wstring ReadText(const std::wstring& key, const wchar_t* value) {
  wchar_t text[MAX_PATH] = L"";
  DWORD bytes = sizeof(text);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
    return L"(missing)";
  return text;
}

// Class identifier -> friendly name of each filter the mapper finds for an input of this major
// type (GUID_NULL: any filter at all).
std::map<std::wstring, std::wstring> MatchingFilters(const GUID& inputMajorType) {
  std::map<std::wstring, std::wstring> found;
  ComPtr<IFilterMapper2> mapper;
  if (mapper.CreateInstance(CLSID_FilterMapper2) != S_OK) return found;
  const GUID types[2] = {inputMajorType, GUID_NULL};
  const bool typed = inputMajorType != GUID_NULL;
  ComPtr<IEnumMoniker> monikers;
  // The minimum merit must not lie above the filters' own.
  if (mapper->EnumMatchingFilters(monikers.Clear(), 0, FALSE, MERIT_DO_NOT_USE, typed, typed ? 1 : 0,
                                  typed ? types : nullptr, nullptr, nullptr, FALSE, FALSE, 0, nullptr, nullptr,
                                  nullptr) != S_OK)
    return found;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.Clear(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.Clear()))))
      continue;
    VARIANT classId;
    VariantInit(&classId);
    VARIANT name;
    VariantInit(&name);
    if (SUCCEEDED(bag->Read(L"CLSID", &classId, nullptr)) && SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)))
      found[classId.bstrVal] = name.bstrVal;
    VariantClear(&classId);
    VariantClear(&name);
  }
  return found;
}

TEST_F(DezeServer, Regsvr32RegistersAndRemovesEveryFilter) {
  wchar_t path[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(module_, path, MAX_PATH));
  ASSERT_EQ(0u, RunRegsvr32(std::wstring(L"\"") + path + L"\""));

  std::map<std::wstring, std::wstring> all = MatchingFilters(GUID_NULL);
  for (const FilterClass& entry : FilterClasses()) {
    const std::wstring classId = GuidToString(entry.classId);
    EXPECT_EQ(entry.name, ReadText(L"CLSID\\" + classId, nullptr));
    EXPECT_EQ(path, ReadText(L"CLSID\\" + classId + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Both", ReadText(L"CLSID\\" + classId + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(entry.name, all[classId]) << ToNarrowString(entry.name, 0);
  }
  // The pins' media types are registered: only the video filters take video.
  std::map<std::wstring, std::wstring> video = MatchingFilters(MEDIATYPE_Video);
  EXPECT_EQ(1u, video.count(GuidToString(CLSID_FlipFilter)));
  EXPECT_EQ(1u, video.count(GuidToString(CLSID_VcmEncoderFilter)));
  EXPECT_EQ(1u, video.count(GuidToString(CLSID_SwfMuxer)));
  std::map<std::wstring, std::wstring> audio = MatchingFilters(MEDIATYPE_Audio);
  EXPECT_EQ(1u, audio.count(GuidToString(CLSID_SwfMuxer)));
  EXPECT_EQ(0u, audio.count(GuidToString(CLSID_FlipFilter)));

  ASSERT_EQ(0u, RunRegsvr32(std::wstring(L"/u \"") + path + L"\""));
  all = MatchingFilters(GUID_NULL);
  for (const FilterClass& entry : FilterClasses()) {
    EXPECT_EQ(L"(missing)", ReadText(L"CLSID\\" + GuidToString(entry.classId), nullptr));
    EXPECT_EQ(0u, all.count(GuidToString(entry.classId)));
  }
}

}  // namespace
