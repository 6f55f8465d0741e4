#include "app/deze/source/swfvid.h"

#include <algorithm>
#include <cstdlib>

#include "app/deze/source/swfbox.h"
#include "app/deze/source/swfmux.h"
#include "media/comx.h"
#include "media/dsutil.h"

namespace {

constexpr wchar_t kSource[] = L"swfvid";
constexpr DWORD kVp62 = MAKEFOURCC('V', 'P', '6', '2');
// Divided by the frame time it gives the 8.8 frame rate.
constexpr int64_t kFrameRateUnits = 256 * kUnitsPerSecond;
static_assert(int64_t{kMaxMovieSide} * kTwipsPerPixel < 65536, "sizes in twips are 16 bits");

constexpr uint8_t kPlaceFirst = kPlaceFlagHasName | kPlaceFlagHasMatrix | kPlaceFlagHasCharacter;
constexpr uint8_t kPlaceMove = kPlaceFlagMove | kPlaceFlagHasRatio;
// A matrix with no scale, no rotation and 1-bit translations of 0.
constexpr uint8_t kPlaceMatrix[] = {0x02, 0x00};
constexpr char kStageName[] = "videoStage";
constexpr int32_t kPlaceFirstLength = 1 + 2 + 2 + sizeof(kPlaceMatrix) + sizeof(kStageName);
constexpr int32_t kPlaceMoveLength = 1 + 2 + 2;

bool IsRgb32(const CMediaType& type, const BITMAPINFOHEADER& header) {
  return *type.Subtype() == MEDIASUBTYPE_RGB32 && header.biCompression == BI_RGB && header.biBitCount == 32;
}

bool IsVp62(const CMediaType& type, const BITMAPINFOHEADER& header) {
  return *type.Subtype() == FOURCCMap(kVp62) && header.biCompression == kVp62;
}

bool WriteBytes(BitStream& stream, const void* bytes, int32_t count) {
  return stream.TransferExactly(const_cast<void*>(bytes), count);
}

}  // namespace

// ---- DefineVideoStream, VideoFrame ----

bool DefineVideoStream::Exchange(BitStream& stream) {
  return ExchangeUI16(stream, CharacterID) && ExchangeUI16(stream, NumFrames) && ExchangeUI16(stream, Width) &&
         ExchangeUI16(stream, Height) && ExchangeBlock(stream, VideoFlagsReserved) &&
         ExchangeBlock(stream, VideoFlagsDeblocking) && ExchangeBlock(stream, VideoFlagsSmoothing) &&
         ExchangeUI8(stream, CodecID);
}

void DefineVideoStream::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"CharacterID: ", CharacterID);
  stream.PrintLabelled(L"NumFrames: ", NumFrames);
  stream.PrintLabelled(L"Width: ", Width);
  stream.PrintLabelled(L"Height: ", Height);
  stream.PrintLabelled(L"VideoFlagsReserved: ", static_cast<int32_t>(VideoFlagsReserved.value));
  stream.PrintLabelled(L"VideoFlagsDeblocking: ", static_cast<int32_t>(VideoFlagsDeblocking.value));
  stream.PrintLabelled(L"VideoFlagsSmoothing: ", static_cast<int32_t>(VideoFlagsSmoothing.value));
  stream.PrintLabelled(L"CodecID: ", CodecID);
}

bool VideoFrame::Exchange(BitStream& stream) {
  return ExchangeUI16(stream, StreamID) && ExchangeUI16(stream, FrameNum);
}

void VideoFrame::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"StreamID: ", StreamID);
  stream.PrintLabelled(L"FrameNum: ", FrameNum);
}

// ---- SwfVp6Encoder ----

EncodeResult SwfVp6Encoder::EncodeFrame(const uint8_t* data, int32_t size, int64_t position, MemOut& frame) {
  return WriteFrameTags(data, size, position, frame) ? EncodeResult::kWritten : EncodeResult::kFailed;
}

bool SwfVp6Encoder::WriteFrameTags(const uint8_t* data, int32_t size, int64_t position, MemOut& frame) {
  if (!data || size <= 0 || size > INT32_MAX - VideoFrame::kLength) return false;
  if (framesWritten_ == 0) {
    if (settings_->nextCharacterId > kMaxCharacterId || settings_->nextDepth >= kDepthLimit) return false;
    characterId_ = static_cast<uint16_t>(settings_->nextCharacterId++);
    depth_ = static_cast<uint16_t>(settings_->nextDepth++);
    if (!WriteRecordHeader(frame, kTagDefineVideoStream, DefineVideoStream::kLength)) return false;
    numFramesPosition_ = position + frame.GetPosition() + 2;
    DefineVideoStream stream;
    stream.CharacterID = characterId_;
    stream.Width = static_cast<uint16_t>(settings_->width);
    stream.Height = static_cast<uint16_t>(settings_->height);
    stream.VideoFlagsDeblocking = UBX<3>(2);
    stream.VideoFlagsSmoothing = UBX<1>(1);
    stream.CodecID = DefineVideoStream::kCodecVp6;
    if (!stream.Exchange(frame)) return false;
  }

  VideoFrame header;
  header.StreamID = characterId_;
  header.FrameNum = framesWritten_;
  if (!WriteRecordHeader(frame, kTagVideoFrame, size + VideoFrame::kLength) || !header.Exchange(frame) ||
      !WriteBytes(frame, data, size)) {
    return false;
  }

  uint16_t depth = depth_;
  if (framesWritten_ == 0) {
    uint8_t flags = kPlaceFirst;
    uint16_t character = characterId_;
    if (!WriteRecordHeader(frame, kTagPlaceObject2, kPlaceFirstLength) || !ExchangeUI8(frame, flags) ||
        !ExchangeUI16(frame, depth) || !ExchangeUI16(frame, character) ||
        !WriteBytes(frame, kPlaceMatrix, sizeof(kPlaceMatrix)) || !WriteBytes(frame, kStageName, sizeof(kStageName))) {
      return false;
    }
  } else {
    uint8_t flags = kPlaceMove;
    uint16_t ratio = framesWritten_;
    if (!WriteRecordHeader(frame, kTagPlaceObject2, kPlaceMoveLength) || !ExchangeUI8(frame, flags) ||
        !ExchangeUI16(frame, depth) || !ExchangeUI16(frame, ratio)) {
      return false;
    }
  }
  ++framesWritten_;
  return true;
}

