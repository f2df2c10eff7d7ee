#include "capture/capture_entry.h"

#include <cstdio>
#include <string>

#include "capture/capture_output.h"
#include "capture/machine_capture.h"
#include "platform/platform.h"

int CaptureEntry() {
  int count = 0;
  char16_t** args = win::CommandLineToArgvW(win::GetCommandLineW(), &count);
  if (!args || count < 2 || count > 3) {
    std::fputs("usage: corvane-capture DIR [SETUP-FOLDER]\n", stderr);
    return 2;
  }
  const std::u16string dir = args[1];
  const std::u16string setup = count == 3 ? args[2] : DefaultSetupFolder;
  win::LocalFree(args);
  const CaptureResult result = CaptureMachine(dir, setup);
  for (const auto& what : result.missing) std::fprintf(stderr, "corvane-capture: not captured: %s\n", what.c_str());
  if (!result.error.empty()) {
    std::fprintf(stderr, "corvane-capture: no machine written: %s\n", result.error.c_str());
    return 1;
  }
  std::fprintf(stderr, "corvane-capture: the machine is in %s\n", Utf8Of(dir).c_str());
  return 0;
}
