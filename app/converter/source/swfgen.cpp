#include "app/converter/source/swfgen.h"

#include <shlwapi.h>
#include <vfw.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "app/converter/source/page.h"
#include "common/duration.h"
#include "common/error.h"
#include "common/fileutil.h"
#include "common/format.h"
#include "media/comx.h"
#include "media/dsutil.h"
#include "platform/dshow/mediatype.h"

namespace {

constexpr wchar_t kSource[] = L"swfgen";
constexpr wchar_t kDezeModule[] = L"deze.dll";
constexpr wchar_t kLameModule[] = L"lame.ax";
constexpr wchar_t kVp6Codec[] = L"vp6vfw.dll";
constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');
constexpr CLSID CLSID_LameEncoder = {0xb8d27088, 0xff5f, 0x4b7c, {0x98, 0xdc, 0x0e, 0x91, 0xa1, 0x69, 0x62, 0x86}};
constexpr int kPcmFormatTag = 1;

// A codec's state block beyond this is taken for a broken answer, not allocated.
constexpr LRESULT kMaxVp6StateBytes = 1 << 20;

HRESULT Failed(int line, HRESULT result) {
  OnComError(kSource, line, result);
  return result;
}

// The rate of a frame time (100 ns) as the user reads it: from one frame a second up with at most
// two decimals; below, "1/" and the exact seconds a frame, since a rate rounded just past the
// movie's 1/256 would read as one it plays.
std::wstring FrameRateText(int64_t frameTime) {
  std::wstring text =
      frameTime > kUnitsPerSecond
          ? Format(L"1/%I64d.%07I64d", static_cast<long long>(frameTime / kUnitsPerSecond),
                   static_cast<long long>(frameTime % kUnitsPerSecond))
          : Format(L"%.2f", static_cast<double>(kUnitsPerSecond) / static_cast<double>(frameTime));
  while (text.back() == L'0') text.pop_back();
  if (text.back() == L'.') text.pop_back();
  return text;
}

// A movie's length as the notes give it.
std::wstring MovieLength(int32_t frames, int32_t frameRate) {
  const int64_t lengthMs = frameRate > 0 ? int64_t{frames} * 256 * 1000 / frameRate : 0;
  return Duration(lengthMs).ToString(false, false);
}

int32_t SaturatedInt32(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

RunEvent ClassifyGraphEvent(long code) {
  switch (code) {
    case EC_COMPLETE: return RunEvent::kFinished;
    case EC_ERRORABORT:
    case EC_ERRORABORTEX:
    case EC_USERABORT:
    case EC_STREAM_ERROR_STOPPED: return RunEvent::kFailed;
    default: return RunEvent::kIgnore;
  }
}

Vp6RateControl MakeVp6RateControl(int64_t averageTimePerFrame, const VideoConfig& video) {
  const int64_t fps = std::clamp<int64_t>(static_cast<int32_t>(kUnitsPerSecond / averageTimePerFrame), 1, 30);
  Vp6RateControl control = {};
  if (video.bitrate > 0) {
    control.rate = SaturatedInt32(int64_t{video.bitrate} * 30 / fps);
    control.maxQuantizer = 50;
  } else {
    control.rate = 0;  // "Auto": the quality sets the ceiling instead
    control.maxQuantizer = 4 * (kQualityMax - std::clamp(video.quality, kQualityMin, kQualityMax));
  }
  control.keyInterval = SaturatedInt32(int64_t{video.key_frame_interval} * fps);
  return control;
}

void ApplyVp6RateControl(const Vp6RateControl& control, Vp62State& state) {
  const struct {
    int32_t offset;
    int32_t value;
  } fields[] = {
      {VP62_OFFSET_BITRATE, control.rate},
      {VP62_OFFSET_MODE, 2},
      {VP62_OFFSET_END_USAGE, 0},
      {VP62_OFFSET_MATERIAL, 0},
      {VP62_OFFSET_NOISE_REDUCTION, 0},
      {VP62_OFFSET_SHARPNESS, 5},
      {VP62_OFFSET_AUTO_KEY_FRAME, 1},
      {VP62_OFFSET_MAX_KEY_FRAME_INTERVAL, control.keyInterval},
      {VP62_OFFSET_UNDERSHOOT, 100},
      {VP62_OFFSET_ADJUST_QUANTIZER, 0},
      {VP62_OFFSET_QUANTIZER_MIN, 0},
      {VP62_OFFSET_QUANTIZER_MAX, control.maxQuantizer},
      {VP62_OFFSET_TEMPORAL_RESAMPLING, 0},
      {VP62_OFFSET_TR_DOWN_WATERMARK, 20},
      {VP62_OFFSET_SPATIAL_RESAMPLING, 0},
      {VP62_OFFSET_SR_DOWN_WATERMARK, 35},
      {VP62_OFFSET_SR_UP_WATERMARK, 45},
      {VP62_OFFSET_PEAK_BITRATE, 100},
      {VP62_OFFSET_PREBUFFER, 4},
      {VP62_OFFSET_OPTIMAL_BUFFER, 5},
      {VP62_OFFSET_MAX_BUFFER, 6},
      {VP62_OFFSET_VARIABILITY, 70},
      {VP62_OFFSET_MIN_SECTION, 40},
      {VP62_OFFSET_MAX_SECTION, 400},
  };
  for (const auto& field : fields) state.SetField(field.offset, field.value);
}

PcmStageFormat ChoosePcmStageFormat(const AM_MEDIA_TYPE* decoded) {
  if (!IsValidPcmMediaType(decoded)) return {2, 44100};
  const auto* format = reinterpret_cast<const WAVEFORMATEX*>(decoded->pbFormat);
  const DWORD rate = format->nSamplesPerSec;
  return {format->nChannels == 1 ? 1 : 2, rate <= 11025 ? 11025 : rate <= 22050 ? 22050 : 44100};
}

std::wstring VideoRefusal(const AM_MEDIA_TYPE& type) {
  const BITMAPINFOHEADER* header = PictureOf(type);
  if (!header) return std::wstring();
  const int64_t frameTime = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
  const int64_t width = header->biWidth;
  const int64_t height = std::llabs(int64_t{header->biHeight});
  if (width > kMaxMovieSide || height > kMaxMovieSide) {
    return Format(L"The video is %d x %d pixels: a Flash movie is at most %d pixels wide and high.",
                  static_cast<int>(width), static_cast<int>(height), static_cast<int>(kMaxMovieSide));
  }
  if (frameTime <= 0) return L"The video does not give its frame rate.";
  if (IsMovieFrameTime(frameTime)) return std::wstring();
  return Format(L"The video plays %s frames a second: a Flash movie plays more than 1/256 and fewer than 256.",
                FrameRateText(frameTime).c_str());
}

bool DeleteMovie(const std::wstring& path) {
  return !PathFileExistsW(path.c_str()) || DeleteFileW(path.c_str());
}

FlashBuilder::FlashBuilder(GraphObserver* observer, const ProjectConfig& project)
    : FilterGraph(observer), project_(project) {}

FlashBuilder::~FlashBuilder() {
  Stop();
  // A graph that would not stop finishes its movie when it goes, after this object: the
  // multiplexer must not call into the builder or its control then.
  if (auto muxer = ComPtr<ISwfMuxer>::QueryFrom(multiplexer_.Get()); muxer.IsValid()) {
    muxer->RemoveHandler(&control_);
    muxer->RemoveHandler(this);
  }
  // Nothing writes the page any more: a failed run's goes.
  if (runFailed_.load() && pageWritten_.load()) DeleteFileW(GetOutputPaths(project_.publish_config).page.c_str());
  if (moviePath_.empty() || KeepsMovie()) return;
  // The sink holds the file open until the graph lets it go.
  seeking_.Release();
  multiplexer_.Release();
  ReleaseGraph();
  DeleteMovie(moviePath_);
}

bool FlashBuilder::MovieSucceeded() const { return finishState_.load() == kFinishedWell; }

bool FlashBuilder::KeepsMovie() const {
  const bool finished = finishState_.load() != kNotFinished;
  return movieBegan_.load() && (!finished || framesWritten_.load() > 0);
}

std::wstring FlashBuilder::MovieNote() const {
  const int32_t state = finishState_.load();
  if (state == kFinishedWithoutVideo) {
    return Format(L"No video frame could be read from %s", project_.video_config.video_file.c_str());
  }
  if (state != kFinishedWell || cutAt_.load() == 0) return std::wstring();
  const int32_t frames = framesWritten_.load();
  const std::wstring length = MovieLength(frames, frameRate_.load());
  if (cutAt_.load() & kMuxCharacterLimitReached) {
    return Format(L"The movie was cut at %s, after %d frames: a lossless Flash movie holds at most 65535 pictures "
                  L"and shapes.",
                  length.c_str(), frames);
  }
  if (frames >= kMaxMovieFrames) {
    return Format(L"The movie was cut at %s, after %d frames: a Flash movie holds at most %d frames.",
                  length.c_str(), frames, static_cast<int>(kMaxMovieFrames));
  }
  return Format(L"The movie was cut at %s, after %d frames: a Flash movie holds at most 4 GiB.", length.c_str(),
                frames);
}

RunOutcome FlashBuilder::EndRun(RunEvent event) {
  RunOutcome outcome;
  outcome.succeeded = event == RunEvent::kFinished && MovieSucceeded();
  if (!outcome.succeeded) runFailed_.store(true);
  Stop();
  outcome.note = MovieNote();
  if (!outcome.succeeded) outcome.kept = KeptMovieNote();
  return outcome;
}

std::wstring FlashBuilder::KeptMovieNote() const {
  if (moviePath_.empty() || !KeepsMovie()) return std::wstring();
  // As the file system names it: a folder typed with its last backslash gives the path two.
  const std::wstring full = GetFullPath(moviePath_.c_str());
  const wchar_t* path = full.empty() ? moviePath_.c_str() : full.c_str();
  if (finishState_.load() == kNotFinished) return Format(L"The movie written so far is kept in %s.", path);
  const int32_t frames = framesWritten_.load();
  return Format(L"The movie written so far is kept in %s: %d frames, %s.", path, frames,
                MovieLength(frames, frameRate_.load()).c_str());
}

HRESULT FlashBuilder::OnPrepare(MuxSettings*) { return S_OK; }

HRESULT FlashBuilder::OnHeaderWritten(MuxSettings*, BitStream*) {
  movieBegan_.store(true);
  return S_OK;
}

HRESULT FlashBuilder::OnFinish(MuxSettings* settings, BitStream*) {
  if (!settings) {
    finishState_.store(kFinishedFailed);
    return S_OK;
  }
  framesWritten_.store(settings->frameCount);
  frameRate_.store(settings->frameRate);
  cutAt_.store(settings->flags & (kMuxFrameCapReached | kMuxCharacterLimitReached));
  // A movie without a frame shows nothing, whatever ended it (a stop before the first frame too);
  // nor is the movie of a failed run good, whose stop finished it.
  const bool good = (settings->flags & kMuxError) == 0 && settings->frameCount > 0 && !runFailed_.load();
  if (!good) {
    finishState_.store((settings->flags & kMuxNoVideoFrame) != 0 ? kFinishedWithoutVideo : kFinishedFailed);
    return S_OK;
  }
  finishState_.store(kFinishedWell);
  // No exception may reach the multiplexer's thread.
  try {
    if (WriteHtmlPage(project_.publish_config, *settings)) pageWritten_.store(true);
  } catch (...) {
  }
  return S_OK;
}

int32_t FlashBuilder::GetProgress() {
  if (seeking_.IsNull()) return 0;
  LONGLONG position = 0;
  LONGLONG duration = 0;
  if (FAILED(seeking_->GetCurrentPosition(&position)) || FAILED(seeking_->GetDuration(&duration))) return 0;
  if (position < 0 || duration <= 0) return 0;
  if (position > duration) return 100;
  return static_cast<int32_t>(position * 100 / duration);
}

HRESULT FlashBuilder::CreateDezeFilter(REFCLSID classId, ComPtr<IBaseFilter>& filter) {
  const HRESULT result =
      CreateObjectFromModule(kDezeModule, classId, IID_IBaseFilter, reinterpret_cast<void**>(filter.Clear()));
  return FAILED(result) ? Failed(263, result) : result;
}

HRESULT FlashBuilder::CreateLameFilter(ComPtr<IBaseFilter>& filter) {
  const HRESULT result = CreateObjectFromModule(kLameModule, CLSID_LameEncoder, IID_IBaseFilter,
                                                reinterpret_cast<void**>(filter.Clear()));
  return FAILED(result) ? Failed(255, result) : result;
}

HRESULT FlashBuilder::Build() {
  const VideoConfig& video = project_.video_config;
  const AudioConfig& audio = project_.audio_config;
  ComPtr<IPin> videoPin;
  ComPtr<IPin> audioPin;
  CMediaType videoType;
  // A file that renders only in part may still give the video pin.
  RenderSourceFile(video.video_file, videoPin, audioPin, &videoType);
  if (videoPin.IsNull()) {
    ReportError(L"Failed to parse video file %s", video.video_file.c_str());
    return E_FAIL;
  }

  if (audio.audio_type == kAudioFromFile) {
    audioPin.Release();
    ComPtr<IPin> ignoredVideo;
    const HRESULT result = RenderSourceFile(audio.audio_file, ignoredVideo, audioPin);
    if (FAILED(result)) return Failed(61, result);
    if (audioPin.IsNull()) ShowError(L"Audio will not be included in result file");
  }

  if (BuildVideoBranch(videoPin.Get()) != S_OK) {
    ReportError(L"Failed to convert movie file %s\n", video.video_file.c_str());
    if (const std::wstring cause = VideoRefusal(videoType); !cause.empty()) ReportError(L"%s", cause.c_str());
    return E_FAIL;
  }

  const bool wantsAudio = audio.audio_type == kAudioFromMovie || audio.audio_type == kAudioFromFile;
  if (wantsAudio && audioPin.IsValid()) {
    const HRESULT result = BuildAudioBranch(audioPin.Get());
    if (result != S_OK) return Failed(73, FAILED(result) ? result : E_FAIL);
  }
  return S_OK;
}

HRESULT FlashBuilder::RenderSourceFile(const std::wstring& file, ComPtr<IPin>& videoPin, ComPtr<IPin>& audioPin,
                                       CMediaType* videoType) {
  videoPin.Release();
  audioPin.Release();
  if (graph_.IsNull()) return E_FAIL;
  HRESULT result = graph_->RenderFile(file.c_str(), nullptr);
  if (FAILED(result)) return Failed(494, result);
  std::vector<ComPtr<IPin>> renderers;
  result = FindRendererPins(videoPin, audioPin, renderers);
  if (FAILED(result)) return Failed(498, result);
  // From each renderer back to the pin that feeds its decoders; then the decoders and the renderer
  // go, and that pin is left for the conversion. The renderers of the streams not taken (a second
  // sound track) go too: one would play aloud and hold the run to real time. Every trace comes
  // first: a splitter that lost a stream would look like a decoder to the next one.
  std::vector<ComPtr<IPin>> sources(renderers.size());
  for (size_t i = 0; i < renderers.size(); ++i) {
    const bool video = renderers[i].Get() == videoPin.Get();
    TraceToSourcePin(renderers[i].Get(), sources[i], video ? videoType : nullptr);
  }
  for (size_t i = 0; i < renderers.size(); ++i) {
    if (renderers[i].Get() == videoPin.Get()) videoPin = sources[i];
    if (renderers[i].Get() == audioPin.Get()) audioPin = sources[i];
  }
  for (const ComPtr<IPin>& source : sources) {
    if (source.IsValid()) RemoveDownstream(graph_.Get(), source.Get());
  }
  return S_OK;
}

HRESULT FlashBuilder::FindRendererPins(ComPtr<IPin>& videoPin, ComPtr<IPin>& audioPin,
                                       std::vector<ComPtr<IPin>>& renderers) {
  renderers.clear();
  if (graph_.IsNull()) return E_FAIL;
  ComPtr<IEnumFilters> filters;
  HRESULT result = graph_->EnumFilters(filters.Clear());
  if (FAILED(result)) return Failed(417, result);
  ComPtr<IBaseFilter> filter;
  std::vector<ComPtr<IPin>> pins;
  while (filters->Next(1, filter.Clear(), nullptr) == S_OK && filter.IsValid()) {
    result = GetFilterPins(filter.Get(), pins);
    if (FAILED(result)) return Failed(421, result);
    // A renderer: one pin, an input.
    if (pins.size() != 1) continue;
    PIN_DIRECTION direction;
    result = pins[0]->QueryDirection(&direction);
    if (FAILED(result)) return Failed(426, result);
    if (direction != PINDIR_INPUT) continue;
    CMediaType type;
    if (FAILED(pins[0]->ConnectionMediaType(&type))) continue;
    renderers.push_back(pins[0]);
    // The choice stops once both kinds are known; later renderers are only listed.
    if (videoPin.IsValid() && audioPin.IsValid()) continue;
    if (type.majortype == MEDIATYPE_Video) videoPin = pins[0];
    if (type.majortype == MEDIATYPE_Audio) audioPin = pins[0];
  }
  return S_OK;
}

HRESULT FlashBuilder::TraceToSourcePin(IPin* start, ComPtr<IPin>& sourcePin, CMediaType* pictureType) {
  if (graph_.IsNull() || !start) return E_FAIL;
  ComPtr<IPin> current;
  HRESULT result = start->ConnectedTo(current.Clear());
  if (FAILED(result)) return Failed(452, result);
  std::vector<ComPtr<IPin>> pins;
  for (;;) {
    if (pictureType) {
      CMediaType type;
      if (SUCCEEDED(current->ConnectionMediaType(&type)) && PictureOf(type)) *pictureType = type;
    }
    ComPtr<IBaseFilter> filter;
    result = GetPinFilter(current.Get(), filter);
    if (FAILED(result)) return Failed(456, result);
    result = GetFilterPins(filter.Get(), pins);
    if (FAILED(result)) return Failed(459, result);
    int connectedInputs = 0;
    int connectedOutputs = 0;
    ComPtr<IPin> firstInput;
    for (const ComPtr<IPin>& pin : pins) {
      ComPtr<IPin> peer;
      if (FAILED(pin->ConnectedTo(peer.Clear()))) continue;
      PIN_DIRECTION direction;
      result = pin->QueryDirection(&direction);
      if (FAILED(result)) return Failed(469, result);
      if (direction == PINDIR_OUTPUT) {
        ++connectedOutputs;
      } else if (connectedInputs++ == 0) {
        firstInput = pin;
      }
    }
    // A splitter with several streams, or the source itself, carries this stream on `current`.
    if (connectedInputs != 1 || connectedOutputs != 1) break;
    result = firstInput->ConnectedTo(current.Clear());
    if (FAILED(result)) return Failed(480, result);
  }
  sourcePin = current;
  return S_OK;
}

HRESULT FlashBuilder::BuildVideoBranch(IPin* videoPin) {
  if (!videoPin || graph_.IsNull()) return E_FAIL;
  const bool vp6 = project_.video_config.format == kFormatVp6;
  ComPtr<IPin> current(videoPin);
  HRESULT result;
  if (vp6) {
    ComPtr<IBaseFilter> flip;
    if (FAILED(result = CreateDezeFilter(CLSID_FlipFilter, flip))) return Failed(90, result);
    if (FAILED(result = graph_->AddFilter(flip.Get(), L"Flip"))) return Failed(91, result);
    ComPtr<IPin> flipInput;
    ComPtr<IPin> flipOutput;
    if ((result = FindPin(flip.Get(), PINDIR_INPUT, nullptr, nullptr, flipInput)) != S_OK) return Failed(93, result);
    if ((result = FindPin(flip.Get(), PINDIR_OUTPUT, nullptr, nullptr, flipOutput)) != S_OK)
      return Failed(95, result);
    if (FAILED(result = graph_->Connect(current.Get(), flipInput.Get()))) return Failed(97, result);
    current = flipOutput;

    ComPtr<IBaseFilter> encoder;
    if (FAILED(result = CreateDezeFilter(CLSID_VcmEncoderFilter, encoder))) return Failed(103, result);
    // Without the codec the encoder takes no input, and the connection below says so.
    if (auto driver = ComPtr<IVcmDriver>::QueryFrom(encoder.Get()); driver.IsValid())
      driver->LoadDriver(kVp6Codec, kVp62);
    if (FAILED(result = graph_->AddFilter(encoder.Get(), L"Vp6 Encoder"))) return Failed(107, result);
    ComPtr<IPin> encoderInput;
    ComPtr<IPin> encoderOutput;
    if ((result = FindPin(encoder.Get(), PINDIR_INPUT, nullptr, nullptr, encoderInput)) != S_OK)
      return Failed(109, result);
    if ((result = FindPin(encoder.Get(), PINDIR_OUTPUT, nullptr, nullptr, encoderOutput)) != S_OK)
      return Failed(111, result);
    if ((result = graph_->Connect(current.Get(), encoderInput.Get())) != S_OK) return Failed(113, result);
    current = encoderOutput;
    // Without the settings the codec keeps its own.
    ConfigureVp6Encoder(encoder.Get(), encoderInput.Get());
  }

  ComPtr<IBaseFilter> multiplexer;
  if (FAILED(result = CreateDezeFilter(CLSID_SwfMuxer, multiplexer))) return Failed(121, result);
  if (FAILED(result = graph_->AddFilter(multiplexer.Get(), L"Swf Mux"))) return Failed(122, result);
  ComPtr<IPin> muxVideoInput;
  ComPtr<IPin> muxOutput;
  if ((result = FindPin(multiplexer.Get(), PINDIR_INPUT, &MEDIATYPE_Video, nullptr, muxVideoInput)) != S_OK)
    return Failed(124, result);
  if ((result = FindPin(multiplexer.Get(), PINDIR_OUTPUT, nullptr, nullptr, muxOutput)) != S_OK)
    return Failed(126, result);
  // The VP6 stream goes in as it is; the lossless path lets the graph insert what turns the source
  // into the 32-bit RGB the multiplexer takes.
  if (vp6) {
    if ((result = graph_->ConnectDirect(current.Get(), muxVideoInput.Get(), nullptr)) != S_OK)
      return Failed(129, result);
  } else if ((result = graph_->Connect(current.Get(), muxVideoInput.Get())) != S_OK) {
    return Failed(131, result);
  }
  multiplexer_ = multiplexer;

  const PublishConfig& publish = project_.publish_config;
  if ((result = ConnectFileSink(muxOutput.Get(), GetOutputPaths(publish).movie)) != S_OK) return result;

  auto mediaFilter = ComPtr<IMediaFilter>::QueryFrom(graph_.Get());
  if (mediaFilter.IsNull()) return Failed(159, E_NOINTERFACE);
  // No clock: the graph runs as fast as the filters go.
  mediaFilter->SetSyncSource(nullptr);
  // The multiplexer's own position: with no clock the graph's stays 0 under Wine.
  seeking_ = ComPtr<IMediaSeeking>::QueryFrom(multiplexer_.Get());

  // The control first: its definitions come before the video's.
  if (auto muxer = ComPtr<ISwfMuxer>::QueryFrom(multiplexer_.Get()); muxer.IsValid()) {
    if (publish.add_control) {
      control_.SetMovieName(publish.save_name);
      muxer->AddHandler(&control_);
    }
    muxer->AddHandler(this);
  }
  return S_OK;
}

HRESULT FlashBuilder::ConnectFileSink(IPin* muxOutput, const std::wstring& path) {
  ComPtr<IBaseFilter> writer;
  HRESULT result = writer.CreateInstance(CLSID_FileWriter);
  if (result == S_OK) {
    result = AddFileSink(writer.Get(), L"File Writer", muxOutput, path);
    if (result == S_OK) return S_OK;
    // Wine's File Writer offers no IStream on its pin, which the multiplexer writes through. An
    // unconnected writer would count as a renderer that never completes, so it goes.
    graph_->RemoveFilter(writer.Get());
    writer.Release();
  } else {
    OnComError(kSource, 139, result);
  }
  ComPtr<IBaseFilter> dump;
  if (FAILED(result = CreateDezeFilter(CLSID_FileDump, dump))) return result;
  return AddFileSink(dump.Get(), L"File Dump", muxOutput, path);
}

HRESULT FlashBuilder::AddFileSink(IBaseFilter* sink, const wchar_t* name, IPin* muxOutput, const std::wstring& path) {
  HRESULT result = graph_->AddFilter(sink, name);
  if (FAILED(result)) return Failed(140, result);
  ComPtr<IPin> input;
  if ((result = FindPin(sink, PINDIR_INPUT, nullptr, nullptr, input)) != S_OK) return Failed(142, result);
  auto fileSink = ComPtr<IFileSinkFilter>::QueryFrom(sink);
  if (fileSink.IsNull()) return Failed(145, E_NOINTERFACE);
  // The user agreed to replace an existing movie.
  DeleteMovie(path);
  if ((result = fileSink->SetFileName(path.c_str(), nullptr)) != S_OK) return Failed(153, result);
  moviePath_ = path;
  if ((result = graph_->ConnectDirect(muxOutput, input.Get(), nullptr)) != S_OK)
    return Failed(155, FAILED(result) ? result : E_FAIL);
  return S_OK;
}

HRESULT FlashBuilder::ConfigureVp6Encoder(IBaseFilter* encoder, IPin* encoderInput) {
  if (!encoder || !encoderInput) return E_POINTER;
  CMediaType type;
  const HRESULT result = encoderInput->ConnectionMediaType(&type);
  if (FAILED(result)) return Failed(288, result);
  if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER)) return E_FAIL;
  const int64_t averageTimePerFrame = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
  if (averageTimePerFrame <= 0) return E_FAIL;
  const Vp6RateControl control = MakeVp6RateControl(averageTimePerFrame, project_.video_config);

