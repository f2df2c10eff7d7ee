#include "commands/log_file.h"

#include "util/utf8.h"

namespace {

// Text goes out through a fixed buffer: a long log costs no allocation.
class Utf8Writer {
 public:
  explicit Utf8Writer(win::HANDLE file) : file_(file) {}

  void Put(const char16_t* text, std::size_t length) {
    for (std::size_t pos = 0; pos < length && ok_;) {
      if (used_ + Utf8MaxBytes > sizeof buffer_) Flush();
      used_ += EncodeUtf8(text, length, pos, buffer_ + used_);
    }
  }

  void Flush() {
    win::DWORD written = 0;
    if (ok_ && used_)
      ok_ = win::WriteFile(file_, buffer_, static_cast<win::DWORD>(used_), &written, nullptr) &&
            written == used_;
    used_ = 0;
  }

 private:
  win::HANDLE file_;
  char buffer_[4096];
  std::size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

win::HANDLE CreateLogFile(const char16_t* path) {
  // Others may read the log while the run goes on, never write to it. The
  // path is opened as it lies, neither emptied nor followed, so that a link
  // or a second name someone else planted there leads nowhere: it is looked
  // at on the handle before a byte changes.
  win::HANDLE file = win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr, win::OPEN_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) return file;
  win::BY_HANDLE_FILE_INFORMATION info;
  if (win::GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) &&
      info.nNumberOfLinks == 1 && win::SetEndOfFile(file))
    return file;
  win::CloseHandle(file);
  return win::INVALID_HANDLE_VALUE;
}

void WriteRefusal(win::HANDLE file, const char16_t* reason, const char16_t* word) {
  Utf8Writer writer(file);
  writer.Put(u"\uFEFF", 1);  // the byte-order mark
  writer.Put(reason, TextLength(reason));
  writer.Put(word, TextLength(word));
  writer.Put(u"\r\n", 2);
  writer.Flush();
}

void WriteText(win::HANDLE file, const WideString& text) {
  Utf8Writer writer(file);
  writer.Put(Text(text), Length(text));
  writer.Flush();
}

void WriteLogFile(win::HANDLE file, const char16_t* title, const WideString& log) {
  Utf8Writer writer(file);
  writer.Put(u"\uFEFF", 1);  // the byte-order mark
  writer.Put(title, TextLength(title));
  writer.Put(u"\r\n", 2);
  writer.Put(Text(log), Length(log));
  writer.Flush();
}
