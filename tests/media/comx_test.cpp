#include "media/comx.h"

#include <gtest/gtest.h>

#include <dshow.h>

#include <vector>

#include "tests/support/capture.h"
#include "tests/support/errors.h"

namespace {

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
