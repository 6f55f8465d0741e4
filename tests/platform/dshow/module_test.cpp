// A filter module built on the base classes, loaded from its file: class factory, aggregation,
// DllCanUnloadNow and registration.

#include "tests/platform/dshow/module.h"

#include <gtest/gtest.h>

#include <string>

#include "common/module.h"
#include "common/window.h"
#include "media/comx.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using ServerFunction = HRESULT(STDAPICALLTYPE*)();

// The module's path: it is built beside the test program.
std::wstring ModulePath() { return GetModuleFolder(nullptr) + L"\\" + kModuleFile; }

class Module : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(nullptr, module_);
    getClassObject_ = GetProcedure<GetClassObjectFunction>(module_, "DllGetClassObject");
    canUnloadNow_ = GetProcedure<ServerFunction>(module_, "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject_ && canUnloadNow_);
  }
  void TearDown() override {
    // Every object the module made is gone.
    EXPECT_EQ(S_OK, canUnloadNow_());
    EXPECT_EQ("", LiveObjects());
    FreeLibrary(module_);
  }

  ComPtr<IClassFactory> Factory(REFCLSID classId) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, getClassObject_(classId, IID_IClassFactory, reinterpret_cast<void**>(factory.Clear())));
    return factory;
  }

  HMODULE module_ = nullptr;
  GetClassObjectFunction getClassObject_ = nullptr;
  ServerFunction canUnloadNow_ = nullptr;
};

TEST_F(Module, ServesItsClassesAndCountsItsObjects) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CreateObjectFromModule(ModulePath().c_str(), CLSID_ModuleSink, IID_IBaseFilter,
                                         reinterpret_cast<void**>(filter.Clear())));
  EXPECT_EQ(S_FALSE, canUnloadNow_());
  filter.Release();
  EXPECT_EQ(S_OK, canUnloadNow_());

  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            getClassObject_(CLSID_FilterGraph, IID_IClassFactory, reinterpret_cast<void**>(factory.Clear())));
  EXPECT_TRUE(factory.IsNull());
  factory = Factory(CLSID_ModuleSink);
  EXPECT_EQ(S_FALSE, canUnloadNow_());
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Release();
  EXPECT_EQ(S_FALSE, canUnloadNow_());
  EXPECT_EQ(S_OK, Factory(CLSID_ModuleSink)->LockServer(FALSE));

  TestOuter outer;
  ComPtr<IUnknown> inner;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, Factory(CLSID_ModuleSink)->CreateInstance(&outer, IID_IUnknown,
                                                                              reinterpret_cast<void**>(inner.Clear())));
  EXPECT_EQ(CLASS_E_NOAGGREGATION, Factory(CLSID_ModulePassThrough)->CreateInstance(
                                       &outer, IID_IBaseFilter, reinterpret_cast<void**>(inner.Clear())));
  EXPECT_TRUE(inner.IsNull());
}

TEST_F(Module, AggregatedFilterRunsInAGraphUnderItsOuterObject) {
  TestOuter outer;
  ASSERT_EQ(S_OK, Factory(CLSID_ModulePassThrough)
                      ->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.inner.Clear())));
  ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::QueryFrom(&outer);
  ASSERT_TRUE(filter.IsValid());
  EXPECT_EQ(2u, outer.references);  // the inner object's interfaces count on the outer one
  ComPtr<IUnknown> identity;
  filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Clear()));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
  identity.Release();

  RunWithDeadline(20000, [&] {
    TestGraph graph;
    auto* source = new TestSource({CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None)});
    ComPtr<IBaseFilter> sourceRef(source);
    auto* sink = new TestSink;
    ComPtr<IBaseFilter> sinkRef(sink);
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(filter.Get(), L"aggregated"));
    ASSERT_EQ(S_OK, graph.Add(sink, L"sink"));
    ComPtr<IPin> in;
    ComPtr<IPin> out;
    ASSERT_EQ(S_OK, filter->FindPin(L"In", in.Clear()));
    ASSERT_EQ(S_OK, filter->FindPin(L"Out", out.Clear()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), in.Get()));
    ASSERT_EQ(S_OK, graph.Connect(out.Get(), sink->Pin()));
    ASSERT_EQ(S_OK, graph.Run());
    EXPECT_EQ(S_OK, source->Pin(0)->Push({4, 2}, 0, 1));
    EXPECT_EQ(S_OK, source->Pin(0)->SendEndOfStream());
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, graph.Stop());
    EXPECT_EQ(1u, sink->Samples().size());
  });
  filter.Release();
  EXPECT_EQ(1u, outer.references);
  outer.inner.Release();
}

std::wstring ReadText(const std::wstring& key, const wchar_t* value) {
  wchar_t text[MAX_PATH] = L"";
  DWORD bytes = sizeof(text);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
    return L"(missing)";
  return text;
}

TEST_F(Module, RegistersAndUnregistersEveryTemplate) {
  auto registerServer = GetProcedure<ServerFunction>(module_, "DllRegisterServer");
  auto unregisterServer = GetProcedure<ServerFunction>(module_, "DllUnregisterServer");
  ASSERT_TRUE(registerServer && unregisterServer);
  const std::wstring category = L"CLSID\\" + GuidToString(CLSID_LegacyAmFilterCategory) + L"\\Instance\\";
  const struct {
    CLSID classId;
    const wchar_t* name;
  } entries[] = {{CLSID_ModuleSink, L"Module Sink"}, {CLSID_ModulePassThrough, L"Module Pass Through"}};

  ASSERT_EQ(S_OK, registerServer());
  for (const auto& entry : entries) {
    const std::wstring key = L"CLSID\\" + GuidToString(entry.classId);
    EXPECT_EQ(entry.name, ReadText(key, nullptr));
    EXPECT_EQ(ModulePath(), ReadText(key + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Both", ReadText(key + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(entry.name, ReadText(category + GuidToString(entry.classId), L"FriendlyName"));
  }
  ASSERT_EQ(S_OK, unregisterServer());
  for (const auto& entry : entries) {
    EXPECT_EQ(L"(missing)", ReadText(L"CLSID\\" + GuidToString(entry.classId), nullptr));
    EXPECT_EQ(L"(missing)", ReadText(category + GuidToString(entry.classId), L"FriendlyName"));
  }
  // Removing what is not registered is no failure.
  EXPECT_EQ(S_OK, unregisterServer());
}

}  // namespace
