#include "app/deze/source/dump.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/fileutil.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

class FileDumpTest : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::vector<uint8_t> Bytes(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

ComPtr<IBaseFilter> MakeDump(IUnknown* outer = nullptr) {
  HRESULT result = S_OK;
  CUnknown* dump = FileDump::CreateInstance(outer, &result);
  ComPtr<IBaseFilter> filter;
  if (dump) dump->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear()));
  return filter;
}

HRESULT SetFileName(IBaseFilter* dump, const wchar_t* name) {
  auto sink = ComPtr<IFileSinkFilter>::QueryFrom(dump);
  return sink.IsValid() ? sink->SetFileName(name, nullptr) : E_NOINTERFACE;
}

ComPtr<IStream> PinStream(IBaseFilter* dump) {
  ComPtr<IPin> pin;
  EXPECT_EQ(S_OK, dump->FindPin(L"Input", pin.Clear()));
  return ComPtr<IStream>::QueryFrom(pin.Get());
}

std::wstring CurrentFile(IFileSinkFilter* sink) {
  LPOLESTR name = nullptr;
  AM_MEDIA_TYPE type;
  std::memset(&type, 0xcd, sizeof(type));
  EXPECT_EQ(S_OK, sink->GetCurFile(&name, &type));
  EXPECT_EQ(GUID_NULL, type.majortype);
  EXPECT_EQ(nullptr, type.pbFormat);
  std::wstring text = name ? name : L"(none)";
  CoTaskMemFree(name);
  return text;
}

TEST_F(FileDumpTest, SamplesLandAtTheirStartTimesAndTheStreamCompletes) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    auto* source = new TestSource({CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None)});
    ComPtr<IBaseFilter> sourceRef(source);
    source->Pin(0)->SetDuration(5000);
    ComPtr<IBaseFilter> dump = MakeDump();
    auto sink = ComPtr<IFileSinkFilter>::QueryFrom(dump.Get());
    ASSERT_EQ(S_OK, sink->SetFileName(L"samples.bin", nullptr));
    EXPECT_EQ(L"samples.bin", CurrentFile(sink.Get()));
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(dump.Get(), L"File Dump"));
    ComPtr<IPin> input;
    ASSERT_EQ(S_OK, dump->FindPin(L"Input", input.Clear()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), input.Get()));
    auto seeking = ComPtr<IMediaSeeking>::QueryFrom(dump.Get());
    ASSERT_TRUE(seeking.IsValid());
    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(5000, duration);

    ASSERT_EQ(S_OK, graph.Run());
    TestSourcePin* out = source->Pin(0);
    EXPECT_EQ(S_OK, out->Push(Bytes("ABCD"), 0, 1));
    EXPECT_EQ(S_OK, out->Push(Bytes("xyz"), 10, 11));
    EXPECT_EQ(S_OK, out->Push(Bytes("12"), 2, 3));  // earlier in the file than the sample before
    EXPECT_EQ(S_OK, out->Push({}, 40, 41));         // nothing to write
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, out->PushWithoutTimes(Bytes("?")));
    EXPECT_EQ(S_OK, out->Push(Bytes("q"), 20, 21));
    EXPECT_EQ(S_OK, out->SendEndOfStream());
    // The graph counts the File Dump as a renderer: its completion ends the graph's stream.
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(L"(none)", CurrentFile(sink.Get()));
    EXPECT_EQ(S_OK, graph.Stop());
  });
  std::vector<uint8_t> file;
  ASSERT_TRUE(ReadFileBytes(L"samples.bin", file));
  std::vector<uint8_t> expected(21, 0);
  std::memcpy(expected.data(), "AB12", 4);
  std::memcpy(expected.data() + 10, "xyz", 3);
  expected[20] = 'q';
  EXPECT_EQ(expected, file);
}

// The dump writes bytes wherever they belong, whatever stream they are: a sample that announces
// another subtype is written like any other.
TEST_F(FileDumpTest, ASampleOfAnotherSubtypeIsWritten) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    auto* source = new TestSource({CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None)});
    ComPtr<IBaseFilter> sourceRef(source);
    ComPtr<IBaseFilter> dump = MakeDump();
    ASSERT_EQ(S_OK, SetFileName(dump.Get(), L"retyped.bin"));
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(dump.Get(), L"File Dump"));
    ComPtr<IPin> input;
    ASSERT_EQ(S_OK, dump->FindPin(L"Input", input.Clear()));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), input.Get()));
    ASSERT_EQ(S_OK, graph.Run());
    EXPECT_EQ(S_OK, source->Pin(0)->Push(Bytes("ABCD"), 0, 1));
    EXPECT_EQ(S_OK, source->Pin(0)->PushWithType(Bytes("xy"), CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi)));
    EXPECT_EQ(S_OK, source->Pin(0)->SendEndOfStream());
    EXPECT_EQ(S_OK, graph.Stop());
  });
  std::vector<uint8_t> file;
  ASSERT_TRUE(ReadFileBytes(L"retyped.bin", file));
  EXPECT_EQ(Bytes("xyCD"), file);
}

