// The data of the two repair dialogs; the face draws them.
#pragma once

#include <string>

#include "repair/RepairType.h"

namespace linkward {

// "URL Link Disable and File Repair": the repair type, None when no button is checked.
class CRepairDlg {
 public:
  RepairType m_nRepairType = RepairType::None;
  // Whether RepairType::ArchivedCopy is offered: only when a row of the last
  // test (a full check with archive lookups) has an archived copy.
  bool m_bArchivedCopies = false;
  static constexpr unsigned HELP_CONTEXT_ID = 131209;
};

// "Repair Failure": the file and URL at which the pass stopped, and whether to
// ignore that URL for the rest of the session.
class CRepairFailDlg {
 public:
  bool m_bIgnore = false;
  std::string m_strFailUrl;
  std::string m_strFailFile;
};

}  // namespace linkward
