#include "results/PrintLayout.h"

#include <cstdlib>

#include "results/ResultRows.h"

namespace linkward {

PrintGeometry ComputePrintGeometry(int textHeight, int printableHeight, int rowCount) {
  PrintGeometry g;
  g.lineHeight = textHeight + 5;
  if (g.lineHeight < 1) g.lineHeight = 1;  // a font without height still needs a line
  g.topMargin = 2 * g.lineHeight;
  // The printable height may come as a negative logical extent (y grows upward).
  const int below = std::abs(printableHeight) - g.topMargin;
  g.rowsPerPage = below / g.lineHeight;
  // Not even one line below the top margin: print one row per page rather than none.
  if (g.rowsPerPage < 1) g.rowsPerPage = 1;
  g.pageCount = rowCount > 0 ? (rowCount + g.rowsPerPage - 1) / g.rowsPerPage : 1;
  return g;
}

std::string PrintRowText(const CResultRows& rows, int row) {
  return rows.GetItemText(row, COL_URL) + " - " + rows.GetItemText(row, COL_REASON) + " - " +
         rows.GetItemText(row, COL_SITE) + " - " + rows.GetItemText(row, COL_FILE);
}

}  // namespace linkward
