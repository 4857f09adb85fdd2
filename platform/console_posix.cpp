// Linux has no locale named "Russian", and its C library neither converts code
// pages nor changes line ends on the way out. This layer keeps the Russian
// decimal comma itself, converts the Windows-1251 texts for a terminal with
// iconv, and writes them unchanged, each newline as CR LF, to files and pipes.
#include "console.h"

#include "decimal_format.h"
#include "terminal_charset.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>

namespace {

constexpr char russian_decimal_separator = ',';
constexpr std::size_t redirected_buffer_size = 4096;
// Longer texts are cut short; the program's own are a line each.
constexpr std::size_t text_capacity = 1024;

bool russian_selected = false;

bool is_terminal(std::FILE* stream)
{
  return isatty(fileno(stream)) == 1;
}

// A redirected stream is fully buffered and written out only at the end.
void set_up(std::FILE* stream)
{
  if (!is_terminal(stream))
    std::setvbuf(stream, nullptr, _IOFBF, redirected_buffer_size);
}

// Bytes unchanged, each newline as CR LF, as a Windows text-mode stream writes them.
bool write_text_mode(const char* text, std::size_t length, std::FILE* stream)
{
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '\n' && std::putc('\r', stream) == EOF)
      return false;
    if (std::putc(text[i], stream) == EOF)
      return false;
  }
  return true;
}

} // namespace

void console_select_locale()
{
  russian_selected = true;
  set_up(stdout);
  set_up(stderr);
}

int console_printf(std::FILE* stream, const char* format, ...)
{
  char text[text_capacity];
  va_list arguments;
  va_start(arguments, format);
  const std::size_t length =
      format_with_separator(text, sizeof text, russian_selected ? russian_decimal_separator : '.', format, arguments);
  va_end(arguments);

  if (!is_terminal(stream))
    return write_text_mode(text, length, stream) ? static_cast<int>(length) : -1;
  if (!russian_selected)
    return std::fwrite(text, 1, length, stream) == length && std::fflush(stream) == 0 ? static_cast<int>(length) : -1;
  // A character takes at most four bytes in any terminal's character set.
  char shown[4 * text_capacity];
  const std::size_t shown_length = to_terminal(text, length, shown, sizeof shown);
  if (std::fwrite(shown, 1, shown_length, stream) != shown_length || std::fflush(stream) != 0)
    return -1;
  return static_cast<int>(length);
}

bool console_finish()
{
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  const int error = errno;
  std::fflush(stderr);
  errno = error; // for the caller's report
  return written;
}
