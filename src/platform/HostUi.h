// The host's own user-interface services, as every part of the core may ask
// for them: message boxes, beeps, the wait cursor, the refresh of command
// states and the open/save file dialogs. A face implements them (the frame
// port, engine/Frame.h, gathers them with everything else a face shows).
// Every operation has a harmless default so that a face overrides only what
// it shows. Message boxes carry the caption "Linkward".
#pragma once

#include <string>

namespace linkward {

// Message box styles, answers and beep types, with their customary values.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class IHostUi {
 public:
  virtual ~IHostUi() = default;

  // Shows text with the buttons of style (MB_OK or MB_YESNO, optionally an
  // icon) and returns the answer: IDOK, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, unsigned style) {
    (void)text;
    return (style & MB_YESNO) ? IDNO : IDOK;
  }
  // type 0: the simple beep; 48 (MB_ICONEXCLAMATION): the warning beep.
  virtual void MessageBeep(unsigned type) { (void)type; }
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

  // The availability of a command may have changed: a test started or ended,
  // or rows were added or removed. Faces with menus refresh them.
  virtual void CommandStateChanged() {}

  // File dialogs. On confirmation store the full path in *chosen and return true.
  // filter uses the "Name (*.ext)|*.ext|...||" form.
  virtual bool GetOpenFileName(const std::string& initialName, std::string* chosen) {
    (void)initialName, (void)chosen;
    return false;
  }
  virtual bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                               const std::string& filter, std::string* chosen) {
    (void)initialName, (void)defaultExt, (void)filter, (void)chosen;
    return false;
  }
};

}  // namespace linkward
