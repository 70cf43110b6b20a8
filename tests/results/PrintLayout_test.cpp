#include "results/PrintLayout.h"

#include <gtest/gtest.h>

using namespace linkward;

namespace {

// The row texts on paper are checked by the window's printing test. Text
// height 15: line height 20, top margin 40.
TEST(PrintGeometry, TopMarginRowsPerPageAndPageCount) {
  EXPECT_EQ(ComputePrintGeometry(15, 1240, 150).topMargin, 40);
  const struct {
    int printableHeight, rows, rowsPerPage, pages;
  } cases[] = {
      {1240, 120, 60, 2}, {1240, 121, 60, 3},  // (1240 - 40) / 20 = 60 rows per page
      {1250, 1, 60, 1},                        // a partial line below the last row does not count
      {-1240, 0, 60, 1},                       // a negative (upward) extent; no rows, one page
      {50, 10, 1, 10},    {0, 0, 1, 1},        // not a line fits: one row per page
  };
  for (const auto& c : cases) {
    const PrintGeometry g = ComputePrintGeometry(15, c.printableHeight, c.rows);
    EXPECT_EQ(g.rowsPerPage, c.rowsPerPage) << c.printableHeight << " " << c.rows;
    EXPECT_EQ(g.pageCount, c.pages) << c.printableHeight << " " << c.rows;
  }
}

}  // namespace
