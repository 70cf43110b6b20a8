#include "settings/SettingsStore.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace linkward {

namespace {

constexpr size_t VALUE_BUFFER_SIZE = 260;
constexpr size_t LONG_VALUE_BUFFER_SIZE = 65536;
constexpr int INI_LINE_BUFFER_SIZE = 520;

bool IsBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Parses text as "%d" does: optional white space, optional sign, decimal
// digits up to the first other character. A number beyond the range of int
// is held at the nearest limit.
bool ParseInt(const char* text, int* value) {
  const char* p = text;
  while (*p != '\0' && IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  long long n = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (*p - '0');
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  if (n < INT_MIN) n = INT_MIN;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

CSettingsStore::CSettingsStore(IKeyStore& keys, std::string iniDir)
    : m_keys(keys), m_strIniDir(std::move(iniDir)) {}

bool CSettingsStore::OpenRoot(IKeyStore::Key* key, Disposition* disposition,
                              const std::string& root, std::string path) {
  m_strKeyPath = std::move(path);
  m_hRootKey = root;
  IKeyStore::Key opened;
  bool created = false;
  if (!m_keys.CreateKey(m_hRootKey + "\\" + m_strKeyPath, &opened, &created)) return false;
  if (key) *key = opened;
  if (disposition) *disposition = created ? Disposition::CreatedNew : Disposition::OpenedExisting;
  return true;
}

void CSettingsStore::CloseKey(IKeyStore::Key* key) {
  m_keys.CloseKey(key);
}

std::string CSettingsStore::SectionPath(const std::string& section) const {
  return m_hRootKey + "\\" + m_strKeyPath + "\\" + section;
}

int CSettingsStore::GetInt(const std::string& section, const std::string& name, int def) {
  IKeyStore::Key key;
  if (!m_keys.OpenKey(SectionPath(section), &key)) return def;
  char buf[VALUE_BUFFER_SIZE];
  bool ok = m_keys.QueryValue(key, name, buf, sizeof buf);
  m_keys.CloseKey(&key);
  int value;
  if (!ok || !ParseInt(buf, &value)) return def;
  return value;
}

bool CSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return SetString(section, name, text);
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& name,
                                      const std::string& def) {
  IKeyStore::Key key;
  if (!m_keys.OpenKey(SectionPath(section), &key)) return def;
  char buf[VALUE_BUFFER_SIZE];
  bool ok = m_keys.QueryValue(key, name, buf, sizeof buf);
  m_keys.CloseKey(&key);
  if (!ok) return def;
  return std::string(buf);
}

std::string CSettingsStore::GetLongString(const std::string& section, const std::string& name,
                                          const std::string& def) {
  IKeyStore::Key key;
  if (!m_keys.OpenKey(SectionPath(section), &key)) return def;
  std::vector<char> buf(LONG_VALUE_BUFFER_SIZE);
  bool ok = m_keys.QueryValue(key, name, buf.data(), buf.size());
  m_keys.CloseKey(&key);
  if (!ok) return def;
  return std::string(buf.data());
}

bool CSettingsStore::SetString(const std::string& section, const std::string& name,
                               const std::string& text) {
  IKeyStore::Key key;
  bool created = false;
  if (!m_keys.CreateKey(SectionPath(section), &key, &created)) return false;
  // The text is stored up to its first NUL, as a C string.
  bool ok = m_keys.SetValue(key, name, std::string(text.c_str()));
  m_keys.CloseKey(&key);
  return ok;
}

void CSettingsStore::ImportIni(const IKeyStore::Key& appKey, const std::string& appName) {
  std::string fileName = m_strIniDir + "/" + appName + ".INI";
  std::FILE* file = std::fopen(fileName.c_str(), "r");
  if (file == nullptr) return;

  IKeyStore::Key section;
  bool sectionOpen = false;
  bool goOn = true;
  char buf[INI_LINE_BUFFER_SIZE];
  while (goOn && std::fgets(buf, sizeof buf, file) != nullptr) {
    std::string line = Trim(buf);
    size_t open = line.find('[');
    size_t close = line.find(']');
    if (open != std::string::npos && close != std::string::npos && close >= open &&
        close - open + 1 == line.size()) {
      if (sectionOpen) m_keys.CloseKey(&section);
      sectionOpen = false;
      line[open] = ' ';
      line[close] = ' ';
      std::string name = Trim(line);
      bool created = false;
      if (m_keys.CreateKey(appKey.path + "\\" + name, &section, &created))
        sectionOpen = true;
      else
        goOn = false;
      continue;
    }
    size_t eq = line.find('=');
    if (eq != std::string::npos && sectionOpen)
      m_keys.SetValue(section, line.substr(0, eq), line.substr(eq + 1));
  }
  if (sectionOpen) m_keys.CloseKey(&section);
  std::fclose(file);
}

}  // namespace linkward
