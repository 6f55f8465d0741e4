#include "app/deze/source/vcm.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string>

#include "common/fourcc.h"
#include "common/module.h"

namespace {

// A codec's format is a header with at most a colour table and a few extra fields; anything far
// larger is a codec answering nonsense.
constexpr LRESULT kMaxFormatBytes = 0x10000;

LPARAM AsParam(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

HDRVR AsHandle(uintptr_t value) { return reinterpret_cast<HDRVR>(value); }

// A format of a size the codec announced, or false when the size is not plausible.
bool MakeFormat(LRESULT size, DibBuffer& format) {
  if (size < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || size > kMaxFormatBytes) return false;
  format = DibBuffer(static_cast<size_t>(size));
  return true;
}

bool Resize(std::vector<uint8_t>& buffer, int64_t size) {
  try {
    buffer.resize(static_cast<size_t>(size));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

ICOPEN MakeOpenBlock(DWORD fourcc, bool compress) {
  ICOPEN open = {};
  open.dwSize = sizeof(ICOPEN);
  open.fccType = ICTYPE_VIDEO;
  open.fccHandler = fourcc;
  open.dwFlags = compress ? ICMODE_COMPRESS : ICMODE_DECOMPRESS;
  return open;
}

// VcmDll

VcmDll::VcmDll(const wchar_t* path, DWORD fourcc, bool compress) : VcmDriver(fourcc) {
  if (!path) return;
  HMODULE module = LoadLibraryW(path);
  if (!module) return;
  driverProc_ = GetProcedure<DriverProcFunction>(module, "DriverProc");
  if (!driverProc_) return;
  driverProc_(0, AsHandle(kDriverHandle), DRV_LOAD, 0, 0);
  driverProc_(0, AsHandle(kDriverHandle), DRV_ENABLE, 0, 0);
  driverId_ = static_cast<DWORD_PTR>(driverProc_(kDriverHandle, AsHandle(kDriverHandle), DRV_OPEN, 0, 0));
  if (!driverId_) return;
  ICOPEN open = MakeOpenBlock(fourcc, compress);
  instanceId_ = static_cast<DWORD_PTR>(driverProc_(0, AsHandle(kInstanceHandle), DRV_OPEN, 0, AsParam(&open)));
}

VcmDll::~VcmDll() {
  if (instanceId_) driverProc_(instanceId_, AsHandle(kInstanceHandle), DRV_CLOSE, 0, 0);
  if (driverId_) driverProc_(driverId_, AsHandle(kDriverHandle), DRV_CLOSE, 0, 0);
  if (driverProc_) {
    driverProc_(0, AsHandle(kDriverHandle), DRV_DISABLE, 0, 0);
    driverProc_(0, AsHandle(kDriverHandle), DRV_FREE, 0, 0);
  }
}

LRESULT VcmDll::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  if (!driverProc_ || !instanceId_) return kDriverNotOpen;
  return driverProc_(instanceId_, AsHandle(kInstanceHandle), message, param1, param2);
}

// VcmDrv

VcmDrv::VcmDrv(DWORD fourcc, bool compress) : VcmDriver(fourcc) {
  const std::wstring name = L"vidc." + FourCCToString(fourcc, kFourCCKeepCase);
  ICOPEN open = MakeOpenBlock(fourcc, compress);
  driver_ = OpenDriver(name.c_str(), nullptr, AsParam(&open));
}

VcmDrv::~VcmDrv() {
  if (driver_) CloseDriver(driver_, 0, 0);
}

LRESULT VcmDrv::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  return driver_ ? SendDriverMessage(driver_, message, param1, param2) : kDriverNotOpen;
}

// VcmIc

VcmIc::VcmIc(DWORD fourcc, bool compress)
    : VcmDriver(fourcc), codec_(ICOpen(ICTYPE_VIDEO, fourcc, compress ? ICMODE_COMPRESS : ICMODE_DECOMPRESS)) {}

VcmIc::~VcmIc() {
  if (codec_) ICClose(codec_);
}

LRESULT VcmIc::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  if (!codec_) return kDriverNotOpen;
  return ICSendMessage(codec_, message, static_cast<DWORD_PTR>(param1), static_cast<DWORD_PTR>(param2));
}

// VcmEncoder

LRESULT VcmEncoder::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  return driver_.IsValid() ? driver_->DriverMessage(message, param1, param2) : kDriverNotOpen;
}

