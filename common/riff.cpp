#include "common/riff.h"

#include "common/error.h"
#include "common/fourcc.h"
#include "common/text.h"

namespace {

// The pseudo-chunk that stands for a whole file: every field 0.
bool IsFileRoot(const Chunk& chunk) {
  return chunk.id == 0 && chunk.listType == 0 && chunk.dataPosition == 0 && chunk.dataLength == 0;
}

// One little-endian 32-bit field of a chunk header, inside the span still to walk.
bool ReadField(DataStream& stream, int64_t& position, int64_t& remaining, uint32_t& value) {
  if (remaining < 4) return false;
  uint8_t bytes[4];
  if (!stream.TransferExactly(bytes, 4)) return false;
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  position += 4;
  remaining -= 4;
  return true;
}

}  // namespace

int32_t Chunk::ReadData(DataStream& stream, void* buffer, int32_t n) const {
  if (!buffer || n <= 0 || static_cast<uint32_t>(n) > dataLength) return 0;
  if (!stream.Seek(dataPosition) || !stream.TransferExactly(buffer, n)) return 0;
  return n;
}

ChunkNode* ChunkNode::AddChild(std::unique_ptr<ChunkNode> node) {
  node->parent_ = this;
  children_.push_back(std::move(node));
  return children_.back().get();
}

ChunkNode* ChunkNode::FindChild(uint32_t chunkId, uint32_t chunkListType) const {
  for (const auto& child : children_)
    if (child->Is(chunkId, chunkListType)) return child.get();
  return nullptr;
}

bool RiffWalker::Walk(RiffContext& context, const Chunk& parent, int64_t limit) {
  if (!context.stream.IsValid()) return false;
  if (parent.dataLength != 0 && limit != 0) return false;
  if (context.path.size() >= kMaxRiffDepth) return false;
  DataStream& stream = *context.stream;
  context.path.push_back(parent);
  const bool atFileRoot = context.path.size() == 1 && IsFileRoot(parent);

  int64_t position = parent.dataPosition;
  int64_t remaining = static_cast<int64_t>(parent.dataLength) + limit;
  if (position < 0 || remaining < 0 || !stream.Seek(position)) return false;

  while (remaining > 0) {
    const bool top = atFileRoot && position > 0;
    if (top && remaining < 12) break;
    uint32_t id = 0;
    if (!ReadField(stream, position, remaining, id)) return false;
    if (top && id != kRiffId) break;
    uint32_t size = 0;
    if (!ReadField(stream, position, remaining, size)) return false;
    Chunk chunk(id, 0, position, size);
    if (chunk.IsList()) {
      if (size < 4 || !ReadField(stream, position, remaining, chunk.listType)) return false;
      chunk.dataPosition = position;
      chunk.dataLength = size - 4;
    }
    // A chunk's data must lie inside its parent's: a reader of the chunk would take the bytes of
    // the chunks after it. Only a missing pad byte at the end is let pass.
    if (chunk.dataLength > remaining) return false;

    context.skipChildren = false;
    if (!handler_.BeginChunk(context, chunk)) return false;
    if (context.stop) return true;
    if (chunk.IsList() && !context.skipChildren) {
      if (!Walk(context, chunk, 0)) return false;
      if (context.stop) return true;
    }

    position += chunk.dataLength;
    remaining -= chunk.dataLength;
    if (position & 1) {
      ++position;
      --remaining;
    }
    if (!stream.Seek(position)) return false;
    if (!handler_.EndChunk(context, chunk)) return false;
    if (context.stop) return true;
  }
  context.path.pop_back();
  return true;
}

bool ChunkHandler::ParseFile(const wchar_t* path) {
  auto* file = new FileStream(path, true);
  CountedPtr<DataStream> stream(file);
  if (!file->IsOpen()) {
    ReportError(L"Failed to open file %s", path ? path : L"");
    return false;
  }
  RiffWalker walker(*this);
  RiffContext context;
  context.stream = stream;
  if (walker.Walk(context, Chunk(), stream->GetSize())) return true;
  ReportError(L"Failed to parse file %s", path ? path : L"");
  return false;
}

RiffTree::RiffTree(const CountedPtr<DataStream>& stream, const Chunk& chunk, int64_t limit)
    : root_(std::make_unique<ChunkNode>(chunk)), current_(root_.get()) {
  RiffWalker walker(*this);
  RiffContext context;
  context.stream = stream;
  if (!walker.Walk(context, chunk, limit)) {
    root_.reset();
    current_ = nullptr;
  }
}

bool RiffTree::BeginChunk(RiffContext&, const Chunk& chunk) {
  if (!current_) return false;
  current_ = current_->AddChild(std::make_unique<ChunkNode>(chunk));
  return true;
}

bool RiffTree::EndChunk(RiffContext&, const Chunk&) {
  if (!current_) return false;
  current_ = current_->GetParent();
  return true;
}

bool RiffDumper::BeginChunk(RiffContext&, const Chunk& chunk) {
  if (chunk.dataPosition <= 12 && chunk.id != kRiffId) {
    ReportError(L"File is not RIFF type");
    return false;
  }
  stream_.Indent(1);
  const uint32_t storedSize = chunk.IsList() ? chunk.dataLength + 4 : chunk.dataLength;
  stream_.Printf(L"[%s] [%d] ", FourCCToString(chunk.id, kFourCCKeepCase).c_str(), storedSize);
  if (chunk.IsList()) stream_.Printf(L"[%s] ", FourCCToString(chunk.listType, kFourCCKeepCase).c_str());
  stream_.Printf(L"data_pos = 0x%I64X (%I64d) data_len = %d\n", chunk.dataPosition, chunk.dataPosition,
                 chunk.dataLength);
  return true;
}

bool RiffDumper::EndChunk(RiffContext&, const Chunk&) {
  stream_.Indent(-1);
  return true;
}
