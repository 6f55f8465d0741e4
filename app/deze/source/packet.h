#pragma once
// The multiplexer's input side: SwfMuxIn, the input pin every stream of the movie arrives on, the
// copied sample MediaPacket and the PacketPool of spare queue items.
//
// A pin queues what it receives; the multiplexer asks the pins for one SWF frame's tags at a time.
// A full queue blocks the pin's upstream thread on the pin's own flow-control event, waited on
// before any lock is taken, so a blocked stream never holds up the stream that would drain it.

#include <dshow.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "common/stream.h"
#include "common/sync.h"
#include "platform/dshow/pin.h"

class SwfMuxer;
struct MuxSettings;

// What SwfMuxIn::WriteFrame answers.
enum MuxInState : int {
  kMuxInReady = 0,      // has what the next frame needs
  kMuxInError = 1,
  kMuxInNeedsData = 2,
  kMuxInFinished = 3,   // stream ended and everything written
  kMuxInMovieFull = 4,  // the next frame does not fit the format's limits: the movie ends before it
};

// One media sample, copied out of its IMediaSample.
class MediaPacket {
 public:
  virtual ~MediaPacket() = default;

  // Empties the packet; the data keeps its capacity.
  void Reset();
  // Times and sync flag as the sample reports them, then a copy of its data.
  HRESULT CopyFrom(IMediaSample* sample);

  int64_t GetStartTime() const { return start; }
  const std::vector<uint8_t>& GetData() const { return data; }

  bool hasStart = false;
  bool hasStop = false;
  int64_t start = 0;  // 100 ns units
  int64_t stop = 0;
  bool syncPoint = false;
  std::vector<uint8_t> data;
};

// Spare queue items of one kind, reused so that a steady stream allocates nothing. The pool owns
// its spares. Its lock is taken inside the receive lock, and alone from the owning pin's destructor.
template <class Item>
class PacketPool {
 public:
  explicit PacketPool(size_t capacity) : capacity_(capacity) {}
  PacketPool(const PacketPool&) = delete;
  PacketPool& operator=(const PacketPool&) = delete;

  // The oldest spare, or a new empty item.
  std::unique_ptr<Item> Get() {
    ScopedLock lock(&lock_);
    if (spares_.empty()) return std::make_unique<Item>();
    std::unique_ptr<Item> item = std::move(spares_.front());
    spares_.pop_front();
    return item;
  }

  // Keeps the item emptied while there is room, else deletes it.
  void Put(std::unique_ptr<Item> item) {
    if (!item) return;
    ScopedLock lock(&lock_);
    if (spares_.size() >= capacity_) return;
    item->Reset();
    spares_.push_back(std::move(item));
  }

  // Takes back every item of a queue, which is then empty.
  void PutAll(std::deque<std::unique_ptr<Item>>& queue) {
    for (std::unique_ptr<Item>& item : queue) Put(std::move(item));
    queue.clear();
  }

  // Spares beyond a smaller capacity are deleted.
  void SetCapacity(size_t capacity) {
    ScopedLock lock(&lock_);
    capacity_ = capacity;
    while (spares_.size() > capacity_) spares_.pop_back();
  }

 private:
  CriticalSection lock_;
  size_t capacity_;
  std::deque<std::unique_ptr<Item>> spares_;
};

// The base of the multiplexer's input pins. Receive and EndOfStream hand over to the multiplexer
// under the receive lock, which both input pins share; the concrete pin supplies the media types,
// the queue and the frame writing.
class SwfMuxIn : public CBaseInputPin {
 public:
  SwfMuxIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock, const wchar_t* name,
           MuxSettings* settings);

  // IMemInputPin: waits while the pin's queue is full, then queues the sample and writes what
  // frames it can. S_FALSE after this pin's end of stream.
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  // Receive blocks while the queue is full.
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }
  // IPin: only the first end of stream of a run reaches the multiplexer.
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  // A flush must not wait on a thread blocked by a full queue: the blocked Receive wakes up and
  // sees the flush. Queued items stay.
  HRESULT STDMETHODCALLTYPE BeginFlush() override;

  // stop - current of the upstream pin's IMediaSeeking; 0 when unknown.
  virtual int64_t GetUpstreamDuration();
  // Opens the flow, clears the end of stream and raises the settings' duration to the upstream one.
  virtual HRESULT OnPrepare(MuxSettings* settings);
  virtual HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream);
  // Opens the flow, so that no upstream thread stays blocked on a finished movie.
  virtual HRESULT OnFinish(MuxSettings* settings, BitStream* stream);
  // Takes the sample's content into the queue.
  virtual HRESULT QueueSample(IMediaSample* sample) = 0;
  // Writes this frame's tags into `frame` (a MuxInState). `position` is where the frame's bytes
  // will start in the output; the pin's own bytes start at position + frame->GetPosition(). With
  // `probe` only says whether the pin could contribute to the next frame.
  virtual int WriteFrame(int64_t position, MemOut* frame, bool probe) = 0;
  // The frame last written never reaches the file, and the movie ends before it: what the finish
  // writes must not count it.
  virtual void DropFrame() {}

 protected:
  // The one type a pin offers: only its major type, E_INVALIDARG for a negative position.
  static HRESULT OfferMajorType(const GUID& majorType, int position, CMediaType* type);
  // After items were queued: a queue at its limit stops the upstream thread at its next Receive.
  void HoldWhenFull(size_t queued, size_t limit);
  // After items were taken off: a queue below its limit lets the upstream thread go on.
  void ReleaseWhenBelow(size_t queued, size_t limit);

  SwfMuxer* muxer_;
  CriticalSection* receiveLock_;
  MuxSettings* settings_;
  Event flowControl_{true, false};
  bool endOfStream_ = false;
};
