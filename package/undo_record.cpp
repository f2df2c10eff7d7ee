#include "undo_record.h"

#include "msi_functions.h"
#include "spooler/product_key.h"

namespace {

const auto* const ProductKey = reinterpret_cast<const wchar_t*>(ProductMachineKey);
constexpr wchar_t UndoValue[] = L"PackageRunToUndo";

}  // namespace

void MarkToUndo() {
  const DWORD marked = 1;
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, ProductKey, UndoValue, REG_DWORD, &marked, sizeof marked);
}

bool TakeToUndo() { return RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, ProductKey, UndoValue) == ERROR_SUCCESS; }

extern "C" {

// Commit of a first install: nothing of it is to be undone any more.
__declspec(dllexport) UINT __stdcall CommitInstallPrinter(MSIHANDLE) {
  TakeToUndo();
  return ERROR_SUCCESS;
}

// Commit of a removal: the journal its uninstall kept for the rollback goes
// too, as a plain uninstall's does: its printers are meant to go.
__declspec(dllexport) UINT __stdcall CommitRemovePrinter(MSIHANDLE) {
  TakeToUndo();
  for (const char16_t* value : {PrinterJournalValue, ParkedPrintersValue})
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, ProductKey, reinterpret_cast<const wchar_t*>(value));
  return ERROR_SUCCESS;
}

}  // extern "C"
