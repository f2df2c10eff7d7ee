#include "commands/log_dialog.h"

#include "commands/module_instance.h"
#include "util/utf16_format.h"

namespace {

bool ShiftDown() { return (win::GetAsyncKeyState(win::VK_SHIFT) & 0x8000) != 0; }

}  // namespace

void FormatLogTitle(const InstallState& state, char16_t* title) {
  FormatUtf16(title, LogTitleCapacity, u"Corvane build %d- Install%s", BuildNumber,
              state.ErrorCount ? u" error log!" : u" log.");
}

win::INT_PTR LogDialogProc(win::HWND dialog, win::UINT message, win::WPARAM wParam,
                           win::LPARAM lParam) {
  if (message == win::WM_INITDIALOG) {
    const auto* state = reinterpret_cast<const InstallState*>(lParam);
    win::SetDlgItemTextW(dialog, LogEditId, Text(state->Log));
    char16_t title[LogTitleCapacity];
    FormatLogTitle(*state, title);
    win::SetWindowTextW(dialog, title);
  } else if (message == win::WM_COMMAND) {
    const win::WORD command = win::LOWORD(wParam);
    if (command == win::IDOK) win::EndDialog(dialog, 1);
    if (command == win::IDCANCEL) win::EndDialog(dialog, 0);
  }
  return 0;
}

void ShowLogIfNeeded(InstallState& state, win::HWND owner) {
  if (state.ErrorCount == 0 && !ShiftDown()) return;
  win::DialogBoxParamW(ModuleInstance, win::MAKEINTRESOURCEW(LogDialogId), owner, LogDialogProc,
                       reinterpret_cast<win::LPARAM>(&state));
}
