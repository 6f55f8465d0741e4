#include "media/swfaction.h"

#include <cstring>

#include "media/swfrecord.h"

namespace {

// The push length counts the type byte and the terminating zero as well.
constexpr size_t kMaxPushedText = 0xFFFF - 2;

}  // namespace

bool ActionBuffer::WriteCode(uint8_t code) { return ExchangeUI8(out_, code); }

bool ActionBuffer::End() { return WriteCode(kActionEnd); }
bool ActionBuffer::Pop() { return WriteCode(kActionPop); }
bool ActionBuffer::GetVariable() { return WriteCode(kActionGetVariable); }
bool ActionBuffer::SetVariable() { return WriteCode(kActionSetVariable); }
bool ActionBuffer::CallMethod() { return WriteCode(kActionCallMethod); }

bool ActionBuffer::PushText(const char* text, size_t length) {
  if (!text || length > kMaxPushedText || memchr(text, 0, length)) return false;
  uint8_t code = kActionPush;
  uint16_t pushLength = static_cast<uint16_t>(length + 2);
  uint8_t type = kPushString;
  return ExchangeUI8(out_, code) && ExchangeUI16(out_, pushLength) && ExchangeUI8(out_, type) &&
         out_.TransferExactly(const_cast<char*>(text), static_cast<int32_t>(length)) &&
         WriteCode(0);
}

bool ActionBuffer::PushCString(const char* text) { return text && PushText(text, strlen(text)); }

bool ActionBuffer::PushString(const std::string& text) { return PushText(text.data(), text.size()); }

bool ActionBuffer::PushBoolean(int32_t value) {
  uint8_t push[] = {kActionPush, 2, 0, kPushBoolean, static_cast<uint8_t>(value)};
  return out_.TransferExactly(push, sizeof(push));
}

bool ActionBuffer::PushInteger(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  uint8_t push[] = {kActionPush,
                    5,
                    0,
                    kPushInteger,
                    static_cast<uint8_t>(bits),
                    static_cast<uint8_t>(bits >> 8),
                    static_cast<uint8_t>(bits >> 16),
                    static_cast<uint8_t>(bits >> 24)};
  return out_.TransferExactly(push, sizeof(push));
}

bool ActionBuffer::SetStringVariable(const std::string& name, const std::string& value) {
  return PushString(name) && PushString(value) && SetVariable();
}

bool ActionBuffer::SetBooleanVariable(const std::string& name, uint8_t value) {
  return PushString(name) && PushBoolean(value) && SetVariable();
}

bool ActionBuffer::SetIntegerVariable(const std::string& name, int32_t value) {
  return PushString(name) && PushInteger(value) && SetVariable();
}
