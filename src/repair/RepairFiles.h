// The file side of a repair pass: backing up a source file, copying it line
// by line to a temporary file while rewriting the lines that hold listed
// URLs, and putting the rewritten copy in the source's place.
//
// Lines are read whole, whatever their length; "\r\n" and "\n" are line
// ends. Lines that are not rewritten are copied byte for byte (NUL bytes
// included). A rewritten line ends the way its source line ended; a last line
// without a line end gets the file's own line end ("\r\n" when the file's
// first line end is "\r\n", else "\n").
//
// A URL matches only where it is the whole link as link extraction read it:
// the URL text followed by optional blanks and a double quote. Several listed
// URLs on one line are all rewritten in that line. On a line with at most one
// anchor ("<a" start tag) a rewrite acts on the whole line; on a line with
// more, it acts on the anchor element that holds the URL, from its "<a" to
// its "</a>".
//
// Nothing is rewritten unless an untouched copy of the original exists on
// disk, and the source is replaced in one step only by a complete copy that
// has reached the disk.
//
// The types RepairType::Moved and RepairType::ArchivedCopy are different: they
// replace the link's text by a new address and leave everything else on the
// line as it stands (line end, other anchors, the anchor text). Their match is
// the whole attribute value in double, single or no quotes, or a whole
// candidate of a srcset list.
//
// Markdown pages (.md, .markdown) are rewritten by their own links: a URL
// matches as the destination of an inline link or image "[text](url)", as an
// autolink "<url>" or a bare address GitHub links ("https://...", standing
// between blanks, trailing punctuation aside), or as the destination of a
// reference definition "[ref]: url" on its own line (in quotes and lists too).
// RepairType::Comment puts the link (a definition: the rest of its line after
// any quote and list markers) inside an HTML comment; RepairType::FileName
// writes the file's own name as the destination, the URL kept in a comment
// after the link (not after a definition, which a comment would break);
// RepairType::RemoveLine leaves the line out; the types that replace the
// link's text write the new address as the destination. A URL matched by a
// definition stands for every row of it in that file. A link of the HTML the page holds ("<a href=...>" on its
// line) is matched as in an HTML page; its element is what is rewritten.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "repair/RepairType.h"

namespace linkward {

class IHostUi;

// path up to its last "." in the file name part, plus ext; a name without "."
// (or whose only "." is its first character, as in ".htaccess") gets ext
// appended. A "." in a directory name never counts, so the sibling always lies
// in the file's own directory.
std::string RepairSiblingName(const std::string& path, const std::string& ext);

// True for the names repair itself makes (ending in ".rep" or ".t~p"); such
// files are never rewritten.
bool IsRepairByproduct(const std::string& path);

// True for the names of Markdown pages (".md", ".markdown", any case).
bool IsMarkdownName(const std::string& path);
// url as a Markdown link destination (or an attribute value of the HTML the
// page holds): blanks, control bytes, "(", ")", "<", ">", backslashes and quotes
// percent-encoded, everything else as it stands.
std::string MarkdownDestination(const std::string& url);

// The backup name of path: its ".rep" sibling, unless another file of the
// same directory that comes first in byte order of names would share that
// sibling (page.htm before page.html); then path followed by ".rep".
std::string RepairBackupName(const std::string& path);

// Every backup a pass makes carries this extended attribute: the page's file
// name, "\n", the backup's size. A backup without it (a file system without
// user attributes, an older backup) is taken as the page's backup only when
// it holds the page as it is.
constexpr const char* REPAIR_BACKUP_MARK = "user.linkward.backup";
std::string BackupMarkText(const std::string& page, long long size);
// The page's file name and the size written in backup's mark; false when it
// has none.
bool ReadBackupMark(const std::string& backup, std::string* page, long long* size);

class CRepairFiles {
 public:
  explicit CRepairFiles(IHostUi& frame) : m_frame(frame) {}
  ~CRepairFiles() { CloseAll(); }
  CRepairFiles(const CRepairFiles&) = delete;
  CRepairFiles& operator=(const CRepairFiles&) = delete;

