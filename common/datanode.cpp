#include "common/datanode.h"

#include <cwchar>
#include <sstream>
#include <type_traits>

#include "common/strutil.h"

namespace {

// Exchanges a narrow integer through a 32-bit exchange: the cast widens (with the sign of Narrow)
// for saving and cuts back to the width of Narrow when loading.
template <class Narrow, class Wide>
bool ExchangeThrough(DataNode& node, Narrow& value, bool (DataNode::*exchange)(Wide&)) {
  Wide wide = static_cast<Wide>(value);
  if (!(node.*exchange)(wide)) return false;
  if (node.IsLoading()) value = static_cast<Narrow>(wide);
  return true;
}

constexpr size_t kHexBytesPerLine = 16;

template <class Char>
void WriteHex(const std::vector<unsigned char>& bytes, std::basic_string<Char>& text) {
  std::basic_string<Char> hex;
  const bool lines = bytes.size() > kHexBytesPerLine;
  hex.reserve(bytes.size() * 3 + (lines ? bytes.size() / kHexBytesPerLine * 5 + 5 : 0));
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (lines && i % kHexBytesPerLine == 0) hex.append({Char('\n'), Char(' '), Char(' '), Char(' '), Char(' ')});
    hex.push_back(static_cast<Char>(HexDigitChar(bytes[i] >> 4)));
    hex.push_back(static_cast<Char>(HexDigitChar(bytes[i] & 0x0F)));
    hex.push_back(Char(' '));
  }
  text.swap(hex);
}

template <class Char>
bool ReadHex(const std::basic_string<Char>& text, std::vector<unsigned char>& bytes) {
  std::vector<unsigned char> read;
  read.reserve(text.size() / 2);
  int high = -1;
  for (Char character : text) {
    const wchar_t wide = static_cast<wchar_t>(static_cast<std::make_unsigned_t<Char>>(character));
    if (!IsHexDigit(wide)) continue;
    if (high < 0) {
      high = HexDigitValue(wide);
    } else {
      read.push_back(static_cast<unsigned char>(high << 4 | HexDigitValue(wide)));
      high = -1;
    }
  }
  if (high >= 0) return false;
  bytes.swap(read);
  return true;
}

}  // namespace

bool DataNode::ExchangeBool(bool& value) { return ExchangeThrough(*this, value, &DataNode::ExchangeInt); }
bool DataNode::ExchangeChar(char& value) { return ExchangeThrough(*this, value, &DataNode::ExchangeInt); }
bool DataNode::ExchangeUChar(unsigned char& value) { return ExchangeThrough(*this, value, &DataNode::ExchangeUInt); }
bool DataNode::ExchangeShort(short& value) { return ExchangeThrough(*this, value, &DataNode::ExchangeInt); }
bool DataNode::ExchangeUShort(unsigned short& value) { return ExchangeThrough(*this, value, &DataNode::ExchangeUInt); }

bool DataNode::ExchangeBytes(std::vector<unsigned char>& value) {
  std::wstring text;
  if (!IsLoading()) {
    BytesToHex(value, text);
    return ExchangeString(text);
  }
  return ExchangeString(text) && HexToBytes(text, value);
}

bool DataNode::ExchangeNarrowString(std::string& value) {
  std::wstring text;
  if (!IsLoading()) return ToWide(value, text, kAnsiCodePage) && ExchangeString(text);
  std::string narrow;
  if (!ExchangeString(text) || !ToNarrow(text, narrow, kAnsiCodePage)) return false;
  value.swap(narrow);
  return true;
}

bool DataNode::ExchangeDouble(double& value) {
  std::wstring text;
  if (!IsLoading()) {
    text = DoubleToString(value);
    return ExchangeString(text);
  }
  if (!ExchangeString(text)) return false;
  wchar_t* end = nullptr;
  const double read = wcstod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  value = read;
  return true;
}

bool DataNode::ExchangeNodable(Nodable& object) {
  object.Serialize(*this);
  return true;
}

std::wstring DataNode::GetIndexedName() const { return MakeIndexedName(GetName(), GetIndex()); }

void ExchangeRect(DataNode& node, Rect& rect) {
  node.ExchangeChild(L"left", rect.left);
  node.ExchangeChild(L"top", rect.top);
  node.ExchangeChild(L"width", rect.width);
  node.ExchangeChild(L"height", rect.height);
}

std::wstring MakeIndexedName(const std::wstring& name, int index) {
  if (index == 0) return name;
  return name + L"[" + std::to_wstring(index) + L"]";
}

void ParseIndexedName(const std::wstring& text, std::wstring& name, int& index) {
  const size_t open = text.rfind(L'[');
  const size_t close = text.rfind(L']');
  if (open == std::wstring::npos || close == std::wstring::npos || close + 1 != text.size()) {
    name = text;
    index = 0;
    return;
  }
  size_t digits = open + 1;
  while (digits < close && text[digits] == L'0') ++digits;
  int number = 0;
  if (digits < close) {
    std::wistringstream stream(text.substr(digits, close - digits));
    if (!(stream >> number)) {
      name = text;
      index = 0;
      return;
    }
  }
  name = text.substr(0, open);
  index = number;
}

bool BytesToHex(const std::vector<unsigned char>& bytes, std::wstring& text) {
  WriteHex(bytes, text);
  return true;
}

bool BytesToHex(const std::vector<unsigned char>& bytes, std::string& text) {
  WriteHex(bytes, text);
  return true;
}

bool HexToBytes(const std::wstring& text, std::vector<unsigned char>& bytes) { return ReadHex(text, bytes); }
bool HexToBytes(const std::string& text, std::vector<unsigned char>& bytes) { return ReadHex(text, bytes); }

bool BufferString::Convert(const BufferString& view, std::wstring& text, bool encode) {
  if (!view.buffer || view.capacity == 0) return false;
  if (encode) {
    // A full buffer without a terminator is read up to its end, never past it.
    text.assign(view.buffer, wcsnlen(view.buffer, view.capacity));
    return true;
  }
  if (text.size() >= view.capacity) return false;
  text.copy(view.buffer, text.size());
  view.buffer[text.size()] = L'\0';
  return true;
}
