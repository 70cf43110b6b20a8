// The data of the two repair dialogs; the face draws them.
#pragma once

#include <string>

namespace linkward {

// "URL Link Disable and File Repair": the repair type, -1 when no button is checked.
class CRepairDlg {
 public:
  int m_nRepairType = -1;
  static constexpr unsigned HELP_CONTEXT_ID = 131209;
};

// "Repair Failure": the file and URL at which the pass stopped, and whether to
// ignore that URL for the rest of the session.
class CRepairFailDlg {
 public:
  int m_bIgnore = 0;
  std::string m_strFailUrl;
  std::string m_strFailFile;
};

}  // namespace linkward
