#include "console.h"

#include <clocale>
#include <cstdarg>

void console_select_locale()
{
  std::setlocale(LC_ALL, "Russian");
}

int console_printf(std::FILE* stream, const char* format, ...)
{
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vfprintf(stream, format, arguments);
  va_end(arguments);
  return written;
}

void console_pause()
{
  std::getchar();
}
