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
#include <string>

namespace {

constexpr char russian_decimal_separator = ',';
constexpr std::size_t redirected_buffer_size = 4096;

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

std::string with_crlf(const std::string& text)
{
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += '\r';
    out += c;
  }
  return out;
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
  va_list arguments;
  va_start(arguments, format);
  const std::string text = format_with_separator(russian_selected ? russian_decimal_separator : '.', format, arguments);
  va_end(arguments);

  if (!is_terminal(stream)) {
    const std::string bytes = with_crlf(text);
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() ? static_cast<int>(text.size()) : -1;
  }
  const std::string shown = russian_selected ? to_terminal(text) : text;
  if (std::fwrite(shown.data(), 1, shown.size(), stream) != shown.size() || std::fflush(stream) != 0)
    return -1;
  return static_cast<int>(text.size());
}

bool console_finish()
{
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  const int error = errno;
  std::fflush(stderr);
  errno = error; // for the caller's report
  return written;
}
