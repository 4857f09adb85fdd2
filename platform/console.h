// The console as the program meets it: the Russian locale, Windows-1251 texts
// shown legibly, a pause for a key press, and the standard streams' buffering.
#ifndef PLATFORM_CONSOLE_H
#define PLATFORM_CONSOLE_H

#include <cstdio>

// Selects the Russian conventions (decimal comma) for all categories and sets
// the standard streams up: written out at once on a terminal, buffered
// otherwise.
void console_select_locale();
// printf with a Windows-1251 format and arguments. On a terminal the text is
// converted to the terminal's character set and written out before returning.
int console_printf(std::FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
// Shows a prompt and waits for a key press, as the command processor's
// "pause" does.
void console_pause();
// Writes out what standard output and standard error still hold, in that
// order; false when standard output could not be written.
bool console_finish();

#endif
