// The host's own user-interface services, as every part of the core may ask
// for them: message boxes, beeps, the wait cursor, the refresh of command
// states and the open/save file dialogs. A face implements them (the frame
// port, engine/Frame.h, gathers them with everything else a face shows).
// Every operation has a harmless default so that a face overrides only what
// it shows. Message boxes carry the caption "Linkward".
#pragma once

#include <string>

namespace linkward {

// The answer that closes a message box or a modal dialog. The values are the
// classic IDOK, IDCANCEL, IDYES and IDNO.
enum class Answer : int { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// A message box's style: its buttons, optionally combined with an icon by |.
// The values are the classic MB_OK, MB_YESNO, MB_ICONEXCLAMATION (48, also
// the warning beep) and MB_ICONINFORMATION.
enum class BoxStyle : unsigned {
  Ok = 0x0,
  YesNo = 0x4,
  IconExclamation = 0x30,
  IconInformation = 0x40
};

constexpr BoxStyle operator|(BoxStyle a, BoxStyle b) {
  return static_cast<BoxStyle>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr BoxStyle operator&(BoxStyle a, BoxStyle b) {
  return static_cast<BoxStyle>(static_cast<unsigned>(a) & static_cast<unsigned>(b));
}
// The buttons part (Ok or YesNo) and the icon part (Ok when none) of a style.
constexpr BoxStyle ButtonsOf(BoxStyle style) {
  return style & static_cast<BoxStyle>(0xF);
}
constexpr BoxStyle IconOf(BoxStyle style) {
  return style & static_cast<BoxStyle>(0xF0);
}

class IHostUi {
 public:
  virtual ~IHostUi() = default;

  // Shows text with the buttons of style (Ok or YesNo, optionally an icon)
  // and returns the answer: Ok, Yes or No.
  virtual Answer MessageBox(const std::string& text, BoxStyle style) {
    (void)text;
    return ButtonsOf(style) == BoxStyle::YesNo ? Answer::No : Answer::Ok;
  }
  // type BoxStyle::Ok (0): the simple beep; BoxStyle::IconExclamation (48):
  // the warning beep.
  virtual void MessageBeep(BoxStyle type) { (void)type; }
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
