// On Windows the C runtime does it all: the "Russian" locale, the code-page
// conversion of text-mode console streams, and the command processor's pause.
#include "console.h"

#include <clocale>
#include <cstdarg>
#include <cstdlib>

void console_select_locale()
{
  std::setlocale(LC_ALL, "Russian");
}

int console_printf(std::FILE* stream, const char* format, ...)
{
  va_list arguments;
  va_start(arguments, format);
  // libstdc++ routes MinGW's stdio through MinGW's own formatter; this is the
  // C runtime's vfprintf, with its locale's decimal symbol and its buffering.
  const int written = __ms_vfprintf(stream, format, arguments);
  va_end(arguments);
  return written;
}

void console_pause()
{
  std::system("pause");
}

bool console_finish()
{
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  std::fflush(stderr);
  return written;
}
