// The repair pass: one run over the result rows, file group by file group,
// driving the file side (CRepairFiles), setting the rows' marks and stopping
// at the first failure.
//
// Marks: a row's repaired mark, and the file-done mark of its group's first
// row, are set only once its file has been replaced by the rewritten copy.
// Rows already marked are skipped, so a pass run again after a stop goes on
// where the last one stopped.
//
// Type RepairType::Moved (see RepairFiles.h) takes only the rows whose link was
// answered with 301 or 308 and whose redirect chain ended in a success (a
// final address is known); their links get the final address. Other rows are
// left as they are, unmarked, and a file that holds one is not marked done.
// Type RepairType::ArchivedCopy does the same with the rows that have an
// archived copy (RowDetails::archiveUrl), pointing their links at it; the
// number of rows left without one is told at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/HostUi.h"
#include "repair/RepairType.h"

namespace linkward {

class CRepairFiles;
class CResultRows;
class CRepairFailDlg;

// What the pass asks of a face beyond the host's services: the failure dialog.
class IRepairUi {
 public:
  virtual ~IRepairUi() = default;
  // Returns Answer::Ok or Answer::Cancel; on Ok the dialog's members hold the choice.
  virtual Answer DoModal(CRepairFailDlg& dlg) {
    (void)dlg;
    return Answer::Ok;
  }
};

enum class RepairEnd {
  Completed,  // every row handled: "All URL repairs completed" was shown
  Stopped,    // a failure: the Repair Failure dialog was shown
  Cancelled,  // the cancel check asked to stop before a file; nothing more was shown
};

// Runs the pass of type over every row of rows. cancelled (may be empty) is
// asked before each file; when it answers true the file in hand is finished
// and the pass stops before the next one.
// With files in a dry run nothing is marked and nothing is shown at the end.
RepairEnd RunRepairPass(CResultRows& rows, IHostUi& host, IRepairUi& ui, CRepairFiles& files,
                        RepairType type, const std::function<bool()>& cancelled);

// What a pass of type over rows would do, touching no file and no row: the
// unified diff of every page it would change, and what it would tell the
// user (messages, and where it would stop) in notes.
struct RepairPreview {
  std::string diff;
  std::vector<std::string> notes;
  bool complete = true;  // the pass would handle every row
};
RepairPreview PreviewRepair(const CResultRows& rows, RepairType type);

}  // namespace linkward
