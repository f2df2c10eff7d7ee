// Printers of the simulated spooler: handles, records, printer data, jobs
// and the default printer. A printer with queued jobs that is deleted stays
// pending deletion until its jobs are gone, as on Windows.
#include <cstring>
#include <memory>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/spooler_calls.h"

namespace {

using namespace win;
using sim::HandleKind;
using sim::HandleObject;
using sim::RecordPacker;
using sim::Refuse;
using sim::Given;
using sim::Number;
using sim::Text;

// The members of a printer record, as passed.
sim::CallArguments PrinterArguments(const PRINTER_INFO_2W& r) {
  return {{"pServerName", Given(r.pServerName)},   {"pPrinterName", Given(r.pPrinterName)},
          {"pShareName", Given(r.pShareName)},     {"pPortName", Given(r.pPortName)},
          {"pDriverName", Given(r.pDriverName)},   {"pComment", Given(r.pComment)},
          {"pLocation", Given(r.pLocation)},       {"pDevMode", Number(r.pDevMode != nullptr)},
          {"pSepFile", Given(r.pSepFile)},         {"pPrintProcessor", Given(r.pPrintProcessor)},
          {"pDatatype", Given(r.pDatatype)},       {"pParameters", Given(r.pParameters)},
          {"pSecurityDescriptor", Number(r.pSecurityDescriptor != nullptr)},
          {"Attributes", Number(r.Attributes)},    {"Priority", Number(r.Priority)},
          {"DefaultPriority", Number(r.DefaultPriority)}, {"StartTime", Number(r.StartTime)},
          {"UntilTime", Number(r.UntilTime)},      {"Status", Number(r.Status)},
          {"cJobs", Number(r.cJobs)},              {"AveragePPM", Number(r.AveragePPM)}};
}

constexpr DWORD ERROR_NO_DEFAULT = ERROR_FILE_NOT_FOUND;

const HandleObject* PrinterHandle(sim::Machine& m, HANDLE printer) {
  const HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(printer));
  return object && object->kind == HandleKind::Printer ? object : nullptr;
}

// The name behind a printer handle, for the journal.
std::u16string NameOf(sim::Machine& m, HANDLE printer) {
  const HandleObject* object = PrinterHandle(m, printer);
  return object ? object->name : u"";
}

bool Allows(const HandleObject& object, DWORD rights) { return (object.access & rights) == rights; }

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
  return sim::ToUpperAscii(a) == sim::ToUpperAscii(b);
}

void MeasurePrinter(RecordPacker& packer, const sim::PrinterRecord& p) {
  for (std::u16string_view text : {std::u16string_view(p.name), std::u16string_view(u""),
                                   std::u16string_view(p.port), std::u16string_view(p.driver),
                                   std::u16string_view(p.comment), std::u16string_view(p.location),
                                   std::u16string_view(u""), std::u16string_view(p.printProcessor),
                                   std::u16string_view(u"RAW"), std::u16string_view(u"")})
    packer.Measure(text);
}

void WritePrinterRecord(sim::Machine& m, RecordPacker& packer, win::BYTE* at, const sim::PrinterRecord& p) {
  PRINTER_INFO_2W r{};
  r.pPrinterName = packer.Put(p.name);
  r.pShareName = packer.Put(u"");
  r.pPortName = packer.Put(p.port);
  r.pDriverName = packer.Put(p.driver);
  r.pComment = packer.Put(p.comment);
  r.pLocation = packer.Put(p.location);
  r.pSepFile = packer.Put(u"");
  r.pPrintProcessor = packer.Put(p.printProcessor);
  r.pDatatype = packer.Put(u"RAW");
  r.pParameters = packer.Put(u"");
  // The default mark is not the spooler's to set in a record.
  r.Attributes = p.attributes & ~PRINTER_ATTRIBUTE_DEFAULT;
  r.Priority = 1;
  r.Status = p.status;
  r.cJobs = static_cast<DWORD>(sim::JobCount(m, p.name));
  std::memcpy(at, &r, sizeof r);
}

