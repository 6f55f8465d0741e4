#include "common/duration.h"

#include "common/format.h"

Duration::Duration(int64_t totalMilliseconds) {
  const int64_t totalSeconds = totalMilliseconds / 1000;
  hours = static_cast<int32_t>(totalSeconds / 3600);
  minutes = static_cast<int32_t>((totalSeconds % 3600) / 60);
  seconds = static_cast<int32_t>(totalSeconds % 60);
  milliseconds = static_cast<int32_t>(totalMilliseconds % 1000);
}

std::wstring Duration::ToString(bool forceHours, bool withMilliseconds) const {
  std::wstring text;
  if (forceHours || hours != 0) text = Format(L"%d:", hours);
  text += Format(L"%02d:%02d", minutes, seconds);
  if (withMilliseconds) text += Format(L":%03d", milliseconds);
  return text;
}
