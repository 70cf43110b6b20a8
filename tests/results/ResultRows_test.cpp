#include "results/ResultRows.h"

#include <gtest/gtest.h>

#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

namespace {

TEST(ResultRows, InsertChangeDeleteAndTheirNotices) {
  RecordingFrame frame;
  CResultRows rows(&frame);
  EXPECT_EQ(rows.InsertItem(0, "first"), 0);
  EXPECT_EQ(rows.InsertItem(99, "last"), 1);  // beyond the end appends
  EXPECT_EQ(rows.InsertItem(1, "middle"), 1);
  rows.SetItemText(1, COL_FILE, "/web/a.htm");
  EXPECT_EQ(rows.GetItemText(2, COL_URL), "last");
  EXPECT_EQ(rows.GetItemText(1, COL_FILE), "/web/a.htm");
  EXPECT_EQ(rows.GetItemText(1, COL_REASON), "");
  EXPECT_EQ(rows.GetItemData(1), 0u);
  rows.DeleteItem(1);
  EXPECT_EQ(rows.GetItemText(1, COL_URL), "last");
  rows.DeleteAllItems();
  EXPECT_EQ(rows.GetItemCount(), 0);
  EXPECT_EQ(frame.rowNotices, 6);  // three inserts, one change, one delete, one clear
}

TEST(ColumnWidths, StoredWidthsAreKeptOnlyWhenTheyFit) {
  ScratchDir dir;
  TempSettings temp(dir.Path());
  CSettingsStore& settings = temp.Store();
  const std::array<int, 4> defaults{180, 180, 180, 180};
  EXPECT_EQ(InitialColumnWidths(800, settings), defaults);
  ASSERT_TRUE(settings.SetInt("Grid", "col0", 200));  // a missing value takes its own default
  EXPECT_EQ(InitialColumnWidths(800, settings), (std::array<int, 4>{200, 180, 180, 180}));
  const std::array<int, 4> cases[] = {
      {200, 200, 200, 200},  // sum exactly the width: kept
      {100, 150, 250, 50},   // kept
      {200, 200, 200, 250},  // sum 850 > 800
      {100, 0, 100, 100},    // a zero width
      {801, 1, 1, 1},        // one wider than the list
      {-50, 100, 100, 100},  // a negative width
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    for (int col = 0; col < 4; ++col)
      ASSERT_TRUE(settings.SetInt("Grid", "col" + std::to_string(col), cases[i][col]));
    EXPECT_EQ(InitialColumnWidths(800, settings), i < 2 ? cases[i] : defaults) << "case " << i;
  }
}

}  // namespace
