#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

constexpr const char* KEY_PATH = "Software\\Quillfen Software\\Linkward";
const std::string APP_KEY = std::string("HKEY_LOCAL_MACHINE\\") + KEY_PATH;

// A key store that refuses to create keys whose path holds a given word.
class RefusingKeyStore : public CSqliteKeyStore {
 public:
  RefusingKeyStore(std::string dbPath, std::string refused)
      : CSqliteKeyStore(std::move(dbPath)), m_refused(std::move(refused)) {}
  bool CreateKey(const std::string& path, Key* key, bool* created) override {
    return path.find(m_refused) == std::string::npos &&
           CSqliteKeyStore::CreateKey(path, key, created);
  }

 private:
  std::string m_refused;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() : m_keys(m_dir / "registry.db"), m_store(m_keys, m_dir.Path()) {}

  // Opens the application key; returns the disposition, 0 on failure.
  static CSettingsStore::Disposition OpenApp(CSettingsStore& store) {
    IKeyStore::Key key;
    CSettingsStore::Disposition disposition{};
    if (!store.OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot, KEY_PATH)) return {};
    EXPECT_EQ(key.path, APP_KEY);
    store.CloseKey(&key);
    return disposition;
  }

  // A value read straight from the key store with a large buffer, so that texts
  // longer than the store's own reads can be seen; "<missing>" when there is none.
  std::string Raw(const std::string& section, const std::string& name) {
    IKeyStore::Key key;
    if (!m_keys.OpenKey(section.empty() ? APP_KEY : APP_KEY + "\\" + section, &key))
      return "<missing>";
    std::string buf(4096, '\0');
    bool ok = m_keys.QueryValue(key, name, buf.data(), buf.size());
    return ok ? std::string(buf.c_str()) : "<missing>";
  }

  bool SectionExists(const std::string& section) {
    IKeyStore::Key key;
    return m_keys.OpenKey(APP_KEY + "\\" + section, &key);
  }

  // Writes text as appName.INI, opens the (new) application key and imports it.
  void Import(const std::string& text, CSettingsStore& store, const char* appName = "Linkward") {
    m_dir.WriteFile(std::string(appName) + ".INI", text);
    IKeyStore::Key key;
    CSettingsStore::Disposition disposition{};
    ASSERT_TRUE(store.OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot, KEY_PATH));
    ASSERT_EQ(disposition, CSettingsStore::Disposition::CreatedNew);
    store.ImportIni(key, appName);
    store.CloseKey(&key);
  }

  ScratchDir m_dir;
  CSqliteKeyStore m_keys;
  CSettingsStore m_store;
};

TEST_F(SettingsStoreTest, ReadsGiveTheDefaultUntilSomethingIsStored) {
  EXPECT_EQ(OpenApp(m_store), CSettingsStore::Disposition::CreatedNew);
  EXPECT_EQ(OpenApp(m_store), CSettingsStore::Disposition::OpenedExisting);
  EXPECT_EQ(m_store.GetString("Settings", "Filter", "0111"), "0111");
  EXPECT_FALSE(SectionExists("Screen"));
  EXPECT_TRUE(m_store.SetInt("Screen", "x", -120));  // a write creates its section
  EXPECT_EQ(m_store.GetInt("Screen", "y", 7), 7);    // the section exists, the value not
  for (int v : {-17, INT_MAX, INT_MIN}) {
    ASSERT_TRUE(m_store.SetInt("Repair", "Type", v));
    EXPECT_EQ(Raw("Repair", "Type"), std::to_string(v));  // plain decimal text
    EXPECT_EQ(m_store.GetInt("Repair", "Type", 99), v);
  }
  // An empty text is a value, not a missing one.
  ASSERT_TRUE(m_store.SetString("FileSel", "Starter", ""));
  EXPECT_EQ(m_store.GetString("FileSel", "Starter", "results.txt"), "");
  EXPECT_EQ(m_store.GetInt("FileSel", "Starter", 3), 3);
}

