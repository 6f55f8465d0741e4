// Stand-in for the outside MP3 encoder filter "lame.ax", for tests and the demo only; never shipped.
// A transform filter over libmp3lame: 16-bit PCM in (1 or 2 channels, an MPEG audio rate from 8000
// to 48000 Hz), constant-bitrate MP3 out at the same rate and channels, without ID3 tag or Xing
// frame. Hosts create it straight from the file through DllGetClassObject.

#include <dshow.h>
#include <mmreg.h>

#include <lame/lame.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <vector>

#include "media/dsutil.h"
#include "platform/dshow/factory.h"
#include "platform/dshow/transform.h"
#include "standins/audiofilter.h"

namespace {

// {B8D27088-FF5F-4B7C-98DC-0E91A1696286}
constexpr CLSID kClsidLameEncoder = {0xB8D27088, 0xFF5F, 0x4B7C, {0x98, 0xDC, 0x0E, 0x91, 0xA1, 0x69, 0x62, 0x86}};

constexpr DWORD kMpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// PCM is fed to the encoder in pieces of at most this many samples per channel, so one output
// buffer always holds what a piece (or the final flush) yields: libmp3lame's own worst case is
// 1.25 bytes per sample plus 7200.
constexpr int kPieceSamples = 4608;
constexpr long kOutputBufferBytes = kPieceSamples * 5 / 4 + 7200;

bool IsMpegRate(DWORD rate) { return std::find(std::begin(kMpegRates), std::end(kMpegRates), rate) != std::end(kMpegRates); }

// MPEG-1 rates carry 128 kbit/s for stereo, MPEG-2 64 and MPEG-2.5 32; mono half of that.
int BitrateKbps(DWORD rate, int channels) {
  const int stereo = rate >= 32000 ? 128 : (rate >= 16000 ? 64 : 32);
  return channels == 2 ? stereo : stereo / 2;
}

const WAVEFORMATEX* AcceptedInput(const CMediaType* type) {
  const WAVEFORMATEX* format = PcmFormatOf(type);
  if (!format || format->wBitsPerSample != 16 || format->nChannels > 2 || !IsMpegRate(format->nSamplesPerSec))
    return nullptr;
  return format;
}

void FillMp3Format(const WAVEFORMATEX& input, MPEGLAYER3WAVEFORMAT& format) {
  const int bitrate = BitrateKbps(input.nSamplesPerSec, input.nChannels) * 1000;
  const int samplesPerFrame = input.nSamplesPerSec >= 32000 ? 1152 : 576;
  format = {};
  format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  format.wfx.nChannels = input.nChannels;
  format.wfx.nSamplesPerSec = input.nSamplesPerSec;
  format.wfx.nAvgBytesPerSec = static_cast<DWORD>(bitrate / 8);
  format.wfx.nBlockAlign = 1;
  format.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  format.wID = MPEGLAYER3_ID_MPEG;
  format.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  format.nBlockSize = static_cast<WORD>(samplesPerFrame / 8 * bitrate / static_cast<int>(input.nSamplesPerSec));
  format.nFramesPerBlock = 1;
}

class LameEncoder : public CTransformFilter {
 public:
  explicit LameEncoder(IUnknown* outer) : CTransformFilter(L"LAME encoder", outer, kClsidLameEncoder) {}
  ~LameEncoder() override { CloseEncoder(); }

  HRESULT CheckInputType(const CMediaType* type) override {
    return AcceptedInput(type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
    const WAVEFORMATEX* input = AcceptedInput(in);
    if (!input || !out || *out->Type() != MEDIATYPE_Audio || *out->Subtype() != FOURCCMap(WAVE_FORMAT_MPEGLAYER3) ||
        *out->FormatType() != FORMAT_WaveFormatEx || !out->Format() ||
        out->FormatLength() < sizeof(MPEGLAYER3WAVEFORMAT))
      return VFW_E_TYPE_NOT_ACCEPTED;
    const auto* output = reinterpret_cast<const WAVEFORMATEX*>(out->Format());
    return output->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && output->nChannels == input->nChannels &&
                   output->nSamplesPerSec == input->nSamplesPerSec
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const WAVEFORMATEX* input = AcceptedInput(&input_->CurrentMediaType());
    if (!input) return E_UNEXPECTED;
    MPEGLAYER3WAVEFORMAT format;
    FillMp3Format(*input, format);
    type->SetType(&MEDIATYPE_Audio);
    const FOURCCMap subtype(WAVE_FORMAT_MPEGLAYER3);
    type->SetSubtype(&subtype);
    type->SetFormatType(&FORMAT_WaveFormatEx);
    type->SetVariableSize();
    type->SetTemporalCompression(false);
    return type->SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format)) ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return SetAudioBuffers(allocator, request, kOutputBufferBytes, kOutputBufferBytes);
  }

  HRESULT StartStreaming() override {
    reopen_ = false;
    return OpenEncoder();
  }

  HRESULT StopStreaming() override {
    CloseEncoder();
    return S_OK;
  }

