#include "repair/RepairPass.h"

#include <vector>

#include "platform/HostUi.h"
#include "repair/RepairDlg.h"
#include "repair/RepairFiles.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

// The address a row's link is pointed at by a type that replaces the link's
// text; empty when the row has none and is left as it is.
// RepairType::Moved: the final address of a link answered with a permanent
// redirect whose chain ended in a success. RepairType::ArchivedCopy: the
// archived copy of a broken link.
const std::string& NewAddress(RepairType type, const RowDetails& details) {
  static const std::string none;
  if (type == RepairType::Moved)
    return (details.code == 301 || details.code == 308) ? details.finalUrl : none;
  if (type == RepairType::ArchivedCopy) return details.archiveUrl;
  return none;
}

// The attribute text for the new address finalUrl of the link written as
// written: escaped for any attribute quoting ("&", quotes, "<", ">"; blanks
// and control bytes percent-encoded). The link's #fragment is kept when the
// new address has none, as a browser keeps it across a redirect. In a
// Markdown page the text is a link destination instead (MarkdownDestination).
std::string NewLinkText(const std::string& written, const std::string& finalUrl, bool markdown) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = markdown ? MarkdownDestination(finalUrl) : std::string();
  for (char ch : markdown ? std::string() : finalUrl) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        text += "&amp;";
        break;
      case '"':
        text += "&quot;";
        break;
      case '\'':
        text += "&#39;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      default:
        if (c <= 0x20 || c == 0x7F) {
          text += '%';
          text += kHex[c >> 4];
          text += kHex[c & 15];
        } else {
          text += ch;
        }
    }
  }
  const size_t hash = written.find('#');
  if (hash != std::string::npos && finalUrl.find('#') == std::string::npos)
    text += written.substr(hash);
  return text;
}

}  // namespace

