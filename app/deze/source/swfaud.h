#pragma once
// The multiplexer's audio input: an MP3 stream cut into whole MPEG audio frames and written as SWF
// streaming sound, one SoundStreamHead2 before the first sound and one SoundStreamBlock per SWF
// frame holding the whole MP3 frames that the frame's time span needs.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "app/deze/source/mp3.h"
#include "app/deze/source/packet.h"
#include "media/swfrecord.h"

// The SoundStreamHead2 tag body (code 45).
class SoundStreamHead2 : public FlashBlock {
 public:
  static constexpr int32_t kLength = 6;
  static constexpr uint32_t kCompressionMp3 = 2;

  // LatencySeek moves only with MP3 compression.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  UBX<4> Reserved;
  UBX<2> PlaybackSoundRate;  // 1 11025 Hz, 2 22050 Hz, 3 44100 Hz
  UBX<1> PlaybackSoundSize;  // 1: 16 bits
  UBX<1> PlaybackSoundType;  // 1: stereo
  UBX<4> StreamSoundCompression;
  UBX<2> StreamSoundRate;
  UBX<1> StreamSoundSize;
  UBX<1> StreamSoundType;
  uint16_t StreamSoundSampleCount = 0;  // samples per SWF frame
  int16_t LatencySeek = 0;
};

// The SoundStreamBlock tag body (code 19) of MP3 sound: whole MP3 frames.
class MP3SOUNDDATA : public FlashBlock {
 public:
  int32_t GetBodyLength() const { return 4 + static_cast<int32_t>(Mp3Frames.size()); }
  // Reading takes `length` (the tag's) minus 4 bytes of frames and never more than the stream holds.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t length = 0;
  uint16_t SampleCount = 0;
  int16_t SeekSamples = 0;  // from the start of the SWF frame to the block's first sample
  std::vector<uint8_t> Mp3Frames;
};

// The four header bytes of an MPEG audio frame as their bit fields.
class MP3FRAMEHEADER : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  UBX<11> Syncword;
  UBX<2> MpegVersion;
  UBX<2> Layer;
  UBX<1> ProtectionBit;
  UBX<4> Bitrate;
  UBX<2> SamplingRate;
  UBX<1> PaddingBit;
  UBX<1> Reserved;
  UBX<2> ChannelMode;
  UBX<2> ModeExtension;
  UBX<1> Copyright;
  UBX<1> Original;
  UBX<2> Emphasis;
};

class SwfAudioIn : public SwfMuxIn {
 public:
  SwfAudioIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock, MuxSettings* settings);

  // MP3 in WAVEFORMATEX, mono or stereo, at 11025, 22050 or 44100 Hz; E_FAIL for anything else.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;

  // Empties the queue, takes the format and works out the queue limit: the larger of four SWF
  // frames' and ten seconds' worth of MP3 frames. Fails without a video frame rate.
  HRESULT OnPrepare(MuxSettings* settings) override;
  HRESULT OnFinish(MuxSettings* settings, BitStream* stream) override;
  // Cuts the bytes into frames; a sample may end inside a frame, the next one continues it.
  HRESULT QueueSample(IMediaSample* sample) override;
  // The sound block of SWF frame settings->frameCount, and the sound head before the first sound.
  int WriteFrame(int64_t position, MemOut* frame, bool probe) override;

  size_t QueueLimit() const { return queueLimit_; }

 private:
  static constexpr size_t kInitialLimit = 100;

  int64_t CompleteFrames() const;
  bool WriteSoundHead(MemOut& frame) const;

  PacketPool<Mp3Frame> pool_{kInitialLimit};
  std::deque<std::unique_ptr<Mp3Frame>> queue_;  // only the newest frame may be incomplete
  size_t queueLimit_ = kInitialLimit;
  int32_t channels_ = 0;
  int32_t sampleRate_ = 0;
  int32_t averageBytesPerSecond_ = 0;
  int32_t samplesPerFrame_ = 0;
  int64_t samplesWritten_ = 0;
  MP3SOUNDDATA block_;  // reused from frame to frame
};
