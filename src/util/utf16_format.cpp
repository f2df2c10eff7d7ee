#include "util/utf16_format.h"

#include <climits>
#include <cstdint>

namespace {

// Where the characters go. Everything past capacity-1 is dropped, so callers
// can write on without checking.
class Sink {
 public:
  Sink(char16_t* buffer, std::size_t capacity)
      : buffer_(buffer), capacity_(capacity), limit_(capacity ? capacity - 1 : 0) {}

  void Put(char16_t c) {
    if (length_ < limit_) buffer_[length_++] = c;
  }
  void Repeat(char16_t c, std::size_t count) {
    while (count-- > 0 && length_ < limit_) buffer_[length_++] = c;
  }
  void Copy(const char16_t* from, const char16_t* to) {
    while (from < to && length_ < limit_) buffer_[length_++] = *from++;
  }
  bool Full() const { return length_ >= limit_; }

  std::size_t Finish() {
    if (capacity_ != 0) buffer_[length_] = 0;
    return length_;
  }

 private:
  char16_t* buffer_;
  std::size_t capacity_;
  std::size_t limit_;
  std::size_t length_ = 0;
};

// The argument list in a struct, so helpers can take it by reference
// whatever va_list is on the target.
struct Args {
  va_list list;
};

enum class Length {
  kNone,
  kChar,
  kShort,
  kLong,
  kLongLong,
  kInt32,
  kInt64,
  kPointer,
  kLongDouble,
  kWide
};

struct Field {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alt = false;
  bool zero = false;
  std::size_t width = 0;
  int precision = -1;  // -1: none given
  Length length = Length::kNone;
};

std::uint64_t FetchUnsigned(Args& args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<unsigned char>(va_arg(args.list, unsigned int));
    case Length::kShort:
      return static_cast<unsigned short>(va_arg(args.list, unsigned int));
    case Length::kLongLong:
    case Length::kInt64:
      return va_arg(args.list, unsigned long long);
    case Length::kPointer:
      return va_arg(args.list, std::size_t);
    default:
      // Plain, l and I32 are all 32-bit under the Windows conventions.
      return va_arg(args.list, unsigned int);
  }
}

std::int64_t FetchSigned(Args& args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<signed char>(va_arg(args.list, int));
    case Length::kShort:
      return static_cast<short>(va_arg(args.list, int));
    case Length::kLongLong:
    case Length::kInt64:
      return va_arg(args.list, long long);
    case Length::kPointer:
      return va_arg(args.list, std::ptrdiff_t);
    default:
      return va_arg(args.list, int);
  }
}

void PutInteger(Sink& sink, const Field& field, std::uint64_t magnitude, char16_t sign,
                unsigned base, bool upper, const char16_t* prefix) {
  char16_t digits[24];
  std::size_t count = 0;
  // An explicit zero precision prints nothing at all for zero.
  if (!(field.precision == 0 && magnitude == 0)) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      digits[count++] = static_cast<char16_t>(set[magnitude % base]);
      magnitude /= base;
    } while (magnitude != 0);
  }
  std::size_t zeros = field.precision > 0 && static_cast<std::size_t>(field.precision) > count
                          ? static_cast<std::size_t>(field.precision) - count
                          : 0;
  // # on octal: the first digit must be a zero.
  if (field.alt && base == 8 && zeros == 0 && (count == 0 || digits[count - 1] != u'0')) zeros = 1;

  std::size_t prefixLength = sign ? 1 : 0;
  if (prefix)
    for (const char16_t* p = prefix; *p; ++p) ++prefixLength;
  const std::size_t body = prefixLength + zeros + count;
  const std::size_t pad = field.width > body ? field.width - body : 0;
  // A precision turns the 0 flag off for integers, as in C.
  const bool zeroPad = field.zero && !field.left && field.precision < 0;

  if (!field.left && !zeroPad) sink.Repeat(u' ', pad);
  if (sign) sink.Put(sign);
  if (prefix)
    for (const char16_t* p = prefix; *p; ++p) sink.Put(*p);
  if (zeroPad) sink.Repeat(u'0', pad);
  sink.Repeat(u'0', zeros);
  while (count > 0) sink.Put(digits[--count]);
  if (field.left) sink.Repeat(u' ', pad);
}

