#include "app/converter/source/page.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <vector>

#include "common/fileutil.h"
#include "common/format.h"
#include "common/strutil.h"
#include "common/window.h"

namespace {

std::string HtmlEscaped(const std::string& text) {
  std::string escaped;
  for (const char character : text) {
    switch (character) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      // A user's own page may quote its attributes with either mark.
      case '\'': escaped += "&#39;"; break;
      default: escaped += character;
    }
  }
  return escaped;
}

// A file name as a relative URL: UTF-8 with every byte a browser would not take as part of a path
// percent-encoded (blanks, "#", "%", "?", controls and all beyond ASCII).
std::string UrlEncoded(const std::string& utf8) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char character : utf8) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte <= ' ' || byte >= 0x7F || character == '#' || character == '%' || character == '?') {
      encoded += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
    } else {
      encoded += character;
    }
  }
  return encoded;
}

// Between "<" and ">" a placeholder stands in an attribute, which in this page is a URL; elsewhere
// it is text. A placeholder never spans either character, so expanding the parts one by one is
// expanding the whole.
void ExpandPage(const std::map<std::string, std::string>& inText, const std::map<std::string, std::string>& inTags,
                const std::string& page, std::string& out) {
  out.clear();
  bool inTag = false;
  for (size_t at = 0; at < page.size(); inTag = !inTag) {
    const size_t next = std::min(page.find(inTag ? '>' : '<', at), page.size());
    std::string part;
    ExpandMacros(inTag ? inTags : inText, page.substr(at, next - at), part);
    out += part;
    if (next < page.size()) out += page[next];
    at = next + 1;
  }
}

}  // namespace

bool WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings) {
  return WriteHtmlPage(publish, settings, GetModuleFolder(nullptr) + L"\\control.htm");
}

bool WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings, const std::wstring& templatePath) {
  if (!publish.create_html) return false;
  try {
    // The page is UTF-8: the movie's name comes whole, whatever the ANSI code page holds.
    const std::string name = ToNarrowString(publish.save_name, kUtf8CodePage);
    std::map<std::string, std::string> inText = {
        {"width", FormatNarrow("%d", settings.stageWidth)},
        {"height", FormatNarrow("%d", settings.stageHeight)},
        {"flash_file", HtmlEscaped(name)},
    };
    std::map<std::string, std::string> inTags = inText;
    inTags["flash_file"] = HtmlEscaped(UrlEncoded(name));
    std::vector<uint8_t> bytes;
    ReadFileBytes(templatePath.c_str(), bytes, OpenFailure::kQuiet);
    // Single-byte text up to its first zero byte, whatever its encoding.
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    std::string page;
    ExpandPage(inText, inTags, text, page);
    const std::wstring pagePath = GetOutputPaths(publish).page;
    return WriteFileBytes(pagePath.c_str(), page.data(), static_cast<int64_t>(page.size()), OpenFailure::kQuiet);
  } catch (const std::bad_alloc&) {
    // No page rather than an exception on the streaming thread.
    return false;
  }
}
