#include "tests/app/deze/mux_harness.h"

#include <mmreg.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "app/deze/source/dump.h"
#include "common/stream.h"

// ---- media ----

CMediaType Vp6Type(int32_t width, int32_t height, REFERENCE_TIME frameTime) {
  CMediaType type = RgbVideoType(width, height, 24, MAKEFOURCC('V', 'P', '6', '2'));
  const FOURCCMap subtype(MAKEFOURCC('V', 'P', '6', '2'));
  type.SetSubtype(&subtype);
  type.SetVariableSize();
  reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->AvgTimePerFrame = frameTime;
  return type;
}

CMediaType Mp3Type(int32_t rate, int32_t channels) {
  const FOURCCMap subtype(WAVE_FORMAT_MPEGLAYER3);
  CMediaType type = CountedType(MEDIATYPE_Audio, subtype);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  auto* format = reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(type.AllocFormatBuffer(sizeof(MPEGLAYER3WAVEFORMAT)));
  format->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  format->wfx.nChannels = static_cast<WORD>(channels);
  format->wfx.nSamplesPerSec = static_cast<DWORD>(rate);
  format->wfx.nAvgBytesPerSec = 4000;
  format->wfx.nBlockAlign = 1;
  format->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  type.SetSampleSize(1);
  return type;
}

std::vector<uint8_t> Mp3FrameBytes(int32_t rate, uint8_t fill) {
  // MPEG-2.5, MPEG-2 (both mono, 32 kbit/s) and MPEG-1 (stereo, 128 kbit/s) Layer III, no CRC.
  std::vector<uint8_t> frame;
  switch (rate) {
    case 11025: frame = {0xFF, 0xE3, 0x40, 0xC0}; frame.resize(208); break;
    case 22050: frame = {0xFF, 0xF3, 0x40, 0xC0}; frame.resize(104); break;
    default: frame = {0xFF, 0xFB, 0x90, 0x00}; frame.resize(417); break;
  }
  for (size_t i = 4; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(fill + i);
  return frame;
}

std::vector<uint8_t> Mp3Frames(int32_t rate, int count, uint8_t firstFill) {
  std::vector<uint8_t> frames;
  for (int i = 0; i < count; ++i) {
    const std::vector<uint8_t> frame = Mp3FrameBytes(rate, static_cast<uint8_t>(firstFill + 31 * i));
    frames.insert(frames.end(), frame.begin(), frame.end());
  }
  return frames;
}

std::vector<uint8_t> VideoBytes(int index, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(index * 13 + i);
  return bytes;
}

// ---- TestStream ----

TestStream::TestStream(const std::vector<uint8_t>& held) {
  if (held.empty()) return;
  writes_.emplace_back(0, held);
  position_ = size_ = static_cast<int64_t>(held.size());
}

HRESULT STDMETHODCALLTYPE TestStream::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_ISequentialStream && riid != IID_IStream) return E_NOINTERFACE;
  *object = static_cast<IStream*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TestStream::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE TestStream::Read(void*, ULONG, ULONG* read) {
  if (read) *read = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestStream::Write(const void* buffer, ULONG count, ULONG* written) {
  if (!buffer) return STG_E_INVALIDPOINTER;
  if (refuseWriteAt && refuseWriteAt(position_)) {
    if (written) *written = 0;
    return STG_E_MEDIUMFULL;
  }
  const ULONG moved = std::min(count, maxWrite);
  if (moved <= kKeptWrite) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    writes_.emplace_back(position_, std::vector<uint8_t>(bytes, bytes + moved));
  }
  position_ += moved;
  size_ = std::max(size_, position_);
  if (written) *written = moved;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  if (refuseSeek) return STG_E_SEEKERROR;
  int64_t base = 0;
  switch (origin) {
    case STREAM_SEEK_SET: break;
    case STREAM_SEEK_CUR: base = position_; break;
    case STREAM_SEEK_END: base = size_; break;
    default: return STG_E_INVALIDFUNCTION;
  }
  if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
  position_ = base + move.QuadPart;
  if (position) position->QuadPart = static_cast<ULONGLONG>(position_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestStream::SetSize(ULARGE_INTEGER size) {
  if (refuseSetSize) return STG_E_ACCESSDENIED;
  size_ = static_cast<int64_t>(size.QuadPart);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  *stat = {};
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = static_cast<ULONGLONG>(size_);
  return S_OK;
}

std::vector<uint8_t> TestStream::Bytes(int64_t offset, int64_t count) const {
  count = std::max<int64_t>(0, std::min(count, size_ - offset));
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  for (const auto& [start, data] : writes_) {
    const int64_t from = std::max(start, offset);
    const int64_t to = std::min(start + static_cast<int64_t>(data.size()), offset + count);
    if (from < to) std::copy(data.begin() + (from - start), data.begin() + (to - start), bytes.begin() + (from - offset));
  }
  return bytes;
}

bool PadMovieTo(BitStream& out, int64_t position) {
  constexpr int32_t kFillerTag = 1023;
  // Bodies below 63 bytes get the 2-byte tag header, longer ones the 6-byte one.
  constexpr int64_t kShortTagMax = 2 + 62;
  constexpr int64_t kLongTagMin = 6 + 63;
  constexpr int64_t kMaxBody = 1 << 30;
  // Larger than what a TestStream keeps.
  static const std::vector<uint8_t> chunk(TestStream::kKeptWrite * 16);
  while (out.GetPosition() < position) {
    const int64_t gap = position - out.GetPosition();
    int64_t body;
    if (gap < 2) {
      return false;
    } else if (gap <= kShortTagMax) {
      body = gap - 2;
    } else if (gap < kLongTagMin) {
      body = 8;  // leaves a gap for one more short tag
    } else {
      body = gap - 6;
      // Never leave a gap that no tag fills.
      if (body > kMaxBody) body = body - kMaxBody < kLongTagMin ? kMaxBody - kLongTagMin : kMaxBody;
    }
    if (!WriteRecordHeader(out, kFillerTag, static_cast<int32_t>(body))) return false;
    for (int32_t left = static_cast<int32_t>(body); left > 0;) {
      const int32_t count = std::min(left, static_cast<int32_t>(chunk.size()));
      if (out.Transfer(const_cast<uint8_t*>(chunk.data()), count) != count) return false;
      left -= count;
    }
  }
  return out.GetPosition() == position;
}

// ---- MuxGraph ----

MuxGraph::MuxGraph(const std::vector<CMediaType>& types, IBaseFilter* sink, IStream* stream)
    : source(new TestSource(types)), muxer(new SwfMuxer(nullptr)), sourceRef(source), muxerRef(muxer) {
  if (!sink) {
    memory = new TestSink;
    memory->LendStream(stream);
    sink = memory;
  }
  sinkRef = sink;
  graph.Add(source, L"source");
  graph.Add(muxer, L"SwfMuxer");
  graph.Add(sink, L"sink");
}

HRESULT MuxGraph::Connect() {
  for (int i = 0; i < source->GetPinCount(); ++i) {
    const HRESULT result = graph.Connect(source->Pin(i), Input(i));
    if (FAILED(result)) return result;
  }
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> input;
  if (FAILED(sinkRef->EnumPins(pins.Clear())) || pins->Next(1, input.Clear(), nullptr) != S_OK) return E_FAIL;
  return graph.Connect(Input(2), input.Get());
}

ComPtr<IBaseFilter> NewFileDump(const wchar_t* name) {
  HRESULT result = S_OK;
  ComPtr<IBaseFilter> filter;
  FileDump::CreateInstance(nullptr, &result)
      ->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear()));
  EXPECT_EQ(S_OK, ComPtr<IFileSinkFilter>::QueryFrom(filter.Get())->SetFileName(name, nullptr));
  return filter;
}

