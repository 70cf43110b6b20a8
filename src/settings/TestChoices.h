// The three choices of a standard test, as the Select File(s) dialog offers
// them and the stored "FileSel" values keep them (as 0 and 1).
#pragma once

namespace linkward {

struct TestChoices {
  bool recurse = false;   // "Recurse": the sub-directories too (only with allFiles)
  bool allFiles = false;  // "AllFiles": the other files of the chosen file's directory
  bool filter = false;    // "Filter": only files with web-page extensions
};

}  // namespace linkward
