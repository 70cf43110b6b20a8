#include "ProjectFile.h"

#include <sys/stat.h>
#include <toml++/toml.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace linkward {

namespace {

constexpr const char* kFileName = "linkward.toml";

// How a key's value becomes arguments.
enum class Kind {
  Flag,   // true: "--name"; false: nothing
  Value,  // a string or a number: "--name" "value"
  Path,   // as Value; a relative path starts at the file's directory
  List,   // a string or a list of them: "--name" "item" for each
  Codes,  // a status, a range text or a list of them: one "--name" "a,b-c"
};

struct KeyRule {
  const char* key;
  const char* option;
  Kind kind;
};

// One line per option of the command line that a file may hold.
const KeyRule kKeyRules[] = {
    {"all-files", "--all-files", Kind::Flag}, {"recurse", "--recurse", Kind::Flag},
    {"filter", "--filter", Kind::Flag},       {"mask", "--mask", Kind::Value},
    {"timeout", "--timeout", Kind::Value},    {"report", "--report", Kind::Path},
    {"format", "--format", Kind::Value},      {"html", "--html", Kind::Flag},
    {"repair", "--repair", Kind::Value},      {"full", "--full", Kind::Flag},
    {"jobs", "--jobs", Kind::Value},          {"per-host", "--per-host", Kind::Value},
    {"exclude", "--exclude", Kind::List},     {"skip", "--exclude", Kind::List},
    {"root", "--root", Kind::Path},           {"ca-file", "--ca-file", Kind::Path},
    {"max-wait", "--max-wait", Kind::Value},  {"user-agent", "--user-agent", Kind::Value},
    {"accept", "--accept", Kind::Codes},      {"yes", "--yes", Kind::Flag},
    {"group", "--group", Kind::Value},        {"max-age", "--max-age", Kind::Value},
    {"no-cache", "--no-cache", Kind::Flag},   {"suggest-archive", "--suggest-archive", Kind::Flag},
    {"archive-endpoint", "--archive-endpoint", Kind::Value}, {"dry-run", "--dry-run", Kind::Flag},
    {"scope", "--scope", Kind::Value},        {"depth", "--depth", Kind::Value},
    {"max-pages", "--max-pages", Kind::Value}, {"ignore-robots", "--ignore-robots", Kind::Flag},
    {"site-url", "--site-url", Kind::Value},  {"clean-urls", "--clean-urls", Kind::Flag},
    {"index-names", "--index-names", Kind::Value},
    {"check-fragments", "--check-fragments", Kind::Flag},
};

class Fault {
 public:
  Fault(std::string path, std::string* error) : m_path(std::move(path)), m_error(error) {}
  // Always false, so that a check can end with "return fault(...)".
  bool operator()(const toml::source_region& where, const std::string& what) const {
    *m_error = m_path;
    if (where.begin.line > 0) *m_error += ", line " + std::to_string(where.begin.line);
    *m_error += ": " + what;
    return false;
  }

