#include "util/wide_string.h"

#include <cstdarg>
#include <cstring>

#include "platform/platform.h"
#include "util/out_of_memory.h"
#include "util/utf16_format.h"

namespace {

constexpr std::uint64_t HEADER = sizeof(std::uint64_t);
constexpr std::size_t FORMAT_CAPACITY = 8192;

std::uint64_t& StoredLength(void* block) { return *static_cast<std::uint64_t*>(block); }
char16_t* CharsOf(void* block) {
  return reinterpret_cast<char16_t*>(static_cast<char*>(block) + HEADER);
}

// Sets the string to `length` and copies `count` characters of `text` to `at`.
void Put(WideString& s, std::uint64_t at, const char16_t* text, std::uint64_t count) {
  SetLength(s, at + count);
  if (count) std::memcpy(CharsOf(s.block) + at, text, count * sizeof(char16_t));
}

}  // namespace

std::uint64_t TextLength(const char16_t* text) {
  std::uint64_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

std::uint64_t BlockSize(std::uint64_t length) {
  if (length == 0) return 0;
  const std::uint64_t capacity = 32 * ((length + 1 + 31) / 32);
  return HEADER + 2 * capacity;
}

std::uint64_t Length(const WideString& s) { return s.block ? StoredLength(s.block) : 0; }

const char16_t* Text(const WideString& s) { return s.block ? CharsOf(s.block) : u""; }

char16_t* Chars(WideString& s) { return s.block ? CharsOf(s.block) : nullptr; }

void SetLength(WideString& s, std::uint64_t length) {
  if (length == 0) {
    Release(s);
    return;
  }
  const std::uint64_t newSize = BlockSize(length);
  const std::uint64_t oldSize = BlockSize(Length(s));
  if (newSize != oldSize) {
    void* block = oldSize ? win::realloc(s.block, newSize) : win::malloc(newSize);
    if (!block) OutOfMemory();
    s.block = block;
  }
  CharsOf(s.block)[length] = 0;
  StoredLength(s.block) = length;
}

WideString FromAnsi(const char* text) {
  WideString s;
  const int count = win::MultiByteToWideChar(win::CP_ACP, win::MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (count < 2) return s;
  SetLength(s, static_cast<std::uint64_t>(count - 1));
  if (win::MultiByteToWideChar(win::CP_ACP, win::MB_PRECOMPOSED, text, -1, CharsOf(s.block), count) !=
      count)
    Release(s);
  return s;
}

void Assign(WideString& s, const char16_t* text) {
  const std::uint64_t n = TextLength(text);
  if (n == 0) {
    Release(s);
    return;
  }
  Put(s, 0, text, n);
}

void Append(WideString& s, const char16_t* text) {
  const std::uint64_t n = TextLength(text);
  if (n) Put(s, Length(s), text, n);
}

void AppendAnsi(WideString& s, const char* text) {
  if (!text || !*text) return;
  WideString converted = FromAnsi(text);
  if (Length(converted)) Put(s, Length(s), CharsOf(converted.block), Length(converted));
  Release(converted);
}

void Format(WideString& s, const char16_t* format, ...) {
  char16_t buffer[FORMAT_CAPACITY];
  va_list args;
  va_start(args, format);
  const std::size_t n = FormatUtf16V(buffer, FORMAT_CAPACITY, format, args);
  va_end(args);
  if (n == 0) {
    Release(s);
    return;
  }
  Put(s, 0, buffer, n);
}

WideString ParentDir(const WideString& s) {
  WideString parent;
  const std::uint64_t n = Length(s);
  if (n == 0) return parent;
  const char16_t* text = CharsOf(s.block);
  std::uint64_t found = n;
  for (std::uint64_t i = n; i-- > 0;)
    if (text[i] == u'\\') {
      found = i;
      break;
    }
  if (found == n)
    for (std::uint64_t i = n; i-- > 0;)
      if (text[i] == u'/') {
        found = i;
        break;
      }
  if (found != n && found >= 1) Put(parent, 0, text, found);
  return parent;
}

WideString Copy(const WideString& s) {
  WideString copy;
  if (!s.block) return copy;
  const std::uint64_t size = BlockSize(Length(s));
  copy.block = win::malloc(size);
  if (!copy.block) OutOfMemory();
  std::memcpy(copy.block, s.block, size);
  return copy;
}

void Release(WideString& s) {
  win::free(s.block);
  s.block = nullptr;
}
