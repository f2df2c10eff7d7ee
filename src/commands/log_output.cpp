#include "commands/log_output.h"

#include "commands/log_dialog.h"
#include "commands/log_file.h"

void PresentLog(InstallState& state, const LogOutput& output) {
  if (output.File != win::INVALID_HANDLE_VALUE) {
    char16_t title[LogTitleCapacity];
    FormatLogTitle(state, title);
    WriteLogFile(output.File, title, state.Log);
  }
  if (!output.Quiet) ShowLogIfNeeded(state, output.Owner);
}
