#include "results/ResultRows.h"

#include <gtest/gtest.h>

#include "support/RecordingFrame.h"

using namespace linkward;

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

}  // namespace
