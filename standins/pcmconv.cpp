// Stand-in for the system's PCM audio converter, for tests and the demo only; never shipped. PCM in
// (8 or 16 bits, 1 or 2 channels, any rate), 16-bit PCM out at the format a host sets through the
// output pin's IAMStreamConfig: linear-interpolation resampling, channel mixing and widening.
// Hosts find it as the audio compressor "PCM" of tag 1: DllRegisterServer registers its class and
// enters it in the current user's device list of that category, whose moniker binds through the
// class.

#include <dshow.h>
#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/handle.h"
#include "media/comx.h"
#include "media/dsutil.h"
#include "platform/dshow/factory.h"
#include "platform/dshow/transform.h"
#include "standins/audiofilter.h"

namespace {

// {6E4D2C51-6A3B-4F0E-9C55-2B8E1D7A4F10}
constexpr CLSID kClsidPcmConverter = {0x6E4D2C51, 0x6A3B, 0x4F0E, {0x9C, 0x55, 0x2B, 0x8E, 0x1D, 0x7A, 0x4F, 0x10}};

constexpr wchar_t kDeviceKey[] =
    L"Software\\Microsoft\\ActiveMovie\\devenum\\{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\1PCM";
constexpr wchar_t kFriendlyName[] = L"PCM";
constexpr wchar_t kClassName[] = L"PCM Converter";

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 192000;
constexpr long kOutputBufferFrames = 8192;

// The audio stream capabilities block of IAMStreamConfig::GetStreamCaps; the platform headers lack it.
struct AudioStreamConfigCaps {
  GUID guid;
  ULONG MinimumChannels;
  ULONG MaximumChannels;
  ULONG ChannelsGranularity;
  ULONG MinimumBitsPerSample;
  ULONG MaximumBitsPerSample;
  ULONG BitsPerSampleGranularity;
  ULONG MinimumSampleFrequency;
  ULONG MaximumSampleFrequency;
  ULONG SampleFrequencyGranularity;
};

const WAVEFORMATEX* AcceptedInput(const CMediaType* type) {
  const WAVEFORMATEX* format = PcmFormatOf(type);
  if (!format || (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) || format->nChannels > 2) return nullptr;
  return format;
}

const WAVEFORMATEX* AcceptedOutput(const CMediaType* type) {
  const WAVEFORMATEX* format = PcmFormatOf(type);
  if (!format || format->wBitsPerSample != 16 || format->nChannels > 2 ||
      format->nSamplesPerSec < static_cast<DWORD>(kMinRate) || format->nSamplesPerSec > static_cast<DWORD>(kMaxRate))
    return nullptr;
  return format;
}

HRESULT MakePcmType(int channels, int rate, CMediaType* type) {
  WAVEFORMATEX format = {};
  FillPcmFormat(channels, rate, 16, format);
  AM_MEDIA_TYPE made = {};
  const HRESULT result = CreateAudioMediaType(&format, &made, TRUE);
  if (FAILED(result)) return result;
  const HRESULT copied = type->Set(made);
  FreeMediaType(made);
  return copied;
}

// Linear-interpolation resampler over frames already mixed to the output's channels. Output frame
// j lies at input position j * inRate / outRate, kept exact in integers over the whole stream; the
// last frame of the previous piece stays as the left neighbour of the next one.
class Resampler {
 public:
  void Reset(int inRate, int outRate, int channels) {
    inRate_ = inRate;
    outRate_ = outRate;
    channels_ = channels;
    inFrames_ = 0;
    outFrames_ = 0;
    previous_.assign(static_cast<size_t>(channels), 0);
  }

  int64_t OutFrames() const { return outFrames_; }

  // Appends the output frames that `frames` new input frames complete.
  void Push(const std::vector<int16_t>& frames, std::vector<int16_t>& out) {
    const int64_t before = inFrames_;
    const int64_t count = static_cast<int64_t>(frames.size()) / channels_;
    inFrames_ += count;
    Produce(inFrames_ - 1, out, [&](int64_t index, int channel) -> int {
      return index < before ? previous_[static_cast<size_t>(channel)]
                            : frames[static_cast<size_t>((index - before) * channels_ + channel)];
    });
    if (count > 0) previous_.assign(frames.end() - channels_, frames.end());
  }