// Text of either width: `Char` is char16_t or char (widened byte by byte).
template <typename Char>
void PutText(Sink& sink, const Field& field, const Char* text) {
  static constexpr Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (!text) text = kNull;
  std::size_t length = 0;
  const std::size_t most =
      field.precision >= 0 ? static_cast<std::size_t>(field.precision) : SIZE_MAX;
  while (length < most && text[length] != 0) ++length;

  const std::size_t pad = field.width > length ? field.width - length : 0;
  if (!field.left) sink.Repeat(field.zero ? u'0' : u' ', pad);
  for (std::size_t i = 0; i < length && !sink.Full(); ++i) {
    if constexpr (sizeof(Char) == 1)
      sink.Put(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
    else
      sink.Put(text[i]);
  }
  if (field.left) sink.Repeat(u' ', pad);
}

void PutCharacter(Sink& sink, const Field& field, char16_t c) {
  const std::size_t pad = field.width > 1 ? field.width - 1 : 0;
  if (!field.left) sink.Repeat(field.zero ? u'0' : u' ', pad);
  sink.Put(c);
  if (field.left) sink.Repeat(u' ', pad);
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads digits, stopping short of overflow (such widths only pad a full buffer).
int ReadNumber(const char16_t*& p) {
  int value = 0;
  for (; IsDigit(*p); ++p) value = value > (INT_MAX - 9) / 10 ? INT_MAX : value * 10 + (*p - u'0');
  return value;
}

}  // namespace

std::size_t FormatUtf16V(char16_t* buffer, std::size_t capacity, const char16_t* format,
                         va_list list) {
  Sink sink(buffer, capacity);
  if (!format) return sink.Finish();
  Args args;
  va_copy(args.list, list);

  const char16_t* p = format;
  while (*p) {
    if (*p != u'%') {
      sink.Put(*p++);
      continue;
    }
    const char16_t* start = p++;
    Field field;

    for (;; ++p) {
      if (*p == u'-')
        field.left = true;
      else if (*p == u'+')
        field.plus = true;
      else if (*p == u' ')
        field.space = true;
      else if (*p == u'#')
        field.alt = true;
      else if (*p == u'0')
        field.zero = true;
      else
        break;
    }

    if (*p == u'*') {
      ++p;
      const long long width = va_arg(args.list, int);
      if (width < 0) field.left = true;  // a negative width means left-justify
      field.width = static_cast<std::size_t>(width < 0 ? -width : width);
    } else {
      field.width = static_cast<std::size_t>(ReadNumber(p));
    }

    if (*p == u'.') {
      ++p;
      if (*p == u'*') {
        ++p;
        const int precision = va_arg(args.list, int);
        field.precision = precision < 0 ? -1 : precision;  // negative: as if none
      } else {
        field.precision = ReadNumber(p);
      }
    }

    switch (*p) {
      case u'h':
        field.length = p[1] == u'h' ? Length::kChar : Length::kShort;
        p += p[1] == u'h' ? 2 : 1;
        break;
      case u'l':
        field.length = p[1] == u'l' ? Length::kLongLong : Length::kLong;
        p += p[1] == u'l' ? 2 : 1;
        break;
      case u'I':
        if (p[1] == u'6' && p[2] == u'4') {
          field.length = Length::kInt64;
          p += 3;
        } else if (p[1] == u'3' && p[2] == u'2') {
          field.length = Length::kInt32;
          p += 3;
        } else {
          field.length = Length::kPointer;
          p += 1;
        }
        break;
      case u'j':
        field.length = Length::kInt64;
        ++p;
        break;
      case u'z':
      case u't':
        field.length = Length::kPointer;
        ++p;
        break;
      case u'L':
        field.length = Length::kLongDouble;
        ++p;
        break;
      case u'w':
        field.length = Length::kWide;
        ++p;
        break;
      default:
        break;
    }

    const char16_t conversion = *p;
    if (conversion == 0) {  // the format ends inside a conversion
      sink.Copy(start, p);
      break;
    }
    ++p;

    const bool narrowFlag = field.length == Length::kShort;
    const bool wideFlag = field.length == Length::kLong || field.length == Length::kWide;
    switch (conversion) {
      case u'%':
        sink.Put(u'%');
        break;
      case u'd':
      case u'i': {
        const std::int64_t value = FetchSigned(args, field.length);
        const std::uint64_t magnitude =
            value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        const char16_t sign = value < 0 ? u'-' : field.plus ? u'+' : field.space ? u' ' : 0;
        PutInteger(sink, field, magnitude, sign, 10, false, nullptr);
        break;
      }
      case u'u':
        PutInteger(sink, field, FetchUnsigned(args, field.length), 0, 10, false, nullptr);
        break;
      case u'o':
        PutInteger(sink, field, FetchUnsigned(args, field.length), 0, 8, false, nullptr);
        break;
      case u'x':
      case u'X': {
        const std::uint64_t value = FetchUnsigned(args, field.length);
        const bool upper = conversion == u'X';
        const char16_t* prefix = field.alt && value != 0 ? (upper ? u"0X" : u"0x") : nullptr;
        PutInteger(sink, field, value, 0, 16, upper, prefix);
        break;
      }
      case u'p': {
        // Windows prints every pointer digit, upper case, with 0X only for #.
        Field pointer = field;
        pointer.precision = static_cast<int>(2 * sizeof(void*));
        const auto value = reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*));
        PutInteger(sink, pointer, value, 0, 16, true, field.alt && value != 0 ? u"0X" : nullptr);
        break;
      }
      case u'c':
      case u'C': {
        // In the wide functions %c is wide unless h says otherwise; %C the reverse.
        const bool narrow = conversion == u'c' ? narrowFlag : !wideFlag;
        const int value = va_arg(args.list, int);
        PutCharacter(sink, field,
                     narrow ? static_cast<char16_t>(static_cast<unsigned char>(value))
                            : static_cast<char16_t>(value));
        break;
      }
      case u's':
      case u'S': {
        const bool narrow = conversion == u's' ? narrowFlag : !wideFlag;
        if (narrow)
          PutText(sink, field, va_arg(args.list, const char*));
        else
          PutText(sink, field, va_arg(args.list, const char16_t*));
        break;
      }
      case u'e':
      case u'E':
      case u'f':
      case u'F':
      case u'g':
      case u'G':
      case u'a':
      case u'A':
        // Not formatted, but the argument is taken so the ones after stay in step.
        if (field.length == Length::kLongDouble)
          (void)va_arg(args.list, long double);
        else
          (void)va_arg(args.list, double);
        sink.Copy(start, p);
        break;
      case u'n':
        // Never written through (Windows refuses %n too); the pointer is taken.
        (void)va_arg(args.list, void*);
        sink.Copy(start, p);
        break;
      default:
        sink.Copy(start, p);
        break;
    }
  }
  va_end(args.list);
  return sink.Finish();
}

std::size_t FormatUtf16(char16_t* buffer, std::size_t capacity, const char16_t* format, ...) {
  va_list list;
  va_start(list, format);
  const std::size_t written = FormatUtf16V(buffer, capacity, format, list);
  va_end(list);
  return written;
}
