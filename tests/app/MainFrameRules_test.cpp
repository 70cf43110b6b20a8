#include "app/MainFrameRules.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

class MainFrameRulesTest : public ::testing::Test {
 protected:
  WindowPlacement Stored() {
    return {settings.GetInt("Screen", "x", -1), settings.GetInt("Screen", "y", -1),
            settings.GetInt("Screen", "cx", -1), settings.GetInt("Screen", "cy", -1)};
  }

  ScratchDir dir;
  TempSettings temp{dir.Path()};
  CSettingsStore& settings = temp.Store();
};

TEST_F(MainFrameRulesTest, StoredPlacementIsUsedOnlyWhenItFitsTheScreenElseCentredAtThreeQuarters) {
  // Nothing stored: three quarters of the screen, centred, truncated, and stored.
  EXPECT_EQ(PlaceMainWindow(settings, 1366, 768), (WindowPlacement{171, 96, 1024, 576}));
  EXPECT_EQ(Stored(), (WindowPlacement{171, 96, 1024, 576}));
  // The right and bottom edges still count as on a 1600x1200 screen.
  const std::pair<WindowPlacement, bool> cases[] = {
      {{1600, 0, 800, 600}, true},  {{2000, 0, 800, 600}, false}, {{0, 1200, 800, 600}, true},
      {{0, 1201, 800, 600}, false}, {{0, 0, 1600, 1200}, true},   {{0, 0, 1601, 600}, false},
      {{0, 0, 800, 1201}, false},   {{-1, 0, 800, 600}, false},   {{0, -5, 800, 600}, false},
      {{10, 10, 0, 600}, false},    {{10, 10, 800, 0}, false}};
  for (const auto& [stored, accepted] : cases) {
    for (auto [name, value] :
         {std::pair{"x", stored.x}, {"y", stored.y}, {"cx", stored.cx}, {"cy", stored.cy}})
      settings.SetInt("Screen", name, value);
    const WindowPlacement expected = accepted ? stored : WindowPlacement{200, 150, 1200, 900};
    EXPECT_EQ(PlaceMainWindow(settings, 1600, 1200), expected) << stored.x << "," << stored.y;
    EXPECT_EQ(Stored(), expected);
  }
  StoreWindowPosition(settings, {40, 50, 640, 480}, true);  // minimised: nothing is stored
  EXPECT_EQ(Stored(), (WindowPlacement{200, 150, 1200, 900}));
}

TEST_F(MainFrameRulesTest, ColumnWidthsAndPaneHeightAreKeptOnlyWhenTheyFit) {
  using Widths = std::array<int, 4>;
  const Widths defaults{180, 180, 180, 180};
  ASSERT_TRUE(settings.SetInt("Grid", "col0", 200));  // a missing value takes its own default
  EXPECT_EQ(InitialColumnWidths(800, settings), (Widths{200, 180, 180, 180}));
  // Kept: a sum of exactly the width, any smaller one. Not kept: a sum over
  // the width, a zero, one wider than the list, a negative width.
  const std::pair<Widths, bool> cases[] = {
      {{200, 200, 200, 200}, true}, {{100, 150, 250, 50}, true}, {{200, 200, 200, 250}, false},
      {{100, 0, 100, 100}, false},  {{801, 1, 1, 1}, false},     {{-50, 100, 100, 100}, false}};
  for (const auto& [widths, kept] : cases) {
    StoreColumnWidths(settings, widths);
    EXPECT_EQ(InitialColumnWidths(800, settings), kept ? widths : defaults) << widths[0];
  }
  // The pane's stored height against a client area 601 high.
  const std::pair<int, int> heights[] = {{300, 300}, {1, 1},     {600, 600}, {0, 300},
                                         {-40, 300}, {601, 300}, {5000, 300}};
  for (const auto& [stored, height] : heights) EXPECT_EQ(TopPaneHeight(stored, 601), height);
}

}  // namespace
