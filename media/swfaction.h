#pragma once
// Collects SWF action records in memory, so that a small script can be measured and then written
// as the body of a DoAction tag. Strings are narrow text.

#include <cstdint>
#include <string>

#include "common/stream.h"

class ActionBuffer {
 public:
  // Null before the first write.
  const uint8_t* GetData() const { return out_.GetData(); }
  int32_t GetSize() const { return out_.GetDataSize(); }

  // Each writer returns false at the first byte that failed; what was written before stays.
  bool End();
  // A string of 65534 bytes or more, or one holding a zero byte, is refused before anything is
  // written: the push's 16-bit length counts the type byte and the terminating zero.
  bool PushCString(const char* text);
  bool PushString(const std::string& text);
  // Pushes the value's low byte.
  bool PushBoolean(int32_t value);
  bool PushInteger(int32_t value);
  bool Pop();
  bool GetVariable();
  bool SetVariable();
  bool CallMethod();

  // Push of the name, push of the value, SetVariable.
  bool SetStringVariable(const std::string& name, const std::string& value);
  bool SetBooleanVariable(const std::string& name, uint8_t value);
  bool SetIntegerVariable(const std::string& name, int32_t value);

 private:
  bool PushText(const char* text, size_t length);
  bool WriteCode(uint8_t code);

  MemOut out_;
};
