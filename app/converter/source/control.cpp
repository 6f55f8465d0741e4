#include "app/converter/source/control.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <new>

#include "common/strutil.h"
#include "common/window.h"
#include "common/zstream.h"
#include "media/dsutil.h"
#include "media/swfaction.h"
#include "media/swfrecord.h"

namespace {

constexpr int32_t kFileHeaderSize = 8;  // signature, version, file length
constexpr uint8_t kPlaceFlags = kPlaceFlagHasName | kPlaceFlagHasMatrix | kPlaceFlagHasCharacter;
constexpr char kControlName[] = "videoControls";

// Behind every marker search: the five bytes compared, a tag's short header and the first three
// bytes of its body.
constexpr int64_t kMarkerSize = 5;
using Marker = std::array<uint8_t, kMarkerSize>;

constexpr Marker TagMarker(int32_t code, int32_t length, uint8_t first, uint8_t second, uint8_t third) {
  const uint16_t header = RecordHeaderWord(code, length);
  return {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8), first, second, third};
}

// SetBackgroundColor of 3 bytes: white.
constexpr Marker kWhiteBackground = TagMarker(kTagSetBackgroundColor, 3, 0xFF, 0xFF, 0xFF);
// PlaceObject2 of 23 bytes at depth 2 (UI16): the template's own placement of its control.
constexpr Marker kTemplatePlacement = TagMarker(kTagPlaceObject2, 23, kPlaceFlags, 2, 0);

bool MatchesAt(const std::vector<uint8_t>& body, int64_t position, const Marker& marker) {
  return memcmp(body.data() + position, marker.data(), kMarkerSize) == 0;
}

}  // namespace

bool ControlParameters::WriteActions(BitStream& stream) const {
  ActionBuffer actions;
  const bool variablesSet =
      actions.SetStringVariable("svTitle", svTitle) &&
      actions.SetBooleanVariable("svStopAtBeginning", svStopAtBeginning) &&
      actions.SetIntegerVariable("svStopAtEnd", svStopAtEnd) &&
      actions.SetIntegerVariable("svStartAtVolume", svStartAtVolume) &&
      actions.SetStringVariable("svPlayButtonStyle", svPlayButtonStyle) &&
      actions.SetBooleanVariable("svUseSnapshot", svUseSnapshot) &&
      actions.SetBooleanVariable("svChapterMenu", svChapterMenu) &&
      actions.SetBooleanVariable("svEnableSpeed", svEnableSpeed) &&
      actions.SetStringVariable("svTextColor", svTextColor) &&
      actions.SetStringVariable("svIconColor", svIconColor) &&
      actions.SetStringVariable("svBorderColor", svBorderColor) &&
      actions.SetStringVariable("svTrackColor", svTrackColor) &&
      actions.SetStringVariable("svLoadColor", svLoadColor) &&
      actions.SetStringVariable("svProgressColor", svProgressColor) &&
      actions.SetBooleanVariable("svShowTitleBar", svShowTitleBar) &&
      actions.SetStringVariable("svBttnUpColor", svBttnUpColor) &&
      actions.SetStringVariable("svBttnOverColor", svBttnOverColor) &&
      actions.SetStringVariable("svBttnDownColor", svBttnDownColor) &&
      actions.SetIntegerVariable("svBttnRoundness", svBttnRoundness) &&
      actions.SetStringVariable("svSubtitleColor", svSubtitleColor) &&
      actions.SetStringVariable("svSubtitleLang", svSubtitleLang) &&
      actions.SetBooleanVariable("svLanguageMenu", svLanguageMenu) &&
      actions.SetStringVariable("svOverlayURL", svOverlayURL) &&
      actions.SetStringVariable("svOverlayTarget", svOverlayTarget) &&
      actions.SetBooleanVariable("svBuffer", svBuffer) &&
      actions.SetStringVariable("svBufferText", svBufferText) &&
      actions.SetIntegerVariable("svBufferTime", svBufferTime) &&
      actions.SetStringVariable("svDuration", svDuration) &&
      actions.SetIntegerVariable("svWidth", svWidth) &&
      actions.SetIntegerVariable("svHeight", svHeight) &&
      actions.SetBooleanVariable("svMovieHasStarted", svMovieHasStarted);
  // _parent.svMovieStarts(this), result dropped.
  const bool callWritten = variablesSet && actions.PushCString("this") && actions.GetVariable() &&
                           actions.PushInteger(1) && actions.PushCString("_parent") && actions.GetVariable() &&
                           actions.PushCString("svMovieStarts") && actions.CallMethod() && actions.Pop() &&
                           actions.End();
  return callWritten && WriteRecordHeader(stream, kTagDoAction, actions.GetSize()) &&
         stream.TransferExactly(const_cast<uint8_t*>(actions.GetData()), actions.GetSize());
}