  // Refuses repair byproducts and files without write permission. Follows a
  // symbolic link to the file it points at, makes sure that file's backup
  // exists (made now, complete and on disk, or kept from an earlier pass; a
  // file of the backup's name that is neither is kept as it is, and the
  // page's whole name followed by ".rep" is used instead),
  // opens the file and creates its ".t~p" sibling (O_EXCL, O_NOFOLLOW).
  // Returns 1 on success, 0 on failure (nothing open, the source untouched).
  int BeginFileRepair(const std::string& path);
  // Finds the next match of url: first in the line that holds the previous
  // match, then in the lines after it (copied on unchanged). The rewrite by
  // type (Comment, FileName, any other: left out) is written once the line
  // is left; for the types that replace the link's text (ReplacesLinkText)
  // the link becomes replacement (written as it stands). Returns 1 when
  // found; 0 when not (after the message "We looked in file\n%s\nbut could
  // not file the URL\n%s") or when no source is open.
  int RepairLinkLine(const std::string& url, const std::string& path, RepairType type,
                     const std::string& replacement = std::string());
  // Copies the rest, flushes the copy to disk, closes both files and renames
  // the copy over the source in one step, keeping the source's owner and
  // permission bits; a symbolic link stays a link. Returns non-zero on
  // success. Fails, leaving the source as it is, when the copy is incomplete
  // (it is then removed) or when the source is gone, no longer a regular
  // file, or was changed since BeginFileRepair (the copy stays beside it).
  int EndFileRepair(const std::string& path);
  // Closes what is open; a copy left unfinished is removed.
  void CloseAll();
  // A dry run touches nothing: no backup, no copy, no replacement. Each
  // EndFileRepair adds to DiffText() the unified diff (context 3, labels
  // "a/" and "b/" before the path as given) of what the file would become.
  void SetDryRun(bool dryRun) {
    m_bDryRun = dryRun;
    m_strDiff.clear();
  }
  bool DryRun() const { return m_bDryRun; }
  const std::string& DiffText() const { return m_strDiff; }
  bool SourceOpen() const { return m_pRepairIn != nullptr; }

 private:
  struct Match {
    size_t pos;
    std::string url;
    std::string replacement;  // Moved, ArchivedCopy: the link's new text
    size_t from = 0, to = 0;  // Markdown: the link, or the definition's line
    bool definition = false;  // Markdown: a reference definition
    bool html = false;        // Markdown: a link of the HTML the page holds
  };
  void WriteMarkdownRewritten(const std::string& eol);
  bool EnsureBackup(int fd, const struct stat& info, const std::string& target);
  bool ReadLine();
  bool OnlyLine();  // the current line is the file's only line
  bool FindInLine(const std::string& url, const std::string& replacement);
  void FlushLine();
  void WriteRewritten();
  void Write(const char* data, size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }

  IHostUi& m_frame;
  bool m_bDryRun = false;
  std::FILE* m_pRepairOut = nullptr;
  std::FILE* m_pRepairIn = nullptr;
  std::string m_strTarget;  // the file rewritten: the source, through any link
  std::string m_strTemp;
  dev_t m_nDev = 0;  // the source as it was opened
  ino_t m_nIno = 0;
  off_t m_nSize = 0;
  struct timespec m_mtime {};
  std::string m_strLineEnd = "\n";  // the source file's own line end
  bool m_bLineEndKnown = false;
  bool m_bCopyFailed = false;  // a read or write of the current copy failed
  // The current line: its text, its line end, and the matches found in it.
  bool m_bLineHeld = false;
  std::string m_strLine;
  std::string m_strLineEndOfLine;
  std::vector<Match> m_matches;
  RepairType m_nType = RepairType::Comment;
  std::string m_strName;    // the source's file name, for RepairType::FileName
  bool m_bMarkdown = false;  // the source is a Markdown page
  std::vector<std::string> m_defined;  // Markdown: URLs matched by a definition
  size_t m_nLineIndex = 0;  // of the current line, from 0
  size_t m_nLinesRead = 0;
  // Dry run: the source's lines (each with its line end), what the rewritten
  // ones become, the rewrite in hand, the path as given, the diffs so far.
  std::vector<std::string> m_srcLines;
  std::vector<std::pair<size_t, std::string>> m_changes;
  std::string m_strPending;
  std::string m_strLabel;
  std::string m_strDiff;
  char* m_pReadBuf = nullptr;
  size_t m_nReadCap = 0;
};

}  // namespace linkward
