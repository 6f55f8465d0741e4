#pragma once
// FlashBuilder: one conversion job. It builds a DirectShow graph that reads the movie (and, when
// asked, a separate audio file), passes the video through deze's encoders into the SWF multiplexer
// and writes the movie to the project's output file. The owner runs the graph (FilterGraph::Run),
// reads the progress now and then and destroys the builder when ClassifyGraphEvent says the run
// ended. While the movie is written the builder takes part through ISwfMuxHandler, on the
// multiplexer's streaming thread.

#include <dshow.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/converter/source/config.h"
#include "app/converter/source/control.h"
#include "app/deze/source/swfmuxapi.h"
#include "common/comptr.h"
#include "media/filtergraph.h"
#include "media/vp6state.h"

class CMediaType;

// How a graph event bears on a conversion run: the one rule that the test runner and the main
// window share. EC_COMPLETE -> kFinished; EC_ERRORABORT, EC_ERRORABORTEX, EC_USERABORT,
// EC_STREAM_ERROR_STOPPED -> kFailed; everything else -> kIgnore.
enum class RunEvent { kIgnore, kFinished, kFailed };
RunEvent ClassifyGraphEvent(long code);

// How a run ended, for its owner to tell the user.
struct RunOutcome {
  bool succeeded = false;
  std::wstring note;  // MovieNote: a warning of a good movie, a cause of a failed one
  std::wstring kept;  // after a failure: where the movie that stays was kept, and how much of it
};

// The VP6 codec's rate control for one movie.
struct Vp6RateControl {
  int32_t rate;  // kbps scaled to the codec's 30 fps base; 0 lets the codec choose
  int32_t keyInterval;  // frames
  int32_t maxQuantizer;
};

// From the movie's frame time (100 ns; positive) and the project's VP6 settings. The frame rate
// counts as 1 to 30 fps; products that leave int32 saturate.
Vp6RateControl MakeVp6RateControl(int64_t averageTimePerFrame, const VideoConfig& video);
// Writes the rate control and the fixed settings into the codec's state block.
void ApplyVp6RateControl(const Vp6RateControl& control, Vp62State& state);

// The PCM format that the stage before the MP3 encoder makes of its decoded input: mono stays
// mono, the rate goes up to the next rate the multiplexer takes (11025, 22050, 44100); anything
// but valid PCM becomes 44100 Hz stereo.
struct PcmStageFormat {
  int channels;
  int sampleRate;
};
PcmStageFormat ChoosePcmStageFormat(const AM_MEDIA_TYPE* decoded);

// Why a movie cannot hold a video of this type (VIDEOINFOHEADER or VIDEOINFOHEADER2): its size or
// its frame rate, as the user reads it. Empty when neither is the cause.
std::wstring VideoRefusal(const AM_MEDIA_TYPE& type);

// Deletes the movie file at the path; true when no file is left there. The one place a movie is
// deleted: an old one once the user agreed to replace it, again before the sink opens the file,
// and a movie that never began.
bool DeleteMovie(const std::wstring& path);

class FlashBuilder : public FilterGraph, public ISwfMuxHandler {
 public:
  // Creates the graph and its event window; builds nothing yet.
  FlashBuilder(GraphObserver* observer, const ProjectConfig& project);
  // Stops the graph first: a failed run may leave the multiplexer paused with a movie open, and
  // stopping it calls OnFinish, which must find the builder whole. Whether or not the graph
  // stopped, the builder and its control then leave the multiplexer's handlers. A movie that never
  // began (its header was not written) or finished without a frame is no movie: its file is
  // removed once the graph let it go.
  ~FlashBuilder() override;

