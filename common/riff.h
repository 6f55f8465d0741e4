#pragma once
// A reader of RIFF files (the chunk format of AVI and WAVE): a walker that calls a handler for each
// chunk of a chunk's span, a handler that builds the chunk tree in memory and one that prints it.
// Chunk ids and list types are FOURCCs; sizes are read as stored, little-endian.

#include <cstdint>
#include <memory>
#include <vector>

#include "common/counted.h"
#include "common/stream.h"

class TextStream;

constexpr uint32_t kRiffId = 0x46464952;  // "RIFF"
constexpr uint32_t kListId = 0x5453494C;  // "LIST"

class Chunk {
 public:
  Chunk() = default;
  Chunk(uint32_t id, uint32_t listType, int64_t dataPosition, uint32_t dataLength)
      : id(id), listType(listType), dataPosition(dataPosition), dataLength(dataLength) {}
  virtual ~Chunk() = default;
  Chunk(const Chunk&) = default;
  Chunk& operator=(const Chunk&) = default;

  bool Is(uint32_t chunkId, uint32_t chunkListType) const { return id == chunkId && listType == chunkListType; }
  bool IsList() const { return id == kRiffId || id == kListId; }
  // Reads the first n bytes of the data: n when 0 < n <= data length and all arrived, else 0.
  int32_t ReadData(DataStream& stream, void* buffer, int32_t n) const;

  uint32_t id = 0;
  uint32_t listType = 0;     // 0 for a chunk that is not a list
  int64_t dataPosition = 0;  // first data byte; after the list type for a list
  uint32_t dataLength = 0;   // the stored size, minus 4 for a list
};

class ChunkNode : public Chunk {
 public:
  explicit ChunkNode(const Chunk& chunk) : Chunk(chunk) {}

  // Takes the node and becomes its parent.
  ChunkNode* AddChild(std::unique_ptr<ChunkNode> node);
  // The first child with that id and list type, or null.
  ChunkNode* FindChild(uint32_t chunkId, uint32_t chunkListType) const;
  ChunkNode* GetParent() const { return parent_; }
  const std::vector<std::unique_ptr<ChunkNode>>& GetChildren() const { return children_; }

 private:
  ChunkNode* parent_ = nullptr;
  std::vector<std::unique_ptr<ChunkNode>> children_;  // in file order
};

struct RiffContext {
  CountedPtr<DataStream> stream;
  std::vector<Chunk> path;  // the chunks enclosing the current one, outermost first
  bool skipChildren = false;  // set in BeginChunk to keep the walker out of a list's children
  bool stop = false;          // set by a handler to end the whole walk with success
};

class ChunkHandler {
 public:
  virtual ~ChunkHandler() = default;
  // False aborts the walk as a failure.
  virtual bool BeginChunk(RiffContext& context, const Chunk& chunk) = 0;
  virtual bool EndChunk(RiffContext& context, const Chunk& chunk) = 0;

  // Walks a whole file; reports "Failed to parse file %s" when the walk fails.
  bool ParseFile(const wchar_t* path);
};

// Lists nest at most this deep; deeper files fail instead of exhausting the stack.
constexpr size_t kMaxRiffDepth = 64;

class RiffWalker {
 public:
  explicit RiffWalker(ChunkHandler& handler) : handler_(handler) {}

  // Walks the chunks inside the parent. Exactly one of the parent's data length and the limit gives
  // the span: a nested list passes its length and limit 0; a file's root (all fields 0) passes the
  // file size as the limit. Only at a file's root does the top-level rule hold: after the first
  // chunk only further "RIFF" chunks are walked, and trailing bytes end the walk quietly.
  bool Walk(RiffContext& context, const Chunk& parent, int64_t limit);

 private:
  ChunkHandler& handler_;
};

class RiffTree : public ChunkHandler {
 public:
  // Builds the tree of the chunk's span; on failure there is no root.
  RiffTree(const CountedPtr<DataStream>& stream, const Chunk& chunk, int64_t limit);

  ChunkNode* GetRoot() const { return root_.get(); }

  bool BeginChunk(RiffContext& context, const Chunk& chunk) override;
  bool EndChunk(RiffContext& context, const Chunk& chunk) override;

 private:
  std::unique_ptr<ChunkNode> root_;
  ChunkNode* current_ = nullptr;
};

// Prints one indented line per chunk; fails with "File is not RIFF type" when the file starts with
// another chunk.
class RiffDumper : public ChunkHandler {
 public:
  explicit RiffDumper(TextStream& stream) : stream_(stream) {}

  bool BeginChunk(RiffContext& context, const Chunk& chunk) override;
  bool EndChunk(RiffContext& context, const Chunk& chunk) override;

 private:
  TextStream& stream_;
};
