// Test hook: CUDART_EMU_FAIL makes chosen runtime calls fail without doing
// anything. Entries are separated by commas, each "call=status" (every call of
// that function fails) or "call#n=status" (only its n-th call, counted from 1),
// for example "cudaMemcpy#2=17,cudaLaunch=4".
#include "runtime_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int call_count = static_cast<int>(cudart::Call::Count);
constexpr const char* call_names[call_count] = {"cudaMalloc",        "cudaFree",          "cudaMemcpy",
                                                "cudaConfigureCall", "cudaSetupArgument", "cudaLaunch"};
constexpr int max_rules = 16;

struct Rule {
  int call;
  unsigned long ordinal; // 0: every call
  cudaError_t status;
};

Rule rules[max_rules];
int rule_count = 0;
unsigned long calls_made[call_count] = {};
bool parsed = false;

bool parse_rule(const char* text, std::size_t length, Rule* rule)
{
  const char* equals = static_cast<const char*>(std::memchr(text, '=', length));
  if (equals == nullptr)
    return false;
  const char* hash = static_cast<const char*>(std::memchr(text, '#', static_cast<std::size_t>(equals - text)));
  const std::size_t name_length = static_cast<std::size_t>((hash != nullptr ? hash : equals) - text);
  rule->call = -1;
  for (int i = 0; i < call_count; ++i)
    if (std::strlen(call_names[i]) == name_length && std::strncmp(text, call_names[i], name_length) == 0)
      rule->call = i;
  if (rule->call < 0)
    return false;

  char* end = nullptr;
  rule->ordinal = 0;
  if (hash != nullptr) {
    rule->ordinal = std::strtoul(hash + 1, &end, 10);
    if (end != equals || rule->ordinal == 0)
      return false;
  }
  const long status = std::strtol(equals + 1, &end, 10);
  if (end != text + length || end == equals + 1 || status <= 0 || status > 0xFFFF)
    return false;
  rule->status = static_cast<cudaError_t>(status);
  return true;
}

void parse_rules()
{
  parsed = true;
  const char* spec = std::getenv("CUDART_EMU_FAIL");
  if (spec == nullptr)
    return;
  while (*spec != '\0') {
    const std::size_t length = std::strcspn(spec, ",");
    Rule rule{};
    if (length > 0) {
      if (rule_count < max_rules && parse_rule(spec, length, &rule))
        rules[rule_count++] = rule;
      else
        std::fprintf(stderr, "cudart_emu: ignoring CUDART_EMU_FAIL entry \"%.*s\"\n", static_cast<int>(length), spec);
    }
    spec += length;
    if (*spec == ',')
      ++spec;
  }
}

} // namespace

namespace cudart {

bool injected_fault(Call call, cudaError_t* status)
{
  if (!parsed)
    parse_rules();
  const int index = static_cast<int>(call);
  const unsigned long ordinal = ++calls_made[index];
  for (int i = 0; i < rule_count; ++i) {
    if (rules[i].call == index && (rules[i].ordinal == 0 || rules[i].ordinal == ordinal)) {
      *status = fail(rules[i].status);
      return true;
    }
  }
  return false;
}

} // namespace cudart
