#include "address_space.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace cudart::address_space {

std::size_t page_size()
{
  static const std::size_t size = [] {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<std::size_t>(info.dwPageSize);
  }();
  return size;
}

char* reserve(std::size_t bytes)
{
  return static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS));
}

bool commit(char* at, std::size_t bytes)
{
  // Pages committed afresh, including decommitted ones, read as zero.
  return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void decommit(char* at, std::size_t bytes)
{
  VirtualFree(at, bytes, MEM_DECOMMIT);
}

} // namespace cudart::address_space
