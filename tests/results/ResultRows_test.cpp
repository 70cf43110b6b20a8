#include "results/ResultRows.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/KeyStore.h"
#include "settings/SettingsStore.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

namespace {

TEST(ResultRows, AddsRowsFileByFileWithZeroItemData) {
  RecordingFrame frame;
  CResultRows rows(&frame);
  const char* files[] = {"/web/a.htm", "/web/a.htm", "/web/a.htm", "/web/b.htm", "/web/b.htm"};
  for (int i = 0; i < 5; ++i) {
    int row = rows.InsertItem(rows.GetItemCount(), "http://host/" + std::to_string(i));
    rows.SetItemText(row, COL_REASON, "HTTP Code 404 Not Found");
    rows.SetItemText(row, COL_SITE, "Site");
    rows.SetItemText(row, COL_FILE, files[i]);
  }
  ASSERT_EQ(rows.GetItemCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(rows.GetItemText(i, COL_URL), "http://host/" + std::to_string(i));
    EXPECT_EQ(rows.GetItemText(i, COL_FILE), files[i]);
    EXPECT_EQ(rows.GetItemData(i), 0u);
  }
  EXPECT_EQ(frame.rowNotices, 20);  // one insert and three changes per row
}

TEST(ResultRows, InsertBeyondTheEndAppendsAndDeleteSendsNotices) {
  RecordingFrame frame;
  CResultRows rows(&frame);
  EXPECT_EQ(rows.InsertItem(0, "first"), 0);
  EXPECT_EQ(rows.InsertItem(99, "last"), 1);
  EXPECT_EQ(rows.InsertItem(1, "middle"), 1);
  EXPECT_EQ(rows.GetItemText(2, COL_URL), "last");
  EXPECT_EQ(rows.GetItemText(1, COL_REASON), "");
  rows.DeleteItem(1);
  EXPECT_EQ(rows.GetItemText(1, COL_URL), "last");
  rows.DeleteAllItems();
  EXPECT_EQ(rows.GetItemCount(), 0);
  EXPECT_EQ(frame.rowNotices, 5);
}

TEST(ResultRows, MarksKeepEachOther) {
  CResultRows rows;  // no frame: changes still apply
  rows.InsertItem(0, "u");
  rows.SetItemData(0, WithFileDoneMark(rows.GetItemData(0)));
  rows.SetItemData(0, WithRepairedMark(rows.GetItemData(0)));
  EXPECT_EQ(rows.GetItemData(0), 0x10001u);
  EXPECT_EQ(RepairedMark(rows.GetItemData(0)), 1u);
  EXPECT_EQ(FileDoneMark(rows.GetItemData(0)), 1u);
}

class ColumnWidths : public ::testing::Test {
 protected:
  ScratchDir m_dir;
  TempSettings m_temp{m_dir.Path()};
  CSettingsStore* m_settings = &m_temp.Store();
};

TEST_F(ColumnWidths, NothingStoredGivesFourDefaults) {
  EXPECT_EQ(InitialColumnWidths(800, *m_settings), (std::array<int, 4>{180, 180, 180, 180}));
}

TEST_F(ColumnWidths, StoredWidthsAreKeptOnlyWhenTheyFit) {
  struct Case {
    std::array<int, 4> stored;
    std::array<int, 4> expected;
  };
  const Case cases[] = {
      {{200, 200, 200, 200}, {200, 200, 200, 200}},  // sum exactly the width
      {{100, 150, 250, 50}, {100, 150, 250, 50}},
      {{200, 200, 200, 250}, {180, 180, 180, 180}},  // sum 850 > 800
      {{100, 0, 100, 100}, {180, 180, 180, 180}},    // a zero width
      {{801, 1, 1, 1}, {180, 180, 180, 180}},        // one wider than the list
      {{-50, 100, 100, 100}, {180, 180, 180, 180}},  // a negative width
  };
  for (const Case& c : cases) {
    for (int col = 0; col < 4; ++col)
      ASSERT_TRUE(m_settings->SetInt("Grid", "col" + std::to_string(col), c.stored[col]));
    EXPECT_EQ(InitialColumnWidths(800, *m_settings), c.expected)
        << c.stored[0] << "," << c.stored[1] << "," << c.stored[2] << "," << c.stored[3];
  }
}

TEST_F(ColumnWidths, MissingValuesTakeTheDefaultOfTheirOwn) {
  ASSERT_TRUE(m_settings->SetInt("Grid", "col0", 200));
  EXPECT_EQ(InitialColumnWidths(800, *m_settings), (std::array<int, 4>{200, 180, 180, 180}));
}

}  // namespace
