#include "app/deze/source/swfaud.h"

#include <mmreg.h>

#include <algorithm>

#include "app/deze/source/swfmux.h"
#include "media/comx.h"

namespace {

constexpr wchar_t kSource[] = L"swfaud";
// An MPEGLAYER3WAVEFORMAT block.
constexpr ULONG kMp3FormatBytes = 30;

// The SWF rate code of a sample rate.
uint32_t RateCode(int32_t rate) { return rate == 11025 ? 1 : (rate == 22050 ? 2 : 3); }

}  // namespace

// ---- SoundStreamHead2 ----

bool SoundStreamHead2::Exchange(BitStream& stream) {
  if (!ExchangeBlock(stream, Reserved) || !ExchangeBlock(stream, PlaybackSoundRate) ||
      !ExchangeBlock(stream, PlaybackSoundSize) || !ExchangeBlock(stream, PlaybackSoundType) ||
      !ExchangeBlock(stream, StreamSoundCompression) || !ExchangeBlock(stream, StreamSoundRate) ||
      !ExchangeBlock(stream, StreamSoundSize) || !ExchangeBlock(stream, StreamSoundType) ||
      !ExchangeUI16(stream, StreamSoundSampleCount)) {
    return false;
  }
  if (StreamSoundCompression.value != kCompressionMp3) return true;
  uint16_t latency = static_cast<uint16_t>(LatencySeek);
  if (!ExchangeUI16(stream, latency)) return false;
  LatencySeek = static_cast<int16_t>(latency);
  return true;
}

void SoundStreamHead2::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"Reserved: ", static_cast<int32_t>(Reserved.value));
  stream.PrintLabelled(L"PlaybackSoundRate: ", static_cast<int32_t>(PlaybackSoundRate.value));
  stream.PrintLabelled(L"PlaybackSoundSize: ", static_cast<int32_t>(PlaybackSoundSize.value));
  stream.PrintLabelled(L"PlaybackSoundType: ", static_cast<int32_t>(PlaybackSoundType.value));
  stream.PrintLabelled(L"StreamSoundCompression: ", static_cast<int32_t>(StreamSoundCompression.value));
  stream.PrintLabelled(L"StreamSoundRate: ", static_cast<int32_t>(StreamSoundRate.value));
  stream.PrintLabelled(L"StreamSoundSize: ", static_cast<int32_t>(StreamSoundSize.value));
  stream.PrintLabelled(L"StreamSoundType: ", static_cast<int32_t>(StreamSoundType.value));
  if (StreamSoundCompression.value == kCompressionMp3)
    stream.PrintLabelled(L"StreamSoundSampleCount: ", StreamSoundSampleCount);
}

// ---- MP3SOUNDDATA ----

bool MP3SOUNDDATA::Exchange(BitStream& stream) {
  uint16_t seek = static_cast<uint16_t>(SeekSamples);
  if (!ExchangeUI16(stream, SampleCount) || !ExchangeUI16(stream, seek)) return false;
  SeekSamples = static_cast<int16_t>(seek);
  if (!stream.IsReading()) {
    return stream.TransferExactly(Mp3Frames.data(), static_cast<int32_t>(Mp3Frames.size()));
  }
  Mp3Frames.clear();
  return length >= 4 && ReadBodyBytes(stream, length - 4, Mp3Frames);
}

void MP3SOUNDDATA::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"SampleCount: ", SampleCount);
  stream.PrintLabelled(L"SeekSamples: ", SeekSamples);
  stream.Printf(L"Mp3Frames.size() == %d\n", static_cast<int>(Mp3Frames.size()));
}

// ---- MP3FRAMEHEADER ----

bool MP3FRAMEHEADER::Exchange(BitStream& stream) {
  for (UB* field : {static_cast<UB*>(&Syncword), static_cast<UB*>(&MpegVersion), static_cast<UB*>(&Layer),
                    static_cast<UB*>(&ProtectionBit), static_cast<UB*>(&Bitrate), static_cast<UB*>(&SamplingRate),
                    static_cast<UB*>(&PaddingBit), static_cast<UB*>(&Reserved), static_cast<UB*>(&ChannelMode),
                    static_cast<UB*>(&ModeExtension), static_cast<UB*>(&Copyright), static_cast<UB*>(&Original),
                    static_cast<UB*>(&Emphasis)}) {
    if (!ExchangeBlock(stream, *field)) return false;
  }
  return true;
}

