#include "terminal_charset.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const char* locale_environment()
{
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return value;
  }
  return "C";
}

bool is_ascii(const std::string& charset)
{
  return charset.empty() || strcasecmp(charset.c_str(), "ANSI_X3.4-1968") == 0 ||
         strcasecmp(charset.c_str(), "ASCII") == 0 || strcasecmp(charset.c_str(), "US-ASCII") == 0;
}

} // namespace

std::string terminal_charset()
{
  const std::string name = locale_environment();
  std::string charset;
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos) {
    // "language_TERRITORY.charset@modifier": the name says it outright.
    charset = name.substr(dot + 1, name.find('@', dot) - dot - 1);
  } else if (locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), nullptr)) {
    // A locale without a charset in its name, such as "ru_RU": ask it.
    charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
  }
  return is_ascii(charset) ? "UTF-8" : charset;
}

std::string to_terminal(const std::string& cp1251)
{
  static const std::string charset = terminal_charset();
  iconv_t converter = iconv_open(charset.c_str(), "CP1251");
  if (converter == reinterpret_cast<iconv_t>(-1))
    converter = iconv_open("UTF-8", "CP1251");
  if (converter == reinterpret_cast<iconv_t>(-1))
    return cp1251;

  std::string out;
  char* in = const_cast<char*>(cp1251.data());
  std::size_t in_left = cp1251.size();
  char buffer[256];
  while (in_left > 0) {
    char* to = buffer;
    std::size_t to_left = sizeof buffer;
    const std::size_t result = iconv(converter, &in, &in_left, &to, &to_left);
    out.append(buffer, sizeof buffer - to_left);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A character the terminal's set lacks, or a byte CP1251 leaves undefined.
      out += '?';
      ++in;
      --in_left;
    }
  }
  iconv_close(converter);
  return out;
}
