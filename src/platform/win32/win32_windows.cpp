// Windows, messages, keyboard state and the modal dialog.
#include "platform/platform.h"

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::UINT kWmInitDialog = win::WM_INITDIALOG;
constexpr win::UINT kWmCommand = win::WM_COMMAND;
constexpr win::UINT kWmSysCommand = win::WM_SYSCOMMAND;
constexpr win::UINT kWmClose = win::WM_CLOSE;
constexpr win::UINT kWmUser = win::WM_USER;
constexpr win::WPARAM kScClose = win::SC_CLOSE;
constexpr int kIdOk = win::IDOK;
constexpr int kIdCancel = win::IDCANCEL;
constexpr int kVkShift = win::VK_SHIFT;
constexpr win::DWORD kErrorInvalidWindowHandle = win::ERROR_INVALID_WINDOW_HANDLE;
constexpr win::DWORD kErrorResourceNameNotFound = win::ERROR_RESOURCE_NAME_NOT_FOUND;
}  // namespace

#include <windows.h>

#include <type_traits>

static_assert(kWmInitDialog == WM_INITDIALOG);
static_assert(kWmCommand == WM_COMMAND);
static_assert(kWmSysCommand == WM_SYSCOMMAND);
static_assert(kWmClose == WM_CLOSE);
static_assert(kWmUser == WM_USER);
static_assert(kScClose == SC_CLOSE);
static_assert(kIdOk == IDOK);
static_assert(kIdCancel == IDCANCEL);
static_assert(kVkShift == VK_SHIFT);
static_assert(kErrorInvalidWindowHandle == ERROR_INVALID_WINDOW_HANDLE);
static_assert(kErrorResourceNameNotFound == ERROR_RESOURCE_NAME_NOT_FOUND);

// The dialog procedure is passed through unchanged: same return and
// parameter representations, and x64 has a single calling convention.
static_assert(std::is_same_v<win::INT_PTR, ::INT_PTR>);
static_assert(std::is_same_v<win::UINT, ::UINT>);
static_assert(std::is_same_v<win::WPARAM, ::WPARAM>);
static_assert(std::is_same_v<win::LPARAM, ::LPARAM>);
static_assert(sizeof(win::HWND) == sizeof(::HWND));
static_assert(sizeof(win::DLGPROC) == sizeof(::DLGPROC));

namespace {

::HWND ToSdk(win::HWND window) { return reinterpret_cast<::HWND>(window); }

const wchar_t* ToSdk(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace

namespace win {

HWND FindWindowW(const char16_t* className, const char16_t* windowName) {
  return reinterpret_cast<HWND>(::FindWindowW(ToSdk(className), ToSdk(windowName)));
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(ToSdk(window), message, wParam, lParam);
}

BOOL IsWindow(HWND window) { return ::IsWindow(ToSdk(window)); }

SHORT GetAsyncKeyState(int virtualKey) { return ::GetAsyncKeyState(virtualKey); }

INT_PTR DialogBoxParamW(HINSTANCE instance, const char16_t* templateName, HWND owner,
                        DLGPROC dialogProc, LPARAM initParam) {
  return ::DialogBoxParamW(reinterpret_cast<::HINSTANCE>(instance), ToSdk(templateName),
                           ToSdk(owner), reinterpret_cast<::DLGPROC>(dialogProc), initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(ToSdk(dialog), result); }

BOOL SetDlgItemTextW(HWND dialog, int itemId, const char16_t* text) {
  return ::SetDlgItemTextW(ToSdk(dialog), itemId, ToSdk(text));
}

BOOL SetWindowTextW(HWND window, const char16_t* text) {
  return ::SetWindowTextW(ToSdk(window), ToSdk(text));
}

}  // namespace win