void MP3FRAMEHEADER::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  const struct {
    const wchar_t* label;
    const UB& field;
  } fields[] = {{L"Syncword: ", Syncword},       {L"MpegVersion: ", MpegVersion},     {L"Layer: ", Layer},
                {L"ProtectionBit: ", ProtectionBit}, {L"Bitrate: ", Bitrate},       {L"SamplingRate: ", SamplingRate},
                {L"PaddingBit: ", PaddingBit},   {L"Reserved: ", Reserved},           {L"ChannelMode: ", ChannelMode},
                {L"ModeExtension: ", ModeExtension}, {L"Copyright: ", Copyright},   {L"Original: ", Original},
                {L"Emphasis: ", Emphasis}};
  for (const auto& line : fields) stream.PrintLabelled(line.label, static_cast<int32_t>(line.field.value));
}

// ---- SwfAudioIn ----

SwfAudioIn::SwfAudioIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock,
                       MuxSettings* settings)
    : SwfMuxIn(muxer, filterLock, receiveLock, L"Audio Input", settings) {}

HRESULT SwfAudioIn::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (*type->Type() != MEDIATYPE_Audio || *type->Subtype() != FOURCCMap(WAVE_FORMAT_MPEGLAYER3) ||
      *type->FormatType() != FORMAT_WaveFormatEx || type->FormatLength() < kMp3FormatBytes || !type->Format()) {
    return E_FAIL;
  }
  const WAVEFORMATEX& wave = *reinterpret_cast<const WAVEFORMATEX*>(type->Format());
  if (wave.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || (wave.nChannels != 1 && wave.nChannels != 2)) return E_FAIL;
  switch (wave.nSamplesPerSec) {
    case 11025: case 22050: case 44100: return S_OK;
    default: return E_FAIL;
  }
}

HRESULT SwfAudioIn::GetMediaType(int position, CMediaType* type) {
  return OfferMajorType(MEDIATYPE_Audio, position, type);
}

HRESULT SwfAudioIn::OnPrepare(MuxSettings* settings) {
  const HRESULT result = SwfMuxIn::OnPrepare(settings);
  if (FAILED(result)) {
    OnComError(kSource, 71, result);
    return result;
  }
  // A movie that ended early leaves frames behind; they are not this movie's sound.
  pool_.PutAll(queue_);
  const CMediaType& type = CurrentMediaType();
  if (type.FormatLength() < sizeof(WAVEFORMATEX) || !type.Format()) return E_FAIL;
  const WAVEFORMATEX& wave = *reinterpret_cast<const WAVEFORMATEX*>(type.Format());
  channels_ = wave.nChannels;
  sampleRate_ = static_cast<int32_t>(wave.nSamplesPerSec);
  averageBytesPerSecond_ = static_cast<int32_t>(wave.nAvgBytesPerSec);
  samplesPerFrame_ = sampleRate_ == 44100 ? 1152 : 576;
  samplesWritten_ = 0;
  if (settings->frameRate <= 0 || sampleRate_ <= 0) return E_FAIL;

  const double secondsPerFrame = static_cast<double>(samplesPerFrame_) / sampleRate_;
  const auto fourSwfFrames = static_cast<size_t>(256.0 / (secondsPerFrame * settings->frameRate)) * 4;
  const auto tenSeconds = static_cast<size_t>(10.0 / secondsPerFrame);
  queueLimit_ = std::max(fourSwfFrames, tenSeconds);
  pool_.SetCapacity(queueLimit_ + 32);
  return S_OK;
}

HRESULT SwfAudioIn::OnFinish(MuxSettings* settings, BitStream* stream) {
  const HRESULT result = SwfMuxIn::OnFinish(settings, stream);
  if (FAILED(result)) OnComError(kSource, 107, result);
  return result;
}

HRESULT SwfAudioIn::QueueSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  const HRESULT result = sample->GetPointer(&data);
  if (FAILED(result)) {
    OnComError(kSource, 114, result);
    return result;
  }
  const long length = sample->GetActualDataLength();
  if (!data || length < 0) return E_FAIL;
  if (length == 0) return S_OK;

  BufferStream bytes(data, static_cast<size_t>(length));
  Mp3Frame* current = !queue_.empty() && !queue_.back()->IsComplete() ? queue_.back().get() : nullptr;
  const auto nextFrame = [this] {
    queue_.push_back(pool_.Get());
    return queue_.back().get();
  };
  if (!CutMp3Frames(bytes, current, nextFrame)) return E_FAIL;
  HoldWhenFull(queue_.size(), queueLimit_);
  return S_OK;
}

