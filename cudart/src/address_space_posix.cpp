#include "address_space.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Set on first use; a guarded local static would need the C++ runtime library.
std::size_t page_bytes = 0;

} // namespace

namespace cudart::address_space {

std::size_t page_size()
{
  if (page_bytes == 0)
    page_bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page_bytes;
}

char* reserve(std::size_t bytes)
{
  void* region = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return region == MAP_FAILED ? nullptr : static_cast<char*>(region);
}

bool commit(char* at, std::size_t bytes)
{
  return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

void decommit(char* at, std::size_t bytes)
{
  // Dropping the pages first makes a later commit of the range zero-filled.
  madvise(at, bytes, MADV_DONTNEED);
  mprotect(at, bytes, PROT_NONE);
}

} // namespace cudart::address_space
