#include "settings/SelectFilesDlg.h"

#include "platform/HostUi.h"
#include "settings/SettingsStore.h"

namespace linkward {

void CSelectFilesDlg::OnRecurseClicked() {
  if (m_choices.recurse) m_choices.allFiles = true;
}

void CSelectFilesDlg::OnAllFilesClicked() {
  // Unchecking "other files" leaves the sub-directories option as it is.
}

std::string CSelectFilesDlg::BrowseInitialName() const {
  std::string dir = m_settings.GetString("FileSel", "Starter", "");
  if (dir.empty()) return "*.*";
  const size_t first = dir.find('/');
  const size_t last = dir.rfind('/');
  if (last == std::string::npos) {
    // A bare file name lies in the current directory: the pattern alone.
    return "*.*";
  }
  if (first != last) {
    dir.erase(last);
  } else {
    // A file in the root directory ("/index.htm"): the directory is "/".
    dir.erase(last + 1);
  }
  if (dir.back() != '/') dir += '/';
  return dir + "*.*";
}

void CSelectFilesDlg::OnBrowse() {
  std::string chosen;
  if (m_frame.GetOpenFileName(BrowseInitialName(), &chosen)) m_strPath = chosen;
}

}  // namespace linkward