RepairEnd RunRepairPass(CResultRows& rows, IHostUi& host, IRepairUi& ui, CRepairFiles& files,
                        RepairType type, const std::function<bool()>& cancelled) {
  files.CloseAll();
  std::string currentPath;
  std::string currentUrl;
  bool ok = true;
  bool stop = false;  // asked to stop
  int groupStart = 0;
  std::vector<int> rewritten;  // rows of the open file whose lines are rewritten

  // Replaces the open file by its copy; only then are its rows marked.
  auto finishFile = [&](bool complete) {
    const bool replaced = files.EndFileRepair(currentPath) != 0;
    if (replaced) {
      for (int row : rewritten) rows.SetItemData(row, WithRepairedMark(rows.GetItemData(row)));
      if (complete) rows.SetItemData(groupStart, WithFileDoneMark(rows.GetItemData(groupStart)));
    }
    rewritten.clear();
    return replaced;
  };

  // The types that replace the link's text rewrite only the rows that have a
  // new address; a file without one is not touched, and a file with rows left
  // over is not marked done.
  const bool replaces = ReplacesLinkText(type);
  bool skipped = false;  // a row of the current file was left over
  int withoutCopy = 0;   // RepairType::ArchivedCopy: rows left over, told at the end
  auto hasWork = [&](int first) {
    if (!replaces) return true;
    for (int j = first; j < rows.GetItemCount() &&
                        rows.GetItemText(j, COL_FILE) == rows.GetItemText(first, COL_FILE);
         ++j) {
      if (RepairedMark(rows.GetItemData(j)) != 1 &&
          !NewAddress(type, rows.GetItemDetails(j)).empty())
        return true;
    }
    return false;
  };

  bool byproduct = false;  // the current file is a backup or a copy of the repair
  int byproductFiles = 0;
  int i = 0;
  for (; i < rows.GetItemCount(); ++i) {
    const std::string& file = rows.GetItemText(i, COL_FILE);
    if (file != currentPath) {
      stop = cancelled && cancelled();
      if (files.SourceOpen()) {
        ok = finishFile(!skipped);
        if (!ok) break;
      }
      if (stop) break;
      groupStart = i;
      currentPath = file;
      skipped = false;
      // Backups and copies of the repair are not pages: their rows are left.
      byproduct = IsRepairByproduct(file);
      if (byproduct) ++byproductFiles;
      if (!byproduct && FileDoneMark(rows.GetItemData(i)) != 1 && hasWork(i)) {
        ok = files.BeginFileRepair(currentPath) != 0;
        if (!ok) break;
      }
    }
    if (RepairedMark(rows.GetItemData(i)) == 1 || byproduct) continue;
    const std::string& address = NewAddress(type, rows.GetItemDetails(i));
    if (replaces && address.empty()) {
      skipped = true;  // left as it is, and unmarked
      if (type == RepairType::ArchivedCopy) ++withoutCopy;
      continue;
    }
    currentUrl = rows.GetItemText(i, COL_URL);
    const std::string replacement =
        replaces ? NewLinkText(currentUrl, address, IsMarkdownName(currentPath)) : std::string();
    if (!files.RepairLinkLine(currentUrl, currentPath, type, replacement)) {
      // The file is replaced by its copy, which holds every rewrite made so far.
      if (files.SourceOpen()) finishFile(false);
      ok = false;
      break;
    }
    rewritten.push_back(i);
  }
  if (ok && !stop && files.SourceOpen()) ok = finishFile(!skipped);
  files.CloseAll();

  if (!ok) {
    CRepairFailDlg fail;
    fail.m_strFailFile = currentPath;
    fail.m_strFailUrl = currentUrl;
    fail.m_bIgnore = false;
    if (ui.DoModal(fail) == Answer::Ok && fail.m_bIgnore && i < rows.GetItemCount()) {
      rows.DeleteItem(i);
      host.CommandStateChanged();
    }
    return RepairEnd::Stopped;
  }
  if (stop) return RepairEnd::Cancelled;
  if (byproductFiles > 0) {
    host.MessageBox(std::to_string(byproductFiles) +
                        " file(s) ending in .rep or .t~p were left as they are: they are "
                        "backups and copies of the repair, not pages.",
                    BoxStyle::Ok | BoxStyle::IconInformation);
  }
  if (withoutCopy > 0) {
    host.MessageBox(std::to_string(withoutCopy) +
                        " listed link(s) have no archived copy and were left as they are.",
                    BoxStyle::Ok | BoxStyle::IconInformation);
  }
  if (files.DryRun()) return RepairEnd::Completed;
  host.MessageBox("All URL repairs completed", BoxStyle::Ok | BoxStyle::IconInformation);
  return RepairEnd::Completed;
}

RepairPreview PreviewRepair(const CResultRows& rows, RepairType type) {
  // Records what the pass says instead of showing it.
  class Recorder final : public IHostUi, public IRepairUi {
   public:
    explicit Recorder(RepairPreview& preview) : m_preview(preview) {}
    Answer MessageBox(const std::string& text, BoxStyle style) override {
      m_preview.notes.push_back(text);
      return IHostUi::MessageBox(text, style);
    }
    Answer DoModal(CRepairFailDlg& dlg) override {
      m_preview.complete = false;
      m_preview.notes.push_back("The repair would stop at\n" + dlg.m_strFailFile + "\nnear URL\n" +
                                dlg.m_strFailUrl);
      return Answer::Cancel;
    }

   private:
    RepairPreview& m_preview;
  };
  RepairPreview preview;
  Recorder recorder(preview);
  CResultRows copy;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    const int row = copy.InsertItem(i, rows.GetItemText(i, COL_URL));
    for (int col = 1; col < 4; ++col) copy.SetItemText(row, col, rows.GetItemText(i, col));
    copy.SetItemData(row, rows.GetItemData(i));
    copy.SetItemDetails(row, rows.GetItemDetails(i));
  }
  CRepairFiles files(recorder);
  files.SetDryRun(true);
  RunRepairPass(copy, recorder, recorder, files, type, {});
  preview.diff = files.DiffText();
  return preview;
}

}  // namespace linkward
