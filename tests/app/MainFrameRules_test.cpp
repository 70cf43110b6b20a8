#include "app/MainFrameRules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "results/ResultRows.h"
#include "settings/SettingsStore.h"
#include "support/RecordingFrame.h"

namespace {

// A key store in memory that records every value written, in order.
class MemoryKeyStore : public IKeyStore {
 public:
  std::map<std::string, std::string> values;  // "key|name" -> text
  std::vector<std::string> writes;            // "name=text", in order

  bool CreateKey(const std::string& path, Key* key, bool* created) override {
    key->path = path;
    key->writable = true;
    *created = false;
    return true;
  }
  bool OpenKey(const std::string& path, Key* key) override {
    key->path = path;
    return true;
  }
  bool QueryValue(const Key& key, const std::string& name, char* buf, size_t size) override {
    auto it = values.find(key.path + "|" + name);
    if (it == values.end() || it->second.size() + 1 > size) return false;
    std::copy(it->second.begin(), it->second.end(), buf);
    buf[it->second.size()] = '\0';
    return true;
  }
  bool SetValue(const Key& key, const std::string& name, const std::string& text) override {
    values[key.path + "|" + name] = text;
    writes.push_back(name + "=" + text);
    return true;
  }
  void CloseKey(Key*) override {}
};

class MainFrameRulesTest : public ::testing::Test {
 protected:
  MainFrameRulesTest() : settings(keys, "/nonexistent") {
    IKeyStore::Key key;
    int disposition = 0;
    settings.OpenRoot(&key, &disposition, HKEY_LOCAL_MACHINE,
                      "Software\\Quillfen Software\\Linkward");
    settings.CloseKey(&key);
  }
  void Store(int x, int y, int cx, int cy) {
    settings.SetInt("Screen", "x", x);
    settings.SetInt("Screen", "y", y);
    settings.SetInt("Screen", "cx", cx);
    settings.SetInt("Screen", "cy", cy);
    keys.writes.clear();
  }
  WindowPlacement Stored() {
    return {settings.GetInt("Screen", "x", -1), settings.GetInt("Screen", "y", -1),
            settings.GetInt("Screen", "cx", -1), settings.GetInt("Screen", "cy", -1)};
  }

