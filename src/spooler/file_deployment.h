// Platform names, the spooler's driver directory, and copying package files
// into place with a bounded wait for a target still held open elsewhere.
#pragma once

#include <cstdint>

#include "run/install_state.h"
#include "platform/platform.h"

constexpr win::HRESULT CopyFailed = static_cast<win::HRESULT>(0x80004005u);  // E_FAIL

// Characters a caller's buffer for the target path holds.
constexpr std::uint32_t TargetPathCapacity = 264;

// Appends "\" to a directory unless it is empty or already ends with one.
void EndWithBackslash(WideString& directory);

void SelectPlatform(InstallState& state, bool x64);
win::HANDLE OpenTargetFile(InstallState& state, const char16_t* path);
// Copies `fileName` from the program's folder into `targetDir`. When
// `targetPath` is given (TargetPathCapacity characters) it receives the full
// target path. A failure counts as an error only when `countFailure` is set.
win::HRESULT CopyPackageFile(InstallState& state, const char16_t* targetDir,
                             const char16_t* fileName, char16_t* targetPath, bool countFailure);
