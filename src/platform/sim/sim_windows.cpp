// Windows, messages, the keyboard and modal dialogs of the simulated
// desktop. A dialog runs the program's own dialog procedure; the simulated
// user then closes it in the way the test chose.
#include <cstdio>

#include "platform/sim/machine.h"

namespace {

using namespace win;

constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND = 1421;
constexpr WORD BN_CLICKED = 0;
constexpr WORD DIALOG_ID = 101;
constexpr int CLOSE_BUTTON_ID = 1;
constexpr int LOG_EDIT_ID = 1001;

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
  return sim::ToUpperAscii(a) == sim::ToUpperAscii(b);
}

sim::Window* Live(sim::Machine& m, HWND window) {
  return m.FindWindowByHandle(reinterpret_cast<std::uintptr_t>(window));
}

WPARAM Command(int id, WORD code) { return static_cast<WPARAM>((code << 16) | (id & 0xFFFF)); }

void Render(const sim::Window& dialog) {
  std::string text = sim::Utf8(dialog.items.at(LOG_EDIT_ID));
  std::string shown;
  for (char c : text)
    if (c != '\r') shown += c;
  std::fprintf(stderr, "+--- %s ---\n%s%s[ %s ]\n", sim::Utf8(dialog.title).c_str(), shown.c_str(),
               shown.empty() || shown.back() == '\n' ? "" : "\n",
               sim::Utf8(dialog.items.at(CLOSE_BUTTON_ID)).c_str());
}

// What the dialog manager sends the procedure for one user action; the
// default handling of an unhandled close turns into IDCANCEL.
void Act(sim::Window& dialog, DLGPROC proc, sim::DialogClose action) {
  const HWND hwnd = reinterpret_cast<HWND>(dialog.handle);
  switch (action) {
    case sim::DialogClose::CloseButton:
    case sim::DialogClose::EnterKey:
      proc(hwnd, WM_COMMAND, Command(CLOSE_BUTTON_ID, BN_CLICKED), 0);
      break;
    case sim::DialogClose::EscapeKey:
      proc(hwnd, WM_COMMAND, Command(IDCANCEL, BN_CLICKED), 0);
      break;
    case sim::DialogClose::CloseBox:
      if (!proc(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0) && !dialog.dialogEnded &&
          !proc(hwnd, WM_CLOSE, 0, 0) && !dialog.dialogEnded)
        proc(hwnd, WM_COMMAND, Command(IDCANCEL, BN_CLICKED), 0);
      break;
    case sim::DialogClose::Ignore:
      break;
  }
}

}  // namespace

namespace sim {

void DeliverPosted(Machine& m, Window& window, UINT message, WPARAM wParam) {
  TimedEvent event;
  switch (window.role) {
    case WindowRole::Plain:
      return;
    case WindowRole::Help:
      if (!window.closes || message != WM_SYSCOMMAND || wParam != SC_CLOSE) return;
      event.kind = TimedEvent::Kind::WindowClose;
      event.window = window.handle;
      m.Schedule(window.closeDelayMs, std::move(event));
      return;
    case WindowRole::Companion:
      if (message != CompanionExitMessage) return;
      ++m.companion.exitRequests;
      if (m.companionBehaviour.ignoresExitRequest) return;
      event.kind = TimedEvent::Kind::CompanionExit;
      m.Schedule(m.companionBehaviour.exitDelayMs, std::move(event));
      return;
  }
}

}  // namespace sim

