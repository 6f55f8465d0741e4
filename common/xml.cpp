#include "common/xml.h"

#include <windows.h>
#include <io.h>

#include <expat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <locale>
#include <sstream>

#include "common/error.h"
#include "common/handle.h"
#include "common/strutil.h"

namespace {

// The reader's own failures name this source and the step, as its messages always have.
constexpr wchar_t kSourceName[] = L".\\source\\xml";
constexpr int kShortReadLine = 104;
constexpr int kFailedStreamLine = 129;

constexpr size_t kParseChunkChars = 4096;
constexpr wchar_t kDeclaration[] = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr wchar_t kReplacementChar = 0xFFFD;

std::atomic<XmlWriteFunction> g_write{nullptr};

// Appends text as character data: the markup characters become references, and a CR is written as
// a reference so that the parser's line-end normalisation cannot turn it into a line feed. Code
// units XML 1.0 forbids (most controls, U+FFFE, U+FFFF, unpaired surrogates) become U+FFFD.
void AppendEscaped(std::wstring& out, const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    switch (c) {
      case L'&': out += L"&amp;"; continue;
      case L'<': out += L"&lt;"; continue;
      case L'>': out += L"&gt;"; continue;
      case L'\r': out += L"&#13;"; continue;
      case L'\t':
      case L'\n': out += c; continue;
      default: break;
    }
    if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) {
      out += kReplacementChar;
    } else if (IS_HIGH_SURROGATE(c)) {
      if (i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
        out += c;
        out += text[++i];
      } else {
        out += kReplacementChar;
      }
    } else if (IS_LOW_SURROGATE(c)) {
      out += kReplacementChar;
    } else {
      out += c;
    }
  }
}

struct ParseState {
  explicit ParseState(XML_Parser parser) : parser(parser) {}
  XML_Parser parser;
  std::unique_ptr<XmlElement> root;
  XmlElement* current = nullptr;
  int depth = 0;
  bool stopped = false;  // Expat may still call a handler after XML_StopParser
};

void Stop(ParseState& state) {
  state.stopped = true;
  XML_StopParser(state.parser, XML_FALSE);
}

void XMLCALL OnElementStart(void* data, const XML_Char* name, const XML_Char** /*attributes*/) {
  ParseState& state = *static_cast<ParseState*>(data);
  if (state.stopped) return;
  if (++state.depth > kMaxXmlDepth) {
    Stop(state);
    return;
  }
  if (!state.current) {
    state.root = std::make_unique<XmlElement>(nullptr, name);
    state.current = state.root.get();
  } else {
    state.current = state.current->AddChild(name);
  }
}

void XMLCALL OnElementEnd(void* data, const XML_Char* /*name*/) {
  ParseState& state = *static_cast<ParseState*>(data);
  if (state.stopped) return;
  --state.depth;
  // The root stays current, so it is what the parse returns.
  if (state.current && state.current->GetParent()) state.current = state.current->GetParent();
}

void XMLCALL OnCharacterData(void* data, const XML_Char* text, int length) {
  ParseState& state = *static_cast<ParseState*>(data);
  if (state.stopped || !state.current || length <= 0) return;
  state.current->AppendText(text, static_cast<size_t>(length));
}

// The files hold elements and text only. An entity declaration stops the reader: entities that
// refer to each other expand a few hundred bytes into gigabytes of text.
void XMLCALL OnEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                 const XML_Char*, const XML_Char*, const XML_Char*) {
  Stop(*static_cast<ParseState*>(data));
}

bool StartsWith(const std::string& text, size_t position, const char* prefix) {
  return text.compare(position, strlen(prefix), prefix) == 0;
}

// `buffer` is a blank followed by the file's bytes. The text reaches Expat as UTF-16, so a
// declaration that names UTF-8 must say UTF-16 instead: the name grows by one character into the
// blank. Without a rewrite the blank stays in front, and a declaration then no longer starts the
// document (Expat refuses it), while a document without one parses.
std::unique_ptr<XmlElement> ParseXmlBytes(std::string& buffer) {
  size_t start = 1;
  if (StartsWith(buffer, start, "\xEF\xBB\xBF")) start += 3;
  if (StartsWith(buffer, start, "<?xml")) {
    const size_t declarationEnd = std::min(buffer.find("?>", start), buffer.size());
    for (size_t i = start; i + 5 <= declarationEnd; ++i) {
      if (StartsWith(buffer, i, "UTF-8") || StartsWith(buffer, i, "utf-8")) {
        buffer.replace(i, 5, "UTF-16");
        buffer.erase(0, 1);
        break;
      }
    }
  }
  std::wstring text;
  if (!ToWide(buffer.c_str(), text, kUtf8CodePage)) return nullptr;
  std::wistringstream stream(text);
  return ParseXmlStream(stream);
}

