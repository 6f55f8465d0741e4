#include "media/comx.h"

#include <gtest/gtest.h>

#include <dshow.h>

#include <utility>
#include <vector>

#include "tests/support/capture.h"
#include "tests/support/errors.h"

namespace {

// A COM object whose reference count the test can read; the test's own variable holds one.
class Counted : public IPersist {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IPersist) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IPersist*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }

  ULONG references = 1;
};

TEST(ComPtr, CopiesTakeReferencesMovesAndSamePointerDoNot) {
  Counted object;
  ComPtr<IPersist> first(&object);
  EXPECT_EQ(2u, object.references);
  ComPtr<IPersist> second(first);
  ComPtr<IPersist> third(std::move(second));
  EXPECT_EQ(3u, object.references);
  EXPECT_TRUE(second.IsNull());
  first = first;
  third = first;
  third = std::move(third);
  EXPECT_EQ(3u, object.references);

  std::vector<ComPtr<IPersist>> list(3, first);
  EXPECT_EQ(6u, object.references);
  list.resize(20);  // moves the held pointers into new storage
  EXPECT_EQ(6u, object.references);
  list.erase(list.begin());
  EXPECT_EQ(5u, object.references);
  list.clear();
  first.Release();
  EXPECT_TRUE(first.IsNull());
  third = ComPtr<IPersist>();
  EXPECT_EQ(1u, object.references);
}

TEST(ComPtr, OutParametersGoThroughClearAndAttachTakesOver) {
  Counted object;
  ComPtr<IPersist> pointer(&object);
  IPersist** slot = pointer.Clear();
  EXPECT_EQ(1u, object.references);
  EXPECT_EQ(S_OK, object.QueryInterface(IID_IPersist, reinterpret_cast<void**>(slot)));
  EXPECT_EQ(&object, pointer.Get());
  EXPECT_EQ(2u, object.references);

  IPersist* raw = &object;
  object.AddRef();
  ComPtr<IPersist> attached;
  attached.Attach(raw);
  EXPECT_EQ(nullptr, raw);
  EXPECT_EQ(3u, object.references);
}

TEST(ComPtr, QueryFromAndCreateInstance) {
  Counted object;
  EXPECT_TRUE(ComPtr<IPersist>::QueryFrom(nullptr).IsNull());
  EXPECT_TRUE(ComPtr<IStream>::QueryFrom(&object).IsNull());
  EXPECT_EQ(1u, object.references);
  ComPtr<IPersist> persist = ComPtr<IPersist>::QueryFrom(&object);
  EXPECT_EQ(&object, persist.Get());
  EXPECT_EQ(2u, object.references);

  // The held object goes first, also when the creation fails.
  const CLSID unknownClass = {0x0badc1a5, 0x0001, 0x0002, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_TRUE(FAILED(persist.CreateInstance(unknownClass)));
  EXPECT_TRUE(persist.IsNull());
  EXPECT_EQ(1u, object.references);
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, graph.CreateInstance(CLSID_FilterGraph));
  EXPECT_TRUE(ComPtr<IMediaEventEx>::QueryFrom(graph.Get()).IsValid());
}

TEST(ComUtilities, GuidTextAndTheFailureHook) {
  EXPECT_EQ(L"{E436EBB3-524F-11CE-9F53-0020AF0BA770}", GuidToString(CLSID_FilterGraph));
  TraceCapture trace;
  OnComError(L"swfmux", 159, E_FAIL);
  const std::wstring line = trace.Text();
  const std::wstring expected = L"OnComError: File = swfmux, Line = 159, hr = 0x80004005, ds_msg = ";
  EXPECT_EQ(expected, line.substr(0, expected.size()));
  EXPECT_EQ(L'\n', line.back());
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST(CreateObjectFromModule, FailuresOfTheModule) {
  EXPECT_EQ(E_FAIL, CreateObjectFromModule(L"kernel32.dll", CLSID_FilterGraph, IID_IUnknown, nullptr));
  void* object = &object;
  EXPECT_EQ(E_FAIL, CreateObjectFromModule(L"no-such-module.dll", CLSID_FilterGraph, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(std::vector<std::wstring>{L"Failed to load module no-such-module.dll"}, RecordedErrors().Pushed());

  RecordedErrors().Reset();
  EXPECT_EQ(E_FAIL, CreateObjectFromModule(L"kernel32.dll", CLSID_FilterGraph, IID_IUnknown, &object));
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST(CreateObjectFromModule, MakesObjectsWithoutRegistration) {
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, CreateObjectFromModule(L"quartz.dll", CLSID_FilterGraph, IID_IGraphBuilder,
                                         reinterpret_cast<void**>(graph.Clear())));
  OAFilterState state = -1;
  EXPECT_EQ(S_OK, ComPtr<IMediaControl>::QueryFrom(graph.Get())->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);

  // The module's own answers come back unchanged, and through the hook with their line.
  TraceCapture trace;
  const CLSID unknownClass = {0x0badc1a5, 0x0001, 0x0002, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CreateObjectFromModule(L"quartz.dll", unknownClass, IID_IUnknown,
                                                              reinterpret_cast<void**>(graph.Clear())));
  EXPECT_TRUE(graph.IsNull());
  EXPECT_EQ(E_NOINTERFACE, CreateObjectFromModule(L"quartz.dll", CLSID_FilterGraph, IID_IPersistFile,
                                                  reinterpret_cast<void**>(graph.Clear())));
  EXPECT_TRUE(graph.IsNull());
  const std::wstring text = trace.Text();
  EXPECT_NE(std::wstring::npos, text.find(L"Line = 45, hr = 0x80040111"));
  EXPECT_NE(std::wstring::npos, text.find(L"Line = 47, hr = 0x80004002"));
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

}  // namespace
