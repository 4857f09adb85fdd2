#include "decimal_format.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename Value> void append(std::string& out, const std::string& spec, Value value)
{
  char piece[512];
  const int length = std::snprintf(piece, sizeof piece, spec.c_str(), value);
  if (length > 0)
    out.append(piece,
               static_cast<std::size_t>(length) < sizeof piece ? static_cast<std::size_t>(length) : sizeof piece - 1);
}

} // namespace

std::string format_with_separator(char separator, const char* format, va_list arguments)
{
  std::string out;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* start = p++;
    p += std::strspn(p, "-+ #0");
    p += std::strspn(p, "0123456789");
    if (*p == '.') {
      ++p;
      p += std::strspn(p, "0123456789");
    }
    const char* length = p;
    p += std::strspn(p, "lz");
    const std::string modifier(length, p);
    const char conversion = *p;
    if (conversion == '\0') {
      out.append(start);
      break;
    }
    ++p;
    const std::string spec(start, p);
    switch (conversion) {
    case '%':
      out += '%';
      break;
    case 'd':
    case 'i':
    case 'c':
      if (modifier == "l")
        append(out, spec, va_arg(arguments, long));
      else if (modifier == "ll")
        append(out, spec, va_arg(arguments, long long));
      else if (modifier == "z")
        append(out, spec, va_arg(arguments, std::size_t));
      else
        append(out, spec, va_arg(arguments, int));
      break;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      if (modifier == "l")
        append(out, spec, va_arg(arguments, unsigned long));
      else if (modifier == "ll")
        append(out, spec, va_arg(arguments, unsigned long long));
      else if (modifier == "z")
        append(out, spec, va_arg(arguments, std::size_t));
      else
        append(out, spec, va_arg(arguments, unsigned));
      break;
    case 's':
      append(out, spec, va_arg(arguments, const char*));
      break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G': {
      const std::size_t from = out.size();
      append(out, spec, va_arg(arguments, double));
      // Only the decimal point of this conversion: the C locale's '.'.
      const std::size_t point = out.find('.', from);
      if (point != std::string::npos)
        out[point] = separator;
      break;
    }
    default:
      out.append(spec);
      break;
    }
  }
  return out;
}
