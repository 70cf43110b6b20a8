// The repair types: what a repair pass does to a line that holds a listed URL.
// Stored as their numbers ("Repair"/"Type"); a stored number that names no
// type rewrites like RemoveLine, without the export after the pass.
#pragma once

namespace linkward {

enum class RepairType : int {
  None = -1,       // no type chosen (no button checked); no pass in the terminal face
  Comment = 0,     // the whole line inside one HTML comment
  FileName = 1,    // the URL replaced by the file's own name, the URL kept in a comment
  RemoveLine = 2,  // the line left out; after the pass the export saves the bad URLs
  Moved = 3,       // a permanently moved link pointed at its new address
  ArchivedCopy = 4,  // a broken link pointed at its archived copy (RowDetails::archiveUrl)
};

// The types that replace only the link's text by a new address (see RepairFiles.h).
constexpr bool ReplacesLinkText(RepairType type) {
  return type == RepairType::Moved || type == RepairType::ArchivedCopy;
}

}  // namespace linkward