bool VcmEncoder::SetFormat(const DibBuffer& format) {
  if (!format.GetHeader()) return false;
  input_ = format;
  const LPARAM input = AsParam(input_.GetHeader());
  if (DriverMessage(ICM_COMPRESS_QUERY, input, 0) != ICERR_OK) return false;
  if (!MakeFormat(DriverMessage(ICM_COMPRESS_GET_FORMAT, input, 0), negotiated_)) return false;
  if (DriverMessage(ICM_COMPRESS_GET_FORMAT, input, AsParam(negotiated_.GetHeader())) != ICERR_OK) return false;
  output_ = negotiated_;
  maxFrameSize_ = DriverMessage(ICM_COMPRESS_GET_SIZE, input, AsParam(output_.GetHeader()));
  return sink_.IsValid() && sink_->SetFormat(negotiated_);
}

bool VcmEncoder::ProcessFrame(const FrameData& frame) {
  if (!input_.GetHeader() || !negotiated_.GetHeader() || !sink_.IsValid()) return false;
  if (!frame.data || frame.size != input_.GetImageSize()) return false;
  if (maxFrameSize_ <= 0 || maxFrameSize_ > INT32_MAX || !Resize(frame_, maxFrameSize_)) return false;
  // Every frame starts from the negotiated header: the codec writes each frame's size into it.
  std::copy(negotiated_.GetBytes().begin(), negotiated_.GetBytes().end(), output_.GetData());

  DWORD flags = 0;
  ICCOMPRESS compress = {};
  compress.dwFlags = frame.key ? ICCOMPRESS_KEYFRAME : 0;
  compress.lpbiOutput = output_.GetHeader();
  compress.lpOutput = frame_.data();
  compress.lpbiInput = input_.GetHeader();
  compress.lpInput = const_cast<uint8_t*>(frame.data);
  compress.lpdwFlags = &flags;
  compress.lFrameNum = frameNumber_++;
  if (DriverMessage(ICM_COMPRESS, AsParam(&compress), sizeof(compress)) != ICERR_OK) return false;
  const DWORD compressedSize = output_.GetSizeImage();
  if (compressedSize > frame_.size()) return false;
  return sink_->ProcessFrame(
      FrameData(frame_.data(), static_cast<int32_t>(compressedSize), (flags & AVIIF_KEYFRAME) != 0));
}

bool VcmEncoder::Begin() {
  if (!input_.GetHeader() || !negotiated_.GetHeader()) return false;
  std::copy(negotiated_.GetBytes().begin(), negotiated_.GetBytes().end(), output_.GetData());
  frameNumber_ = 0;
  return DriverMessage(ICM_COMPRESS_BEGIN, AsParam(input_.GetHeader()), AsParam(output_.GetHeader())) == ICERR_OK;
}

void VcmEncoder::End() { DriverMessage(ICM_COMPRESS_END, 0, 0); }

// VcmDecoder

LRESULT VcmDecoder::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  return driver_.IsValid() ? driver_->DriverMessage(message, param1, param2) : kDriverNotOpen;
}

bool VcmDecoder::SetFormat(const DibBuffer& format) {
  if (!format.GetHeader()) return false;
  input_ = format;
  const LPARAM input = AsParam(input_.GetHeader());
  if (DriverMessage(ICM_DECOMPRESS_QUERY, input, 0) != ICERR_OK) return false;
  if (!MakeFormat(DriverMessage(ICM_DECOMPRESS_GET_FORMAT, input, 0), output_)) return false;
  if (DriverMessage(ICM_DECOMPRESS_GET_FORMAT, input, AsParam(output_.GetHeader())) != ICERR_OK) return false;
  const int64_t imageSize = output_.GetImageSize();
  if (imageSize <= 0 || imageSize > INT32_MAX || !Resize(frame_, imageSize)) return false;
  return sink_.IsValid() && sink_->SetFormat(output_);
}

bool VcmDecoder::ProcessFrame(const FrameData& frame) {
  if (!input_.GetHeader() || !output_.GetHeader() || !sink_.IsValid()) return false;
  if (!frame.data || frame.size <= 0) return false;
  input_.SetSizeImage(static_cast<DWORD>(frame.size));
  ICDECOMPRESS decompress = {};
  decompress.lpbiInput = input_.GetHeader();
  decompress.lpInput = const_cast<uint8_t*>(frame.data);
  decompress.lpbiOutput = output_.GetHeader();
  decompress.lpOutput = frame_.data();
  if (DriverMessage(ICM_DECOMPRESS, AsParam(&decompress), sizeof(decompress)) != ICERR_OK) return false;
  return sink_->ProcessFrame(FrameData(frame_.data(), static_cast<int32_t>(frame_.size()), true));
}

bool VcmDecoder::Begin() {
  if (!input_.GetHeader() || !output_.GetHeader()) return false;
  return DriverMessage(ICM_DECOMPRESS_BEGIN, AsParam(input_.GetHeader()), AsParam(output_.GetHeader())) ==
         ICERR_OK;
}

void VcmDecoder::End() { DriverMessage(ICM_DECOMPRESS_END, 0, 0); }
