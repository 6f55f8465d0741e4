#pragma once
// The text form of a duration: [h:]mm:ss[:mmm].

#include <cstdint>
#include <string>

struct Duration {
  explicit Duration(int64_t milliseconds);

  // Hours appear when forced or not 0; milliseconds when asked.
  std::wstring ToString(bool forceHours, bool withMilliseconds) const;

  int32_t hours;
  int32_t minutes;
  int32_t seconds;
  int32_t milliseconds;
};
