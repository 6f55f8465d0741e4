#pragma once
// Collects SWF action records in memory, so that a small script can be measured and then written
// as the body of a DoAction tag. Strings are narrow text.

#include <cstdint>
#include <string>

#include "common/stream.h"

// Action codes. From 0x80 on, a record carries a 16-bit length and that many bytes after its code.
constexpr uint8_t kActionEnd = 0x00;
constexpr uint8_t kActionPlay = 0x06;
constexpr uint8_t kActionAdd = 0x0A;
constexpr uint8_t kActionMultiply = 0x0C;
constexpr uint8_t kActionDivide = 0x0D;
constexpr uint8_t kActionNot = 0x12;
constexpr uint8_t kActionPop = 0x17;
constexpr uint8_t kActionGetVariable = 0x1C;
constexpr uint8_t kActionSetVariable = 0x1D;
constexpr uint8_t kActionSetProperty = 0x23;
constexpr uint8_t kActionCallFunction = 0x3D;
constexpr uint8_t kActionNewObject = 0x40;
constexpr uint8_t kActionLess2 = 0x48;
constexpr uint8_t kActionEquals2 = 0x49;
constexpr uint8_t kActionGetMember = 0x4E;
constexpr uint8_t kActionSetMember = 0x4F;
constexpr uint8_t kActionCallMethod = 0x52;
constexpr uint8_t kActionGotoFrame = 0x81;
constexpr uint8_t kActionPush = 0x96;
constexpr uint8_t kActionJump = 0x99;
constexpr uint8_t kActionDefineFunction = 0x9B;
constexpr uint8_t kActionIf = 0x9D;

// The type byte before each value of a Push.
constexpr uint8_t kPushString = 0;
constexpr uint8_t kPushNull = 2;
constexpr uint8_t kPushBoolean = 5;
constexpr uint8_t kPushInteger = 7;

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
