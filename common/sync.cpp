#include "common/sync.h"

void CountEvent::SetCount(int32_t count) {
  ScopedLock lock(&section_);
  event_.Reset();
  count_ = count;
}

bool CountEvent::CountDownAndWait(DWORD milliseconds) {
  {
    ScopedLock lock(&section_);
    if (--count_ <= 0) event_.Set();
  }
  return !event_.Wait(milliseconds);
}

void CountEvent::ReleaseAll() {
  ScopedLock lock(&section_);
  event_.Set();
  count_ = 0;
}
