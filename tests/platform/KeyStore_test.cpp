#include "platform/KeyStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/ScratchDir.h"

namespace {

constexpr const char* APP = "HKEY_LOCAL_MACHINE\\Software\\Quillfen Software\\Linkward";

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

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

TEST_F(KeyStoreTest, MissingFileReadsAsEmptyStoreAndCreatesNothing) {
  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  EXPECT_FALSE(store.OpenKey(APP, &key));
  EXPECT_FALSE(PathExists(DbDir()));
}

TEST_F(KeyStoreTest, CreateKeyMakesParentsAndReportsOnlyTheKeyItselfAsNew) {
  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  bool created = false;
  ASSERT_TRUE(store.CreateKey(std::string(APP) + "\\Screen", &key, &created));
  EXPECT_TRUE(created);
  EXPECT_TRUE(key.writable);

  // The parent exists now, and creating it again reports an existing key.
  ASSERT_TRUE(store.OpenKey(APP, &key));
  EXPECT_FALSE(key.writable);
  ASSERT_TRUE(store.CreateKey(APP, &key, &created));
  EXPECT_FALSE(created);
  ASSERT_TRUE(store.CreateKey(std::string(APP) + "\\Screen", &key, &created));
  EXPECT_FALSE(created);

  // The directory is created on the first write, private to the user.
  struct stat st;
  ASSERT_EQ(stat(DbDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(KeyStoreTest, KeyAndValueNamesIgnoreAsciiCase) {
  CSqliteKeyStore store(DbPath());
  ASSERT_TRUE(Write(store, std::string(APP) + "\\Screen", "Width", "120"));
  bool created = true;
  IKeyStore::Key key;
  ASSERT_TRUE(store.CreateKey("hkey_local_machine\\SOFTWARE\\quillfen software\\LINKWARD\\screen",
                              &key, &created));
  EXPECT_FALSE(created);

  std::string text;
  ASSERT_TRUE(Read(store, "HKEY_LOCAL_MACHINE\\software\\Quillfen Software\\Linkward\\SCREEN",
                   "wIDTH", &text));
  EXPECT_EQ(text, "120");

  // Setting under another spelling replaces the one value.
  ASSERT_TRUE(Write(store, std::string(APP) + "\\screen", "WIDTH", "240"));
  ASSERT_TRUE(Read(store, std::string(APP) + "\\Screen", "width", &text));
  EXPECT_EQ(text, "240");
}

TEST_F(KeyStoreTest, QueryValueNeedsRoomForTextAndNul) {
  CSqliteKeyStore store(DbPath());
  const std::string key = std::string(APP) + "\\FileSel";
  ASSERT_TRUE(Write(store, key, "s259", std::string(259, 'a')));
  ASSERT_TRUE(Write(store, key, "s260", std::string(260, 'b')));
  ASSERT_TRUE(Write(store, key, "empty", ""));

  std::string text = "unchanged";
  ASSERT_TRUE(Read(store, key, "s259", &text, 260));
  EXPECT_EQ(text, std::string(259, 'a'));
  EXPECT_FALSE(Read(store, key, "s260", &text, 260));
  EXPECT_TRUE(Read(store, key, "s260", &text, 261));
  EXPECT_EQ(text, std::string(260, 'b'));

  text = "unchanged";
  ASSERT_TRUE(Read(store, key, "empty", &text, 1));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(Read(store, key, "missing", &text));
}

TEST_F(KeyStoreTest, TextKeepsAnyBytes) {
  CSqliteKeyStore store(DbPath());
  const std::string bytes = "caf\xe9 \xff\x01 'quote' \"dq\" \\ ;DROP";
  ASSERT_TRUE(Write(store, APP, "raw", bytes));
  std::string text;
  ASSERT_TRUE(Read(store, APP, "raw", &text));
  EXPECT_EQ(text, bytes);
}

TEST_F(KeyStoreTest, SetValueNeedsAKeyOpenedForWriting) {
  CSqliteKeyStore store(DbPath());
  ASSERT_TRUE(Write(store, APP, "a", "1"));
  IKeyStore::Key key;
  ASSERT_TRUE(store.OpenKey(APP, &key));
  EXPECT_FALSE(store.SetValue(key, "a", "2"));
  std::string text;
  ASSERT_TRUE(Read(store, APP, "a", &text));
  EXPECT_EQ(text, "1");
}

TEST_F(KeyStoreTest, EmptyKeyPathIsRefused) {
  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  bool created = false;
  EXPECT_FALSE(store.CreateKey("", &key, &created));
  EXPECT_FALSE(store.CreateKey("\\\\", &key, &created));
  EXPECT_FALSE(store.OpenKey("", &key));
}

TEST_F(KeyStoreTest, CorruptDatabaseFailsQuietly) {
  ASSERT_EQ(mkdir((m_dir / "cfg").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(DbDir().c_str(), 0700), 0);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xff);
  m_dir.WriteFile("cfg/linkward/registry.db", garbage);

  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  bool created = false;
  EXPECT_FALSE(store.OpenKey(APP, &key));
  EXPECT_FALSE(store.CreateKey(APP, &key, &created));
  key.path = APP;
  key.writable = true;
  EXPECT_FALSE(store.SetValue(key, "x", "1"));
  char buf[260];
  EXPECT_FALSE(store.QueryValue(key, "x", buf, sizeof buf));
  // The file is left as it was.
  EXPECT_EQ(ScratchDir::ReadFile(DbPath()), garbage);
}

TEST_F(KeyStoreTest, DirectoryThatCannotBeMadeFailsWrites) {
  // A regular file where a directory should be: fails for every user, root too.
  m_dir.WriteFile("cfg", "not a directory");
  CSqliteKeyStore store(DbPath());
  IKeyStore::Key key;
  bool created = false;
  EXPECT_FALSE(store.CreateKey(APP, &key, &created));
  EXPECT_FALSE(store.OpenKey(APP, &key));
}

TEST_F(KeyStoreTest, UnwritableDirectoryFailsWritesButStillReads) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into a directory of mode 0500";
  CSqliteKeyStore store(DbPath());
  ASSERT_TRUE(Write(store, APP, "x", "1"));
  ASSERT_EQ(chmod(DbPath().c_str(), 0400), 0);
  ASSERT_EQ(chmod(DbDir().c_str(), 0500), 0);
  EXPECT_FALSE(Write(store, APP, "x", "2"));
  EXPECT_FALSE(Write(store, std::string(APP) + "\\New", "y", "2"));
  std::string text;
  ASSERT_TRUE(Read(store, APP, "x", &text));
  EXPECT_EQ(text, "1");
  chmod(DbDir().c_str(), 0700);
}

TEST_F(KeyStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 150;
  CSqliteKeyStore store(DbPath());
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    pids[p] = fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0) {
      CSqliteKeyStore mine(DbPath());
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        std::string section = std::string(APP) + "\\S" + std::to_string(i % 5);
        std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
        if (!Write(mine, section, name, std::to_string(i * 10 + p))) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kValues; ++i) {
      std::string section = std::string(APP) + "\\S" + std::to_string(i % 5);
      std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
      std::string text;
      ASSERT_TRUE(Read(store, section, name, &text)) << name;
      EXPECT_EQ(text, std::to_string(i * 10 + p));
    }
  }
}

}  // namespace
