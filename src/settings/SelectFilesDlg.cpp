#include "settings/SelectFilesDlg.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/HostUi.h"
#include "settings/SettingsStore.h"

namespace linkward {

namespace {

// Whether text starts with http:// or https://, the scheme in any case.
bool IsSiteAddress(const std::string& text) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (text.size() >= scheme.size() &&
        std::equal(scheme.begin(), scheme.end(), text.begin(),
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
      return true;
  }
  return false;
}

}  // namespace

void CSelectFilesDlg::OnRecurseClicked() {
  if (m_choices.recurse) m_choices.allFiles = true;
}

void CSelectFilesDlg::OnAllFilesClicked() {
  // Unchecking "other files" leaves the sub-directories option as it is.
}

std::string CSelectFilesDlg::BrowseInitialName() const {
  std::string dir = m_settings.GetString("FileSel", "Starter", "");
  if (dir.empty() || IsSiteAddress(dir)) return "*.*";  // a crawled site has no directory here
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
