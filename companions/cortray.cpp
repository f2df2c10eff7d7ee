// Stand-in for the product's tray companion (cortray.exe), keeping the
// contract the installer relies on:
// - it holds the named mutex below for as long as it runs, and leaves at
//   once when the mutex already exists (another instance runs);
// - it owns a hidden top-level window of the class below (a message-only
//   window would not be found by FindWindow);
// - message WM_USER + 2 to that window makes it release the mutex and end.
#include <windows.h>

namespace {

constexpr wchar_t MutexName[] = L"{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr wchar_t WindowClass[] = L"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr UINT ExitRequest = WM_USER + 2;

HANDLE Mutex;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ExitRequest:
      // Released here, on the owning thread, before the window goes: the
      // installer waits on the mutex, not on the process. Closed at once
      // too, so that a companion started right after finds no mutex left.
      if (Mutex) {
        ReleaseMutex(Mutex);
        CloseHandle(Mutex);
        Mutex = nullptr;
      }
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Mutex = CreateMutexW(nullptr, TRUE, MutexName);
  if (!Mutex) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(Mutex);
    return 0;
  }

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = WindowClass;
  HWND window = nullptr;
  if (RegisterClassExW(&windowClass))
    // Top-level and never shown: whatever show state the starter asks for.
    window = CreateWindowExW(0, WindowClass, L"Corvane", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                             nullptr, instance, nullptr);
  if (!window) {
    ReleaseMutex(Mutex);
    CloseHandle(Mutex);
    return 1;
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (Mutex) CloseHandle(Mutex);
  return 0;
}
