#pragma once
// Holders of one open Video-for-Windows codec, and the compress and decompress stages of a small
// frame pipeline on top of them. VcmDll loads a codec library by path and calls its DriverProc
// directly, so the codec needs no installation; VcmDrv (OpenDriver) and VcmIc (ICOpen) open an
// installed codec the system's way. A driver is open from construction to destruction and is
// shared through counted pointers; each object is used by one thread at a time.

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <vector>

#include "common/counted.h"
#include "common/dib.h"

// What every message answers when the codec is not open (ICERR_ERROR).
constexpr LRESULT kDriverNotOpen = -100;

// A codec library's exported entry point.
using DriverProcFunction = LRESULT(WINAPI*)(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1,
                                            LPARAM param2);

class VcmDriver {
 public:
  explicit VcmDriver(DWORD fourcc) : fourcc_(fourcc) {}
  virtual ~VcmDriver() = default;
  VcmDriver(const VcmDriver&) = delete;
  VcmDriver& operator=(const VcmDriver&) = delete;

  virtual bool IsOpen() const = 0;
  virtual DWORD GetFourCC() const { return fourcc_; }
  // kDriverNotOpen when not open.
  virtual LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2) = 0;

 protected:
  DWORD fourcc_;
};

// The codec's DriverProc called directly. The codec sees the fixed handle values 13 (driver) and 1
// (instance); they are not system handles. The library is never freed.
class VcmDll : public VcmDriver {
 public:
  static constexpr uintptr_t kDriverHandle = 13;
  static constexpr uintptr_t kInstanceHandle = 1;

  VcmDll(const wchar_t* path, DWORD fourcc, bool compress);
  ~VcmDll() override;

  bool IsOpen() const override { return instanceId_ != 0; }
  LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2) override;

 private:
  DriverProcFunction driverProc_ = nullptr;
  DWORD_PTR driverId_ = 0;    // the driver-level open's answer
  DWORD_PTR instanceId_ = 0;  // the instance open's answer
};

// OpenDriver of "vidc.<fourcc>" with SendDriverMessage.
class VcmDrv : public VcmDriver {
 public:
  VcmDrv(DWORD fourcc, bool compress);
  ~VcmDrv() override;

  bool IsOpen() const override { return driver_ != nullptr; }
  LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2) override;

 private:
  HDRVR driver_ = nullptr;
};

// ICOpen with ICSendMessage.
class VcmIc : public VcmDriver {
 public:
  VcmIc(DWORD fourcc, bool compress);
  ~VcmIc() override;

  bool IsOpen() const override { return codec_ != nullptr; }
  LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2) override;

 private:
  HIC codec_ = nullptr;
};

// The open block a codec instance receives with DRV_OPEN.
ICOPEN MakeOpenBlock(DWORD fourcc, bool compress);

// Pipeline: a stage receives a format and then frames, and passes its own to the next stage.
class MediaIn {
 public:
  virtual ~MediaIn() = default;
  virtual bool SetFormat(const DibBuffer& format) = 0;
  virtual bool ProcessFrame(const FrameData& frame) = 0;
};

class MediaOut {
 public:
  virtual ~MediaOut() = default;
  virtual bool SetSink(const CountedPtr<MediaIn>& sink) {
    sink_ = sink;
    return true;
  }

 protected:
  CountedPtr<MediaIn> sink_;
};

class MediaFilter : public MediaIn, public MediaOut {};

// Compresses whole frames. SetFormat negotiates the output format with the codec; Begin and End
// bracket the frames.
class VcmEncoder : public MediaFilter {
 public:
  explicit VcmEncoder(const CountedPtr<VcmDriver>& driver) : driver_(driver) {}

  bool SetFormat(const DibBuffer& format) override;
  // The frame must be exactly the input format's image size; the codec's output must fit the
  // maximum frame size it announced. Frames are numbered from 0 at Begin, so that a codec that
  // keeps its own previous frame sees a new frame each time.
  bool ProcessFrame(const FrameData& frame) override;
  bool Begin();
  void End();
  LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2);

  const DibBuffer& GetOutputFormat() const { return negotiated_; }

 private:
  CountedPtr<VcmDriver> driver_;
  DibBuffer input_;
  DibBuffer negotiated_;  // the output format as the codec gave it
  DibBuffer output_;      // the header each frame is compressed with; the codec rewrites biSizeImage
  std::vector<uint8_t> frame_;
  int64_t maxFrameSize_ = 0;
  LONG frameNumber_ = 0;
};

class VcmDecoder : public MediaFilter {
 public:
  explicit VcmDecoder(const CountedPtr<VcmDriver>& driver) : driver_(driver) {}

  bool SetFormat(const DibBuffer& format) override;
  bool ProcessFrame(const FrameData& frame) override;
  bool Begin();
  void End();
  LRESULT DriverMessage(UINT message, LPARAM param1, LPARAM param2);

  const DibBuffer& GetOutputFormat() const { return output_; }

 private:
  CountedPtr<VcmDriver> driver_;
  DibBuffer input_;
  DibBuffer output_;
  std::vector<uint8_t> frame_;
};
