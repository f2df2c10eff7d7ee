#include "spooler/file_deployment.h"

#include <cstring>

#include "run/log.h"
#include "spooler/companion_files.h"

namespace {

constexpr int OpenAttempts = 100;
constexpr win::DWORD OpenRetryMs = 50;
constexpr win::DWORD OpenTimeoutMs = 10000;
constexpr win::DWORD CopyChunk = 8192;

// "dir" + "\" (unless empty or already there) + "name".
WideString JoinPath(const char16_t* dir, const char16_t* name) {
  WideString path;
  Assign(path, dir);
  EndWithBackslash(path);
  Append(path, name);
  return path;
}

// Copies the open source into the open target; the failure number, 0 when
// every byte arrived.
int CopyContents(win::HANDLE source, win::HANDLE target) {
  std::uint8_t chunk[CopyChunk];
  for (;;) {
    win::DWORD read = 0;
    // A read that fails part-way leaves an incomplete target: that is a
    // failed copy, reported like a short write.
    if (!win::ReadFile(source, chunk, CopyChunk, &read, nullptr)) return ErrCopyWrite;
    if (read) {
      win::DWORD written = 0;
      win::WriteFile(target, chunk, read, &written, nullptr);
      if (written < read) return ErrCopyWrite;
    }
    if (read < CopyChunk) return 0;
  }
}

}  // namespace

void EndWithBackslash(WideString& directory) {
  const auto n = Length(directory);
  if (n && Text(directory)[n - 1] != u'\\') Append(directory, u"\\");
}

void SelectPlatform(InstallState& state, bool x64) {
  state.Is64Bit = x64 ? 1 : 0;
  state.Environment = x64 ? EnvironmentX64 : EnvironmentX86;
  state.MonitorFile = x64 ? MonitorFile64 : MonitorFile32;
  state.DriverFile = x64 ? DriverFile64 : DriverFile32;
  state.UiFile = x64 ? UiFile64 : UiFile32;

  auto* environment = const_cast<char16_t*>(state.Environment);
  win::DWORD needed = 0;
  bool found = false;
  if (!win::GetPrinterDriverDirectoryW(nullptr, environment, 1, nullptr, 0, &needed) &&
      win::GetLastError() == win::ERROR_INSUFFICIENT_BUFFER) {
    const win::DWORD bytes = needed + sizeof(char16_t);
    auto* directory = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, bytes));
    if (!directory) {
      win::SetLastError(win::E_OUTOFMEMORY_CODE);
    } else {
      if (win::GetPrinterDriverDirectoryW(nullptr, environment, 1,
                                          reinterpret_cast<win::BYTE*>(directory), needed, &needed)) {
        Assign(state.DriverDir, directory);
        EndWithBackslash(state.DriverDir);
        LogFormat(state, u"PrinterDriverDirectory:%s", Text(state.DriverDir));
        found = true;
      }
      const win::DWORD code = win::GetLastError();
      win::GlobalFree(directory);
      win::SetLastError(code);
    }
  }
  if (!found) LogError(state, ErrDriverDirectory, u"Can`t retrieve printer driver directory.");
  state.HelpFile = HelpFileName;
}

win::HANDLE OpenTargetFile(InstallState& state, const char16_t* path) {
  const win::DWORD start = win::GetTickCount();
  for (int attempt = 1; attempt <= OpenAttempts; ++attempt) {
    win::HANDLE file = win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr,
                                        win::CREATE_ALWAYS, 0, nullptr);
    if (file != win::INVALID_HANDLE_VALUE) return file;
    if (win::GetTickCount() - start > OpenTimeoutMs) {
      LogLine(state, u"CreateFile - timeout");
      return win::INVALID_HANDLE_VALUE;
    }
    if (attempt < OpenAttempts) win::Sleep(OpenRetryMs);
  }
  return win::INVALID_HANDLE_VALUE;
}

win::HRESULT CopyPackageFile(InstallState& state, const char16_t* targetDir,
                             const char16_t* fileName, char16_t* targetPath, bool countFailure) {
  WideString line;
  Format(line, u"CopyFile %s to %s)", fileName, targetDir);
  ++state.Indent;

  WideString source = JoinPath(Text(state.ModuleDir), fileName);
  WideString target = JoinPath(targetDir, fileName);
  int failure = 0;
  if (targetPath) {
    // A path that does not fit is not copied to a place nobody asked for.
    if (Length(target) + 1 > TargetPathCapacity) {
      targetPath[0] = 0;
      win::SetLastError(win::ERROR_FILENAME_EXCED_RANGE);
      failure = ErrCopyOpenTarget;
      Append(line, u" Cant't open destination file");
    } else {
      std::memcpy(targetPath, Text(target), (Length(target) + 1) * sizeof(char16_t));
    }
  }

  if (!failure) {
    win::HANDLE in = win::CreateFileW(Text(source), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                      win::OPEN_EXISTING, 0, nullptr);
    if (in == win::INVALID_HANDLE_VALUE) {
      failure = ErrCopyOpenSource;
      Append(line, u" Cant't open source file");
    } else {
      win::HANDLE out = OpenTargetFile(state, Text(target));
      if (out == win::INVALID_HANDLE_VALUE) {
        failure = ErrCopyOpenTarget;
        Append(line, u" Cant't open destination file");
      } else {
        failure = CopyContents(in, out);
        if (failure) Append(line, u"Copy Error");
        const win::DWORD code = win::GetLastError();
        win::CloseHandle(out);
        win::SetLastError(code);
      }
      const win::DWORD code = win::GetLastError();
      win::CloseHandle(in);
      win::SetLastError(code);
    }
  }

  Append(line, failure ? u"- FAILED!" : u"- OK");
  if (failure && countFailure)
    LogError(state, failure, u"%s", Text(line));
  else
    LogLine(state, Text(line));
  --state.Indent;
  Release(line);
  Release(source);
  Release(target);
  return failure ? CopyFailed : 0;
}
