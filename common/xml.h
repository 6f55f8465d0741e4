#pragma once
// The settings and project file format: an element tree (names and text, no attributes) read
// with Expat and written as UTF-8 without byte-order mark, one element per line, two blanks of
// indentation per level and CR LF line ends; XmlData is the DataNode over it.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/datanode.h"
#include "common/nodegroups.h"

// Elements nested deeper than this stop the reader, so a hostile file cannot exhaust the stack;
// the writer refuses such trees, since it writes nothing that would not load again.
constexpr int kMaxXmlDepth = 256;

class XmlElement {
 public:
  // Empty text, no children; the parent is not owned.
  XmlElement(XmlElement* parent, const std::wstring& name);
  // Deletes every descendant, without recursion however deep the tree is.
  ~XmlElement();
  XmlElement(const XmlElement&) = delete;
  XmlElement& operator=(const XmlElement&) = delete;

  // Appends a child owned by this element.
  XmlElement* AddChild(const std::wstring& name);
  // Fills `found` with the children of that name in document order; returns how many children
  // were examined.
  int FindChildren(const std::wstring& name, std::vector<XmlElement*>& found) const;

  XmlElement* GetParent() const { return parent_; }
  const std::wstring& GetName() const { return name_; }
  const std::wstring& GetText() const { return text_; }
  void SetText(const std::wstring& text) { text_ = text; }
  void AppendText(const wchar_t* text, size_t length) { text_.append(text, length); }
  // In document order.
  const std::vector<XmlElement*>& GetChildren() const { return children_; }

  // The element and its descendants in the file's form (line ends as '\n'); a negative depth
  // counts as 0.
  void Write(std::wostream& out, int depth) const;

 private:
  XmlElement* parent_;
  std::wstring name_;
  std::wstring text_;
  std::vector<XmlElement*> children_;  // owned
};

// Null after one message on the error stack ("Failed to open file %s\n", "Empty xml file %s",
// "Error at %s %d" or the parser's "%s at line %d, column %d"). A document that declares entities
// is refused.
std::unique_ptr<XmlElement> LoadXmlFile(const std::wstring& path);
// A file's bytes, read as LoadXmlFile reads them: UTF-8 with or without byte-order mark, the text
// ending at the first zero byte.
std::unique_ptr<XmlElement> ParseXmlFileBytes(const char* bytes, size_t size);
std::unique_ptr<XmlElement> ParseXmlStream(std::wistream& stream);
// Replaces the file only once the whole new text is written beside it; on any failure the old file
// is left as it was. Reports only a file that cannot be created.
bool SaveXmlFile(const std::wstring& path, XmlElement* root);

// How the save puts the bytes into the open replacement file: fwrite unless replaced, so a test can
// fail it partway, as a full disk would. Returns the previous function; null restores fwrite.
using XmlWriteFunction = size_t (*)(const void* buffer, size_t size, size_t count, FILE* file);
XmlWriteFunction SetXmlWriteFunction(XmlWriteFunction function);

class XmlData : public DataNode {
 public:
  // Builds the node tree for every element below `element` at once. The root node made by a loader
  // owns its element tree.
  XmlData(bool loading, XmlData* parent, XmlElement* element, bool ownsElement);
  ~XmlData() override;
  XmlData(const XmlData&) = delete;
  XmlData& operator=(const XmlData&) = delete;

  // Loading gives the element's text as parsed; saving replaces it. Always true.
  bool ExchangeString(std::wstring& value) override;
  // Loading reads a decimal number from the start of the text (blanks first are skipped) and fails
  // when there is none; saving writes plain decimal text.
  bool ExchangeInt64(int64_t& value) override;
  bool ExchangeULong(unsigned long& value) override;
  bool ExchangeLong(long& value) override;
  bool ExchangeUInt(unsigned int& value) override;
  bool ExchangeInt(int& value) override;
  bool IsLoading() const override { return loading_; }
  std::wstring GetName() const override { return element_->GetName(); }
  int GetIndex() const override;
  DataNode* GetParent() const override { return parent_; }
  DataNode* FindChild(const std::wstring& name) override;
  void GetChildrenByName(const std::wstring& name, std::vector<DataNode*>& children) override;
  void GetChildren(std::vector<DataNode*>& children) override;
  DataNode* AddChild(const std::wstring& name) override;

 private:
  template <class T>
  bool ExchangeNumber(T& value);

  bool loading_;
  XmlData* parent_;
  XmlElement* element_;
  bool ownsElement_;
  NodeGroups<XmlData> children_;  // each group in document order
};
