#include "terminal_charset.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

char charset[64];

const char* locale_environment()
{
  static const char* const names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return value;
  }
  return "C";
}

bool is_ascii(const char* name)
{
  return *name == '\0' || strcasecmp(name, "ANSI_X3.4-1968") == 0 || strcasecmp(name, "ASCII") == 0 ||
         strcasecmp(name, "US-ASCII") == 0;
}

void copy_charset(const char* from, std::size_t length)
{
  if (length >= sizeof charset)
    length = 0;
  std::memcpy(charset, from, length);
  charset[length] = '\0';
}

} // namespace

const char* terminal_charset()
{
  if (charset[0] != '\0')
    return charset;
  const char* name = locale_environment();
  if (const char* dot = std::strchr(name, '.')) {
    // "language_TERRITORY.charset@modifier": the name says it outright.
    copy_charset(dot + 1, std::strcspn(dot + 1, "@"));
  } else if (locale_t locale = newlocale(LC_CTYPE_MASK, name, nullptr)) {
    // A locale without a charset in its name, such as "ru_RU": ask it.
    const char* codeset = nl_langinfo_l(CODESET, locale);
    copy_charset(codeset, std::strlen(codeset));
    freelocale(locale);
  }
  if (is_ascii(charset))
    copy_charset("UTF-8", 5);
  return charset;
}

std::size_t to_terminal(const char* text, std::size_t length, char* out, std::size_t capacity)
{
  iconv_t converter = iconv_open(terminal_charset(), "CP1251");
  if (converter == reinterpret_cast<iconv_t>(-1))
    converter = iconv_open("UTF-8", "CP1251");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    const std::size_t kept = length < capacity ? length : capacity;
    std::memcpy(out, text, kept);
    return kept;
  }
  char* in = const_cast<char*>(text);
  std::size_t in_left = length;
  char* to = out;
  std::size_t to_left = capacity;
  while (in_left > 0 && to_left > 0) {
    if (iconv(converter, &in, &in_left, &to, &to_left) != static_cast<std::size_t>(-1) || errno == E2BIG)
      break;
    // A character the terminal's set lacks, or a byte Windows-1251 leaves undefined.
    *to++ = '?';
    --to_left;
    ++in;
    --in_left;
  }
  iconv_close(converter);
  return capacity - to_left;
}
