// CLinkwardDoc: the program's one document. It holds nothing: all working
// state lives in the view. Only the modified flag exists, and the log writer
// keeps it clear, so closing never offers to save. New, Open and Save
// (Ctrl+N, Ctrl+O, Ctrl+S) reach it and change nothing: they never empty the
// results, read or write a file.
#pragma once

namespace linkward {

class CLinkwardDoc {
 public:
  bool OnNewDocument() { return true; }
  void OnOpenDocument() {}
  void OnSaveDocument() {}
  void SetModifiedFlag(bool modified) { m_bModified = modified; }
  bool IsModified() const { return m_bModified; }

 private:
  bool m_bModified = false;
};

}  // namespace linkward
