#include "results/ResultRows.h"

namespace linkward {

int CResultRows::InsertItem(int row, const std::string& text) {
  const int count = GetItemCount();
  if (row < 0 || row > count) row = count;
  Row added;
  added.text[COL_URL] = text;
  m_rows.insert(m_rows.begin() + row, std::move(added));
  if (m_pFrame) m_pFrame->RowsInserted(row, 1);
  return row;
}

void CResultRows::SetItemText(int row, int col, const std::string& text) {
  if (row < 0 || row >= GetItemCount() || col < 0 || col >= 4) return;
  m_rows[row].text[col] = text;
  if (m_pFrame) m_pFrame->RowChanged(row);
}

void CResultRows::SetItemData(int row, uint32_t data) {
  if (row < 0 || row >= GetItemCount()) return;
  m_rows[row].data = data;
  if (m_pFrame) m_pFrame->RowChanged(row);
}

void CResultRows::DeleteItem(int row) {
  if (row < 0 || row >= GetItemCount()) return;
  m_rows.erase(m_rows.begin() + row);
  if (m_pFrame) m_pFrame->RowRemoved(row);
}

void CResultRows::DeleteAllItems() {
  m_rows.clear();
  if (m_pFrame) m_pFrame->RowsCleared();
}

}  // namespace linkward
