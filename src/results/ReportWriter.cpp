#include "results/ReportWriter.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace linkward {

const IReportFormat& ReportFormat(ExportFormat id) {
  switch (id) {
    case ExportFormat::Text:
      return TextReportFormat();
    case ExportFormat::Json:
      return JsonReportFormat();
    case ExportFormat::Csv:
      return CsvReportFormat();
    case ExportFormat::Junit:
      return JunitReportFormat();
    default:
      return HtmlReportFormat();
  }
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

}  // namespace linkward
