// Stand-in for the product's printer interface DLL (vexui64.dll): the
// spooler asks it for the printer's default document settings and its
// capabilities. It describes a plain A4 portrait printer without options
// and shows no property pages.
#include <windows.h>

#include <cwchar>

namespace {

// Handed over by the spooler in lParam when it calls without a property
// sheet (pPSUIInfo null).
struct DocumentPropertyHeader {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  DEVMODEW* pdmIn;
  DEVMODEW* pdmOut;
  DWORD cbOut;
  DWORD fMode;
};

constexpr DWORD DriverVersion = 0x0100;
constexpr DWORD Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
constexpr LONG PropertySheetFailed = -1;  // ERR_CPSUI_GETLASTERROR
constexpr LONG PropertySheetDone = 1;     // CPSUI_OK
constexpr WORD MaxCopies = 999;
constexpr POINT A4InTenthsOfMm = {2100, 2970};

// The driver's settings for `printer`, merged with what `in` asks for.
DEVMODEW Settings(LPCWSTR printer, const DEVMODEW* in) {
  DEVMODEW mode{};
  if (printer) std::wcsncpy(mode.dmDeviceName, printer, CCHDEVICENAME - 1);
  mode.dmSpecVersion = DM_SPECVERSION;
  mode.dmDriverVersion = DriverVersion;
  mode.dmSize = sizeof(DEVMODEW);
  mode.dmDriverExtra = 0;
  mode.dmFields = Fields;
  mode.dmOrientation = DMORIENT_PORTRAIT;
  mode.dmPaperSize = DMPAPER_A4;
  mode.dmCopies = 1;
  if (in && in->dmSize >= offsetof(DEVMODEW, dmCopies) + sizeof in->dmCopies) {
    if ((in->dmFields & DM_ORIENTATION) &&
        (in->dmOrientation == DMORIENT_PORTRAIT || in->dmOrientation == DMORIENT_LANDSCAPE))
      mode.dmOrientation = in->dmOrientation;
    if ((in->dmFields & DM_COPIES) && in->dmCopies >= 1 && in->dmCopies <= MaxCopies)
      mode.dmCopies = in->dmCopies;
  }
  return mode;
}

}  // namespace

extern "C" LONG WINAPI DrvDocumentPropertySheets(PVOID propertySheetInfo, LPARAM lParam) {
  // Property pages would come through the common property sheet UI; this
  // printer has none to show.
  if (propertySheetInfo) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return PropertySheetFailed;
  }
  auto* header = reinterpret_cast<DocumentPropertyHeader*>(lParam);
  if (!header) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return PropertySheetFailed;
  }
  // A size query: no mode, or nowhere to write.
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = sizeof(DEVMODEW);
    return sizeof(DEVMODEW);
  }
  if (header->cbOut < sizeof(DEVMODEW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return PropertySheetFailed;
  }
  const DEVMODEW* in = (header->fMode & DM_IN_BUFFER) ? header->pdmIn : nullptr;
  *header->pdmOut = Settings(header->pszPrinterName, in);
  return PropertySheetDone;
}

extern "C" LONG WINAPI DrvDevicePropertySheets(PVOID, LPARAM) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return PropertySheetFailed;
}

extern "C" DWORD WINAPI DrvDeviceCapabilities(HANDLE, PWSTR, WORD capability, PVOID output,
                                              DEVMODEW*) {
  switch (capability) {
    case DC_FIELDS: return Fields;
    case DC_SIZE: return sizeof(DEVMODEW);
    case DC_EXTRA: return 0;
    case DC_VERSION: return DM_SPECVERSION;
    case DC_DRIVER: return DriverVersion;
    case DC_COPIES: return MaxCopies;
    case DC_ORIENTATION: return 90;  // landscape turns portrait by 90 degrees
    case DC_DUPLEX: return 0;
    case DC_PAPERS:
      if (output) *static_cast<WORD*>(output) = DMPAPER_A4;
      return 1;
    case DC_PAPERSIZE:
      if (output) *static_cast<POINT*>(output) = A4InTenthsOfMm;
      return 1;
    case DC_PAPERNAMES:
      // One name, in a 64-character slot.
      if (output) {
        auto* names = static_cast<wchar_t*>(output);
        std::wmemset(names, 0, 64);
        std::wcscpy(names, L"A4");
      }
      return 1;
    case DC_BINS:
    case DC_BINNAMES:
    case DC_ENUMRESOLUTIONS:
    case DC_FILEDEPENDENCIES:
    case DC_MEDIATYPES:
    case DC_MEDIATYPENAMES:
    case DC_NUP:
    case DC_PERSONALITY:
      return 0;  // none of these
    default:
      SetLastError(ERROR_NOT_SUPPORTED);
      return GDI_ERROR;
  }
}
