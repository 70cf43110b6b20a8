// StringList: the ordered list of texts the lists of files, links and anchors
// are kept in.
#pragma once

#include <deque>
#include <string>

namespace linkward {

using StringList = std::deque<std::string>;

}  // namespace linkward
