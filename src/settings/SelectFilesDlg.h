// "Select File(s) to Test": the path, the test's three choices and the full
// check, and the rules of the dialog's buttons. The face reads its controls
// into the members before a rule runs and shows the members again after it.
#pragma once

#include <string>

#include "settings/TestChoices.h"

namespace linkward {

class CSettingsStore;
class IHostUi;

class CSelectFilesDlg {
 public:
  static constexpr size_t MAX_PATH_CHARS = 1000;

  CSelectFilesDlg(CSettingsStore& settings, IHostUi& frame)
      : m_settings(settings), m_frame(frame) {}

  std::string m_strPath;
  TestChoices m_choices;
  // "Full check: also https://, local and #fragment links, many at a time".
  bool m_bFullCheck = false;

  // Checking "Test in this directory and all sub-directories" checks
  // "Test other files in this directory" too.
  void OnRecurseClicked();
  void OnAllFilesClicked();
  // Opens the file dialog at the directory of the last file tested
  // ("FileSel"/"Starter"); a confirmed choice becomes the path.
  void OnBrowse();
  // The initial name Browse offers: the directory of "Starter" with "/" and
  // "*.*" appended, or "*.*" alone.
  std::string BrowseInitialName() const;
  // OK is refused (false) when the path is longer than 1000 characters.
  bool ValidateOnOK() const { return m_strPath.size() <= MAX_PATH_CHARS; }

 private:
  CSettingsStore& m_settings;
  IHostUi& m_frame;
};

}  // namespace linkward