SwfControl::SwfControl() : templatePath_(GetModuleFolder(nullptr) + L"\\control.swf") {}

void SwfControl::SetMovieName(const std::wstring& name) { movieName_ = name; }

HRESULT SwfControl::OnPrepare(MuxSettings* settings) {
  try {
    settings->controlWidth = controlWidth_;
    settings->controlHeight = controlHeight_;
    settings->stageWidth = settings->width;
    settings->stageHeight = settings->height + controlHeight_;
    settings->nextCharacterId = 1000;
    settings->nextDepth = 1000;
    parameters_.svTitle = ToNarrowString(movieName_, CP_ACP);
    const int64_t seconds = settings->duration / kUnitsPerSecond;
    parameters_.svDuration = ToNarrowString(DoubleToString(static_cast<double>(seconds), L"%8f"), CP_ACP);
    parameters_.svWidth = settings->width;
    parameters_.svHeight = settings->height;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SwfControl::OnHeaderWritten(MuxSettings* settings, BitStream* stream) {
  try {
    if (!parameters_.WriteActions(*stream)) return E_FAIL;
    std::vector<uint8_t> body;
    size_t start = 0, end = 0;
    if (!ReadTemplateBody(templatePath_, body) || !CutTemplateDefinitions(body, &start, &end)) return E_FAIL;
    if (!stream->TransferExactly(body.data() + start, static_cast<int32_t>(end - start))) return E_FAIL;
    return WriteControlPlacement(*stream, *settings, controlWidth_, controlCharacterId_) ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SwfControl::OnFinish(MuxSettings*, BitStream*) { return S_OK; }

bool ReadTemplateBody(const std::wstring& path, std::vector<uint8_t>& body) {
  body.clear();
  FileStream file(path.c_str(), true, true, OpenFailure::kQuiet);
  return file.IsOpen() && ReadTemplateBody(file, body);
}

bool ReadTemplateBody(DataStream& file, std::vector<uint8_t>& body) {
  body.clear();
  uint8_t header[kFileHeaderSize];
  if (!file.TransferExactly(header, kFileHeaderSize)) return false;
  MemOut collected;
  if (header[0] == 'F') {
    if (!collected.CopyFrom(file)) return false;
  } else {
    ZlibIStream inflated(file);
    if (!collected.CopyFrom(inflated)) return false;
  }
  collected.TakeBuffer(body);
  return !body.empty();
}

bool CutTemplateDefinitions(const std::vector<uint8_t>& body, size_t* start, size_t* end) {
  // Signed: a body shorter than a marker has no place to search.
  const int64_t length = static_cast<int64_t>(body.size());
  int64_t cutStart = 0;
  for (int64_t position = 0; position < length - kMarkerSize; ++position) {
    if (MatchesAt(body, position, kWhiteBackground)) {
      cutStart = position + kMarkerSize;
      break;
    }
  }
  int64_t cutEnd = 0;
  for (int64_t position = length - kMarkerSize; position >= 0; --position) {
    if (MatchesAt(body, position, kTemplatePlacement)) {
      cutEnd = position;
      break;
    }
  }
  if (cutStart <= 0 || cutStart >= cutEnd || cutEnd >= length) return false;
  *start = static_cast<size_t>(cutStart);
  *end = static_cast<size_t>(cutEnd);
  return true;
}

bool WriteControlPlacement(BitStream& stream, const MuxSettings& settings, int32_t controlWidth, uint16_t character) {
  MemOut body;
  uint8_t flags = kPlaceFlags;
  uint16_t depth = kMovieControlDepth;
  FMATRIX matrix;
  // Centred under the video; C++ division rounds toward zero, as the placement needs.
  matrix.TranslateX.value = (settings.stageWidth - controlWidth) / 2 * kTwipsPerPixel;
  matrix.TranslateY.value = settings.stageHeight * kTwipsPerPixel;
  return ExchangeUI8(body, flags) && ExchangeUI16(body, depth) && ExchangeUI16(body, character) &&
         matrix.Exchange(body) &&
         body.TransferExactly(const_cast<char*>(kControlName), static_cast<int32_t>(sizeof(kControlName))) &&
         WriteRecordHeader(stream, kTagPlaceObject2, body.GetDataSize()) &&
         stream.TransferExactly(const_cast<uint8_t*>(body.GetData()), body.GetDataSize());
}