TEST_F(SettingsStoreTest, IntegersParseLikePercentD) {
  // clang-format off
  const std::pair<const char*, int> cases[] = {
      {"12abc", 12}, {"\t 7", 7}, {"abc", -1}, {"", -1}, {"-5", -5}, {"+3", 3}, {"-", -1},
      {"0x1F", 0},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    ASSERT_TRUE(m_store.SetString("Grid", "col0", text));
    EXPECT_EQ(m_store.GetInt("Grid", "col0", -1), expected) << '"' << text << '"';
  }
}

TEST_F(SettingsStoreTest, TextsUpTo259CharactersReadBack) {
  OpenApp(m_store);
  ASSERT_TRUE(m_store.SetString("XportSel", "s259", std::string(259, 'x')));
  ASSERT_TRUE(m_store.SetString("XportSel", "s260", std::string(260, 'y')));
  EXPECT_EQ(m_store.GetString("XportSel", "s259", "def"), std::string(259, 'x'));
  EXPECT_EQ(m_store.GetString("XportSel", "s260", "def"), "def");
  EXPECT_EQ(Raw("XportSel", "s260"), std::string(260, 'y'));  // stored whole all the same
  ASSERT_TRUE(m_store.SetString("XportSel", "n260", std::string(260, '1')));
  EXPECT_EQ(m_store.GetInt("XportSel", "n260", 4), 4);
}

// Each line is read, trimmed and classified on its own; a line longer than 519
// characters is read in pieces. The file takes the application's own name.
TEST_F(SettingsStoreTest, ImportLineRules) {
  Import(
      "x=before any section\n"
      "  [ Grid ]  \n"
      "col0=100\n"
      "name = value\n"
      "empty=\n"
      "a=b=c\n"
      "[a]b]\n"
      "no equals sign\n"
      "[x] = 5\n"
      "\t spaced=out \t\n"
      "; comment\r\n"
      "[Screen]\r\n"
      "x=120\r\n"
      "[Long]\nk=" +
          std::string(517, 'a') + "r=" + std::string(79, 'b') + "\nafter=1\n",
      m_store, "Other");
  // clang-format off
  const std::tuple<std::string, std::string, std::string> values[] = {
      {"", "x", "<missing>"}, {"Grid", "x", "<missing>"}, {"Grid", "col0", "100"},
      {"Grid", "name ", " value"}, {"Grid", "name", "<missing>"}, {"Grid", "empty", ""},
      {"Grid", "a", "b=c"}, {"Grid", "[x] ", " 5"}, {"Grid", "spaced", "out"},
      {"Screen", "x", "120"},
      // 2 + 517 = 519 characters make the first read; "r=" + 79 follow as a line of their own.
      {"Long", "k", std::string(517, 'a')}, {"Long", "r", std::string(79, 'b')},
      {"Long", "after", "1"}};
  // clang-format on
  for (const auto& [section, name, value] : values)
    EXPECT_EQ(Raw(section, name), value) << section << "/" << name;
  EXPECT_FALSE(SectionExists("a"));
  EXPECT_FALSE(SectionExists("a]b"));
}

TEST_F(SettingsStoreTest, ImportStopsAtASectionThatCannotBeCreated) {
  RefusingKeyStore keys(m_dir / "refusing.db", "Bad");
  CSettingsStore store(keys, m_dir.Path());
  Import("[A]\na=1\n[Bad]\nb=2\n[C]\nc=3\n", store);
  EXPECT_EQ(store.GetInt("A", "a", 0), 1);  // what came before stays
  IKeyStore::Key c;
  EXPECT_FALSE(keys.OpenKey(APP_KEY + "\\C", &c));
  // Values after the failed section do not land in the previous one either.
  EXPECT_EQ(store.GetInt("A", "b", 0), 0);
}

}  // namespace
