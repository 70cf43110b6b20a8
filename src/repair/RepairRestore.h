// Putting the backups of a repair back: each page of a walk whose backup is
// found gets the backup's content again, in one step (a whole copy flushed to
// disk, renamed over the page, the page's permission bits kept). The backup
// stays, so a later repair finds it again.
#pragma once

#include <functional>
#include <string>

#include "platform/StringList.h"

namespace linkward {

// The backup of page (through any symbolic link): the file of its backup
// names whose mark names the page, else its usual backup name when that file
// has no mark at all (made where marks cannot be kept, or by an older
// version); "" when there is none. *marked tells which.
std::string FindBackupOf(const std::string& page, bool* marked);

// Why backup does not look like a whole copy of what page was ("" when it
// does): a marked backup must have the size its mark records; an unmarked
// one must not be empty when the page is not, must end with "</html>" when
// the page does, and must look like an earlier copy of the page (more than
// half of its lines, or of its bytes at both ends, the same), not an
// unrelated file.
std::string BackupLooksIncomplete(const std::string& page, const std::string& backup, bool marked);

struct RestoreCount {
  int restored = 0;   // pages given their backup's content
  int unchanged = 0;  // pages that already held it
  int refused = 0;    // backups that look incomplete, or could not be put back
};

// Restores the pages among files (repair byproducts are skipped) that have a
// backup. report gets one line for each page with a backup.
RestoreCount RestoreBackups(const StringList& files,
                            const std::function<void(const std::string&)>& report);

}  // namespace linkward
