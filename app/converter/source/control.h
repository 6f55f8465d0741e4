#pragma once
// SwfControl: the ready-made player control below the video. Its graphics and scripts come from
// the template movie "control.swf" beside the program: the handler writes the control's variables
// as a DoAction, copies the template's definitions into the movie and places the control's sprite
// under the video as "videoControls".

#include <cstdint>
#include <string>
#include <vector>

#include "app/deze/source/swfmuxapi.h"

// The control's variables, in the order the DoAction sets them; the names are the ActionScript
// variable names. Booleans are 0 or 1.
struct ControlParameters {
  // The DoAction tag: every variable, then _parent.svMovieStarts(this).
  bool WriteActions(BitStream& stream) const;

  std::string svTitle = "Unknown";
  uint8_t svStopAtBeginning = 0;
  int32_t svStopAtEnd = 1;
  int32_t svStartAtVolume = 75;
  std::string svPlayButtonStyle = "1";
  uint8_t svUseSnapshot = 0;
  uint8_t svChapterMenu = 0;
  uint8_t svEnableSpeed = 0;
  std::string svTextColor = "333333";
  std::string svIconColor = "CC0000";
  std::string svBorderColor = "333333";
  std::string svTrackColor = "FFFFFF";
  std::string svLoadColor = "DDDDDD";
  std::string svProgressColor = "787878";
  uint8_t svShowTitleBar = 0;
  std::string svBttnUpColor = "FFFFFF";
  std::string svBttnOverColor = "E8E8E8";
  std::string svBttnDownColor = "D4D4D4";
  int32_t svBttnRoundness = 50;
  std::string svSubtitleColor = "FFFF00";
  std::string svSubtitleLang = "ENU";
  uint8_t svLanguageMenu = 1;
  std::string svOverlayURL;
  std::string svOverlayTarget = "_blank";
  uint8_t svBuffer = 1;
  std::string svBufferText = "Buffering ...";
  int32_t svBufferTime = 5;
  std::string svDuration = "21.800000";
  int32_t svWidth = 100;
  int32_t svHeight = 100;
  uint8_t svMovieHasStarted = 1;
};

// Registered with the multiplexer before the engine itself; called on its streaming thread. Reads
// the template anew for every movie and reports nothing: a failure only fails the movie.
class SwfControl : public ISwfMuxHandler {
 public:
  // The control's sprite in the template movie.
  static constexpr uint16_t kControlCharacterId = 271;

  SwfControl();
  virtual ~SwfControl() = default;

  // The movie's file name, shown as the control's title.
  void SetMovieName(const std::wstring& name);
  // For tests: another template file.
  void SetTemplatePath(const std::wstring& path) { templatePath_ = path; }
  const ControlParameters& Parameters() const { return parameters_; }

  // Makes room for the control below the video and leaves ids and depths below 1000 to the
  // template's definitions.
  HRESULT OnPrepare(MuxSettings* settings) override;
  // The DoAction, the template's definitions and the placement of the control; E_FAIL when any
  // of them cannot be written (what was written stays).
  HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream) override;
  HRESULT OnFinish(MuxSettings* settings, BitStream* stream) override;

 private:
  int32_t controlWidth_ = 200;  // pixels
  int32_t controlHeight_ = 13;
  std::wstring templatePath_;
  uint16_t controlCharacterId_ = kControlCharacterId;
  std::wstring movieName_;
  ControlParameters parameters_;
};

// The template's definitions: its body (after the 8-byte file header) from behind the white
// SetBackgroundColor up to the control's own 23-byte PlaceObject2 at depth 2. False when the body
// lacks either marker or they are not in that order.
bool CutTemplateDefinitions(const std::vector<uint8_t>& body, size_t* start, size_t* end);
// The body of a template movie, inflated when it is compressed; false when the file cannot be
// opened or read, or the body is empty. Reports nothing.
bool ReadTemplateBody(const std::wstring& path, std::vector<uint8_t>& body);
// The same from a stream at the start of the file.
bool ReadTemplateBody(DataStream& file, std::vector<uint8_t>& body);
// The PlaceObject2 tag of the control at kMovieControlDepth, centred under the video.
bool WriteControlPlacement(BitStream& stream, const MuxSettings& settings, int32_t controlWidth, uint16_t character);
