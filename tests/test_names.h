// Readable names for the cases of a parameterised test.
#ifndef TESTS_TEST_NAMES_H
#define TESTS_TEST_NAMES_H

#include <cctype>
#include <string>

// Letters and digits of a label, everything else as one underscore.
inline std::string test_name(const std::string& label)
{
  std::string name;
  for (char c : label) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      name += c;
    else if (!name.empty() && name.back() != '_')
      name += '_';
  }
  while (!name.empty() && name.back() == '_')
    name.pop_back();
  return name;
}

#endif
