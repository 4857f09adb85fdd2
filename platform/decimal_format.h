// printf-style formatting with a decimal separator of the caller's choosing,
// for platforms whose C library cannot be given the Russian one.
#ifndef PLATFORM_DECIMAL_FORMAT_H
#define PLATFORM_DECIMAL_FORMAT_H

#include <cstdarg>
#include <cstddef>

// Formats into `out` as vsnprintf does in the "C" locale, except that
// floating-point conversions use `separator` as their decimal point. Takes the
// conversions d i u o x X c s f F e E g G and %% with the flags, a decimal
// width and precision, and the length modifiers l ll z; any other conversion
// is copied as it stands. Returns the length written, at most capacity - 1.
std::size_t format_with_separator(char* out, std::size_t capacity, char separator, const char* format,
                                  va_list arguments);

#endif