  MemoryKeyStore keys;
  CSettingsStore settings;
};

TEST_F(MainFrameRulesTest, FirstRunOpensCentredAtThreeQuartersAndStoresItInOrder) {
  const WindowPlacement p = PlaceMainWindow(settings, 1024, 768);
  EXPECT_EQ(p, (WindowPlacement{128, 96, 768, 576}));
  EXPECT_EQ(keys.writes, (std::vector<std::string>{"x=128", "y=96", "cx=768", "cy=576"}));
  EXPECT_EQ(Stored(), p);
}

TEST_F(MainFrameRulesTest, DefaultPlacementTruncatesAndCentres) {
  EXPECT_EQ(DefaultPlacement(1366, 768), (WindowPlacement{171, 96, 1024, 576}));
  EXPECT_EQ(DefaultPlacement(1280, 800), (WindowPlacement{160, 100, 960, 600}));
  EXPECT_EQ(DefaultPlacement(1001, 1001), (WindowPlacement{125, 125, 750, 750}));
}

TEST_F(MainFrameRulesTest, StoredPlacementIsAcceptedOnlyWhenItFitsTheScreen) {
  struct Case {
    WindowPlacement stored;
    bool accepted;
  };
  const Case cases[] = {
      {{1600, 0, 800, 600}, true},   // x at the right edge still counts as on screen
      {{2000, 0, 800, 600}, false},  // x beyond the screen
      {{0, 1200, 800, 600}, true},   // y at the bottom edge
      {{0, 1201, 800, 600}, false}, {{0, 0, 1600, 1200}, true},  // the whole screen
      {{0, 0, 1601, 600}, false},                                // wider than the screen
      {{0, 0, 800, 1201}, false},   {{-1, 0, 800, 600}, false},
      {{0, -5, 800, 600}, false},   {{10, 10, 0, 600}, false},  // no width
      {{10, 10, 800, 0}, false},
  };
  for (const Case& c : cases) {
    Store(c.stored.x, c.stored.y, c.stored.cx, c.stored.cy);
    const WindowPlacement p = PlaceMainWindow(settings, 1600, 1200);
    if (c.accepted) {
      EXPECT_EQ(p, c.stored) << c.stored.x << "," << c.stored.y;
      EXPECT_TRUE(keys.writes.empty());
    } else {
      EXPECT_EQ(p, (WindowPlacement{200, 150, 1200, 900})) << c.stored.x << "," << c.stored.y;
      EXPECT_EQ(Stored(), p);
      EXPECT_EQ(keys.writes.size(), 4u);
    }
  }
}

TEST_F(MainFrameRulesTest, MoveStoresPositionWithNegativeCoordinatesAsZero) {
  StoreWindowPosition(settings, {-20, -3, 900, 700}, false);
  EXPECT_EQ(keys.writes, (std::vector<std::string>{"x=0", "y=0", "cx=900", "cy=700"}));
  StoreWindowPosition(settings, {40, 50, 640, 480}, false);
  EXPECT_EQ(Stored(), (WindowPlacement{40, 50, 640, 480}));
}

TEST_F(MainFrameRulesTest, MinimisedWindowStoresNothing) {
  StoreWindowPosition(settings, {40, 50, 640, 480}, true);
  EXPECT_TRUE(keys.writes.empty());
}

TEST(TopPaneHeightTest, StoredHeightIsUsedOnlyWhenItFitsTheClientArea) {
  EXPECT_EQ(TopPaneHeight(300, 601), 300);
  EXPECT_EQ(TopPaneHeight(1, 601), 1);
  EXPECT_EQ(TopPaneHeight(600, 601), 600);
  EXPECT_EQ(TopPaneHeight(0, 601), 300);
  EXPECT_EQ(TopPaneHeight(-40, 601), 300);
  EXPECT_EQ(TopPaneHeight(601, 601), 300);
  EXPECT_EQ(TopPaneHeight(5000, 601), 300);
}

void AddRow(CResultRows& rows, const std::string& url, uint32_t data) {
  const int row = rows.InsertItem(rows.GetItemCount(), url);
  rows.SetItemData(row, data);
}

TEST(ConfirmQuitTest, NoRowsClosesWithoutAQuestion) {
  CResultRows rows;
  RecordingFrame frame;
  EXPECT_TRUE(ConfirmQuit(rows, frame));
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_EQ(frame.waitCursorDepth, 0);
}

TEST(ConfirmQuitTest, OnlyRepairedRowsAreDroppedAndCloseWithoutAQuestion) {
  CResultRows rows;
  RecordingFrame frame;
  AddRow(rows, "http://a/", WithRepairedMark(0));
  AddRow(rows, "http://b/", WithFileDoneMark(WithRepairedMark(0)));
  EXPECT_TRUE(ConfirmQuit(rows, frame));
  EXPECT_EQ(rows.GetItemCount(), 0);
  EXPECT_TRUE(frame.boxes.empty());
}

TEST(ConfirmQuitTest, UnrepairedRowsAskAndNoKeepsTheWindowButDropsRepairedRows) {
  CResultRows rows;
  RecordingFrame frame;
  AddRow(rows, "http://a/", WithRepairedMark(0));
  AddRow(rows, "http://b/", 0);
  AddRow(rows, "http://c/", WithFileDoneMark(0));  // file done, row itself not repaired
  AddRow(rows, "http://d/", WithRepairedMark(0));
  frame.answers = {IDNO};
  EXPECT_FALSE(ConfirmQuit(rows, frame));
  ASSERT_EQ(frame.boxes.size(), 1u);
  EXPECT_EQ(frame.boxes[0].text,
            "Not all of the bad URLs have been repaired\n\nDo you want to quit?");
  EXPECT_EQ(frame.boxes[0].style, MB_YESNO);
  ASSERT_EQ(rows.GetItemCount(), 2);
  EXPECT_EQ(rows.GetItemText(0, COL_URL), "http://b/");
  EXPECT_EQ(rows.GetItemText(1, COL_URL), "http://c/");
  EXPECT_EQ(frame.waitCursorDepth, 0);

  frame.answers = {IDYES};
  EXPECT_TRUE(ConfirmQuit(rows, frame));
  EXPECT_EQ(frame.boxes.size(), 2u);
  EXPECT_EQ(rows.GetItemCount(), 2);
}

TEST_F(MainFrameRulesTest, ColumnWidthsAreStoredUnderGrid) {
  StoreColumnWidths(settings, {200, 150, 120, 310});
  EXPECT_EQ(keys.writes,
            (std::vector<std::string>{"col0=200", "col1=150", "col2=120", "col3=310"}));
  EXPECT_EQ(settings.GetInt("Grid", "col3", 0), 310);
}

}  // namespace