// "dir\" for "dir\name", "." for a bare name: where the replacement file is made.
std::wstring FolderOf(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut + 1);
}

// A read-only file or a folder is refused as opening it for writing would refuse it, whatever the
// rename that replaces the file would allow. A missing target is fine.
bool CanReplace(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

// Writes the bytes in text mode (line feeds stored as CR LF) and flushes them to the disk before
// the close, so that the rename that follows never exposes a file without its contents.
bool WriteTextFile(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wt");
  if (!file) return false;
  ScopedCloser closer(fclose, file);
  XmlWriteFunction write = g_write.load();
  if (!write) write = fwrite;
  const bool written = write(bytes.data(), 1, bytes.size(), file) == bytes.size() && fflush(file) == 0 &&
                       _commit(_fileno(file)) == 0;
  return fclose(closer.Detach()) == 0 && written;
}

}  // namespace

XmlElement::XmlElement(XmlElement* parent, const std::wstring& name) : parent_(parent), name_(name) {}

XmlElement::~XmlElement() {
  std::vector<XmlElement*> pending;
  pending.swap(children_);
  while (!pending.empty()) {
    XmlElement* element = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), element->children_.begin(), element->children_.end());
    element->children_.clear();
    delete element;
  }
}

XmlElement* XmlElement::AddChild(const std::wstring& name) {
  children_.push_back(new XmlElement(this, name));
  return children_.back();
}

int XmlElement::FindChildren(const std::wstring& name, std::vector<XmlElement*>& found) const {
  found.clear();
  for (XmlElement* child : children_) {
    if (child->name_ == name) found.push_back(child);
  }
  return static_cast<int>(children_.size());
}

void XmlElement::Write(std::wostream& out, int depth) const {
  depth = std::max(depth, 0);
  const std::wstring indent(2 * static_cast<size_t>(depth), L' ');
  std::wstring line = indent + L"<" + name_ + L">";
  if (children_.empty()) {
    AppendEscaped(line, text_);
    out << line << L"</" << name_ << L">\n";
    return;
  }
  line += L'\n';
  if (!text_.empty()) {
    AppendEscaped(line, text_);
    line += L'\n';
  }
  out << line;
  for (const XmlElement* child : children_) child->Write(out, depth + 1);
  out << indent << L"</" << name_ << L">\n";
}

std::unique_ptr<XmlElement> LoadXmlFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) {
    ReportError(L"Failed to open file %s\n", path.c_str());
    return nullptr;
  }
  ScopedCloser closer(fclose, file);
  const int64_t size = _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : -1;
  if (size <= 0) {
    ReportError(L"Empty xml file %s", path.c_str());
    return nullptr;
  }
  // Byte 0 is room for the encoding rewrite; the text ends at the first zero byte.
  std::string buffer;
  if (size > INT_MAX - 2 || _fseeki64(file, 0, SEEK_SET) != 0) {
    ReportError(L"Error at %s %d", kSourceName, kShortReadLine);
    return nullptr;
  }
  buffer.assign(static_cast<size_t>(size) + 1, ' ');
  if (fread(&buffer[1], 1, static_cast<size_t>(size), file) != static_cast<size_t>(size)) {
    ReportError(L"Error at %s %d", kSourceName, kShortReadLine);
    return nullptr;
  }
  return ParseXmlBytes(buffer);
}

std::unique_ptr<XmlElement> ParseXmlFileBytes(const char* bytes, size_t size) {
  std::string buffer(1, ' ');
  buffer.append(bytes, size);
  return ParseXmlBytes(buffer);
}

