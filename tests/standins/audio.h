#pragma once
// PCM for the audio stand-ins' tests: media types, a test tone and its measured frequency, and a
// graph that pushes PCM through one filter module into a capturing sink.

#include <dshow.h>
#include <mmreg.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "media/comx.h"
#include "media/dsutil.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

constexpr double kPi = 3.14159265358979323846;

inline CMediaType PcmType(int channels, int rate, int bits) {
  WAVEFORMATEX format = {};
  FillPcmFormat(channels, rate, bits, format);
  AM_MEDIA_TYPE made = {};
  CreateAudioMediaType(&format, &made, TRUE);
  CMediaType type(made);
  FreeMediaType(made);
  return type;
}

// `frames` frames of a sine at `hertz`, the same in every channel, as PCM bytes.
inline std::vector<uint8_t> Tone(int channels, int rate, int bits, double hertz, int frames) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    const double value = std::sin(2 * kPi * hertz * i / rate) * 0.5;
    for (int channel = 0; channel < channels; ++channel) {
      if (bits == 8) {
        bytes.push_back(static_cast<uint8_t>(std::lround(128 + value * 127)));
      } else {
        const auto sample = static_cast<int16_t>(std::lround(value * 32767));
        bytes.push_back(static_cast<uint8_t>(sample & 0xFF));
        bytes.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
      }
    }
  }
  return bytes;
}

// One channel of 16-bit interleaved PCM.
inline std::vector<int16_t> Channel(const std::vector<uint8_t>& bytes, int channels, int channel) {
  std::vector<int16_t> samples;
  for (size_t i = static_cast<size_t>(channel) * 2; i + 1 < bytes.size(); i += static_cast<size_t>(channels) * 2)
    samples.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
  return samples;
}

// The frequency from the upward zero crossings between the first and the last one.
inline double MeasuredHertz(const std::vector<int16_t>& samples, int rate) {
  int64_t first = -1, last = -1, crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0 && samples[i] >= 0) {
      if (first < 0) first = static_cast<int64_t>(i);
      last = static_cast<int64_t>(i);
      ++crossings;
    }
  }
  return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

// test source -> the module's filter -> test sink, in Wine's graph.
struct ModuleChain {
  ModuleChain(const wchar_t* module, REFCLSID classId, const CMediaType& input)
      : source(new TestSource({input})), sink(new TestSink), sourceRef(source), sinkRef(sink) {
    source->Pin(0)->SetBuffers(2, 1 << 16);
    created = CreateObjectFromModule(module, classId, IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear()));
    if (FAILED(created)) return;
    graph.Add(source, L"source");
    graph.Add(filter.Get(), L"filter");
    graph.Add(sink, L"sink");
    FindPin(filter.Get(), PINDIR_INPUT, nullptr, nullptr, in);
    FindPin(filter.Get(), PINDIR_OUTPUT, nullptr, nullptr, out);
  }
  HRESULT ConnectInput() { return graph.Connect(source->Pin(0), in.Get()); }
  HRESULT ConnectOutput() { return graph.Connect(out.Get(), sink->Pin()); }

  // Pushes the bytes in pieces of `piece` bytes with their times, then the end of the stream.
  HRESULT Stream(const std::vector<uint8_t>& bytes, size_t piece, int blockAlign, int rate) {
    HRESULT result = graph.Run();
    for (size_t done = 0; SUCCEEDED(result) && done < bytes.size(); done += piece) {
      const size_t count = std::min(piece, bytes.size() - done);
      const REFERENCE_TIME start = static_cast<REFERENCE_TIME>(done / blockAlign) * kUnitsPerSecond / rate;
      const REFERENCE_TIME stop = static_cast<REFERENCE_TIME>((done + count) / blockAlign) * kUnitsPerSecond / rate;
      result = source->Pin(0)->Push(std::vector<uint8_t>(bytes.begin() + done, bytes.begin() + done + count), start,
                                    stop);
    }
    const HRESULT ended = source->Pin(0)->SendEndOfStream();
    return FAILED(result) ? result : ended;
  }

  std::vector<uint8_t> Output() {
    std::vector<uint8_t> bytes;
    for (const CapturedSample& sample : sink->Samples()) bytes.insert(bytes.end(), sample.bytes.begin(), sample.bytes.end());
    return bytes;
  }

  TestGraph graph;
  TestSource* source;
  TestSink* sink;
  ComPtr<IBaseFilter> sourceRef, sinkRef, filter;
  ComPtr<IPin> in, out;
  HRESULT created = E_FAIL;
};
