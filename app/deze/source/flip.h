#pragma once
// FlipFilter ("Frame Flip"): turns uncompressed video frames upside down, row by row, in place.

#include <cstdint>
#include <vector>

#include "app/deze/source/swfmuxapi.h"
#include "platform/dshow/transip.h"

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