std::unique_ptr<XmlElement> ParseXmlStream(std::wistream& stream) {
  if (stream.fail()) {
    ReportError(L"Error at %s %d", kSourceName, kFailedStreamLine);
    return nullptr;
  }
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return nullptr;
  HandleGuard parserGuard(XML_ParserFree, parser);
  ParseState state(parser);
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, OnElementStart, OnElementEnd);
  XML_SetCharacterDataHandler(parser, OnCharacterData);
  XML_SetEntityDeclHandler(parser, OnEntityDeclaration);

  wchar_t chunk[kParseChunkChars];
  for (;;) {
    stream.read(chunk, kParseChunkChars);
    const std::streamsize count = stream.gcount();
    // A short read ends the text; when the text fills the last chunk exactly, the next (empty)
    // read carries the final flag, so a document cut short is never taken as complete.
    const bool final = !stream;
    const int bytes = static_cast<int>(count * static_cast<std::streamsize>(sizeof(wchar_t)));
    if (XML_Parse(parser, reinterpret_cast<const char*>(chunk), bytes, final) != XML_STATUS_OK) {
      ReportError(L"%s at line %d, column %d", XML_ErrorString(XML_GetErrorCode(parser)),
                  static_cast<int>(XML_GetCurrentLineNumber(parser)),
                  static_cast<int>(XML_GetCurrentColumnNumber(parser)));
      return nullptr;
    }
    if (final) return std::move(state.root);
  }
}

bool SaveXmlFile(const std::wstring& path, XmlElement* root) {
  if (!root) return false;
  std::wostringstream text;
  text << kDeclaration;
  root->Write(text, 0);
  std::string bytes;
  if (!ToNarrow(text.str(), bytes, kUtf8CodePage)) return false;

  // Nothing goes to disk that the reader would refuse (a name that is no XML name, nesting
  // beyond the reader's limit).
  if (!ParseXmlFileBytes(bytes.data(), bytes.size())) return false;

  wchar_t temporary[MAX_PATH];
  if (!CanReplace(path) || !GetTempFileNameW(FolderOf(path).c_str(), L"xml", 0, temporary)) {
    ReportError(L"Failed to open file %s\n", path.c_str());
    return false;
  }
  if (!WriteTextFile(temporary, bytes) ||
      !MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary);
    return false;
  }
  return true;
}

XmlWriteFunction SetXmlWriteFunction(XmlWriteFunction function) { return g_write.exchange(function); }

XmlData::XmlData(bool loading, XmlData* parent, XmlElement* element, bool ownsElement)
    : loading_(loading), parent_(parent), element_(element), ownsElement_(ownsElement) {
  for (XmlElement* child : element_->GetChildren()) {
    children_.Append(child->GetName(), std::make_unique<XmlData>(loading, this, child, false));
  }
}

XmlData::~XmlData() {
  children_.Clear();
  if (ownsElement_) delete element_;
}

bool XmlData::ExchangeString(std::wstring& value) {
  if (loading_) {
    value = element_->GetText();
  } else {
    element_->SetText(value);
  }
  return true;
}

template <class T>
bool XmlData::ExchangeNumber(T& value) {
  if (loading_) {
    std::wistringstream in(element_->GetText());
    in.imbue(std::locale::classic());
    T read;
    if (!(in >> read)) return false;
    value = read;
    return true;
  }
  std::wostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  element_->SetText(out.str());
  return true;
}

bool XmlData::ExchangeInt64(int64_t& value) { return ExchangeNumber(value); }
bool XmlData::ExchangeULong(unsigned long& value) { return ExchangeNumber(value); }
bool XmlData::ExchangeLong(long& value) { return ExchangeNumber(value); }
bool XmlData::ExchangeUInt(unsigned int& value) { return ExchangeNumber(value); }
bool XmlData::ExchangeInt(int& value) { return ExchangeNumber(value); }

int XmlData::GetIndex() const { return parent_ ? parent_->children_.IndexOf(GetName(), this) : 0; }

DataNode* XmlData::FindChild(const std::wstring& name) { return children_.First(name); }

void XmlData::GetChildrenByName(const std::wstring& name, std::vector<DataNode*>& children) {
  children_.Get(name, children);
}

void XmlData::GetChildren(std::vector<DataNode*>& children) { children_.GetAll(children); }

DataNode* XmlData::AddChild(const std::wstring& name) {
  return children_.Append(name, std::make_unique<XmlData>(loading_, this, element_->AddChild(name), false));
}
