// Markdown pages for the full check (CommonMark with GitHub's extensions,
// read by md4c): links and images with their lines, links and names in the
// HTML the page holds, and each heading's id as GitHub makes it, so that
// README.md#install can be checked.
//
// A link's written form is its destination's bytes in the page (a reference
// link's are those of its definition); its url has character references
// decoded. Lines end at LF, CR LF or a lone CR.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "check/PageParser.h"

namespace linkward {

ParsedPage ParseMarkdown(const char* data, size_t length, bool namesOnly = false);

// The id GitHub gives a heading of that text (UTF-8), before repeats are
// told apart with "-1", "-2"...: lower case, punctuation removed, each space
// made '-'.
std::string GithubHeadingId(std::string_view text);

}  // namespace linkward
