// The result rows: one per reported link, with four texts and a 32-bit item
// data value. The face only displays them; every reader uses these rows.
//
// Item data: low 16 bits the repaired mark, high 16 bits the file-done mark
// (meaningful on the first row of a file group).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "results/CheckClass.h"

namespace linkward {

// Receives a notice for every change of the rows (the face's list redraws).
class IRowsObserver {
 public:
  virtual ~IRowsObserver() = default;
  virtual void RowsInserted(int first, int count) { (void)first, (void)count; }
  virtual void RowChanged(int row) { (void)row; }
  virtual void RowRemoved(int row) { (void)row; }
  virtual void RowsCleared() {}
};

enum ResultColumn { COL_URL = 0, COL_REASON = 1, COL_SITE = 2, COL_FILE = 3 };

inline uint32_t RepairedMark(uint32_t data) {
  return data & 0xFFFFu;
}
inline uint32_t FileDoneMark(uint32_t data) {
  return data >> 16;
}
inline uint32_t WithRepairedMark(uint32_t data) {
  return (data & 0xFFFF0000u) | 1u;
}
inline uint32_t WithFileDoneMark(uint32_t data) {
  return (data & 0xFFFFu) | 0x10000u;
}

// What is known of a row beyond its four texts, for the machine-readable
// reports and the repair of moved links. Zero or empty where unknown.
struct RowDetails {
  unsigned code = 0;     // the status or failure code the row reports
  int line = 0;          // the link's line in its file, from 1
  std::string finalUrl;  // where a redirect chain ended
  CheckClass cls = CheckClass::Broken;  // the full check's verdict class
  std::string target;  // the resolved target: absolute address or local path (without fragment)
  std::string history;     // what the check history says: "new since the last check", ...
  std::string archiveUrl;  // an archived copy of a broken remote link; empty when none
};

class CResultRows {
 public:
  // observer receives a notice for every change; it may be null.
  explicit CResultRows(IRowsObserver* observer = nullptr) : m_pFrame(observer) {}

  int GetItemCount() const { return static_cast<int>(m_rows.size()); }
  // REQUIRES: 0 <= row < GetItemCount(), 0 <= col < 4
  const std::string& GetItemText(int row, int col) const { return m_rows[row].text[col]; }
  uint32_t GetItemData(int row) const { return m_rows[row].data; }
  const RowDetails& GetItemDetails(int row) const { return m_rows[row].details; }

  // Inserts a row at index row (the end when row >= count) with column 0 =
  // text and item data 0. Returns its index.
  int InsertItem(int row, const std::string& text);
  void SetItemText(int row, int col, const std::string& text);
  void SetItemData(int row, uint32_t data);
  void SetItemDetails(int row, RowDetails details) { m_rows[row].details = std::move(details); }
  void DeleteItem(int row);
  void DeleteAllItems();

 private:
  struct Row {
    std::array<std::string, 4> text;
    uint32_t data = 0;
    RowDetails details;
  };
  IRowsObserver* m_pFrame;
  std::vector<Row> m_rows;
};

}  // namespace linkward
