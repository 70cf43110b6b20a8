#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// Names, bytes, failures and sharing of the store are the key store's tests;
// an unusable store is the application's.
class SettingsStoreTest : public ::testing::Test {
 protected:
  // A key store that refuses to create keys whose path holds "Bad".
  struct RefusingKeyStore : CSqliteKeyStore {
    using CSqliteKeyStore::CSqliteKeyStore;
    bool CreateKey(const std::string& path, Key* key, bool* created) override {
      return path.find("Bad") == std::string::npos &&
             CSqliteKeyStore::CreateKey(path, key, created);
    }
  };
  ScratchDir m_dir;
  RefusingKeyStore m_keys{m_dir / "registry.db"};
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

// Each line is read, trimmed and classified on its own; a line longer than
// 519 characters is read in pieces. The file takes the application's own
// name. A section that cannot be made ends the import.
TEST_F(SettingsStoreTest, ImportLineRules) {
  m_dir.WriteFile("Other.INI",
                  "x=before any section\n  [ Grid ]  \ncol0=100\nname = value\n"
                  "empty=\na=b=c\n[a]b]\nno equals sign\n[x] = 5\n\t spaced=out \t\n"
                  "; comment\r\n[Screen]\r\nx=120\r\n[Long]\nk=" +
                      std::string(517, 'a') + "r=" + std::string(79, 'b') +
                      "\nafter=1\n[Bad]\nb=2\n[C]\nc=3\n");
  IKeyStore::Key app;
  CSettingsStore::Disposition disposition{};
  ASSERT_TRUE(m_store.OpenRoot(&app, &disposition, CSettingsStore::kMachineRoot,
                               "Software\\Quillfen Software\\Linkward"));
  m_store.ImportIni(app, "Other");
  // clang-format off
  const std::tuple<std::string, std::string, std::string> values[] = {
      {"", "x", "-"}, {"Grid", "x", "-"}, {"Grid", "col0", "100"},
      {"Grid", "name ", " value"}, {"Grid", "name", "-"}, {"Grid", "empty", ""},
      {"Grid", "a", "b=c"}, {"Grid", "[x] ", " 5"}, {"Grid", "spaced", "out"},
      {"Screen", "x", "120"},
      // 2 + 517 = 519 characters make the first read; "r=" + 79 follow as a line of their own.
      {"Long", "k", std::string(517, 'a')}, {"Long", "r", std::string(79, 'b')},
      {"Long", "after", "1"}, {"Long", "b", "-"}, {"C", "c", "-"}};
  // clang-format on
  for (const auto& [section, name, value] : values)
    EXPECT_EQ(m_store.GetLongString(section, name, "-"), value) << section << "/" << name;
  IKeyStore::Key key;
  for (const char* section : {"a", "a]b", "C"})
    EXPECT_FALSE(m_keys.OpenKey(app.path + "\\" + section, &key)) << section;
}

}  // namespace