HRESULT PushVideo(TestSourcePin* pin, int first, int count) {
  HRESULT result = S_OK;
  for (int i = first; i < first + count; ++i) result = pin->Push(VideoBytes(i), i * kFrameTime25, (i + 1) * kFrameTime25);
  return result;
}

HRESULT PushPieces(TestSourcePin* pin, const std::vector<uint8_t>& bytes, size_t piece) {
  HRESULT result = S_OK;
  for (size_t offset = 0; offset < bytes.size() && SUCCEEDED(result); offset += piece) {
    const auto first = bytes.begin() + static_cast<ptrdiff_t>(offset);
    result = pin->Push({first, first + static_cast<ptrdiff_t>(std::min(piece, bytes.size() - offset))}, 0, 1);
  }
  return result;
}

HRESULT PushAudio(TestSourcePin* pin, const std::vector<uint8_t>& frames, int32_t rate) {
  return PushPieces(pin, frames, Mp3FrameBytes(rate, 0).size());
}

std::thread StreamingThread(std::function<void()> body) {
  return std::thread([body = std::move(body)] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    body();
    CoUninitialize();
  });
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(5);
  }
  return true;
}

// ---- RecordingHandler ----

HRESULT RecordingHandler::OnPrepare(MuxSettings* settings) {
  log_->push_back(name_ + ":prepare");
  return prepare ? prepare(settings) : S_OK;
}

HRESULT RecordingHandler::OnHeaderWritten(MuxSettings* settings, BitStream* stream) {
  log_->push_back(name_ + ":header");
  return header ? header(settings, stream) : S_OK;
}

HRESULT RecordingHandler::OnFinish(MuxSettings* settings, BitStream*) {
  log_->push_back(name_ + ":finish");
  flagsAtFinish = settings->flags;
  framesAtFinish = settings->frameCount;
  return finishResult;
}

// ---- SwfMovie ----

int SwfMovie::Count(int32_t code) const {
  return static_cast<int>(std::count_if(tags.begin(), tags.end(), [code](const SwfTag& tag) { return tag.code == code; }));
}

std::vector<SwfTag> SwfMovie::Frame(int index) const {
  std::vector<SwfTag> frame;
  for (const SwfTag& tag : tags) {
    if (tag.code == kTagShowFrame) {
      if (index-- == 0) return frame;
      frame.clear();
    } else {
      frame.push_back(tag);
    }
  }
  return {};
}

SwfMovie ParseMovie(const std::vector<uint8_t>& bytes) {
  SwfMovie movie;
  BufferStream stream(bytes.data(), bytes.size());
  if (bytes.empty() || !movie.header.Exchange(stream)) return movie;
  movie.headerSize = static_cast<size_t>(stream.GetPosition());
  while (!stream.AtEnd()) {
    RecordHeader header;
    if (!header.Exchange(stream) || stream.GetSize() - stream.GetPosition() < header.length) return movie;
    SwfTag tag{header.code, std::vector<uint8_t>(static_cast<size_t>(header.length))};
    if (!stream.TransferExactly(tag.body.data(), header.length)) return movie;
    movie.tags.push_back(std::move(tag));
    if (header.code == kTagEnd) break;
  }
  movie.valid = stream.AtEnd() && !movie.tags.empty() && movie.tags.back().code == kTagEnd;
  return movie;
}

void ExpectWellFormed(const std::vector<uint8_t>& bytes, int frames) {
  const SwfMovie movie = ParseMovie(bytes);
  ASSERT_TRUE(movie.valid);
  EXPECT_EQ(bytes.size(), movie.header.FileLength);
  EXPECT_EQ(frames, movie.header.FrameCount);
  EXPECT_EQ(frames, movie.Count(kTagShowFrame));
}