void SwfVp6Encoder::DropFrame() {
  if (framesWritten_ > 0) --framesWritten_;
}

bool SwfVp6Encoder::Finish(BitStream& stream) {
  if (framesWritten_ == 0) return true;
  uint16_t count = framesWritten_;
  return stream.Seek(numFramesPosition_) && ExchangeUI16(stream, count);
}

// ---- SwfVideoIn ----

SwfVideoIn::SwfVideoIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock,
                       MuxSettings* settings)
    : SwfMuxIn(muxer, filterLock, receiveLock, L"Video Input", settings) {}

HRESULT SwfVideoIn::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  const HRESULT result = CheckVideoInfoType(type);
  if (result != S_OK) return result;
  const VIDEOINFOHEADER& info = *VideoInfo(*type);
  const BITMAPINFOHEADER& header = info.bmiHeader;
  if (!IsRgb32(*type, header) && !IsVp62(*type, header)) return S_FALSE;
  if (header.biWidth <= 0 || header.biWidth > kMaxMovieSide) return S_FALSE;
  if (header.biHeight == 0 || std::llabs(header.biHeight) > kMaxMovieSide) return S_FALSE;
  return IsMovieFrameTime(info.AvgTimePerFrame) ? S_OK : E_FAIL;
}

HRESULT SwfVideoIn::GetMediaType(int position, CMediaType* type) {
  return OfferMajorType(MEDIATYPE_Video, position, type);
}

HRESULT SwfVideoIn::OnPrepare(MuxSettings* settings) {
  HRESULT result = SwfMuxIn::OnPrepare(settings);
  if (FAILED(result)) {
    OnComError(kSource, 67, result);
    return result;
  }
  pool_.PutAll(queue_);
  encoder_ = CountedPtr<SwfVideoEncoder>();

  const CMediaType& type = CurrentMediaType();
  const VIDEOINFOHEADER* info = VideoInfo(type);
  if (!info || info->AvgTimePerFrame <= 0) return E_FAIL;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  settings->frameRate = static_cast<int32_t>(kFrameRateUnits / info->AvgTimePerFrame);
  settings->width = header.biWidth;
  settings->height = std::abs(header.biHeight);
  if (IsRgb32(type, header)) {
    encoder_ = CountedPtr<SwfVideoEncoder>(new SwfBoxEncoder(settings, header.biHeight > 0));
  } else if (IsVp62(type, header)) {
    encoder_ = CountedPtr<SwfVideoEncoder>(new SwfVp6Encoder(settings));
  }
  if (!encoder_.IsValid()) return E_FAIL;
  settings->version = std::max(settings->version, 8);
  return S_OK;
}

HRESULT SwfVideoIn::OnFinish(MuxSettings* settings, BitStream* stream) {
  HRESULT result = encoder_.IsValid() && stream && encoder_->Finish(*stream) ? S_OK : E_FAIL;
  const HRESULT opened = SwfMuxIn::OnFinish(settings, stream);
  if (FAILED(opened)) {
    OnComError(kSource, 106, opened);
    if (SUCCEEDED(result)) result = opened;
  }
  return result;
}

HRESULT SwfVideoIn::QueueSample(IMediaSample* sample) {
  std::unique_ptr<MediaPacket> packet = pool_.Get();
  const HRESULT result = packet->CopyFrom(sample);
  if (FAILED(result)) {
    pool_.Put(std::move(packet));
    return result;
  }
  queue_.push_back(std::move(packet));
  HoldWhenFull(queue_.size(), kQueueLimit);
  return S_OK;
}

int SwfVideoIn::WriteFrame(int64_t position, MemOut* frame, bool probe) {
  if (queue_.empty()) return endOfStream_ ? kMuxInFinished : kMuxInNeedsData;
  if (probe) return kMuxInReady;
  const MediaPacket& packet = *queue_.front();
  const std::vector<uint8_t>& data = packet.GetData();
  const int64_t size = static_cast<int64_t>(data.size());
  if (!frame || !encoder_.IsValid() || size == 0 || size > INT32_MAX) return kMuxInError;
  // A frame that cannot be written (one shorter than the picture, for RGB) stays queued; the movie
  // ends with an error, or before it when it is full.
  switch (encoder_->EncodeFrame(data.data(), static_cast<int32_t>(size), position, *frame)) {
    case EncodeResult::kWritten: break;
    case EncodeResult::kMovieFull: return kMuxInMovieFull;
    default: return kMuxInError;
  }
  settings_->currentPosition.store(packet.GetStartTime());
  pool_.Put(std::move(queue_.front()));
  queue_.pop_front();
  ReleaseWhenBelow(queue_.size(), kQueueLimit);
  return kMuxInReady;
}

void SwfVideoIn::DropFrame() {
  if (encoder_.IsValid()) encoder_->DropFrame();
}
