#include "platform/KeyStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

const std::string APP = "HKEY_LOCAL_MACHINE\\Software\\Quillfen Software\\Linkward";

class KeyStoreTest : public ::testing::Test {
 protected:
  std::string DbDir() const { return m_dir / "cfg/linkward"; }
  std::string DbPath() const { return DbDir() + "/registry.db"; }

  // Opens path for reading and queries name into a buffer of size bytes.
  static bool Read(IKeyStore& store, const std::string& path, const std::string& name,
                   std::string* out, size_t size = 260) {
    IKeyStore::Key key;
    if (!store.OpenKey(path, &key)) return false;
    std::string buf(size, '\x7f');
    bool ok = store.QueryValue(key, name, buf.data(), size);
    store.CloseKey(&key);
    if (ok) *out = buf.c_str();
    return ok;
  }
  static bool Write(IKeyStore& store, const std::string& path, const std::string& name,
                    const std::string& text) {
    IKeyStore::Key key;
    bool created = false;
    if (!store.CreateKey(path, &key, &created)) return false;
    bool ok = store.SetValue(key, name, text);
    store.CloseKey(&key);
    return ok;
  }

  ScratchDir m_dir;
};

TEST_F(KeyStoreTest, CreateKeyMakesParentsAndThePrivateDirectoryOnFirstWrite) {
  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  bool created = false;
  EXPECT_FALSE(store.OpenKey(APP, &key));
  struct stat st;
  EXPECT_NE(stat(DbDir().c_str(), &st), 0);  // reading creates nothing
  EXPECT_FALSE(store.CreateKey("", &key, &created));
  EXPECT_FALSE(store.CreateKey("\\\\", &key, &created));

  ASSERT_TRUE(store.CreateKey(APP + "\\Screen", &key, &created));
  EXPECT_TRUE(created);
  EXPECT_TRUE(key.writable);
  ASSERT_TRUE(store.OpenKey(APP, &key));  // the parent exists now
  EXPECT_FALSE(key.writable);
  EXPECT_FALSE(store.SetValue(key, "a", "2"));  // a key opened for reading
  ASSERT_TRUE(store.CreateKey(APP, &key, &created));
  EXPECT_FALSE(created);
  ASSERT_TRUE(stat(DbDir().c_str(), &st) == 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(KeyStoreTest, NamesIgnoreAsciiCaseAndTextKeepsAnyBytes) {
  CSqliteKeyStore store(DbPath());
  ASSERT_TRUE(Write(store, APP + "\\Screen", "Width", "120"));
  bool created = true;
  IKeyStore::Key key;
  ASSERT_TRUE(store.CreateKey("hkey_local_machine\\SOFTWARE\\quillfen software\\LINKWARD\\screen",
                              &key, &created));
  EXPECT_FALSE(created);
  ASSERT_TRUE(Write(store, APP + "\\screen", "WIDTH", "240"));  // replaces the one value
  std::string text;
  ASSERT_TRUE(Read(store, APP + "\\SCREEN", "wIDTH", &text));
  EXPECT_EQ(text, "240");

  const std::string bytes = "caf\xe9 \xff\x01 'quote' \"dq\" \\ ;DROP";
  ASSERT_TRUE(Write(store, APP, "raw", bytes));
  ASSERT_TRUE(Read(store, APP, "raw", &text));
  EXPECT_EQ(text, bytes);
}

TEST_F(KeyStoreTest, CorruptDatabaseOrUnmakeableDirectoryFailsQuietly) {
  ASSERT_EQ(mkdir((m_dir / "cfg").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(DbDir().c_str(), 0700), 0);
  std::string garbage(4096, '\0');
  for (int i = 0; i < 4096; ++i) garbage[i] = static_cast<char>(i * 7919);
  m_dir.WriteFile("cfg/linkward/registry.db", garbage);
  // A regular file where the directory should be: fails for every user, root too.
  m_dir.WriteFile("file", "not a directory");
  for (std::string path : {DbPath(), m_dir / "file/linkward/registry.db"}) {
    CSqliteKeyStore store(path);
    IKeyStore::Key key;
    bool created = false;
    char buf[260];
    // open, create, set, query
    EXPECT_EQ((std::vector<bool>{store.OpenKey(APP, &key), store.CreateKey(APP, &key, &created),
                                 store.SetValue({APP, true}, "x", "1"),
                                 store.QueryValue({APP, true}, "x", buf, sizeof buf)}),
              std::vector<bool>(4, false))
        << path;
  }
  EXPECT_EQ(ScratchDir::ReadFile(DbPath()), garbage);  // left as it was
}

TEST_F(KeyStoreTest, UnwritableDirectoryFailsWritesButStillReads) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into a directory of mode 0500";
  CSqliteKeyStore store(DbPath());
  ASSERT_TRUE(Write(store, APP, "x", "1"));
  ASSERT_EQ(chmod(DbPath().c_str(), 0400), 0);
  ASSERT_EQ(chmod(DbDir().c_str(), 0500), 0);
  EXPECT_FALSE(Write(store, APP, "x", "2"));
  EXPECT_FALSE(Write(store, APP + "\\New", "y", "2"));
  std::string text;
  ASSERT_TRUE(Read(store, APP, "x", &text));
  EXPECT_EQ(text, "1");
  chmod(DbDir().c_str(), 0700);
}

TEST_F(KeyStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 40;
  auto section = [](int i) { return APP + "\\S" + std::to_string(i % 5); };
  auto name = [](int p, int i) { return "p" + std::to_string(p) + "v" + std::to_string(i); };
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    pids[p] = fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0) {
      CSqliteKeyStore mine(DbPath());
      int failures = 0;
      for (int i = 0; i < kValues; ++i)
        failures += !Write(mine, section(i), name(p, i), std::to_string(i * 10 + p));
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);  // exited with 0
  }
  CSqliteKeyStore store(DbPath());
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kValues; ++i) {
      std::string text;
      ASSERT_TRUE(Read(store, section(i), name(p, i), &text)) << name(p, i);
      EXPECT_EQ(text, std::to_string(i * 10 + p));
    }
  }
}

}  // namespace
