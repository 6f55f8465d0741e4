#pragma once
// The web page written beside a finished movie: the template "control.htm" from the program's
// folder with $(width), $(height) and $(flash_file) filled in.

#include <string>

#include "app/converter/source/config.h"
#include "app/deze/source/swfmux.h"

// The movie's name with everything from its last "." replaced by ".htm".
std::wstring HtmlPageName(const std::wstring& movieName);

// Writes save_dir\<page name> from the template beside the program, with the final stage size.
// Does nothing when create_html is off. Runs on the multiplexer's streaming thread, so it reports
// nothing: a missing template gives an empty page, a page that cannot be written is left out.
void WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings);
// The same from another template file.
void WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings, const std::wstring& templatePath);
