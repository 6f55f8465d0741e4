#pragma once
// The multiplexer's video input and its per-frame writers. The input takes uncompressed 32-bit RGB
// or VP6 frames (FourCC VP62), fixes the movie's frame rate and size from the connected format, and
// hands each queued frame to a SwfVideoEncoder: SwfBoxEncoder (swfbox.h) draws RGB frames losslessly
// as bitmaps of their changed areas; SwfVp6Encoder embeds the VP6 frames as an SWF video stream on
// one display depth.

#include <cstdint>
#include <deque>
#include <memory>

#include "app/deze/source/packet.h"
#include "common/counted.h"
#include "media/swfrecord.h"

struct MuxSettings;

// Character identifiers and depths are UI16 in the tags: an encoder takes none beyond these.
inline constexpr int32_t kMaxCharacterId = 0xFFFF;
inline constexpr int32_t kDepthLimit = 0xFFFF;  // the first depth an encoder may not take

// What an encoder made of a frame. kMovieFull is a limit of the format, not a failure: the frame
// would need more than the movie can still define, nothing of it was written, and the movie ends
// before it.
enum class EncodeResult { kWritten, kFailed, kMovieFull };

// Writes the SWF tags of one video frame at a time.
class SwfVideoEncoder {
 public:
  virtual ~SwfVideoEncoder() = default;
  // This frame's tags into `frame`; `position` is where the frame's bytes will start in the output.
  virtual EncodeResult EncodeFrame(const uint8_t* data, int32_t size, int64_t position, MemOut& frame) = 0;
  // The frame last encoded was left out of the file, and the movie ends before it.
  virtual void DropFrame() {}
  // Completes what was written, at the end of the movie.
  virtual bool Finish(BitStream& stream) = 0;
};

// The DefineVideoStream tag body (code 60).
class DefineVideoStream : public FlashBlock {
 public:
  static constexpr int32_t kLength = 10;
  static constexpr uint8_t kCodecVp6 = 4;

  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint16_t CharacterID = 0;
  uint16_t NumFrames = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  UBX<4> VideoFlagsReserved;
  UBX<3> VideoFlagsDeblocking;
  UBX<1> VideoFlagsSmoothing;
  uint8_t CodecID = 0;
};

// The two fields that start a VideoFrame tag body (code 61); the frame's bytes follow.
class VideoFrame : public FlashBlock {
 public:
  static constexpr int32_t kLength = 4;

  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint16_t StreamID = 0;
  uint16_t FrameNum = 0;
};

// One DefineVideoStream at the first frame; per frame a VideoFrame and a PlaceObject2 (placing the
// video as "videoStage" first, then moving it on to the frame's ratio). NumFrames is patched at the
// finish.
class SwfVp6Encoder : public SwfVideoEncoder {
 public:
  // Reads the size and takes a character identifier and a depth from the settings, which outlive
  // the encoder.
  explicit SwfVp6Encoder(MuxSettings* settings) : settings_(settings) {}

  // Fails when no character identifier or depth is left for the video.
  EncodeResult EncodeFrame(const uint8_t* data, int32_t size, int64_t position, MemOut& frame) override;
  void DropFrame() override;
  // Writes the frame count into NumFrames; with no frame written there is nothing to patch.
  bool Finish(BitStream& stream) override;

 private:
  bool WriteFrameTags(const uint8_t* data, int32_t size, int64_t position, MemOut& frame);

  MuxSettings* settings_;
  uint16_t framesWritten_ = 0;
  uint16_t characterId_ = 0;
  uint16_t depth_ = 0;
  int64_t numFramesPosition_ = 0;  // in the output
};

class SwfVideoIn : public SwfMuxIn {
 public:
  SwfVideoIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock, MuxSettings* settings);

  // VIDEOINFOHEADER video: RGB32 (BI_RGB, 32 bits) or VP62, at most 3276 pixels each way, and a
  // frame rate strictly between 1/256 and 256 per second (E_FAIL when not).
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;

  // Empties the queue, sets the movie's rate, size and version and makes a new encoder.
  HRESULT OnPrepare(MuxSettings* settings) override;
  // The encoder's finish, then the base's, which always runs.
  HRESULT OnFinish(MuxSettings* settings, BitStream* stream) override;
  HRESULT QueueSample(IMediaSample* sample) override;
  // One queued frame per SWF frame; a frame shorter than the picture is an error, one the movie
  // cannot hold any more is kMuxInMovieFull.
  int WriteFrame(int64_t position, MemOut* frame, bool probe) override;
  void DropFrame() override;

 private:
  static constexpr size_t kQueueLimit = 4;

  PacketPool<MediaPacket> pool_{kQueueLimit};
  std::deque<std::unique_ptr<MediaPacket>> queue_;
  CountedPtr<SwfVideoEncoder> encoder_;
};