 private:
  std::string m_path;
  std::string* m_error;
};

std::string Directory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A string, or an integer as its decimal text.
bool Scalar(const toml::node& node, std::string* text) {
  if (auto s = node.value_exact<std::string>()) {
    *text = *s;
    return true;
  }
  if (auto n = node.value_exact<int64_t>()) {
    *text = std::to_string(*n);
    return true;
  }
  return false;
}

bool AddKey(const KeyRule& rule, const toml::node& node, const std::string& dir, const Fault& fault,
            std::vector<std::string>* args) {
  const std::string key = std::string("\"") + rule.key + "\"";
  std::string text;
  switch (rule.kind) {
    case Kind::Flag: {
      auto on = node.value_exact<bool>();
      if (!on) return fault(node.source(), key + " needs true or false");
      if (*on) args->push_back(rule.option);
      return true;
    }
    case Kind::Value:
    case Kind::Path:
      if (!Scalar(node, &text)) return fault(node.source(), key + " needs a text or a number");
      if (rule.kind == Kind::Path && !text.empty() && text[0] != '/' && text != "-")
        text = dir + "/" + text;
      args->insert(args->end(), {rule.option, text});
      return true;
    case Kind::List:
    case Kind::Codes: {
      std::vector<const toml::node*> items;
      if (const toml::array* list = node.as_array()) {
        for (const toml::node& item : *list) items.push_back(&item);
      } else {
        items.push_back(&node);
      }
      std::string joined;
      for (const toml::node* item : items) {
        if (rule.kind == Kind::List ? !item->value_exact<std::string>() : !Scalar(*item, &text))
          return fault(item->source(),
                       key + (rule.kind == Kind::List ? " needs a text or a list of texts"
                                                      : " needs statuses or ranges (\"200-299\")"));
        if (rule.kind == Kind::List) {
          args->insert(args->end(), {rule.option, *item->value_exact<std::string>()});
        } else {
          joined += (joined.empty() ? "" : ",") + text;
        }
      }
      if (rule.kind == Kind::Codes) args->insert(args->end(), {rule.option, joined});
      return true;
    }
  }
  return false;
}

bool HeaderNameChar(unsigned char c) {
  return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// text with each "${NAME}" replaced by the environment variable NAME.
bool Expand(const std::string& text, const toml::node& node, const Fault& fault, std::string* out) {
  out->clear();
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find("${", at);
    if (open == std::string::npos) break;
    size_t close = text.find('}', open + 2);
    if (close == std::string::npos) return fault(node.source(), "\"${\" without its \"}\"");
    const std::string name = text.substr(open + 2, close - open - 2);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (!value) return fault(node.source(), "the environment variable " + name + " is not set");
    for (const char* p = value; *p; ++p)
      if (static_cast<unsigned char>(*p) < 0x20 && *p != '\t')
        return fault(node.source(),
                     "the environment variable " + name + " holds a control character");
    *out += text.substr(at, open - at) + value;
    at = close + 1;
  }
  *out += text.substr(at);
  return true;
}

bool AddHosts(const toml::node& node, const Fault& fault, std::vector<HostRule>* rules) {
  const toml::table* hosts = node.as_table();
  if (!hosts) return fault(node.source(), "\"hosts\" needs tables, as [hosts.\"example.com\"]");
  for (auto&& [name, value] : *hosts) {
    HostRule rule;
    for (char c : name.str())
      rule.host += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (rule.host.empty() || rule.host.find_first_of(":/@ ") != std::string::npos)
      return fault(name.source(), "\"" + std::string(name.str()) +
                                      "\" is not a host name (no port, path or scheme)");
    const toml::table* table = value.as_table();
    if (!table) return fault(value.source(), "hosts.\"" + rule.host + "\" needs a table");
    for (auto&& [key, item] : *table) {
      if (key.str() == "limit") {
        auto limit = item.value_exact<int64_t>();
        if (!limit || *limit < 1 || *limit > 16)
          return fault(item.source(), "\"limit\" needs a number from 1 to 16");
        rule.maxPerHost = static_cast<int>(*limit);
      } else if (key.str() == "headers") {
        const toml::table* headers = item.as_table();
        if (!headers)
          return fault(item.source(), "\"headers\" needs a table, as { Name = \"value\" }");
        for (auto&& [header, text] : *headers) {
          const std::string headerName(header.str());
          bool nameOk = !headerName.empty();
          for (char c : headerName)
            nameOk = nameOk && HeaderNameChar(static_cast<unsigned char>(c));
          if (!nameOk) return fault(header.source(), "\"" + headerName + "\" is not a header name");
          auto raw = text.value_exact<std::string>();
          if (!raw) return fault(text.source(), "the header " + headerName + " needs a text");
          for (char c : *raw)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
              return fault(text.source(),
                           "the header " + headerName + " holds a control character");
          std::string expanded;
          if (!Expand(*raw, text, fault, &expanded)) return false;
          rule.headers.push_back(headerName + ": " + expanded);
        }
      } else {
        return fault(key.source(), "unknown key \"" + std::string(key.str()) +
                                       "\" (a host takes \"headers\" and \"limit\")");
      }
    }
    rules->push_back(std::move(rule));
  }
  return true;
}

}  // namespace

std::string FindProjectFile(const CliOptions& commandLine) {
  if (!commandLine.configPath.empty()) return commandLine.configPath;
  if (commandLine.file.empty()) return "";
  const std::string beside = Directory(commandLine.file) + "/" + kFileName;
  struct stat st;
  return ::stat(beside.c_str(), &st) == 0 ? beside : "";
}

std::vector<std::string> ProjectFileKeys() {
  std::vector<std::string> keys;
  for (const KeyRule& rule : kKeyRules) keys.push_back(rule.key);
  return keys;
}

bool LoadProjectFile(const std::string& path, ProjectFile* project, std::string* error) {
  const Fault fault(path, error);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *error = "the project file " + path + " cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "the project file " + path + " is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) {
    *error = "the project file " + path + " cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  toml::table table;
  try {
    table = toml::parse(text.str(), path);
  } catch (const toml::parse_error& e) {
    return fault(e.source(), std::string(e.description()));
  }
  ProjectFile out;
  out.path = path;
  const std::string dir = Directory(path);
  for (auto&& [name, node] : table) {
    if (name.str() == "hosts") {
      if (!AddHosts(node, fault, &out.hostRules)) return false;
      continue;
    }
    const KeyRule* rule = nullptr;
    for (const KeyRule& r : kKeyRules)
      if (name.str() == r.key) rule = &r;
    if (!rule) return fault(name.source(), "unknown key \"" + std::string(name.str()) + "\"");
    std::vector<std::string> args;
    if (!AddKey(*rule, node, dir, fault, &args)) return false;
    // Each key's value is checked as the option's would be.
    std::vector<const char*> argv{"linkward-cli"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    CliOptions check;
    std::string why;
    if (!ReadCliArgs(static_cast<int>(argv.size()), argv.data(), 1, &check, &why))
      return fault(node.source(), why);
    out.args.insert(out.args.end(), args.begin(), args.end());
  }
  *project = std::move(out);
  return true;
}

}  // namespace linkward
