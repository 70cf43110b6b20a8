#include "results/PrintLayout.h"

#include <gtest/gtest.h>

using namespace linkward;

namespace {

// The row texts on paper are checked by the window's printing test.
TEST(PrintGeometry, TopMarginRowsPerPageAndPageCount) {
  // h = 15: line height 20, top margin 40; (1240 - 40) / 20 = 60 rows per page.
  const PrintGeometry g = ComputePrintGeometry(15, 1240, 150);
  EXPECT_EQ(g.lineHeight, 20);
  EXPECT_EQ(g.topMargin, 40);
  struct Case {
    int printableHeight, rows, rowsPerPage, pages;
  };
  const Case cases[] = {
      {1240, 150, 60, 3},  {1240, 120, 60, 2},
      {1240, 121, 60, 3},  {1250, 1, 60, 1},  // a partial line below the last row does not count
      {1240, 0, 60, 1},                       // an empty list still has one page
      {-1240, 150, 60, 3},                    // a negative (upward) extent
      {50, 10, 1, 10},                        // not a line fits: one row per page
      {0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    const PrintGeometry row = ComputePrintGeometry(15, c.printableHeight, c.rows);
    EXPECT_EQ(row.rowsPerPage, c.rowsPerPage) << c.printableHeight << " " << c.rows;
    EXPECT_EQ(row.pageCount, c.pages) << c.printableHeight << " " << c.rows;
  }
}

}  // namespace
