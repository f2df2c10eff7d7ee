// Process-level calls of the simulated machine: errors, time, command line,
// module and system directories, system message texts.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/error_texts.h"
#include "platform/sim/machine.h"
#include "platform/sim/shell_split.h"

namespace {

constexpr win::DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr win::DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 15100;

// Copies `text` into a caller's buffer of `size` characters the way the
// directory queries do: the length on success, the size needed when short.
win::DWORD CopyOut(const std::u16string& text, char16_t* buffer, win::DWORD size) {
  if (text.size() + 1 > size) return static_cast<win::DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return static_cast<win::DWORD>(text.size());
}

}  // namespace

namespace win {

DWORD GetLastError() { return sim::Current().lastError; }
void SetLastError(DWORD code) { sim::Current().lastError = code; }

void ExitProcess(UINT exitCode) {
  auto& m = sim::Current();
  m.Enter("ExitProcess");
  if (m.exitHandler) m.exitHandler(exitCode);
  std::_Exit(static_cast<int>(exitCode));
}

void Sleep(DWORD milliseconds) {
  auto& m = sim::Current();
  m.Enter("Sleep");
  m.Advance(milliseconds);
}

DWORD GetTickCount() {
  auto& m = sim::Current();
  m.Enter("GetTickCount");
  return static_cast<DWORD>(m.tickBase + m.nowMs);
}

char16_t* GetCommandLineW() {
  auto& m = sim::Current();
  m.Enter("GetCommandLineW");
  return m.commandLine.data();
}

char16_t** CommandLineToArgvW(const char16_t* commandLine, int* numArgs) {
  auto& m = sim::Current();
  if (m.Enter("CommandLineToArgvW", commandLine ? commandLine : u"")) return nullptr;
  if (!numArgs) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const auto words = sim::SplitCommandLine(commandLine ? commandLine : u"", m.modulePath);
  // One block: the pointer array with its null end, then the texts.
  std::size_t bytes = (words.size() + 1) * sizeof(char16_t*);
  for (const auto& w : words) bytes += (w.size() + 1) * sizeof(char16_t);
  auto* block = static_cast<char16_t**>(sim::LocalAllocZeroed(bytes));
  if (!block) {
    m.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  auto* text = reinterpret_cast<char16_t*>(block + words.size() + 1);
  for (std::size_t i = 0; i < words.size(); ++i) {
    block[i] = text;
    std::memcpy(text, words[i].c_str(), (words[i].size() + 1) * sizeof(char16_t));
    text += words[i].size() + 1;
  }
  *numArgs = static_cast<int>(words.size());
  return block;
}

DWORD GetModuleFileNameW(HMODULE, char16_t* filename, DWORD size) {
  auto& m = sim::Current();
  if (m.Enter("GetModuleFileNameW")) return 0;
  const std::u16string& path = m.modulePath;
  if (size == 0) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  if (path.size() + 1 > size) {
    // Cut short and terminated, as current systems do.
    std::memcpy(filename, path.c_str(), (size - 1) * sizeof(char16_t));
    filename[size - 1] = 0;
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  m.lastError = ERROR_SUCCESS;
  return CopyOut(path, filename, size);
}

UINT GetSystemDirectoryW(char16_t* buffer, UINT size) {
  auto& m = sim::Current();
  if (m.Enter("GetSystemDirectoryW")) return 0;
  return CopyOut(m.systemDir, buffer, size);
}

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, void*) {
  auto& m = sim::Current();
  if (m.Enter("FormatMessageW")) return 0;
  const bool english = languageId == 0 || languageId == LANG_ENGLISH_US;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (!english || !m.englishMessages) {
    m.lastError = ERROR_RESOURCE_LANG_NOT_FOUND;
    return 0;
  }
  const char16_t* found = sim::SystemErrorText(messageId);
  if (!found) {
    m.lastError = ERROR_MR_MID_NOT_FOUND;
    return 0;
  }
  const std::u16string text(found);
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const std::size_t chars = std::max<std::size_t>(text.size() + 1, size);
    auto* block = static_cast<char16_t*>(sim::LocalAllocZeroed(chars * sizeof(char16_t)));
    if (!block) {
      m.lastError = ERROR_NOT_ENOUGH_MEMORY;
      return 0;
    }
    std::memcpy(block, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    *reinterpret_cast<char16_t**>(buffer) = block;
    return static_cast<DWORD>(text.size());
  }
  if (text.size() + 1 > size) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return static_cast<DWORD>(text.size());
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* multiByte, int multiByteCount,
                        char16_t* wide, int wideCount) {
  auto& m = sim::Current();
  if (m.Enter("MultiByteToWideChar")) return 0;
  if (codePage != CP_ACP || !multiByte || multiByteCount == 0 || wideCount < 0) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  std::uint32_t error = 0;
  const int count = sim::AnsiToWide(multiByte, multiByteCount, wide, wideCount, &error);
  if (count == 0) m.lastError = error;
  return count;
}

}  // namespace win
