#include "results/PrintLayout.h"

#include <gtest/gtest.h>

#include "results/ResultRows.h"

using namespace linkward;

namespace {

TEST(PrintGeometry, MarginsRowsPerPageAndPageCount) {
  // h = 15: line height 20, top margin 40; (1240 - 40) / 20 = 60 rows per page.
  PrintGeometry g = ComputePrintGeometry(15, 1240, 150);
  EXPECT_EQ(g.lineHeight, 20);
  EXPECT_EQ(g.topMargin, 40);
  EXPECT_EQ(g.leftMargin, 75);
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
    g = ComputePrintGeometry(15, c.printableHeight, c.rows);
    EXPECT_EQ(g.rowsPerPage, c.rowsPerPage) << c.printableHeight << " " << c.rows;
    EXPECT_EQ(g.pageCount, c.pages) << c.printableHeight << " " << c.rows;
  }
}

TEST(PrintRowText, JoinsTheFourTexts) {
  CResultRows rows;
  rows.InsertItem(0, "http://host/a");
  rows.SetItemText(0, COL_REASON, "HTTP Code 404 Not Found");
  rows.SetItemText(0, COL_SITE, "Home");
  rows.SetItemText(0, COL_FILE, "/web/index.htm");
  rows.InsertItem(1, "http://host/b");
  EXPECT_EQ(PrintRowText(rows, 0),
            "http://host/a - HTTP Code 404 Not Found - Home - /web/index.htm");
  EXPECT_EQ(PrintRowText(rows, 1), "http://host/b -  -  - ");
}

}  // namespace
