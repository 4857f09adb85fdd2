#include "decimal_format.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

std::string format(char separator, const char* format, ...)
{
  char text[64];
  va_list arguments;
  va_start(arguments, format);
  const std::size_t length = format_with_separator(text, sizeof text, separator, format, arguments);
  va_end(arguments);
  EXPECT_EQ(length, std::strlen(text));
  return std::string(text, length);
}

TEST(DecimalFormatTest, FloatingConversionsTakeTheSeparator)
{
  EXPECT_EQ(format(',', "%0.7f\n", 3.1415927410125732), "3,1415927\n");
  EXPECT_EQ(format(',', "[%8.2f|%-8.1e|%g]", -2.5, 1500.0, 0.25), "[   -2,50|1,5e+03 |0,25]");
  EXPECT_EQ(format(',', "%.0f %g", 3.0, 100.0), "3 100"); // no point to replace
  EXPECT_EQ(format('.', "%0.7f", 3.1415927410125732), "3.1415927");
}

TEST(DecimalFormatTest, OtherConversionsAndTextStayAsTheyAre)
{
  EXPECT_EQ(format(',', "v1.0 %s: %d%% %5u %x %ld %zu %c", "a.b", -3, 7u, 255u, 1L << 40, std::size_t{9}, 'z'),
            "v1.0 a.b: -3%     7 ff 1099511627776 9 z");
  EXPECT_EQ(format(',', "%s %.1f", "x.y", 2.25), "x.y 2,2");
  EXPECT_EQ(format(',', "end %"), "end %");
}

TEST(DecimalFormatTest, LongTextIsCutAtTheCapacity)
{
  const std::string long_text(100, 'a');
  EXPECT_EQ(format(',', "%s%.1f", long_text.c_str(), 1.5), std::string(63, 'a'));
}

} // namespace
