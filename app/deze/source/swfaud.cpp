#include "app/deze/source/swfaud.h"

#include <mmreg.h>

#include <algorithm>

#include "app/deze/source/swfmux.h"
#include "media/comx.h"

namespace {

constexpr wchar_t kSource[] = L"swfaud";
// An MPEGLAYER3WAVEFORMAT block.
constexpr ULONG kMp3FormatBytes = 30;

// kbit/s by bitrate index 0 to 14: MPEG-1 Layer I, II, III, then MPEG-2 (and 2.5) Layer I, II and III.
constexpr int16_t kBitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

// Hz by version (MPEG-1, 2, 2.5) and sampling index.
constexpr int32_t kSamplingRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

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

// ---- Mp3Frame ----

int32_t Mp3Frame::Syncword() const { return Size() < 2 ? 0 : (Byte(0) << 3) | (Byte(1) >> 5); }

int32_t Mp3Frame::Version() const {
  static constexpr int32_t kVersions[4] = {2, 3, 1, 0};  // by the two version bits
  return Size() < 2 ? 4 : kVersions[(Byte(1) >> 3) & 3];
}

int32_t Mp3Frame::Layer() const {
  static constexpr int32_t kLayers[4] = {3, 2, 1, 0};  // by the two layer bits
  return Size() < 2 ? 4 : kLayers[(Byte(1) >> 1) & 3];
}

bool Mp3Frame::HasCrc() const { return Size() >= 2 && (Byte(1) & 1) == 0; }

int32_t Mp3Frame::BitrateIndex() const { return Size() < 3 ? 16 : Byte(2) >> 4; }

int32_t Mp3Frame::Bitrate() const {
  const int32_t version = Version();
  const int32_t layer = Layer();
  const int32_t index = BitrateIndex();
  if (version > 2 || layer > 2 || index > 15) return -1;
  if (index == 15) return -1;
  const int32_t column = version == 0 ? layer : 3 + std::min(layer, 1);
  return kBitrates[column][index] * 1000;
}

int32_t Mp3Frame::SamplingIndex() const { return Size() < 3 ? 4 : (Byte(2) >> 2) & 3; }

int32_t Mp3Frame::SamplingRate() const {
  const int32_t version = Version();
  const int32_t index = SamplingIndex();
  if (version > 2 || index > 2) return -1;
  return kSamplingRates[version][index];
}

int32_t Mp3Frame::Padding() const { return Size() < 3 ? 0 : (Byte(2) >> 1) & 1; }

int32_t Mp3Frame::ChannelMode() const { return Size() < 4 ? 4 : Byte(3) >> 6; }

int32_t Mp3Frame::SamplesPerFrame() const {
  switch (Layer()) {
    case 0: return 384;
    case 1: return 1152;
    case 2: return Version() == 0 ? 1152 : (Version() <= 2 ? 576 : 0);
    default: return 0;
  }
}

int32_t Mp3Frame::FrameLength() const {
  if (Size() < 3 || Version() > 2 || Layer() > 2) return -1;
  const int64_t bitrate = Bitrate();
  const int64_t rate = SamplingRate();
  if (bitrate <= 0 || rate <= 0) return -1;
  // Layer I counts in slots of 4 bytes.
  if (Layer() == 0) return static_cast<int32_t>((12 * bitrate / rate + Padding()) * 4);
  return static_cast<int32_t>(SamplesPerFrame() / 8 * bitrate / rate + Padding());
}

bool Mp3Frame::IsHeaderValid() const {
  if (Size() < kHeaderBytes) return false;
  return Byte(0) == 0xFF && Byte(1) >= 0xE0 && ((Byte(1) >> 3) & 3) != 1 && ((Byte(1) >> 1) & 3) != 0 &&
         BitrateIndex() != 15 && SamplingIndex() != 3;
}

bool Mp3Frame::IsComplete() const {
  return Size() > 3 && IsHeaderValid() && Size() == FrameLength();
}

bool Mp3Frame::Append(BitStream& source) {
  const int32_t held = Size();
  if (held < kHeaderBytes) {
    bytes_.resize(kHeaderBytes);
    const int32_t read = source.Transfer(bytes_.data() + held, kHeaderBytes - held);
    if (read < 0) {
      bytes_.resize(static_cast<size_t>(held));
      return false;
    }
    bytes_.resize(static_cast<size_t>(held + read));
    if (Size() > 1 && Syncword() != kSyncword) return false;
    if (Size() < kHeaderBytes) return true;
  }
  const int32_t length = FrameLength();
  if (length <= 3) return false;
  const int32_t have = Size();
  if (have >= length) return have == length;
  bytes_.resize(static_cast<size_t>(length));
  const int32_t read = source.Transfer(bytes_.data() + have, length - have);
  if (read < 0) {
    bytes_.resize(static_cast<size_t>(have));
    return false;
  }
  bytes_.resize(static_cast<size_t>(have + read));
  return true;
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
  while (!bytes.AtEnd()) {
    if (!current) {
      queue_.push_back(pool_.Get());
      current = queue_.back().get();
    }
    if (!current->Append(bytes)) return E_FAIL;
    if (current->IsComplete()) {
      current = nullptr;
    } else if (!bytes.AtEnd()) {
      return E_FAIL;
    }
  }
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
  // SampleCount has 16 bits: a block of a very slow movie holds no more frames than it can count,
  // and the rest follow in the next blocks.
  const int64_t count = std::min({available, needed, int64_t{UINT16_MAX} / samplesPerFrame});
  block_.SampleCount = static_cast<uint16_t>(samplesPerFrame * count);
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