  // At the end of the stream the last input frame stands for what would follow it.
  void Finish(std::vector<int16_t>& out) {
    Produce(inFrames_, out, [&](int64_t, int channel) -> int { return previous_[static_cast<size_t>(channel)]; });
  }

 private:
  // The output frames whose left neighbour lies before `limit`.
  template <class Sample>
  void Produce(int64_t limit, std::vector<int16_t>& out, Sample sample) {
    for (;;) {
      const int64_t position = outFrames_ * inRate_;
      const int64_t left = position / outRate_;
      if (left >= limit) break;
      const int64_t fraction = position % outRate_;
      for (int channel = 0; channel < channels_; ++channel) {
        const int64_t a = sample(left, channel);
        const int64_t b = sample(left + 1, channel);
        out.push_back(static_cast<int16_t>(a + (b - a) * fraction / outRate_));
      }
      ++outFrames_;
    }
  }

  int inRate_ = 1;
  int outRate_ = 1;
  int channels_ = 1;
  int64_t inFrames_ = 0;
  int64_t outFrames_ = 0;
  std::vector<int16_t> previous_;
};

class PcmConverter;

class PcmOutputPin : public CTransformOutputPin, public IAMStreamConfig {
 public:
  explicit PcmOutputPin(PcmConverter* filter);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), object);
    return CTransformOutputPin::NonDelegatingQueryInterface(riid, object);
  }

  HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

 private:
  PcmConverter* converter_;
};

class PcmConverter : public CTransformFilter {
 public:
  explicit PcmConverter(IUnknown* outer) : CTransformFilter(L"PCM converter", outer, kClsidPcmConverter, OwnPins{}) {
    input_.reset(new CTransformInputPin(L"PCM input pin", this, L"Input"));
    output_.reset(new PcmOutputPin(this));
  }

  HRESULT CheckInputType(const CMediaType* type) override {
    return AcceptedInput(type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
    const WAVEFORMATEX* output = AcceptedOutput(out);
    if (!AcceptedInput(in) || !output) return VFW_E_TYPE_NOT_ACCEPTED;
    // No lock: the set format changes only while the output is unconnected, under the filter lock
    // that connecting holds too; a type change on the streaming thread must not wait for it.
    if (configured_.FormatLength() && !IsSameWaveFormat(*output, *PcmFormatOf(&configured_)))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  // The set format, else the input's channels and rate at 16 bits.
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    ScopedLock lock(&filterLock_);
    if (configured_.FormatLength()) return type->Set(configured_);
    const WAVEFORMATEX* input = AcceptedInput(&input_->CurrentMediaType());
    if (!input) return E_UNEXPECTED;
    return MakePcmType(input->nChannels, static_cast<int>(input->nSamplesPerSec), type);
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    const WAVEFORMATEX* output = PcmFormatOf(&output_->CurrentMediaType());
    if (!output) return E_UNEXPECTED;
    return SetAudioBuffers(allocator, request, kOutputBufferFrames * output->nBlockAlign, output->nBlockAlign);
  }

  HRESULT StartStreaming() override {
    const WAVEFORMATEX* input = AcceptedInput(&input_->CurrentMediaType());
    const WAVEFORMATEX* output = PcmFormatOf(&output_->CurrentMediaType());
    if (!input || !output) return VFW_E_NOT_CONNECTED;
    in_ = *input;
    out_ = *output;
    Restart();
    restart_ = false;
    return S_OK;
  }

  HRESULT Receive(IMediaSample* sample) override {
    if (restart_.exchange(false)) Restart();
    const HRESULT result = AppendSampleBytes(sample, pending_);
    if (FAILED(result)) return result;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (!timed_ && SUCCEEDED(sample->GetTime(&start, &stop))) {
      base_ = start;
      timed_ = true;
    }
    const size_t blockBytes = in_.nBlockAlign;
    const size_t frames = pending_.size() / blockBytes;
    Mix(frames);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(frames * blockBytes));
    converted_.clear();
    resampler_.Push(mixed_, converted_);
    return DeliverConverted();
  }

