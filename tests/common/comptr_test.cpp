#include "common/comptr.h"

#include <gtest/gtest.h>

#include <dshow.h>

#include <utility>
#include <vector>

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

}  // namespace
