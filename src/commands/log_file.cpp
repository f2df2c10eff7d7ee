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
  // Others may read the log while the run goes on, never write to it.
  return win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr,
                          win::CREATE_ALWAYS, win::FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteLogFile(win::HANDLE file, const char16_t* title, const WideString& log) {
  Utf8Writer writer(file);
  writer.Put(u"\uFEFF", 1);  // the byte-order mark
  writer.Put(title, TextLength(title));
  writer.Put(u"\r\n", 2);
  writer.Put(Text(log), Length(log));
  writer.Flush();
}