  HRESULT EndOfStream() override {
    if (restart_.exchange(false)) Restart();
    converted_.clear();
    resampler_.Finish(converted_);
    const HRESULT result = DeliverConverted();
    if (FAILED(result)) return result;
    return CTransformFilter::EndOfStream();
  }

  // What follows a flush is a new stream. The streaming thread starts it afresh: waiting here for
  // the receive lock under the filter lock would invert the order Stop takes them in.
  HRESULT EndFlush() override {
    restart_ = true;
    return CTransformFilter::EndFlush();
  }

  HRESULT SetOutputFormat(const AM_MEDIA_TYPE* type) {
    ScopedLock lock(&filterLock_);
    if (!type) {
      if (output_->IsConnected()) return VFW_E_ALREADY_CONNECTED;
      configured_ = CMediaType();
      return S_OK;
    }
    const CMediaType wanted(*type);
    if (!AcceptedOutput(&wanted)) return VFW_E_INVALIDMEDIATYPE;
    if (output_->IsConnected()) {
      return IsSameWaveFormat(*PcmFormatOf(&wanted), *PcmFormatOf(&output_->CurrentMediaType()))
                 ? S_OK
                 : VFW_E_ALREADY_CONNECTED;
    }
    return MakePcmType(PcmFormatOf(&wanted)->nChannels, static_cast<int>(PcmFormatOf(&wanted)->nSamplesPerSec),
                       &configured_);
  }

 private:
  void Restart() {
    resampler_.Reset(static_cast<int>(in_.nSamplesPerSec), static_cast<int>(out_.nSamplesPerSec), out_.nChannels);
    pending_.clear();
    timed_ = false;
    base_ = 0;
  }

  // Widens and mixes `frames` whole input frames of pending_ into mixed_.
  void Mix(size_t frames) {
    mixed_.resize(frames * out_.nChannels);
    const int inChannels = in_.nChannels;
    const bool wide = in_.wBitsPerSample == 16;
    auto sample = [&](size_t frame, int channel) -> int {
      const size_t index = frame * inChannels + channel;
      if (!wide) return (pending_[index] - 128) * 256;
      return static_cast<int16_t>(pending_[index * 2] | pending_[index * 2 + 1] << 8);
    };
    for (size_t frame = 0; frame < frames; ++frame) {
      int16_t* target = &mixed_[frame * out_.nChannels];
      if (out_.nChannels == inChannels) {
        for (int channel = 0; channel < inChannels; ++channel) target[channel] = static_cast<int16_t>(sample(frame, channel));
      } else if (out_.nChannels == 1) {
        target[0] = static_cast<int16_t>((sample(frame, 0) + sample(frame, 1)) / 2);
      } else {
        target[0] = target[1] = static_cast<int16_t>(sample(frame, 0));
      }
    }
  }

  // Sends converted_ on in buffers of whole frames, timed by the output frames before them.
  HRESULT DeliverConverted() {
    const size_t channels = out_.nChannels;
    int64_t frame = resampler_.OutFrames() - static_cast<int64_t>(converted_.size() / channels);
    size_t done = 0;
    while (done < converted_.size()) {
      REFERENCE_TIME start = base_ + frame * kUnitsPerSecond / out_.nSamplesPerSec;
      ComPtr<IMediaSample> out;
      HRESULT result = output_->GetDeliveryBuffer(out.Clear(), &start, nullptr, 0);
      if (FAILED(result)) return result;
      BYTE* buffer = nullptr;
      result = out->GetPointer(&buffer);
      if (FAILED(result)) return result;
      const size_t room = static_cast<size_t>(out->GetSize()) / out_.nBlockAlign * channels;
      const size_t count = std::min(room, converted_.size() - done);
      if (count == 0) return E_FAIL;
      std::memcpy(buffer, &converted_[done], count * sizeof(int16_t));
      frame += static_cast<int64_t>(count / channels);
      const REFERENCE_TIME stop = base_ + frame * kUnitsPerSecond / out_.nSamplesPerSec;
      result = DeliverFilled(output_.get(), out.Get(), static_cast<long>(count * sizeof(int16_t)), start, stop);
      if (result != S_OK) return result;
      done += count;
    }
    return S_OK;
  }

