// The device-memory checker: while a kernel runs, a fault inside the device
// region stops the process with a line naming the kernel, the thread position,
// the device address and the allocation nearest to it. Other faults, and all
// faults between launches, go to whatever handled them before, so ordinary
// crashes stay ordinary.
#include "runtime_state.h"

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace cudart {

LaunchSite current_launch{};

} // namespace cudart

namespace {

struct sigaction previous_action;
volatile sig_atomic_t installed = 0;

// A line built without allocating: the handler may only make safe calls.
struct Line {
  char text[512];
  std::size_t length = 0;

  void add(const char* s)
  {
    while (*s != '\0' && length < sizeof text - 1)
      text[length++] = *s++;
  }
  void add_number(std::uint64_t value, unsigned base, int min_digits)
  {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value != 0 || count < min_digits);
    while (count > 0 && length < sizeof text - 1)
      text[length++] = digits[--count];
  }
  void add_decimal(std::int64_t value)
  {
    if (value < 0)
      add("-");
    add_number(value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value), 10, 1);
  }
  void add_address(std::uint64_t value)
  {
    add("0x");
    add_number(value, 16, 8);
  }
  void add_triple(const char* label, uint3 v)
  {
    add(label);
    add(" (");
    add_decimal(v.x);
    add(", ");
    add_decimal(v.y);
    add(", ");
    add_decimal(v.z);
    add(")");
  }
};

void report(const cudart::DeviceFault& fault)
{
  const cudart::LaunchSite& site = cudart::current_launch;
  Line line;
  line.add("cudart_emu: device memory fault in kernel ");
  line.add(site.kernel);
  line.add_triple(", block", *site.block);
  line.add_triple(" thread", *site.thread);
  line.add(": address ");
  line.add_address(static_cast<std::uint64_t>(fault.address));
  if (!fault.found) {
    line.add(", no allocation on record");
  } else {
    const std::int64_t offset = fault.address - static_cast<std::int64_t>(fault.allocation);
    line.add(" is offset ");
    line.add_decimal(offset);
    if (offset < 0)
      line.add(", before the start,");
    else if (static_cast<std::uint64_t>(offset) >= fault.size)
      line.add(", past the end,");
    line.add(fault.live ? " of live allocation " : " of freed allocation ");
    line.add_address(fault.allocation);
    line.add(" (");
    line.add_decimal(static_cast<std::int64_t>(fault.size));
    line.add(" bytes)");
  }
  line.add("\n");
  const char* text = line.text;
  std::size_t left = line.length;
  while (left > 0) {
    const ssize_t written = write(STDERR_FILENO, text, left);
    if (written <= 0)
      break;
    text += written;
    left -= static_cast<std::size_t>(written);
  }
}

void on_fault(int signal, siginfo_t* info, void* context)
{
  if (cudart::current_launch.kernel != nullptr && cudart::in_device_region(info->si_addr)) {
    report(cudart::describe_device_fault(info->si_addr));
    _exit(cudart::device_fault_exit_status);
  }
  // Not a kernel's device access: to whatever handled SIGSEGV before.
  if ((previous_action.sa_flags & SA_SIGINFO) != 0 && previous_action.sa_sigaction != nullptr) {
    previous_action.sa_sigaction(signal, info, context);
    return;
  }
  if (previous_action.sa_handler != SIG_DFL && previous_action.sa_handler != SIG_IGN) {
    previous_action.sa_handler(signal);
    return;
  }
  // Returning runs the faulting instruction again, into the default action.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(SIGSEGV, &default_action, nullptr);
  installed = 0;
}

} // namespace

namespace cudart {

void watch_device_faults()
{
  // Once, not per launch: a signal action costs more than a small launch.
  if (installed)
    return;
  struct sigaction action {};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGSEGV, &action, &previous_action) == 0)
    installed = 1;
}

} // namespace cudart
