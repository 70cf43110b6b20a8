#include "platform/KeyStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

namespace fs = std::filesystem;
const std::string APP = "HKEY_LOCAL_MACHINE\\Software\\Quillfen Software\\Linkward";

// Writes value name of key path, creating the key when missing.
bool Write(IKeyStore& store, const std::string& path, const std::string& name,
           const std::string& text) {
  IKeyStore::Key key;
  bool created = false;
  return store.CreateKey(path, &key, &created) && store.SetValue(key, name, text);
}
// Value name of key path, read into 260 bytes; "<missing>" when it cannot be read.
std::string Read(IKeyStore& store, const std::string& path, const std::string& name) {
  IKeyStore::Key key;
  char buf[260];
  if (!store.OpenKey(path, &key) || !store.QueryValue(key, name, buf, sizeof buf))
    return "<missing>";
  return buf;
}

class KeyStoreTest : public ::testing::Test {
 protected:
  ScratchDir m_dir;
  const std::string m_dbDir = m_dir / "cfg/linkward", m_dbPath = m_dbDir + "/registry.db";
  CSqliteKeyStore m_store{m_dbPath};
};

TEST_F(KeyStoreTest, KeysParentsAndThePrivateDirectoryAreMadeOnFirstWrite) {
  IKeyStore::Key key;
  bool created = false;
  EXPECT_FALSE(m_store.OpenKey(APP, &key));
  EXPECT_NE(access(m_dbDir.c_str(), F_OK), 0);              // reading creates nothing
  EXPECT_FALSE(m_store.CreateKey("\\\\", &key, &created));  // a path without a part
  ASSERT_TRUE(m_store.CreateKey(APP + "\\Screen", &key, &created));
  EXPECT_TRUE(created);
  ASSERT_TRUE(m_store.OpenKey(APP, &key));        // the parent exists now
  EXPECT_FALSE(m_store.SetValue(key, "a", "2"));  // a key opened for reading
  ASSERT_TRUE(m_store.CreateKey(APP, &key, &created));
  EXPECT_FALSE(created);
  EXPECT_EQ(fs::status(m_dbDir).permissions(), fs::perms::owner_all);
}

TEST_F(KeyStoreTest, NamesIgnoreAsciiCaseAndTextKeepsAnyBytes) {
  ASSERT_TRUE(Write(m_store, APP + "\\Screen", "Width", "120"));
  ASSERT_TRUE(Write(m_store, APP + "\\screen", "WIDTH", "240"));  // replaces the one value
  EXPECT_EQ(
      Read(m_store, "hkey_local_machine\\SOFTWARE\\quillfen software\\LINKWARD\\screen", "wIDTH"),
      "240");
  const std::string bytes = "caf\xe9 \xff\x01 'quote' \"dq\" \\ ;DROP";
  ASSERT_TRUE(Write(m_store, APP, "raw", bytes));
  EXPECT_EQ(Read(m_store, APP, "raw"), bytes);
}

// Trouble with the file is told once, naming the file, and costs nothing:
// a damaged file is kept aside (never deleted) and the store starts empty; a
// lock held by another connection is waited for a bounded time only, after
// which the calls fail without waiting until the lock is gone; a directory
// in the file's place is left alone.
TEST_F(KeyStoreTest, DamagedLockedAndUnreadableFilesAreToldOnceAndNothingIsLost) {
  std::vector<std::string> notices;
  const auto tell = [&notices](const std::string& text) { notices.push_back(text); };
  ASSERT_TRUE(Write(m_store, APP, "x", "1"));
  const std::string garbage(4096, 'x');
  m_dir.WriteFile("cfg/linkward/registry.db", garbage);
  {
    CSqliteKeyStore store(m_dbPath, tell);
    EXPECT_EQ(Read(store, APP, "x"), "<missing>");
    EXPECT_TRUE(Write(store, APP, "x", "2"));
    EXPECT_EQ(Read(store, APP, "x"), "2");
  }
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(m_dbPath + " is damaged; it is kept as " + m_dbPath + ".bad-"),
            std::string::npos);
  const std::string rest = notices[0].substr(notices[0].find(" as ") + 4);
  const std::string bad = rest.substr(0, rest.find(' '));
  EXPECT_EQ(ScratchDir::ReadFile(bad), garbage);

  notices.clear();
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(m_dbPath.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  CSqliteKeyStore store(m_dbPath, tell, 50);
  EXPECT_FALSE(Write(store, APP, "x", "3"));
  EXPECT_EQ(Read(store, APP, "x"), "<missing>");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(m_dbPath + " is locked by another program"), std::string::npos);
  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_TRUE(Write(store, APP, "x", "3"));
  EXPECT_EQ(Read(store, APP, "x"), "3");

  notices.clear();
  const std::string dirPath = m_dir / "cfg/linkward/folder.db";
  ASSERT_EQ(::mkdir(dirPath.c_str(), 0700), 0);
  CSqliteKeyStore folder(dirPath, tell);
  EXPECT_EQ(Read(folder, APP, "x"), "<missing>");
  EXPECT_FALSE(Write(folder, APP, "x", "1"));
  EXPECT_EQ(notices, std::vector<std::string>{"the settings file " + dirPath +
                                              " cannot be read (it is not a regular file); the "
                                              "defaults are used and changes are not saved"});
  EXPECT_TRUE(fs::is_directory(dirPath));
}

TEST_F(KeyStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  const auto section = [](int i) { return APP + "\\S" + std::to_string(i % 5); };
  const auto name = [](int p, int i) { return "p" + std::to_string(p) + "v" + std::to_string(i); };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const int p = child == 0 ? 1 : 0;
  CSqliteKeyStore mine(m_dbPath);
  int failures = 0;
  for (int i = 0; i < 40; ++i)
    failures += !Write(mine, section(i), name(p, i), std::to_string(i * 10 + p));
  if (child == 0) _exit(failures);
  EXPECT_EQ(failures, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);  // every write of the child succeeded
  for (int q = 0; q < 2; ++q)
    for (int i = 0; i < 40; ++i)
      EXPECT_EQ(Read(m_store, section(i), name(q, i)), std::to_string(i * 10 + q)) << name(q, i);
}

}  // namespace
