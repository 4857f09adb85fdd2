#include "decimal_format.h"

#include <cstdio>
#include <cstring>

namespace {

// The output so far; text past its capacity is dropped.
struct Output {
  char* text;
  std::size_t capacity;
  std::size_t length;
};

void append(Output& out, const char* bytes, std::size_t count)
{
  const std::size_t room = out.capacity - 1 - out.length;
  const std::size_t taken = count < room ? count : room;
  std::memcpy(out.text + out.length, bytes, taken);
  out.length += taken;
  out.text[out.length] = '\0';
}

template <typename Value> void append_converted(Output& out, const char* spec, Value value)
{
  char piece[512];
  const int length = std::snprintf(piece, sizeof piece, spec, value);
  if (length > 0)
    append(out, piece,
           static_cast<std::size_t>(length) < sizeof piece ? static_cast<std::size_t>(length) : sizeof piece - 1);
}

} // namespace

std::size_t format_with_separator(char* text, std::size_t capacity, char separator, const char* format,
                                  va_list arguments)
{
  if (capacity == 0)
    return 0;
  Output out{text, capacity, 0};
  text[0] = '\0';
  const char* p = format;
  while (*p != '\0') {
    const std::size_t literal = std::strcspn(p, "%");
    append(out, p, literal);
    p += literal;
    if (*p == '\0')
      break;
    const char* start = p++;
    p += std::strspn(p, "-+ #0");
    p += std::strspn(p, "0123456789");
    if (*p == '.') {
      ++p;
      p += std::strspn(p, "0123456789");
    }
    const char* modifier = p;
    const std::size_t modifier_length = std::strspn(p, "lz");
    p += modifier_length;
    const char conversion = *p;
    if (conversion == '\0') {
      append(out, start, static_cast<std::size_t>(p - start));
      break;
    }
    ++p;
    char spec[64];
    const std::size_t spec_length = static_cast<std::size_t>(p - start);
    if (spec_length >= sizeof spec) {
      append(out, start, spec_length);
      continue;
    }
    std::memcpy(spec, start, spec_length);
    spec[spec_length] = '\0';
    const bool is_long = modifier_length == 1 && *modifier == 'l';
    const bool is_long_long = modifier_length == 2 && modifier[0] == 'l' && modifier[1] == 'l';
    const bool is_size = modifier_length == 1 && *modifier == 'z';
    switch (conversion) {
    case '%':
      append(out, "%", 1);
      break;
    case 'd':
    case 'i':
    case 'c':
      if (is_long)
        append_converted(out, spec, va_arg(arguments, long));
      else if (is_long_long)
        append_converted(out, spec, va_arg(arguments, long long));
      else if (is_size)
        append_converted(out, spec, va_arg(arguments, std::size_t));
      else
        append_converted(out, spec, va_arg(arguments, int));
      break;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      if (is_long)
        append_converted(out, spec, va_arg(arguments, unsigned long));
      else if (is_long_long)
        append_converted(out, spec, va_arg(arguments, unsigned long long));
      else if (is_size)
        append_converted(out, spec, va_arg(arguments, std::size_t));
      else
        append_converted(out, spec, va_arg(arguments, unsigned));
      break;
    case 's':
      append_converted(out, spec, va_arg(arguments, const char*));
      break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G': {
      const std::size_t from = out.length;
      append_converted(out, spec, va_arg(arguments, double));
      // Only this conversion's decimal point: the C locale's '.'.
      if (char* point = std::strchr(out.text + from, '.'))
        *point = separator;
      break;
    }
    default:
      append(out, spec, spec_length);
      break;
    }
  }
  return out.length;
}