// A printer whose last job went away while it was pending deletion goes too.
void FinishPendingDeletion(sim::Machine& m, const sim::PrinterRecord& p) {
  if ((p.status & PRINTER_STATUS_PENDING_DELETION) && sim::JobCount(m, p.name) == 0)
    sim::RemovePrinter(m, p.name);
}

DWORD GetData(HANDLE printer, const char* call, const std::u16string& key, const char* valueName,
              DWORD* type, BYTE* data, DWORD size, DWORD* needed) {
  auto& m = sim::Current();
  const std::u16string name = sim::AnsiToWideString(valueName ? valueName : "");
  if (!sim::EnterSpooler(m, call, key + u"\\" + name)) return m.lastError;
  sim::PrinterRecord record;
  if (!sim::PrinterOf(m, printer, record)) return ERROR_INVALID_HANDLE;
  const sim::RegistryValue* value =
      m.FindValue(HKEY_LOCAL_MACHINE, sim::PrinterDataKey(record.name, key), name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  const bool text = value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
  const std::vector<std::uint8_t> bytes = text ? sim::AnsiFromStored(value->data) : value->data;
  if (type) *type = value->type;
  if (needed) *needed = static_cast<DWORD>(bytes.size());
  if (size < bytes.size()) return ERROR_MORE_DATA;
  if (data && !bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

DWORD SetData(HANDLE printer, const char* call, const std::u16string& key, const char* valueName,
              DWORD type, const BYTE* data, DWORD size) {
  auto& m = sim::Current();
  const std::u16string name = sim::AnsiToWideString(valueName ? valueName : "");
  if (!sim::EnterSpooler(m, call, key + u"\\" + name)) return m.lastError;
  sim::PrinterRecord record;
  const HandleObject* object = PrinterHandle(m, printer);
  if (!object || !sim::PrinterOf(m, printer, record)) return ERROR_INVALID_HANDLE;
  if (!Allows(*object, PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  std::vector<std::uint8_t> bytes(data, data + (data ? size : 0));
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) bytes = sim::StoredFromAnsi(bytes);
  m.SetValue(HKEY_LOCAL_MACHINE, sim::PrinterDataKey(record.name, key), name, type, std::move(bytes));
  return ERROR_SUCCESS;
}

}  // namespace

namespace win {

BOOL EnumPrintersW(DWORD flags, char16_t* name, DWORD level, BYTE* printerEnum, DWORD bufSize,
                   DWORD* needed, DWORD* returned) {
  auto& m = sim::Current();
  if (returned) *returned = 0;
  if (!sim::EnterSpooler(m, "EnumPrintersW", u"",
                         {{"flags", Number(flags)}, {"name", Given(name)}, {"level", Number(level)}}))
    return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  // Local printers first, then the user's connections, each when asked for.
  std::vector<sim::PrinterRecord> printers;
  if (flags & PRINTER_ENUM_LOCAL) printers = sim::Printers(m);
  if (flags & PRINTER_ENUM_CONNECTIONS)
    for (auto& connection : sim::Connections(m)) printers.push_back(std::move(connection));
  RecordPacker packer(printerEnum, bufSize, sizeof(PRINTER_INFO_2W), printers.size());
  for (const auto& p : printers) MeasurePrinter(packer, p);
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  for (std::size_t i = 0; i < printers.size(); ++i)
    WritePrinterRecord(m, packer, packer.Record(i, sizeof(PRINTER_INFO_2W)), printers[i]);
  if (returned) *returned = static_cast<DWORD>(printers.size());
  return TRUE;
}

HANDLE AddPrinterW(char16_t* name, DWORD level, BYTE* printer) {
  auto& m = sim::Current();
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printer);
  sim::CallArguments args = info && level == 2 ? PrinterArguments(*info) : sim::CallArguments{};
  args["server"] = Given(name);
  args["level"] = Number(level);
  if (!sim::EnterSpooler(m, "AddPrinterW", info ? Text(info->pPrinterName) : u"", std::move(args))) return nullptr;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME), nullptr;
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL), nullptr;
  // A local printer's name holds neither a backslash nor a comma.
  if (!info || !info->pPrinterName || !*info->pPrinterName ||
      std::u16string_view(info->pPrinterName).find_first_of(u"\\,") != std::u16string_view::npos)
    return Refuse(m, ERROR_INVALID_PRINTER_NAME), nullptr;
  sim::PrinterRecord existing;
  if (sim::FindPrinter(m, info->pPrinterName, existing)) return Refuse(m, ERROR_PRINTER_ALREADY_EXISTS), nullptr;
  sim::DriverRecord driver;
  if (!info->pDriverName || !sim::FindDriver(m, u"Windows x64", info->pDriverName, driver))
    return Refuse(m, ERROR_UNKNOWN_PRINTER_DRIVER), nullptr;
  if (!info->pPortName || !sim::PortExists(m, info->pPortName)) return Refuse(m, ERROR_UNKNOWN_PORT), nullptr;
  if (!info->pPrintProcessor || !SameNoCase(info->pPrintProcessor, u"WinPrint"))
    return Refuse(m, ERROR_UNKNOWN_PRINTPROCESSOR), nullptr;
  sim::PrinterRecord record;
  record.name = info->pPrinterName;
  record.driver = driver.name;
  record.port = info->pPortName;
  record.comment = Text(info->pComment);
  record.location = Text(info->pLocation);
  record.attributes = info->Attributes & ~PRINTER_ATTRIBUTE_DEFAULT;
  record.printProcessor = info->pPrintProcessor;
  sim::WritePrinter(m, record);
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::Printer;
  object->name = record.name;
  object->access = PRINTER_ALL_ACCESS;
  return reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
}

BOOL OpenPrinterW(char16_t* printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults) {
  auto& m = sim::Current();
  if (printer) *printer = nullptr;
  sim::CallArguments args = {{"pPrinterName", Given(printerName)}, {"pDefault", Number(defaults != nullptr)}};
  if (defaults) {
    args["pDatatype"] = Given(defaults->pDatatype);
    args["pDevMode"] = Number(defaults->pDevMode != nullptr);
    args["DesiredAccess"] = Number(defaults->DesiredAccess);
  }
  if (!sim::EnterSpooler(m, "OpenPrinterW", Text(printerName), std::move(args))) return FALSE;
  sim::PrinterRecord record;
  if (!printer || !printerName || !sim::FindPrinter(m, printerName, record))
    return Refuse(m, ERROR_INVALID_PRINTER_NAME);
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::Printer;
  object->name = record.name;
  object->access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
  *printer = reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
  return TRUE;
}

BOOL DeletePrinter(HANDLE printer) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "DeletePrinter", NameOf(m, printer))) return FALSE;
  sim::PrinterRecord record;
  const HandleObject* object = PrinterHandle(m, printer);
  if (!object || !sim::PrinterOf(m, printer, record)) return Refuse(m, ERROR_INVALID_HANDLE);
  if (!Allows(*object, DELETE)) return Refuse(m, ERROR_ACCESS_DENIED);
  record.status |= PRINTER_STATUS_PENDING_DELETION;
  sim::WritePrinter(m, record);
  FinishPendingDeletion(m, record);
  return TRUE;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD bufSize, DWORD* needed) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "GetPrinterW", NameOf(m, printer))) return FALSE;
  sim::PrinterRecord record;
  if (!sim::PrinterOf(m, printer, record)) return Refuse(m, ERROR_INVALID_HANDLE);
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  RecordPacker packer(printerInfo, bufSize, sizeof(PRINTER_INFO_2W), 1);
  MeasurePrinter(packer, record);
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  WritePrinterRecord(m, packer, packer.Record(0, sizeof(PRINTER_INFO_2W)), record);
  return TRUE;
}

BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD command) {
  auto& m = sim::Current();
  sim::CallArguments args = {{"level", Number(level)}, {"command", Number(command)}};
  if (level == 2 && printerInfo) {
    const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(printerInfo);
    args["pPortName"] = Given(record->pPortName);
    args["pComment"] = Given(record->pComment);
    args["pLocation"] = Given(record->pLocation);
  }
  if (!sim::EnterSpooler(m, "SetPrinterW", NameOf(m, printer), std::move(args))) return FALSE;
  sim::PrinterRecord record;
  const HandleObject* object = PrinterHandle(m, printer);
  if (!object || !sim::PrinterOf(m, printer, record)) return Refuse(m, ERROR_INVALID_HANDLE);
  if (level == 0) {
    if (command != PRINTER_CONTROL_PURGE) return Refuse(m, ERROR_INVALID_PRINTER_COMMAND);
    if (!Allows(*object, PRINTER_ACCESS_ADMINISTER)) return Refuse(m, ERROR_ACCESS_DENIED);
    sim::PurgeJobs(m, record.name);
    FinishPendingDeletion(m, record);
    return TRUE;
  }
  if (!Allows(*object, PRINTER_ALL_ACCESS)) return Refuse(m, ERROR_ACCESS_DENIED);
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  if (command != 0) return Refuse(m, ERROR_INVALID_PARAMETER);
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printerInfo);
  if (!info || !info->pPortName || !info->pDriverName) return Refuse(m, ERROR_INVALID_PARAMETER);
  if (!sim::PortExists(m, info->pPortName)) return Refuse(m, ERROR_UNKNOWN_PORT);
  record.port = info->pPortName;
  record.comment = Text(info->pComment);
  record.location = Text(info->pLocation);
  sim::WritePrinter(m, record);
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  auto& m = sim::Current();
  if (m.Enter("ClosePrinter")) return FALSE;
  if (!PrinterHandle(m, printer)) return Refuse(m, ERROR_INVALID_HANDLE);
  m.handles.erase(reinterpret_cast<std::uintptr_t>(printer));
  return TRUE;
}

