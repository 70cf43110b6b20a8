// Page geometry of the printed results list, in hundredths of an inch, and
// the text of a printed row.
#pragma once

#include <string>

namespace linkward {

class CResultRows;

struct PrintGeometry {
  int lineHeight = 0;    // text height + 5
  int topMargin = 0;     // 2 line heights below the printable area's top
  int leftMargin = 75;   // added to the printable area's left edge
  int rowsPerPage = 0;   // rows below the top margin; at least 1
  int pageCount = 0;     // ceiling(rows / rowsPerPage), at least 1
};

// textHeight: height of "Fg" in the print font; printableHeight: height of the
// printable area, both in hundredths of an inch.
PrintGeometry ComputePrintGeometry(int textHeight, int printableHeight, int rowCount);
// The four texts of row joined by " - ".
std::string PrintRowText(const CResultRows& rows, int row);

}  // namespace linkward
