// deze.dll as a COM server: its classes by class identifier, created from the file without
// registration as the converter does, and registered with Wine's own regsvr32.

#include <dshow.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/deze/source/dump.h"
#include "app/deze/source/flip.h"
#include "app/deze/source/vcmds.h"
#include "common/handle.h"
#include "common/module.h"
#include "common/strutil.h"
#include "media/comx.h"
#include "tests/app/deze/codecs.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

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

// The library's Frame Flip and codec wrapper in one graph, the codec loaded through IVcmDriver.
TEST_F(DezeServer, ItsFiltersWorkInAGraph) {
  RunWithDeadline(20000, [] {
    ComPtr<IBaseFilter> flip;
    ComPtr<IBaseFilter> encoder;
    ASSERT_EQ(S_OK, CreateObjectFromModule(L"deze.dll", CLSID_FlipFilter, IID_IBaseFilter,
                                           reinterpret_cast<void**>(flip.Clear())));
    ASSERT_EQ(S_OK, CreateObjectFromModule(L"deze.dll", CLSID_VcmEncoderFilter, IID_IBaseFilter,
                                           reinterpret_cast<void**>(encoder.Clear())));
    ComPtr<IVcmDriver> driver = ComPtr<IVcmDriver>::QueryFrom(encoder.Get());
    ASSERT_TRUE(driver.IsValid());
    ASSERT_EQ(S_OK, driver->LoadDriver(VeltoPath().c_str(), kWbvk));

    TestGraph graph;
    auto* source = new TestSource({RgbVideoType(16, 8, 32)});
    ComPtr<IBaseFilter> sourceRef(source);
    auto* sink = new TestSink;
    ComPtr<IBaseFilter> sinkRef(sink);
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(flip.Get(), L"Flip"));
    ASSERT_EQ(S_OK, graph.Add(encoder.Get(), L"Vp6 Encoder"));
    ASSERT_EQ(S_OK, graph.Add(sink, L"sink"));
    ComPtr<IPin> flipIn, flipOut, encoderIn, encoderOut;
    ASSERT_EQ(S_OK, flip->FindPin(L"In", flipIn.Clear()));
    ASSERT_EQ(S_OK, flip->FindPin(L"Out", flipOut.Clear()));
    ASSERT_EQ(S_OK, encoder->FindPin(L"In", encoderIn.Clear()));
    ASSERT_EQ(S_OK, encoder->FindPin(L"Out", encoderOut.Clear()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), flipIn.Get()));
    ASSERT_EQ(S_OK, graph.Connect(flipOut.Get(), encoderIn.Get()));
    ASSERT_EQ(S_OK, graph.Connect(encoderOut.Get(), sink->Pin()));
    ASSERT_EQ(S_OK, graph.Run());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(S_OK, source->Pin(0)->Push(PatternFrame(16, 8, 32, i), i, i + 1));
    ASSERT_EQ(S_OK, graph.Stop());
    EXPECT_EQ(3u, sink->Samples().size());
    EXPECT_EQ(FOURCCMap(kWbvk), sink->Pin()->CurrentMediaType().subtype);
  });
}

std::wstring ReadText(const std::wstring& key, const wchar_t* value) {
  wchar_t text[MAX_PATH] = L"";
  DWORD bytes = sizeof(text);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
    return L"(missing)";
  return text;
}

DWORD RunRegsvr32(const std::wstring& arguments) {
  std::wstring command = L"regsvr32.exe /s " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError();
  HandleGuard processGuard(CloseHandle, process.hProcess);
  HandleGuard threadGuard(CloseHandle, process.hThread);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) return WAIT_TIMEOUT;
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  return code;
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
  std::map<std::wstring, std::wstring> audio = MatchingFilters(MEDIATYPE_Audio);
  EXPECT_EQ(0u, audio.count(GuidToString(CLSID_FlipFilter)));

  ASSERT_EQ(0u, RunRegsvr32(std::wstring(L"/u \"") + path + L"\""));
  all = MatchingFilters(GUID_NULL);
  for (const FilterClass& entry : FilterClasses()) {
    EXPECT_EQ(L"(missing)", ReadText(L"CLSID\\" + GuidToString(entry.classId), nullptr));
    EXPECT_EQ(0u, all.count(GuidToString(entry.classId)));
  }
}

}  // namespace