int64_t SwfAudioIn::CompleteFrames() const {
  const auto queued = static_cast<int64_t>(queue_.size());
  return !queue_.empty() && !queue_.back()->IsComplete() ? queued - 1 : queued;
}

bool SwfAudioIn::WriteSoundHead(MemOut& frame) const {
  SoundStreamHead2 head;
  const uint32_t rateCode = RateCode(sampleRate_);
  const uint32_t stereo = channels_ == 2 ? 1 : 0;
  head.PlaybackSoundRate = UBX<2>(rateCode);
  head.PlaybackSoundSize = UBX<1>(1);
  head.PlaybackSoundType = UBX<1>(stereo);
  head.StreamSoundCompression = UBX<4>(SoundStreamHead2::kCompressionMp3);
  head.StreamSoundRate = UBX<2>(rateCode);
  head.StreamSoundSize = UBX<1>(1);
  head.StreamSoundType = UBX<1>(stereo);
  // A very slow movie would wrap the 16-bit count.
  head.StreamSoundSampleCount =
      static_cast<uint16_t>(std::min<int32_t>(sampleRate_ * 256 / settings_->frameRate, UINT16_MAX));
  return WriteRecordHeader(frame, kTagSoundStreamHead2, SoundStreamHead2::kLength) && head.Exchange(frame);
}

int SwfAudioIn::WriteFrame(int64_t, MemOut* frame, bool probe) {
  if (endOfStream_) {
    if (!queue_.empty() && !queue_.back()->IsComplete()) {
      pool_.Put(std::move(queue_.back()));
      queue_.pop_back();
    }
    if (queue_.empty()) return kMuxInFinished;
  }
  const int64_t index = settings_->frameCount;
  const int64_t frameRate = settings_->frameRate;
  const int64_t samplesPerFrame = samplesPerFrame_;
  if (frameRate <= 0 || index < 0 || samplesPerFrame <= 0) return kMuxInError;

  // The samples of SWF frame n run from n·R·256/F to (n+1)·R·256/F.
  const int64_t start = index * sampleRate_ * 256 / frameRate;
  const int64_t end = (index + 1) * sampleRate_ * 256 / frameRate;
  if (start < samplesWritten_) return kMuxInError;
  const int64_t needed = (end - samplesWritten_) / samplesPerFrame;
  const int64_t available = CompleteFrames();
  if (!endOfStream_ && available < needed) return kMuxInNeedsData;
  // The sound head is checked against the first frame, so it waits for one.
  if (samplesWritten_ == 0 && available == 0) return kMuxInNeedsData;
  if (probe) return kMuxInReady;
  if (!frame) return kMuxInError;

  if (samplesWritten_ == 0) {
    const Mp3Frame& first = *queue_.front();
    if (first.Size() <= Mp3Frame::kHeaderBytes || !first.IsHeaderValid() || !WriteSoundHead(*frame))
      return kMuxInError;
  }
  // Every frame the window needs, so that the sound keeps up with the picture; SampleCount has 16
  // bits, and the block of a very slow movie says it holds the most it can count.
  const int64_t count = std::min(available, needed);
  block_.SampleCount = static_cast<uint16_t>(std::min<int64_t>(samplesPerFrame * count, UINT16_MAX));
  block_.SeekSamples = count > 0 ? static_cast<int16_t>(std::min<int64_t>(start - samplesWritten_, INT16_MAX)) : 0;
  block_.Mp3Frames.clear();
  for (int64_t i = 0; i < count; ++i) {
    const std::vector<uint8_t>& bytes = queue_.front()->Bytes();
    block_.Mp3Frames.insert(block_.Mp3Frames.end(), bytes.begin(), bytes.end());
    pool_.Put(std::move(queue_.front()));
    queue_.pop_front();
  }
  ReleaseWhenBelow(queue_.size(), queueLimit_);
  if (block_.Mp3Frames.size() > static_cast<size_t>(INT32_MAX - 4) ||
      !WriteRecordHeader(*frame, kTagSoundStreamBlock, block_.GetBodyLength()) || !block_.Exchange(*frame)) {
    return kMuxInError;
  }
  samplesWritten_ += samplesPerFrame * count;
  return kMuxInReady;
}