  HRESULT Receive(IMediaSample* sample) override {
    HRESULT result = Reopen();
    if (FAILED(result)) return result;
    if (!encoder_) return E_UNEXPECTED;
    result = AppendSampleBytes(sample, pending_);
    if (FAILED(result)) return result;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) nextTime_ = start;
    const size_t blockBytes = size_t{2} * channels_;
    const size_t blocks = pending_.size() / blockBytes;
    size_t done = 0;
    while (done < blocks) {
      const int count = static_cast<int>(std::min<size_t>(blocks - done, kPieceSamples));
      pcm_.resize(static_cast<size_t>(count) * channels_);
      std::memcpy(pcm_.data(), pending_.data() + done * blockBytes, count * blockBytes);
      result = EncodePiece(count);
      if (FAILED(result)) return result;
      done += static_cast<size_t>(count);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(done * blockBytes));
    return S_OK;
  }

  HRESULT EndOfStream() override {
    if (encoder_) {
      HRESULT result = Reopen();
      if (FAILED(result)) return result;
      result = Deliver(0, [this](unsigned char* buffer, int size) {
        return lame_encode_flush(encoder_, buffer, size);
      });
      if (FAILED(result)) return result;
    }
    return CTransformFilter::EndOfStream();
  }

  // What follows a flush is a new stream. The streaming thread starts the encoder afresh: waiting
  // here for the receive lock under the filter lock would invert the order Stop takes them in.
  HRESULT EndFlush() override {
    reopen_ = true;
    return CTransformFilter::EndFlush();
  }

 private:
  HRESULT OpenEncoder() {
    const WAVEFORMATEX* input = AcceptedInput(&input_->CurrentMediaType());
    if (!input) return VFW_E_NOT_CONNECTED;
    encoder_ = lame_init();
    if (!encoder_) return E_OUTOFMEMORY;
    channels_ = input->nChannels;
    rate_ = static_cast<int>(input->nSamplesPerSec);
    lame_set_in_samplerate(encoder_, rate_);
    lame_set_out_samplerate(encoder_, rate_);
    lame_set_num_channels(encoder_, channels_);
    lame_set_mode(encoder_, channels_ == 2 ? JOINT_STEREO : MONO);
    lame_set_VBR(encoder_, vbr_off);
    lame_set_brate(encoder_, BitrateKbps(input->nSamplesPerSec, channels_));
    lame_set_bWriteVbrTag(encoder_, 0);
    lame_set_write_id3tag_automatic(encoder_, 0);
    if (lame_init_params(encoder_) < 0) {
      CloseEncoder();
      return E_FAIL;
    }
    pending_.clear();
    nextTime_ = 0;
    return S_OK;
  }

  HRESULT Reopen() {
    if (!reopen_.exchange(false) || !encoder_) return S_OK;
    CloseEncoder();
    return OpenEncoder();
  }

  void CloseEncoder() {
    if (encoder_) lame_close(encoder_);
    encoder_ = nullptr;
  }

  HRESULT EncodePiece(int count) {
    return Deliver(count, [this, count](unsigned char* buffer, int size) {
      return channels_ == 2 ? lame_encode_buffer_interleaved(encoder_, pcm_.data(), count, buffer, size)
                            : lame_encode_buffer(encoder_, pcm_.data(), nullptr, count, buffer, size);
    });
  }

  // Runs one encoder call into a fresh output buffer and sends on what it yields, timed by the
  // `count` PCM samples it consumed.
  template <class Encode>
  HRESULT Deliver(int count, Encode encode) {
    const REFERENCE_TIME start = nextTime_;
    const REFERENCE_TIME stop = start + count * kUnitsPerSecond / rate_;
    nextTime_ = stop;
    ComPtr<IMediaSample> out;
    REFERENCE_TIME times[2] = {start, stop};  // the allocator may not take them as const
    HRESULT result = output_->GetDeliveryBuffer(out.Clear(), &times[0], &times[1], 0);
    if (FAILED(result)) return result;
    BYTE* buffer = nullptr;
    result = out->GetPointer(&buffer);
    if (FAILED(result)) return result;
    const int bytes = encode(buffer, static_cast<int>(std::min(out->GetSize(), kOutputBufferBytes)));
    if (bytes < 0) return E_FAIL;
    if (bytes == 0) return S_OK;  // the encoder holds the samples until it has a whole frame
    return DeliverFilled(output_.get(), out.Get(), bytes, start, stop);
  }

  lame_global_flags* encoder_ = nullptr;
  int channels_ = 0;
  int rate_ = 0;
  REFERENCE_TIME nextTime_ = 0;
  std::vector<uint8_t> pending_;
  std::vector<short> pcm_;
  std::atomic<bool> reopen_{false};
};

const AMOVIESETUP_MEDIATYPE kPcm = {&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM};
const AMOVIESETUP_MEDIATYPE kMp3 = {&MEDIATYPE_Audio, &MEDIASUBTYPE_None};
wchar_t kIn[] = L"In";
wchar_t kOut[] = L"Out";
const AMOVIESETUP_PIN kPins[] = {{kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &kPcm},
                                 {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kMp3}};
const AMOVIESETUP_FILTER kSetup = {&kClsidLameEncoder, L"LAME Audio Encoder", MERIT_DO_NOT_USE, 2, kPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {L"LAME Audio Encoder", &kClsidLameEncoder, CreateComObject<LameEncoder>, nullptr, &kSetup},
};
int g_cTemplates = static_cast<int>(std::size(g_Templates));

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }
STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }
