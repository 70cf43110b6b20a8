#include "app/MainFrameRules.h"

#include <gtest/gtest.h>

#include "results/ResultRows.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

class MainFrameRulesTest : public ::testing::Test {
 protected:
  void Store(const WindowPlacement& p) {
    settings.SetInt("Screen", "x", p.x);
    settings.SetInt("Screen", "y", p.y);
    settings.SetInt("Screen", "cx", p.cx);
    settings.SetInt("Screen", "cy", p.cy);
  }
  WindowPlacement Stored() {
    return {settings.GetInt("Screen", "x", -1), settings.GetInt("Screen", "y", -1),
            settings.GetInt("Screen", "cx", -1), settings.GetInt("Screen", "cy", -1)};
  }

  ScratchDir dir;
  TempSettings temp{dir.Path()};
  CSettingsStore& settings = temp.Store();
};

TEST_F(MainFrameRulesTest, FirstRunOpensCentredAtThreeQuartersAndStoresIt) {
  const WindowPlacement p = PlaceMainWindow(settings, 1024, 768);
  EXPECT_EQ(p, (WindowPlacement{128, 96, 768, 576}));
  EXPECT_EQ(Stored(), p);
  EXPECT_EQ(DefaultPlacement(1366, 768), (WindowPlacement{171, 96, 1024, 576}));  // truncated
}

TEST_F(MainFrameRulesTest, StoredPlacementIsAcceptedOnlyWhenItFitsTheScreen) {
  const std::pair<WindowPlacement, bool> cases[] = {
      {{1600, 0, 800, 600}, true},   // x at the right edge still counts as on screen
      {{2000, 0, 800, 600}, false},  // x beyond the screen
      {{0, 1200, 800, 600}, true},   // y at the bottom edge
      {{0, 1201, 800, 600}, false}, {{0, 0, 1600, 1200}, true},  // the whole screen
      {{0, 0, 1601, 600}, false},                                // wider than the screen
      {{0, 0, 800, 1201}, false},   {{-1, 0, 800, 600}, false},
      {{0, -5, 800, 600}, false},   {{10, 10, 0, 600}, false},  // no width
      {{10, 10, 800, 0}, false},
  };
  for (const auto& [stored, accepted] : cases) {
    Store(stored);
    const WindowPlacement expected = accepted ? stored : WindowPlacement{200, 150, 1200, 900};
    EXPECT_EQ(PlaceMainWindow(settings, 1600, 1200), expected) << stored.x << "," << stored.y;
    EXPECT_EQ(Stored(), expected);
  }
}

TEST_F(MainFrameRulesTest, MoveStoresNegativeCoordinatesAsZeroAndMinimisedNothing) {
  StoreWindowPosition(settings, {-20, -3, 900, 700}, false);
  EXPECT_EQ(Stored(), (WindowPlacement{0, 0, 900, 700}));
  StoreWindowPosition(settings, {40, 50, 640, 480}, true);
  EXPECT_EQ(Stored(), (WindowPlacement{0, 0, 900, 700}));
}

TEST_F(MainFrameRulesTest, ColumnWidthsAreStoredUnderGridAndKeptOnlyWhenTheyFit) {
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
    StoreColumnWidths(settings, cases[i]);
    EXPECT_EQ(InitialColumnWidths(800, settings), i < 2 ? cases[i] : defaults) << "case " << i;
  }
  EXPECT_EQ(settings.GetInt("Grid", "col3", 0), 100);  // stored as given, even when unusable
}

TEST(TopPaneHeightTest, StoredHeightIsUsedOnlyWhenItFitsTheClientArea) {
  const std::pair<int, int> cases[] = {{300, 300}, {1, 1},     {600, 600}, {0, 300},
                                       {-40, 300}, {601, 300}, {5000, 300}};
  for (const auto& [stored, height] : cases) EXPECT_EQ(TopPaneHeight(stored, 601), height);
}

TEST(ConfirmQuitTest, RepairedRowsAreDroppedAndOnlyUnrepairedOnesAsk) {
  CResultRows rows;
  RecordingFrame frame;
  EXPECT_TRUE(ConfirmQuit(rows, frame));  // no rows: no question
  const uint32_t marks[] = {WithRepairedMark(0), 0, WithFileDoneMark(0),
                            WithFileDoneMark(WithRepairedMark(0))};
  for (uint32_t mark : marks) rows.SetItemData(rows.InsertItem(rows.GetItemCount(), ""), mark);
  rows.SetItemText(1, COL_URL, "http://b/");
  rows.SetItemText(2, COL_URL, "http://c/");  // file done, row itself not repaired
  frame.answers = {Answer::No};
  EXPECT_FALSE(ConfirmQuit(rows, frame));
  ASSERT_EQ(frame.boxes.size(), 1u);
  EXPECT_EQ(frame.boxes[0].text,
            "Not all of the bad URLs have been repaired\n\nDo you want to quit?");
  EXPECT_EQ(frame.boxes[0].style, BoxStyle::YesNo);
  ASSERT_EQ(rows.GetItemCount(), 2);
  EXPECT_EQ(rows.GetItemText(0, COL_URL), "http://b/");
  EXPECT_EQ(rows.GetItemText(1, COL_URL), "http://c/");
  EXPECT_EQ(frame.waitCursorDepth, 0);
  frame.answers = {Answer::Yes};
  EXPECT_TRUE(ConfirmQuit(rows, frame));
  // Only repaired rows: they are dropped and the window closes without a question.
  RecordingFrame quiet;
  CResultRows repaired;
  repaired.SetItemData(repaired.InsertItem(0, "http://a/"), WithRepairedMark(0));
  EXPECT_TRUE(ConfirmQuit(repaired, quiet));
  EXPECT_EQ(repaired.GetItemCount(), 0);
  EXPECT_TRUE(quiet.boxes.empty());
}

}  // namespace
