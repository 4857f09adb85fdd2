// Conversion of the program's Windows-1251 texts for a terminal.
#ifndef PLATFORM_TERMINAL_CHARSET_H
#define PLATFORM_TERMINAL_CHARSET_H

#include <cstddef>

// The character set the user's locale environment (LC_ALL, LC_CTYPE, LANG)
// names for the terminal; UTF-8 where it names none or plain ASCII.
const char* terminal_charset();
// Converts `length` Windows-1251 bytes into `out` in the terminal's character
// set; characters the terminal cannot show become '?'. Returns the length
// written, at most `capacity`.
std::size_t to_terminal(const char* text, std::size_t length, char* out, std::size_t capacity);

#endif
