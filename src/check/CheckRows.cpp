#include "check/CheckRows.h"

#include <cstdio>

#include "check/CheckOutcome.h"
#include "check/FullCheckHost.h"

namespace linkward {

void PutCheckRow(IFullCheckHost& host, int at, const std::string& written, const std::string& text,
                 const std::string& file, RowDetails details) {
  CResultRows& rows = host.Rows();
  const int count = rows.GetItemCount();
  const int row = rows.InsertItem(at, written);
  rows.SetItemText(row, COL_REASON, CheckReasonText(details.code));
  rows.SetItemText(row, COL_SITE, text);
  details.cls = CheckClassOf(details.code);
  rows.SetItemDetails(row, std::move(details));
  rows.SetItemText(row, COL_FILE, file);
  if (count == 0) host.CommandStateChanged();
}

std::string ResultsLine(const std::string& file, int tested, int errors, int unverified) {
  char line[96];
  int n = std::snprintf(line, sizeof line, ": URLs tested: %d. URL errors: %d.", tested, errors);
  if (unverified > 0)
    n += std::snprintf(line + n, sizeof line - size_t(n), " Not verified: %d.", unverified);
  std::snprintf(line + n, sizeof line - size_t(n), "\r\n");
  return "Results for " + file + line;
}

}  // namespace linkward
