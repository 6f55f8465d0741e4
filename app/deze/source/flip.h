#pragma once
// FlipFilter ("Frame Flip"): turns uncompressed video frames upside down, row by row, in place.

#include <cstdint>
#include <vector>

#include "platform/dshow/transip.h"

inline constexpr CLSID CLSID_FlipFilter = {0xea4f7faf, 0x5421, 0x40e7, {0x95, 0xf0, 0xb2, 0x5f, 0x95, 0xfb, 0x96, 0x18}};

class FlipFilter : public CTransInPlaceFilter {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);
  explicit FlipFilter(IUnknown* outer);

  // VIDEOINFOHEADER video, uncompressed (BI_RGB or BI_BITFIELDS); S_FALSE for compressed frames.
  HRESULT CheckInputType(const CMediaType* type) override;
  // Fails a frame shorter than its rows, so nothing outside the sample is touched.
  HRESULT Transform(IMediaSample* sample) override;

 private:
  std::vector<uint8_t> row_;  // one row, kept from frame to frame
};
