#include "results/ReportWriter.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "results/ResultRows.h"

namespace {

// Collects the report in memory and hands it to the file in large blocks.
class ReportBuffer {
 public:
  explicit ReportBuffer(std::FILE* file) : m_file(file) { m_text.reserve(kFlushSize + 4096); }
  ~ReportBuffer() { Flush(); }

  void Add(const std::string& text) { Add(text.data(), text.size()); }
  void Add(const char* text) { Add(text, std::char_traits<char>::length(text)); }
  void Add(const char* data, size_t size) {
    m_text.append(data, size);
    if (m_text.size() >= kFlushSize) Flush();
  }
  void AddEscaped(const std::string& text) { Add(HtmlEscape(text)); }
  void Flush() {
    if (!m_text.empty()) std::fwrite(m_text.data(), 1, m_text.size(), m_file);
    m_text.clear();
  }

 private:
  static constexpr size_t kFlushSize = 1 << 16;
  std::FILE* m_file;
  std::string m_text;
};

}  // namespace

void WriteTextReport(std::FILE* file, const CResultRows& rows) {
  if (!file) return;
  ReportBuffer out(file);
  std::string previous;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    const std::string& path = rows.GetItemText(i, COL_FILE);
    if (path != previous) {
      previous = path;
      if (i > 0) out.Add("\n");
      out.Add("FILE: ");
      out.Add(path);
      out.Add("\n");
    }
    out.Add(rows.GetItemText(i, COL_URL));
    out.Add("\t");
    out.Add(rows.GetItemText(i, COL_REASON));
    out.Add("\t");
    out.Add(rows.GetItemText(i, COL_SITE));
    out.Add("\n");
  }
}

void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const std::string& owner,
                     const std::string& dateText) {
  if (!file) return;
  ReportBuffer out(file);
  out.Add("<HTML>\n<HEAD>\n<TITLE>Linkward Results</TITLE>\n</HEAD>\n<BODY>\n<H3><A HREF=\"");
  out.Add(LINKWARD_HOME_PAGE);
  out.Add("\">Linkward</A> results for ");
  out.AddEscaped(owner);
  out.Add("</H3>\n<b>Start of report: </b>");
  out.AddEscaped(dateText);
  out.Add("\n");
  std::string previous;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    const std::string& path = rows.GetItemText(i, COL_FILE);
    if (path != previous) {
      previous = path;
      if (i > 0) out.Add("\n</ul>\n");
      out.Add("\n<hr>\n<b>FILE: ");
      out.AddEscaped(path);
      out.Add("</b>\n<ul>");
    }
    out.Add("\n<li><a href=\"");
    out.AddEscaped(rows.GetItemText(i, COL_URL));
    out.Add("\">");
    out.AddEscaped(rows.GetItemText(i, COL_SITE));
    out.Add("</a> ");
    out.AddEscaped(rows.GetItemText(i, COL_REASON));
  }
  out.Add("\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n");
}

std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string ReportOwnerName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    std::string fullName = found->pw_gecos ? found->pw_gecos : "";
    fullName = fullName.substr(0, fullName.find(','));
    if (!fullName.empty()) return fullName;
    if (found->pw_name && *found->pw_name) return found->pw_name;
  }
  const char* user = std::getenv("USER");
  return user ? user : "";
}