  CMediaType configured_;  // the format set on the output pin; no format block when none was
  WAVEFORMATEX in_ = {};
  WAVEFORMATEX out_ = {};
  Resampler resampler_;
  std::vector<uint8_t> pending_;
  std::vector<int16_t> mixed_;
  std::vector<int16_t> converted_;
  REFERENCE_TIME base_ = 0;
  bool timed_ = false;
  std::atomic<bool> restart_{false};
};

PcmOutputPin::PcmOutputPin(PcmConverter* filter)
    : CTransformOutputPin(L"PCM output pin", filter, L"Output"), converter_(filter) {}

HRESULT STDMETHODCALLTYPE PcmOutputPin::SetFormat(AM_MEDIA_TYPE* type) { return converter_->SetOutputFormat(type); }

HRESULT STDMETHODCALLTYPE PcmOutputPin::GetFormat(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  CMediaType current;
  const HRESULT result = IsConnected() ? current.Set(CurrentMediaType()) : converter_->GetMediaType(0, &current);
  if (result == E_UNEXPECTED) return VFW_E_NOT_CONNECTED;
  if (result != S_OK) return FAILED(result) ? result : E_FAIL;
  *type = CreateMediaType(&current);
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE PcmOutputPin::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  *count = 1;
  *size = sizeof(AudioStreamConfigCaps);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PcmOutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (!type || !caps) return E_POINTER;
  *type = nullptr;
  if (index != 0) return S_FALSE;
  CMediaType offered;
  HRESULT result = converter_->GetMediaType(0, &offered);
  if (result == E_UNEXPECTED) result = MakePcmType(2, 44100, &offered);
  if (FAILED(result)) return result;
  AudioStreamConfigCaps range = {};
  range.guid = MEDIATYPE_Audio;
  range.MinimumChannels = 1;
  range.MaximumChannels = 2;
  range.ChannelsGranularity = 1;
  range.MinimumBitsPerSample = 16;
  range.MaximumBitsPerSample = 16;
  range.BitsPerSampleGranularity = 16;
  range.MinimumSampleFrequency = kMinRate;
  range.MaximumSampleFrequency = kMaxRate;
  range.SampleFrequencyGranularity = 1;
  std::memcpy(caps, &range, sizeof(range));
  *type = CreateMediaType(&offered);
  return *type ? S_OK : E_OUTOFMEMORY;
}

// The device entry, under the current user as the system keeps its codec list there.
HRESULT RegisterDevice() {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kDeviceKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  HandleGuard guard(RegCloseKey, key);
  const std::wstring classId = GuidToString(kClsidPcmConverter);
  const std::pair<const wchar_t*, const wchar_t*> values[] = {{L"CLSID", classId.c_str()},
                                                             {L"FriendlyName", kFriendlyName}};
  for (const auto& [name, text] : values) {
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT UnregisterDevice() {
  const LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, kDeviceKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kClassName, &kClsidPcmConverter, CreateComObject<PcmConverter>, nullptr, nullptr},
};
int g_cTemplates = static_cast<int>(std::size(g_Templates));

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}

// The class goes where COM looks it up (the table has no filter setup, so nothing enters the
// filter category); the device moniker binds through it.
STDAPI DllRegisterServer() {
  try {
    const HRESULT result = AMovieDllRegisterServer2(TRUE);
    return FAILED(result) ? result : RegisterDevice();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  const HRESULT device = UnregisterDevice();
  const HRESULT server = AMovieDllRegisterServer2(FALSE);
  return FAILED(device) ? device : server;
}
