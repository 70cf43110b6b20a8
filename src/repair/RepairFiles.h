// The file side of a repair pass: backing up a source file, copying it line
// by line to a temporary file while rewriting the lines that hold listed
// URLs, and putting the rewritten copy in the source's place.
//
// Lines are read in pieces of at most 511 bytes; "\r\n" and "\n" are line
// ends. Lines that are not rewritten are copied byte for byte (NUL bytes
// included). A rewritten line ends the way its source line ended; a last line
// without a line end gets the file's own line end ("\r\n" when the file's
// first line end is "\r\n", else "\n").
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

class IFrame;

// path up to its last "." in the file name part, plus ext; a name without "."
// (or whose only "." is its first character, as in ".htaccess") gets ext
// appended. A "." in a directory name never counts, so the sibling always lies
// in the file's own directory.
std::string RepairSiblingName(const std::string& path, const std::string& ext);

class CRepairFiles {
 public:
  explicit CRepairFiles(IFrame& frame) : m_frame(frame) {}
  ~CRepairFiles() { CloseAll(); }

  // Backs path up to ".rep" (never overwriting a backup), opens path and a
  // new ".t~p" beside it. Returns 1 on success, 0 on failure (nothing open).
  int BeginFileRepair(const std::string& path);
  // Copies lines up to the first that holds url and writes it rewritten by
  // type (0 comment, 1 file name, other: left out). Returns 1 when found;
  // 0 when not (after the message "We looked in file\n%s\nbut could not file
  // the URL\n%s") or when no source file is open.
  int RepairLinkLine(const std::string& url, const std::string& path, int type);
  // Copies the rest, closes both files and renames the temporary file over
  // path in one step, keeping path's permission bits. Returns non-zero on
  // success; on failure the source stays as it was and the temporary file
  // stays beside it.
  int EndFileRepair(const std::string& path);
  void CloseAll();
  bool SourceOpen() const { return m_pRepairIn != nullptr; }

 private:
  // One piece of a source line: at most 511 bytes of text, followed by the
  // line end ("\n" or "\r\n", 0 to 2 bytes) when the line ends there.
  struct Piece {
    const char* data = nullptr;
    size_t textLength = 0;
    size_t endLength = 0;
  };
  bool ReadPiece(Piece* piece);
  bool FillInput(size_t wanted);
  void Write(const char* data, size_t size);
  void WriteLineEnd(const Piece& piece);

  IFrame& m_frame;
  std::FILE* m_pRepairOut = nullptr;
  std::FILE* m_pRepairIn = nullptr;
  std::string m_strLineEnd = "\n";  // the source file's own line end
  bool m_bLineEndKnown = false;
  bool m_bCopyFailed = false;  // a read or write of the current copy failed
  std::vector<char> m_inBuf;   // a window on the source file, fixed size
  size_t m_nInPos = 0;
  size_t m_nInEnd = 0;
  bool m_bInEof = false;
};