  // Once, before FilterGraph::Run. S_OK, or the failing code after reporting what the user must
  // see; the filters added so far stay in the graph.
  HRESULT Build();
  // 0 ... 100; 0 while nothing can be said.
  int32_t GetProgress();
  // True only when the multiplexer's finish ran (OnFinish), its flags did not hold kMuxError and
  // it counted a frame. A run that ended with kFinished is a good movie only when this is true.
  bool MovieSucceeded() const;
  // Whether the movie file stays when the builder goes: one whose finish counted frames, or one
  // that began and whose finish never reached the builder (a graph that would not stop finishes it
  // as it goes, unseen here). Anything else is no movie.
  bool KeepsMovie() const;
  // Once the run ended, what the user must hear besides whether the movie is good: where a good
  // movie was cut at the multiplexer's limits (a warning), or why a movie failed when the finish
  // could tell (the video ended before its first frame). Empty otherwise.
  std::wstring MovieNote() const;
  // Ends the run on an event that ClassifyGraphEvent does not ignore: stops the graph and says how
  // the run went. A failed run is no good movie and keeps no page: the builder hears of the failure
  // before the stop, which may finish the movie, and a page already written goes with the builder.
  // The one rule of the main window and the test runner; the owner then releases the builder.
  RunOutcome EndRun(RunEvent event);
  // After a failed run, once the graph stopped: where a movie that stays was kept and, when its
  // finish told them, its frames and length. Empty when no movie stays.
  std::wstring KeptMovieNote() const;

  // ISwfMuxHandler, on the multiplexer's streaming thread, after the movie control's.
  // OnHeaderWritten notes that the movie began; OnFinish notes how it ended and writes the web
  // page of a good movie.
  HRESULT OnPrepare(MuxSettings* settings) override;
  HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream) override;
  HRESULT OnFinish(MuxSettings* settings, BitStream* stream) override;

 private:
  HRESULT CreateDezeFilter(REFCLSID classId, ComPtr<IBaseFilter>& filter);
  HRESULT CreateLameFilter(ComPtr<IBaseFilter>& filter);
  // The pins that carry the file's video and sound, their decoders and renderers removed; with
  // `videoType`, the type of the video as the file's splitter gives it.
  HRESULT RenderSourceFile(const std::wstring& file, ComPtr<IPin>& videoPin, ComPtr<IPin>& audioPin,
                           CMediaType* videoType = nullptr);
  // The video and the sound renderer's input pins the conversion takes, and every renderer's.
  HRESULT FindRendererPins(ComPtr<IPin>& videoPin, ComPtr<IPin>& audioPin, std::vector<ComPtr<IPin>>& renderers);
  // With `pictureType`, the type of the connection nearest the source that describes a picture.
  HRESULT TraceToSourcePin(IPin* start, ComPtr<IPin>& sourcePin, CMediaType* pictureType = nullptr);
  HRESULT BuildVideoBranch(IPin* videoPin);
  HRESULT ConnectFileSink(IPin* muxOutput, const std::wstring& path);
  HRESULT AddFileSink(IBaseFilter* sink, const wchar_t* name, IPin* muxOutput, const std::wstring& path);
  HRESULT ConfigureVp6Encoder(IBaseFilter* encoder, IPin* encoderInput);
  HRESULT BuildAudioBranch(IPin* audioPin);

  // What the multiplexer's finish told the builder.
  enum FinishState : int32_t { kNotFinished, kFinishedWell, kFinishedFailed, kFinishedWithoutVideo };

  const ProjectConfig project_;
  ComPtr<IMediaSeeking> seeking_;  // the multiplexer's own: with no clock the graph's stays 0
  ComPtr<IBaseFilter> multiplexer_;
  SwfControl control_;  // registered with the multiplexer only when add_control is set
  std::wstring moviePath_;  // set once the sink was given the file
  // Written on the multiplexer's thread before finishState_, read after it.
  std::atomic<bool> movieBegan_{false};
  std::atomic<int32_t> cutAt_{0};  // the limit flag the finish reported, if any
  std::atomic<int32_t> framesWritten_{0};
  std::atomic<int32_t> frameRate_{0};  // 8.8 fixed point
  std::atomic<int32_t> finishState_{kNotFinished};
  std::atomic<bool> runFailed_{false};
  std::atomic<bool> pageWritten_{false};  // by this run's finish
};