DWORD GetPrinterDataA(HANDLE printer, char* valueName, DWORD* type, BYTE* data, DWORD size, DWORD* needed) {
  return GetData(printer, "GetPrinterDataA", u"", valueName, type, data, size, needed);
}

DWORD GetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD* type,
                        BYTE* data, DWORD size, DWORD* needed) {
  if (!keyName || !*keyName) return ERROR_INVALID_PARAMETER;
  return GetData(printer, "GetPrinterDataExA", sim::AnsiToWideString(keyName), valueName, type, data, size,
                 needed);
}

DWORD SetPrinterDataA(HANDLE printer, char* valueName, DWORD type, BYTE* data, DWORD size) {
  return SetData(printer, "SetPrinterDataA", u"", valueName, type, data, size);
}

DWORD SetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD type,
                        BYTE* data, DWORD size) {
  if (!keyName || !*keyName) return ERROR_INVALID_PARAMETER;
  return SetData(printer, "SetPrinterDataExA", sim::AnsiToWideString(keyName), valueName, type, data, size);
}

BOOL GetDefaultPrinterW(char16_t* buffer, DWORD* size) {
  auto& m = sim::Current();
  if (m.Enter("GetDefaultPrinterW")) return FALSE;
  if (!size) return Refuse(m, ERROR_INVALID_PARAMETER);
  const std::u16string name = sim::DefaultPrinter(m);
  if (name.empty()) return Refuse(m, ERROR_NO_DEFAULT);
  const DWORD chars = static_cast<DWORD>(name.size() + 1);
  if (!buffer || *size < chars) {
    *size = chars;
    return Refuse(m, ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, name.c_str(), chars * sizeof(char16_t));
  *size = chars;
  return TRUE;
}

BOOL SetDefaultPrinterW(const char16_t* printer) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "SetDefaultPrinterW", Text(printer))) return FALSE;
  sim::PrinterRecord record;
  if (!printer || !*printer || !sim::FindPrinter(m, printer, record))
    return Refuse(m, ERROR_INVALID_PRINTER_NAME);
  sim::SetDefaultPrinter(m, record.name);
  return TRUE;
}

}  // namespace win
