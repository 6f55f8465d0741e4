#pragma once
// What a host of deze's filters sees of them: their classes, the multiplexer's movie settings block
// with its state flags and limits, the two interfaces through which the host takes part in the
// writing (ISwfMuxer to register, ISwfMuxHandler to be called), and IVcmDriver, through which it
// gives the encoder its codec. No DirectShow base classes: the converter builds its graph from
// this alone.

#include <objbase.h>

#include <atomic>
#include <cstdint>

#include "common/stream.h"

inline constexpr CLSID CLSID_SwfMuxer = {0x7b26c2ef, 0x316a, 0x4e2a, {0xab, 0x85, 0xf2, 0x13, 0xb7, 0x82, 0xa1, 0xb1}};
inline constexpr CLSID CLSID_FileDump = {0x49f6d0d9, 0x8a20, 0x41bc, {0xa2, 0x56, 0x5a, 0x2a, 0x76, 0x25, 0x6d, 0xb3}};
inline constexpr CLSID CLSID_FlipFilter = {0xea4f7faf, 0x5421, 0x40e7, {0x95, 0xf0, 0xb2, 0x5f, 0x95, 0xfb, 0x96, 0x18}};
inline constexpr CLSID CLSID_VcmEncoderFilter = {
    0x4da6bf3b, 0x254e, 0x4cc0, {0x93, 0xf6, 0xc6, 0xcb, 0xd0, 0x3e, 0x6b, 0xf9}};

// MuxSettings::flags
inline constexpr int32_t kMuxFinished = 2;
inline constexpr int32_t kMuxFrameCapReached = 4;
inline constexpr int32_t kMuxError = 8;
// With kMuxError: the video ended before its first frame, the one failure that says the input
// holds no picture.
inline constexpr int32_t kMuxNoVideoFrame = 16;
// The lossless video ran out of 16-bit character identifiers: the movie ended, well, before the
// frame that did not fit (as at the frame cap).
inline constexpr int32_t kMuxCharacterLimitReached = 32;

// Frames of one movie at most; the frame that reaches it finishes the movie.
inline constexpr int32_t kMaxMovieFrames = 16000;
// FileLength is a UI32: a frame that would take the movie past it is left out, and the movie ends
// as at the frame cap.
inline constexpr int64_t kMaxMovieBytes = UINT32_MAX;

// The largest picture a movie holds, in pixels each way: its sizes in twips are 16 bits.
inline constexpr int32_t kMaxMovieSide = 3276;
// Whether a movie can play frames of this length (100 ns units): its 8.8 frame rate lies strictly
// between 1/256 and 256 frames a second.
inline constexpr bool IsMovieFrameTime(int64_t frameTime) {
  return frameTime > 0 && frameTime < int64_t{256} * 10000000 && frameTime * 256 > 10000000;
}

// The converter's movie control sits at this depth; no encoder takes it.
inline constexpr int32_t kMovieControlDepth = 16001;

// The movie settings block. The multiplexer owns it and zeroes it at every prepare; the inputs,
// encoders and handlers fill in their parts (sizes in pixels).
struct MuxSettings {
  // Everything 0 again.
  void Clear() {
    version = frameRate = width = height = 0;
    controlWidth = controlHeight = stageWidth = stageHeight = 0;
    nextCharacterId = nextDepth = frameCount = reserved0 = 0;
    duration.store(0);
    currentPosition.store(0);
    flags = reserved1 = 0;
  }

  int32_t version = 0;
  int32_t frameRate = 0;  // frames per second in 8.8 fixed point
  int32_t width = 0;
  int32_t height = 0;
  int32_t controlWidth = 0;  // a movie control below the video, set by a handler
  int32_t controlHeight = 0;
  int32_t stageWidth = 0;
  int32_t stageHeight = 0;
  int32_t nextCharacterId = 0;  // whoever takes one advances it
  int32_t nextDepth = 0;
  int32_t frameCount = 0;  // frames written; while a frame is written, its index
  int32_t reserved0 = 0;
  // Read by IMediaSeeking on another thread without a lock; 100 ns units.
  std::atomic<int64_t> duration{0};
  std::atomic<int64_t> currentPosition{0};
  int32_t flags = 0;  // kMuxFinished | kMuxFrameCapReached | kMuxError | kMuxNoVideoFrame | kMuxCharacterLimitReached
  int32_t reserved1 = 0;
};

// The i686 build must not tear the 64-bit positions.
static_assert(std::atomic<int64_t>::is_always_lock_free);

// Callbacks of the converter into the writing of a movie, on a streaming thread. Not reference
// counted: the caller keeps a handler alive as long as the filter may run. A result other than
// S_OK stops the movie.
class ISwfMuxHandler {
 public:
  // After the inputs filled the settings, before the stage size is worked out from them.
  virtual HRESULT OnPrepare(MuxSettings* settings) = 0;
  // Right after the file header; tags written here come before the first frame.
  virtual HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream) = 0;
  // Once for every movie whose header was written, one that then failed to start too: after the
  // End tag, the inputs' own finish and the header's rewrite; the stream's position is not defined.
  // The flags tell how the movie ended: kMuxError when any of that failed.
  virtual HRESULT OnFinish(MuxSettings* settings, BitStream* stream) = 0;

 protected:
  ~ISwfMuxHandler() = default;
};

struct ISwfMuxer : public IUnknown {
  // Appends the handler; the same handler added twice is called twice.
  virtual HRESULT STDMETHODCALLTYPE AddHandler(ISwfMuxHandler* handler) = 0;
  // Takes every entry of the handler out (S_FALSE when there was none), waiting for a call into the
  // handlers in progress; after it the multiplexer never calls that handler again. A handler that
  // goes before the filter does must be removed first.
  virtual HRESULT STDMETHODCALLTYPE RemoveHandler(ISwfMuxHandler* handler) = 0;
};

inline constexpr IID IID_ISwfMuxer = {0x7897dd36, 0x74d5, 0x4b85, {0x95, 0x63, 0x4a, 0x3f, 0xc2, 0x7f, 0xcb, 0xd9}};
__CRT_UUID_DECL(ISwfMuxer, 0x7897dd36, 0x74d5, 0x4b85, 0x95, 0x63, 0x4a, 0x3f, 0xc2, 0x7f, 0xcb, 0xd9)

// The encoder filter's codec, loaded by path rather than through the system's codec registry.
struct IVcmDriver : public IUnknown {
  // Replaces the codec with the library's, opened as a compressor for the FourCC: S_OK when it is
  // open, E_FAIL when not (it replaces the old one all the same), E_POINTER for a null path,
  // VFW_E_NOT_STOPPED while the filter runs.
  virtual HRESULT STDMETHODCALLTYPE LoadDriver(const wchar_t* path, DWORD fourcc) = 0;
  // The codec's answer; -100 without an open codec. Pointers pass whole, unlike through
  // IAMVfwCompressDialogs::SendDriverMessage, whose parameters are 32 bits wide.
  virtual LRESULT STDMETHODCALLTYPE DriverMessage(UINT message, LPARAM param1, LPARAM param2) = 0;
};

inline constexpr IID IID_IVcmDriver = {0xc7bc673d, 0x1247, 0x43ab, {0xb0, 0x62, 0x59, 0xaf, 0x2d, 0xc9, 0x3f, 0x45}};
__CRT_UUID_DECL(IVcmDriver, 0xc7bc673d, 0x1247, 0x43ab, 0xb0, 0x62, 0x59, 0xaf, 0x2d, 0xc9, 0x3f, 0x45)
