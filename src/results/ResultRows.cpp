#include "results/ResultRows.h"

#include "platform/Frame.h"
#include "settings/SettingsStore.h"

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

std::array<int, 4> InitialColumnWidths(int clientWidth, CSettingsStore& settings) {
  const int w = clientWidth;
  const int d = w * 9 / 40;
  std::array<int, 4> widths{};
  long long sum = 0;
  bool fits = true;
  for (int col = 0; col < 4; ++col) {
    widths[col] = settings.GetInt("Grid", "col" + std::to_string(col), d);
    sum += widths[col];
    // A negative width is as unusable as 0: it hides the column.
    if (widths[col] <= 0 || widths[col] > w) fits = false;
  }
  if (!fits || sum > w) widths.fill(d);
  return widths;
}
