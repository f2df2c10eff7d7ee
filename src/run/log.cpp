#include "run/log.h"

#include <cstdarg>

#include "platform/platform.h"
#include "util/utf16_format.h"

namespace {

constexpr int MaxIndentLevels = 10;
constexpr char16_t Spaces[] = u"                    ";  // two per level

void StripLineEnds(char16_t* text) {
  auto n = TextLength(text);
  while (n > 0 && (text[n - 1] == u'\r' || text[n - 1] == u'\n')) text[--n] = 0;
}

}  // namespace

char16_t* SystemMessage(win::DWORD code) {
  char16_t* text = nullptr;
  const win::DWORD found = win::FormatMessageW(
      win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_IGNORE_INSERTS |
          win::FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, win::LANG_ENGLISH_US, reinterpret_cast<char16_t*>(&text), 0, nullptr);
  if (found) return text;
  win::LocalFree(text);
  return nullptr;
}

void LogLine(InstallState& state, const char16_t* text) {
  if (state.Indent > 0) {
    const int levels = state.Indent < MaxIndentLevels ? state.Indent : MaxIndentLevels;
    Append(state.Log, Spaces + (MaxIndentLevels - levels) * 2);
  }
  if (text && *text) Append(state.Log, text);
  Append(state.Log, u"\r\n");
}

void LogFormat(InstallState& state, const char16_t* format, ...) {
  char16_t line[LogLineCapacity];
  va_list args;
  va_start(args, format);
  FormatUtf16V(line, LogLineCapacity, format, args);
  va_end(args);
  LogLine(state, line);
}

void LogError(InstallState& state, int number, const char16_t* format, ...) {
  const win::DWORD code = win::GetLastError();
  char16_t message[LogLineCapacity];
  const std::size_t prefix = FormatUtf16(message, LogLineCapacity, u"Error(%d): ", number);
  va_list args;
  va_start(args, format);
  FormatUtf16V(message + prefix, LogLineCapacity - prefix, format, args);
  va_end(args);

  WideString line;
  Assign(line, message);
  if (code != 0) {
    char16_t* systemText = SystemMessage(code);
    if (systemText) {
      StripLineEnds(systemText);
      Append(line, u" - (");
      Append(line, systemText);
      Append(line, u")");
    } else {
      Append(line, u" - ( No Description )");
    }
    win::LocalFree(systemText);
  }
  LogLine(state, Text(line));
  Release(line);
  ++state.ErrorCount;
}
