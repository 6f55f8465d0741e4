#pragma once
// The settings tree. A Nodable stores and restores itself through one Serialize routine that runs
// over a DataNode tree which is either being loaded or being saved; the back ends (XmlData,
// RegData) keep the tree in an XML file or under a registry key.
//
// Ownership: a node owns its children; the root belongs to whoever made it. Nodes handed out by the
// search operations are borrowed and live as long as the root. A failed exchange never changes the
// caller's variable.

#include <cstdint>
#include <string>
#include <vector>

#include "common/rect.h"

class DataNode;

class Nodable {
 public:
  virtual ~Nodable() = default;
  // Callers do not look at the result.
  virtual bool Serialize(DataNode& node) = 0;
};

class DataNode {
 public:
  virtual ~DataNode() = default;

  virtual bool ExchangeString(std::wstring& value) = 0;
  virtual bool ExchangeInt64(int64_t& value) = 0;
  virtual bool ExchangeULong(unsigned long& value) = 0;
  virtual bool ExchangeLong(long& value) = 0;
  virtual bool ExchangeUInt(unsigned int& value) = 0;
  virtual bool ExchangeInt(int& value) = 0;
  // The same for every node of one tree.
  virtual bool IsLoading() const = 0;
  // Without any index suffix.
  virtual std::wstring GetName() const = 0;
  // Position among the parent's children of the same name; 0 at the root.
  virtual int GetIndex() const = 0;
  virtual DataNode* GetParent() const = 0;
  // The first child of that name, or null.
  virtual DataNode* FindChild(const std::wstring& name) = 0;
  // In index order; empty when there are none.
  virtual void GetChildrenByName(const std::wstring& name, std::vector<DataNode*>& children) = 0;
  // One name group after the other, groups in ascending name order, each in index order.
  virtual void GetChildren(std::vector<DataNode*>& children) = 0;
  // A new child behind the existing ones of that name, in this node's mode; null when the back end
  // cannot make it.
  virtual DataNode* AddChild(const std::wstring& name) = 0;

  // Typed exchanges carried by the ones above. Narrower integers are widened for saving and cut
  // back to their width when loaded; bool is saved as 0 or 1 and loads as value != 0.
  bool ExchangeBool(bool& value);
  bool ExchangeChar(char& value);
  bool ExchangeUChar(unsigned char& value);
  bool ExchangeShort(short& value);
  bool ExchangeUShort(unsigned short& value);
  // As hexadecimal text (BytesToHex).
  bool ExchangeBytes(std::vector<unsigned char>& value);
  // Through the ANSI code page.
  bool ExchangeNarrowString(std::string& value);
  // As "%f" text; loading fails when no number starts the text.
  bool ExchangeDouble(double& value);
  // Lets the object serialise itself on this node; always true.
  bool ExchangeNodable(Nodable& object);
  std::wstring GetIndexedName() const;

  // The exchange for a variable's type, as ExchangeChild and lists apply it.
  bool Exchange(int& value) { return ExchangeInt(value); }
  bool Exchange(long& value) { return ExchangeLong(value); }
  bool Exchange(unsigned int& value) { return ExchangeUInt(value); }
  bool Exchange(unsigned long& value) { return ExchangeULong(value); }
  bool Exchange(int64_t& value) { return ExchangeInt64(value); }
  bool Exchange(bool& value) { return ExchangeBool(value); }
  bool Exchange(char& value) { return ExchangeChar(value); }
  bool Exchange(unsigned char& value) { return ExchangeUChar(value); }
  bool Exchange(short& value) { return ExchangeShort(value); }
  bool Exchange(unsigned short& value) { return ExchangeUShort(value); }
  bool Exchange(double& value) { return ExchangeDouble(value); }
  bool Exchange(std::wstring& value) { return ExchangeString(value); }
  bool Exchange(std::string& value) { return ExchangeNarrowString(value); }
  bool Exchange(std::vector<unsigned char>& value) { return ExchangeBytes(value); }
  bool Exchange(Nodable& object) { return ExchangeNodable(object); }

  // The named child (found when loading, added when saving) exchanges the value; false when there
  // is no such child.
  template <class T>
  bool ExchangeChild(const std::wstring& name, T& value) {
    DataNode* child = IsLoading() ? FindChild(name) : AddChild(name);
    return child && child->Exchange(value);
  }
};

// The children "left", "top", "width" and "height"; each is exchanged whatever the others gave.
void ExchangeRect(DataNode& node, Rect& rect);

// Back ends that need unique names (the registry) store repeated children as name, name[1],
// name[2], ...; ParseIndexedName gives the whole text with index 0 when it holds no valid index.
std::wstring MakeIndexedName(const std::wstring& name, int index);
void ParseIndexedName(const std::wstring& text, std::wstring& name, int& index);

// Upper-case digit pairs each followed by a blank; above 16 bytes every run of 16 starts on a new
// line indented by four blanks. Always true.
bool BytesToHex(const std::vector<unsigned char>& bytes, std::wstring& text);
bool BytesToHex(const std::vector<unsigned char>& bytes, std::string& text);
// Skips everything that is no hexadecimal digit; an odd digit count gives false and leaves the
// bytes unchanged.
bool HexToBytes(const std::wstring& text, std::vector<unsigned char>& bytes);
bool HexToBytes(const std::string& text, std::vector<unsigned char>& bytes);

// A fixed wide-character buffer; the capacity counts the terminating zero.
struct BufferString {
  wchar_t* buffer = nullptr;
  size_t capacity = 0;

  // encode: the buffer's text into the string; otherwise the string into the buffer, refused when
  // it does not fit with its terminator. A null or empty buffer refuses both ways.
  static bool Convert(const BufferString& view, std::wstring& text, bool encode);
};

// A value with the filter that turns it into text (encode) and back.
template <class Value>
struct FilterPair {
  using Filter = bool (*)(const Value& value, std::wstring& text, bool encode);
  Value* value;
  Filter filter;
};

template <class Value>
FilterPair<Value> MakeFilterPair(Value* value, typename FilterPair<Value>::Filter filter) {
  return FilterPair<Value>{value, filter};
}

// Exchanges a filtered value as one string node, e.g. a fixed character array with
// NodableByFilter<BufferString>. The pair is borrowed.
template <class Value>
class NodableByFilter : public Nodable {
 public:
  explicit NodableByFilter(FilterPair<Value>* pair) : pair_(pair) {}

  bool Serialize(DataNode& node) override {
    std::wstring text;
    if (node.IsLoading()) return node.ExchangeString(text) && pair_->filter(*pair_->value, text, false);
    return pair_->filter(*pair_->value, text, true) && node.ExchangeString(text);
  }

 private:
  FilterPair<Value>* pair_;
};
