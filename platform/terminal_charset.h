// Conversion of the program's Windows-1251 texts for a terminal.
#ifndef PLATFORM_TERMINAL_CHARSET_H
#define PLATFORM_TERMINAL_CHARSET_H

#include <string>

// The character set the user's locale environment (LC_ALL, LC_CTYPE, LANG)
// names for the terminal; UTF-8 where it names none or plain ASCII.
std::string terminal_charset();
// The text converted from Windows-1251 to the terminal's character set;
// characters the terminal cannot show become '?'.
std::string to_terminal(const std::string& cp1251);

#endif
