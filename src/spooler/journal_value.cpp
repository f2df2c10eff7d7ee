#include "spooler/journal_value.h"

#include <cstring>

namespace {

bool Absent(long status) { return status == win::ERROR_FILE_NOT_FOUND; }

}  // namespace

JournalTexts ReadJournalValue(const char16_t* name) {
  JournalTexts journal{nullptr, 0, win::ERROR_SUCCESS};
  win::HKEY key = nullptr;
  long status = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, win::KEY_QUERY_VALUE, &key);
  if (status != win::ERROR_SUCCESS) {
    if (!Absent(status)) journal.failure = static_cast<win::DWORD>(status);
    return journal;
  }
  win::DWORD type = 0;
  win::DWORD size = 0;
  status = win::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (status == win::ERROR_SUCCESS && type == win::REG_BINARY && size >= sizeof(char16_t) &&
      size % sizeof(char16_t) == 0) {
    auto* texts = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, size));
    win::DWORD read = size;
    status = texts ? win::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<win::BYTE*>(texts), &read)
                   : static_cast<long>(win::GetLastError());
    // A value that changed between the two reads is not the one measured.
    if (status == win::ERROR_SUCCESS && (type != win::REG_BINARY || read != size))
      status = win::ERROR_INVALID_DATA;
    // Texts that do not end with a zero cannot be walked.
    if (status == win::ERROR_SUCCESS && texts[size / sizeof(char16_t) - 1] != 0) {
      win::GlobalFree(texts);
    } else if (status == win::ERROR_SUCCESS) {
      journal.texts = texts;
      journal.units = size / sizeof(char16_t);
    } else {
      journal.failure = static_cast<win::DWORD>(status);
      if (texts) win::GlobalFree(texts);
    }
  } else if (status != win::ERROR_SUCCESS && !Absent(status)) {
    journal.failure = static_cast<win::DWORD>(status);
  }
  win::RegCloseKey(key);
  return journal;
}

void ReleaseJournalTexts(JournalTexts& journal) {
  if (journal.texts) win::GlobalFree(journal.texts);
  journal = JournalTexts{nullptr, 0, win::ERROR_SUCCESS};
}

bool WriteJournalValue(const char16_t* name, const WideString& texts) {
  win::HKEY key = nullptr;
  long status = win::ERROR_SUCCESS;
  if (Length(texts) == 0) {
    status = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, win::KEY_SET_VALUE, &key);
    if (Absent(status)) return true;
    if (status == win::ERROR_SUCCESS) status = win::RegDeleteValueW(key, name);
    if (Absent(status)) {
      win::RegCloseKey(key);
      return true;
    }
  } else {
    status = win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, nullptr,
                                  win::REG_OPTION_NON_VOLATILE, win::KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == win::ERROR_SUCCESS)
      status = win::RegSetValueExW(key, name, 0, win::REG_BINARY, reinterpret_cast<const win::BYTE*>(Text(texts)),
                                   static_cast<win::DWORD>(Length(texts) * sizeof(char16_t)));
  }
  // The next run must find what this one relies on.
  if (status == win::ERROR_SUCCESS) status = win::RegFlushKey(key);
  if (key) win::RegCloseKey(key);
  if (status == win::ERROR_SUCCESS) return true;
  win::SetLastError(static_cast<win::DWORD>(status));
  return false;
}

void AppendJournalText(WideString& out, const char16_t* text) {
  if (!text) text = u"";
  const std::uint64_t at = Length(out);
  const std::uint64_t length = TextLength(text);
  SetLength(out, at + length + 1);
  char16_t* chars = Chars(out);
  std::memcpy(chars + at, text, length * sizeof(char16_t));
  chars[at + length] = 0;
}

const char16_t* NextJournalText(const char16_t*& cursor) {
  const char16_t* text = cursor;
  cursor += TextLength(cursor) + 1;
  return text;
}
