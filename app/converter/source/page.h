#pragma once
// The web page written beside a finished movie: the template "control.htm" from the program's
// folder with $(width), $(height) and $(flash_file) filled in. The page is UTF-8; the movie's name
// is HTML-escaped, and inside a tag (the page's URLs) percent-encoded as well, so that a browser
// asks for the file the movie was written to.

#include <string>

#include "app/converter/source/config.h"
#include "app/deze/source/swfmuxapi.h"

// Writes the project's page (GetOutputPaths) from the template beside the program, with the final
// stage size. Does nothing when create_html is off. Runs on the multiplexer's streaming thread, so
// it reports nothing: a missing template gives an empty page, a page that cannot be written is left
// out. True when this wrote the page file.
bool WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings);
// The same from another template file.
bool WriteHtmlPage(const PublishConfig& publish, const MuxSettings& settings, const std::wstring& templatePath);