  // Through IVcmDriver: IAMVfwCompressDialogs::SendDriverMessage takes LONG and would cut the
  // buffer pointer on 64-bit Windows.
  auto driver = ComPtr<IVcmDriver>::QueryFrom(encoder);
  if (driver.IsNull()) return E_FAIL;
  const LRESULT size = driver->DriverMessage(ICM_GETSTATE, 0, 0);
  if (size <= 0 || size > kMaxVp6StateBytes) return E_FAIL;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (driver->DriverMessage(ICM_GETSTATE, reinterpret_cast<LPARAM>(bytes.data()), size) != 0) return E_FAIL;
  Vp62State state(bytes);
  ApplyVp6RateControl(control, state);
  // The codec answers with the number of bytes it took.
  const std::vector<uint8_t>& changed = state.GetBytes();
  if (driver->DriverMessage(ICM_SETSTATE, reinterpret_cast<LPARAM>(changed.data()), size) != size) return E_FAIL;
  return S_OK;
}

HRESULT FlashBuilder::BuildAudioBranch(IPin* audioPin) {
  ComPtr<IBaseFilter> encoder;
  HRESULT result = CreateLameFilter(encoder);
  if (FAILED(result)) return Failed(182, result);
  if ((result = graph_->AddFilter(encoder.Get(), L"My Lame")) != S_OK) return Failed(183, result);
  ComPtr<IPin> encoderInput;
  ComPtr<IPin> encoderOutput;
  FindPin(encoder.Get(), PINDIR_INPUT, nullptr, nullptr, encoderInput);
  FindPin(encoder.Get(), PINDIR_OUTPUT, nullptr, nullptr, encoderOutput);
  ComPtr<IPin> muxAudioInput;
  if ((result = FindPin(multiplexer_.Get(), PINDIR_INPUT, &MEDIATYPE_Audio, nullptr, muxAudioInput)) != S_OK)
    return Failed(190, FAILED(result) ? result : E_FAIL);

  // A stream the multiplexer takes as it comes (MP3 at one of its rates) needs no encoder; the
  // encoder then stays in the graph unconnected.
  if (graph_->Connect(audioPin, muxAudioInput.Get()) == S_OK) return S_OK;
  audioPin->Disconnect();
  muxAudioInput->Disconnect();

  // Connecting to the encoder makes the graph insert the decoders the stream needs; the PCM stage
  // goes in behind them.
  if ((result = graph_->Connect(audioPin, encoderInput.Get())) != S_OK) return Failed(202, result);
  ComPtr<IPin> upstream;
  if (FAILED(result = encoderInput->ConnectedTo(upstream.Clear()))) return Failed(203, result);
  if (FAILED(result = encoderInput->Disconnect())) return Failed(204, result);
  if (FAILED(result = upstream->Disconnect())) return Failed(205, result);

  ComPtr<IBaseFilter> converter;
  if ((result = CreateAudioCompressor(kPcmFormatTag, L"PCM", converter)) != S_OK)
    return Failed(209, FAILED(result) ? result : E_FAIL);
  if ((result = graph_->AddFilter(converter.Get(), L"My PCM")) != S_OK) return Failed(210, result);
  ComPtr<IPin> converterInput;
  ComPtr<IPin> converterOutput;
  FindPin(converter.Get(), PINDIR_INPUT, nullptr, nullptr, converterInput);
  FindPin(converter.Get(), PINDIR_OUTPUT, nullptr, nullptr, converterOutput);
  if ((result = graph_->Connect(upstream.Get(), converterInput.Get())) != S_OK) return Failed(215, result);
  PcmStageFormat stage;
  {
    CMediaType decoded;
    if (FAILED(result = converterInput->ConnectionMediaType(&decoded))) return Failed(221, result);
    stage = ChoosePcmStageFormat(&decoded);
  }

  auto streamConfig = ComPtr<IAMStreamConfig>::QueryFrom(converterOutput.Get());
  if (streamConfig.IsNull()) return E_FAIL;
  WAVEFORMATEX format;
  FillPcmFormat(stage.channels, stage.sampleRate, 16, format);
  CMediaType output;
  if (FAILED(result = CreateAudioMediaType(&format, &output, TRUE))) return Failed(238, result);
  if (FAILED(result = streamConfig->SetFormat(&output))) return Failed(238, result);

  if ((result = graph_->Connect(converterOutput.Get(), encoderInput.Get())) != S_OK) return Failed(243, result);
  if ((result = graph_->Connect(encoderOutput.Get(), muxAudioInput.Get())) != S_OK) return Failed(247, result);
  return S_OK;
}
