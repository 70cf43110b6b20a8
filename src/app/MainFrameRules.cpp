#include "app/MainFrameRules.h"

#include <string>

#include "platform/HostUi.h"
#include "results/ResultRows.h"
#include "settings/SettingsStore.h"

namespace linkward {

namespace {

constexpr const char* SCREEN = "Screen";

void WritePlacement(CSettingsStore& settings, const WindowPlacement& p) {
  settings.SetInt(SCREEN, "x", p.x);
  settings.SetInt(SCREEN, "y", p.y);
  settings.SetInt(SCREEN, "cx", p.cx);
  settings.SetInt(SCREEN, "cy", p.cy);
}

}  // namespace

bool IsPlacementAccepted(const WindowPlacement& p, int screenWidth, int screenHeight) {
  return p.cx > 0 && p.cy > 0 && p.x >= 0 && p.y >= 0 && p.cx <= screenWidth &&
         p.cy <= screenHeight && p.x <= screenWidth && p.y <= screenHeight;
}

WindowPlacement DefaultPlacement(int screenWidth, int screenHeight) {
  WindowPlacement p;
  p.cx = static_cast<int>(screenWidth * 0.75);
  p.cy = static_cast<int>(screenHeight * 0.75);
  p.x = (screenWidth - p.cx) / 2;
  p.y = (screenHeight - p.cy) / 2;
  return p;
}

WindowPlacement PlaceMainWindow(CSettingsStore& settings, int screenWidth, int screenHeight) {
  WindowPlacement p;
  p.x = settings.GetInt(SCREEN, "x", 0);
  p.y = settings.GetInt(SCREEN, "y", 0);
  p.cx = settings.GetInt(SCREEN, "cx", 0);
  p.cy = settings.GetInt(SCREEN, "cy", 0);
  if (IsPlacementAccepted(p, screenWidth, screenHeight)) return p;
  p = DefaultPlacement(screenWidth, screenHeight);
  WritePlacement(settings, p);
  return p;
}

void StoreWindowPosition(CSettingsStore& settings, const WindowPlacement& placement,
                         bool minimised) {
  if (minimised) return;
  WindowPlacement p = placement;
  if (p.x < 0) p.x = 0;
  if (p.y < 0) p.y = 0;
  WritePlacement(settings, p);
}

int TopPaneHeight(int storedHigh, int clientHeight) {
  if (storedHigh > 0 && storedHigh < clientHeight) return storedHigh;
  return clientHeight / 2;
}

bool ConfirmQuit(CResultRows& rows, IHostUi& frame) {
  frame.BeginWaitCursor();
  bool mayQuit = true;
  if (rows.GetItemCount() > 0) {
    for (int row = rows.GetItemCount() - 1; row >= 0; --row) {
      if (RepairedMark(rows.GetItemData(row)) == 1) rows.DeleteItem(row);
    }
    if (rows.GetItemCount() > 0 && frame.MessageBox(QUIT_QUESTION, BoxStyle::YesNo) == Answer::No) {
      mayQuit = false;
    }
  }
  frame.EndWaitCursor();
  return mayQuit;
}

void StoreColumnWidths(CSettingsStore& settings, const std::array<int, 4>& widths) {
  for (int col = 0; col < 4; ++col) {
    settings.SetInt("Grid", "col" + std::to_string(col), widths[col]);
  }
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

}  // namespace linkward
