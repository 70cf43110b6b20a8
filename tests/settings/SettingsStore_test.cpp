#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// Names, bytes, failures and sharing of the store are the key store's tests;
// the first run's import (sections and values) and an unusable
// store are the application's.
class SettingsStoreTest : public ::testing::Test {
 protected:
  ScratchDir m_dir;
  CSqliteKeyStore m_keys{m_dir / "registry.db"};
  CSettingsStore m_store{m_keys, m_dir.Path()};
};

TEST_F(SettingsStoreTest, ValuesReadBackAndAnythingElseGivesTheDefault) {
  EXPECT_EQ(m_store.GetString("Settings", "Filter", "0111"), "0111");
  ASSERT_TRUE(m_store.SetInt("Screen", "x", INT_MIN));  // a write creates its section
  EXPECT_EQ(m_store.GetString("Screen", "x", ""), "-2147483648");
  EXPECT_EQ(m_store.GetInt("Screen", "y", 7), 7);  // the section exists, the value not
  // An empty text is a value, not a missing one.
  ASSERT_TRUE(m_store.SetString("FileSel", "Starter", ""));
  EXPECT_EQ(m_store.GetString("FileSel", "Starter", "results.txt"), "");
  // Texts of up to 259 bytes read back; a longer one is kept whole, for the
  // long read (the skip list) only.
  for (const std::string& text : {std::string(259, '1'), std::string(260, '2')}) {
    ASSERT_TRUE(m_store.SetString("XportSel", "s", text));
    const bool fits = text.size() < 260;
    EXPECT_EQ(m_store.GetString("XportSel", "s", "def"), fits ? text : "def");
    EXPECT_EQ(m_store.GetInt("XportSel", "s", 4), fits ? INT_MAX : 4);
    EXPECT_EQ(m_store.GetLongString("XportSel", "s", "def"), text);
  }
}

TEST_F(SettingsStoreTest, IntegersParseLikePercentD) {
  // clang-format off
  const std::pair<const char*, int> cases[] = {{"12abc", 12}, {"\t +7", 7}, {"abc", -1}, {"", -1},
      {"-", -1}, {"0x1F", 0}, {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    ASSERT_TRUE(m_store.SetString("Grid", "col0", text));
    EXPECT_EQ(m_store.GetInt("Grid", "col0", -1), expected) << '"' << text << '"';
  }
}

}  // namespace
