#include "app/converter/source/page.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <new>
#include <vector>

#include "common/fileutil.h"
#include "common/format.h"
#include "common/strutil.h"
#include "common/window.h"

std::wstring HtmlPageName(const std::wstring& movieName) {
  return movieName.substr(0, movieName.rfind(L'.')) + L".htm";
}

void WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings) {
  WriteHtmlPage(publish, settings, GetModuleFolder(nullptr) + L"\\control.htm");
}

void WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings, const std::wstring& templatePath) {
  if (!publish.create_html) return;
  try {
    const std::map<std::string, std::string> values = {
        {"width", FormatNarrow("%d", settings.stageWidth)},
        {"height", FormatNarrow("%d", settings.stageHeight)},
        {"flash_file", ToNarrowString(publish.save_name, CP_ACP)},
    };
    std::vector<uint8_t> bytes;
    ReadFileBytes(templatePath.c_str(), bytes, OpenFailure::kQuiet);
    // Single-byte text up to its first zero byte, whatever its encoding.
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    std::string page;
    ExpandMacros(values, text, page);
    const std::wstring pagePath = publish.save_dir + L"\\" + HtmlPageName(publish.save_name);
    WriteFileBytes(pagePath.c_str(), page.data(), static_cast<int64_t>(page.size()), OpenFailure::kQuiet);
  } catch (const std::bad_alloc&) {
    // No page rather than an exception on the streaming thread.
  }
}