namespace win {

HWND FindWindowW(const char16_t* className, const char16_t* windowName) {
  auto& m = sim::Current();
  const bool fails = m.Enter("FindWindowW", windowName ? windowName : u"");
  m.Note({{"lpClassName", sim::Given(className)}, {"lpWindowName", sim::Given(windowName)}});
  if (fails) return nullptr;
  for (const auto& window : m.windows) {
    if (!window->alive || window->dialog || window->session != m.session) continue;
    if (className && !SameNoCase(window->className, className)) continue;
    if (windowName && !SameNoCase(window->title, windowName)) continue;
    return reinterpret_cast<HWND>(window->handle);
  }
  m.lastError = ERROR_SUCCESS;
  return nullptr;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& m = sim::Current();
  sim::Window* target = Live(m, window);
  const bool fails = m.Enter("PostMessageW", target ? target->className : u"");
  m.Note({{"Msg", sim::Number(message)},
          {"wParam", sim::Number(wParam)},
          {"lParam", sim::Number(static_cast<std::uint64_t>(lParam))}});
  if (fails) return FALSE;
  if (!target) {
    m.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  sim::DeliverPosted(m, *target, message, wParam);
  return TRUE;
}

BOOL IsWindow(HWND window) {
  auto& m = sim::Current();
  m.Enter("IsWindow");
  return Live(m, window) ? TRUE : FALSE;
}

SHORT GetAsyncKeyState(int virtualKey) {
  auto& m = sim::Current();
  m.Enter("GetAsyncKeyState");
  const bool down = virtualKey == VK_SHIFT && m.shiftHeld;
  return down ? static_cast<SHORT>(0x8000) : 0;
}

INT_PTR DialogBoxParamW(HINSTANCE, const char16_t* templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  auto& m = sim::Current();
  if (m.Enter("DialogBoxParamW")) return -1;
  if (templateName != MAKEINTRESOURCEW(DIALOG_ID) || !m.dialogTemplatePresent) {
    m.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return -1;
  }
  if (owner && !Live(m, owner)) {
    m.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return -1;
  }
  sim::Window& dialog = m.AddWindow(u"#32770", u"");
  dialog.dialog = true;
  dialog.session = m.session;
  dialog.owner = reinterpret_cast<std::uintptr_t>(owner);
  dialog.items[CLOSE_BUTTON_ID] = u"Close";
  dialog.items[LOG_EDIT_ID] = u"";
  const HWND hwnd = reinterpret_cast<HWND>(dialog.handle);

  dialogProc(hwnd, WM_INITDIALOG, 0, initParam);
  if (m.renderDialogs) Render(dialog);
  if (m.onDialogShown) m.onDialogShown(initParam);
  sim::DialogClose action = sim::DialogClose::CloseButton;
  if (!m.dialogActions.empty()) {
    action = m.dialogActions.front();
    m.dialogActions.erase(m.dialogActions.begin());
  }
  if (!dialog.dialogEnded) Act(dialog, dialogProc, action);

  sim::DialogRecord record;
  record.title = dialog.title;
  record.text = dialog.items[LOG_EDIT_ID];
  record.owner = dialog.owner;
  // A dialog nobody can close would block the run for good; the desktop
  // reports it instead of hanging.
  record.result = dialog.dialogEnded ? dialog.dialogResult : -1;
  if (!dialog.dialogEnded) std::fprintf(stderr, "simulated desktop: the dialog was never closed\n");
  dialog.alive = false;
  m.dialogs.push_back(record);
  return record.result;
}

BOOL EndDialog(HWND window, INT_PTR result) {
  auto& m = sim::Current();
  if (m.Enter("EndDialog")) return FALSE;
  sim::Window* dialog = Live(m, window);
  if (!dialog || !dialog->dialog) {
    m.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  dialog->dialogEnded = true;
  dialog->dialogResult = result;
  return TRUE;
}

BOOL SetDlgItemTextW(HWND window, int itemId, const char16_t* text) {
  auto& m = sim::Current();
  if (m.Enter("SetDlgItemTextW")) return FALSE;
  sim::Window* dialog = Live(m, window);
  if (!dialog) {
    m.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  auto item = dialog->items.find(itemId);
  if (item == dialog->items.end()) {
    m.lastError = ERROR_CONTROL_ID_NOT_FOUND;
    return FALSE;
  }
  item->second = text ? text : u"";
  return TRUE;
}

BOOL SetWindowTextW(HWND window, const char16_t* text) {
  auto& m = sim::Current();
  if (m.Enter("SetWindowTextW")) return FALSE;
  sim::Window* target = Live(m, window);
  if (!target) {
    m.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  target->title = text ? text : u"";
  return TRUE;
}

}  // namespace win
