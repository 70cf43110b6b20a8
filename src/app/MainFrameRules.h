// The main frame's rules, apart from any toolkit: where the window opens, what
// a move or resize stores, how tall the results pane starts, the question
// asked before quitting with unrepaired rows, and the stored column widths.
#pragma once

#include <array>

namespace linkward {

class CResultRows;
class CSettingsStore;
class IHostUi;

constexpr const char* QUIT_QUESTION =
    "Not all of the bad URLs have been repaired\n\nDo you want to quit?";

struct WindowPlacement {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  bool operator==(const WindowPlacement&) const = default;
};

// A stored placement is accepted when it has a size and lies on a screen of
// width w and height h: cx, cy > 0; x, y >= 0; cx, x <= w; cy, y <= h.
bool IsPlacementAccepted(const WindowPlacement& placement, int screenWidth, int screenHeight);
// Three quarters of the screen in each direction, centred.
WindowPlacement DefaultPlacement(int screenWidth, int screenHeight);
// Reads "Screen" x, y, cx, cy (default 0). When they are not accepted, the
// default placement is written back, in the order x, y, cx, cy, and returned.
WindowPlacement PlaceMainWindow(CSettingsStore& settings, int screenWidth, int screenHeight);

// A move or resize: nothing while minimised; otherwise x and y (a negative
// value stored as 0), cx and cy go to "Screen" in that order.
void StoreWindowPosition(CSettingsStore& settings, const WindowPlacement& placement,
                         bool minimised);

// The height of the results pane: the profile's "High" when it is above 0
// and below the client height, else half the client height.
int TopPaneHeight(int storedHigh, int clientHeight);

// Deletes every repaired row (from the last to the first); when rows remain,
// asks the quit question. False when the user answers No.
bool ConfirmQuit(CResultRows& rows, IHostUi& frame);

// The column set-up rule: client width w and the stored widths of "Grid"
// col0..col3 (each read with default w*9/40) give the four widths; widths
// that do not fit (a 0, one wider than w, or a sum wider than w) give four
// default widths.
std::array<int, 4> InitialColumnWidths(int clientWidth, CSettingsStore& settings);
// Writes the four widths as "Grid" col0..col3.
void StoreColumnWidths(CSettingsStore& settings, const std::array<int, 4>& widths);

}  // namespace linkward
