// The console as the program meets it: the Russian locale, Windows-1251 texts
// shown legibly, and a pause for a key press.
#ifndef PLATFORM_CONSOLE_H
#define PLATFORM_CONSOLE_H

#include <cstdio>

// Selects the Russian locale for all categories, or stays in the default one.
void console_select_locale();
// printf with a Windows-1251 format and arguments; returns what vfprintf does.
int console_printf(std::FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
// Waits for a key press, as the command processor's "pause" does.
void console_pause();

#endif
