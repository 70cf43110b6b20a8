// Link extraction: the absolute http:// and ftp:// links of one HTML file,
// each with its anchor text, taken through a scratch copy of the file that
// holds one line per "<A" start tag.
#pragma once

#include <string>

#include "platform/StringList.h"

namespace linkward {

constexpr const char* SUPPLIED_ANCHOR_NAME = "Linkward supplied this anchor name";

// Writes the scratch copy of htmlPath to scratchPath (replacing it), reads it
// back and appends every link found to links and its anchor text to anchors.
// A file or scratch copy that cannot be opened adds nothing; then the result
// is false (errno tells why). Memory use does not grow with the size of the
// file. skipped (may be null) gets the start of each link that a line of the
// scratch copy too long to be read whole left out (a long URL or anchor text).
bool ExtractLinksToLists(const std::string& htmlPath, const std::string& scratchPath,
                         StringList& links, StringList& anchors,
                         StringList* skipped = nullptr);

// Pass 2 on one line of the scratch copy (at most 999 characters): true and
// the link and anchor text when the line yields a link.
bool LinkFromLine(const std::string& line, std::string* url, std::string* anchor);

}  // namespace linkward
