// A scratch directory for one test: made with mkdtemp under /tmp, removed
// with everything in it (permissions restored first) when the object dies.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return m_path; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  // Writes bytes to Path()/name, replacing the file. Returns the full path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    WriteBytes(*this / name, bytes);
    return *this / name;
  }
  static std::string ReadFile(const std::string& path);
  // Writes bytes to the file at path, replacing it. True when all were written.
  static bool WriteBytes(const std::string& path, const std::string& bytes);

 private:
  std::string m_path;
};

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {  // value nullptr: unset
    if (const char* old = std::getenv(name)) m_old = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;  // none: it was unset
};