TEST_F(FileDumpTest, SetFileNameTruncatesAndChecksItsArguments) {
  const std::vector<uint8_t> old(100, 7);
  ASSERT_TRUE(WriteFileBytes(L"old.bin", old.data(), 100));
  ComPtr<IBaseFilter> dump = MakeDump();
  auto sink = ComPtr<IFileSinkFilter>::QueryFrom(dump.Get());
  EXPECT_EQ(S_OK, sink->SetFileName(L"old.bin", nullptr));
  STATSTG stat;
  EXPECT_EQ(S_OK, PinStream(dump.Get())->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(0u, stat.cbSize.QuadPart);
  EXPECT_EQ(E_POINTER, sink->SetFileName(nullptr, nullptr));
  EXPECT_EQ(E_POINTER, sink->GetCurFile(nullptr, nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), sink->SetFileName(L"no-such-folder\\x.bin", nullptr));
  CLSID classId;
  EXPECT_EQ(S_OK, dump->GetClassID(&classId));
  EXPECT_EQ(CLSID_FileDump, classId);
}

TEST_F(FileDumpTest, PinStreamWritesSeeksAndStats) {
  ComPtr<IBaseFilter> dump = MakeDump();
  ComPtr<IStream> stream = PinStream(dump.Get());
  ASSERT_TRUE(stream.IsValid());
  ULONG written = 99;
  EXPECT_TRUE(FAILED(stream->Write("x", 1, &written)));  // no file yet
  EXPECT_EQ(0u, written);

  ASSERT_EQ(S_OK, SetFileName(dump.Get(), L"stream.bin"));
  EXPECT_EQ(S_OK, stream->Write("hello", 5, &written));
  EXPECT_EQ(5u, written);
  LARGE_INTEGER move;
  ULARGE_INTEGER position;
  move.QuadPart = -2;
  EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_CUR, &position));
  EXPECT_EQ(3u, position.QuadPart);
  EXPECT_EQ(S_OK, stream->Write("LO", 2, nullptr));
  EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(move, 7, &position));
  char buffer[8];
  EXPECT_TRUE(FAILED(stream->Read(buffer, 1, nullptr)));  // the sink writes only

  STATSTG stat;
  std::memset(&stat, 0xcd, sizeof(stat));
  EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  STATSTG expected = {};
  expected.cbSize.QuadPart = 5;
  EXPECT_EQ(0, std::memcmp(&expected, &stat, sizeof(stat)));

  move.QuadPart = 0;
  EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_END, &position));
  EXPECT_EQ(5u, position.QuadPart);
  ULARGE_INTEGER size;
  size.QuadPart = 4;
  EXPECT_EQ(S_OK, stream->SetSize(size));
  EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_CUR, &position));
  EXPECT_EQ(5u, position.QuadPart);  // the position is kept
  EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(4u, stat.cbSize.QuadPart);
  EXPECT_EQ(E_NOTIMPL, stream->Commit(0));

  // The same stream class reads a file opened for reading.
  ASSERT_EQ(S_OK, SetFileName(dump.Get(), L"other.bin"));
  CFileStream reader(nullptr);
  ASSERT_EQ(S_OK, reader.Open(L"stream.bin", true));
  ULONG read = 0;
  EXPECT_EQ(S_OK, reader.Read(buffer, 8, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0, std::memcmp(buffer, "helL", 4));
  EXPECT_EQ(S_OK, reader.Read(buffer, 8, &read));
  EXPECT_EQ(0u, read);
}

TEST_F(FileDumpTest, HeldStreamKeepsTheFilterAlive) {
  ComPtr<IBaseFilter> dump = MakeDump();
  ASSERT_EQ(S_OK, SetFileName(dump.Get(), L"held.bin"));
  ComPtr<IStream> stream = PinStream(dump.Get());
  dump.Release();
  EXPECT_EQ(S_OK, stream->Write("late", 4, nullptr));
  stream.Release();  // the last reference: filter, pin and stream go, and the file is closed
  EXPECT_EQ(4, GetFileSize64(L"held.bin"));
}

TEST_F(FileDumpTest, AggregatedDumpCountsOnItsOuterObject) {
  TestOuter outer;
  {
    HRESULT result = S_OK;
    CUnknown* dump = FileDump::CreateInstance(&outer, &result);
    ASSERT_NE(nullptr, dump);
    ASSERT_EQ(S_OK, dump->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(outer.inner.Clear())));
    auto sink = ComPtr<IFileSinkFilter>::QueryFrom(&outer);
    ASSERT_TRUE(sink.IsValid());
    ComPtr<IStream> stream = PinStream(ComPtr<IBaseFilter>::QueryFrom(sink.Get()).Get());
    EXPECT_EQ(3u, outer.references);
  }
  EXPECT_EQ(1u, outer.references);
  outer.inner.Release();
}

}  // namespace
