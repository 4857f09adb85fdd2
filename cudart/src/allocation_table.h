// The live device allocations, ordered by address. A fixed table rather than a
// std::map keeps the runtime library off the C++ runtime library, whose loading
// would cost a short program more than its whole computation.
#ifndef CUDART_ALLOCATION_TABLE_H
#define CUDART_ALLOCATION_TABLE_H

#include "runtime_state.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cudart {

struct Allocation {
  std::size_t size; // bytes asked for
  std::size_t span; // bytes committed: size rounded up to whole pages
};

// Looked up like a std::map<std::uint32_t, Allocation>; iterators are pointers.
class AllocationTable {
public:
  struct Entry {
    std::uint32_t first; // device address
    Allocation second;
  };

  Entry* begin()
  {
    return entries;
  }
  Entry* end()
  {
    return entries + count;
  }
  bool full() const
  {
    return count == capacity;
  }
  Entry* lower_bound(std::uint32_t address)
  {
    return std::lower_bound(begin(), end(), address, [](const Entry& e, std::uint32_t a) { return e.first < a; });
  }
  Entry* upper_bound(std::uint32_t address)
  {
    return std::upper_bound(begin(), end(), address, [](std::uint32_t a, const Entry& e) { return a < e.first; });
  }
  Entry* find(std::uint32_t address)
  {
    Entry* at = lower_bound(address);
    return at != end() && at->first == address ? at : end();
  }
  // The caller checks full() first.
  void emplace(std::uint32_t address, Allocation allocation)
  {
    Entry* at = lower_bound(address);
    std::memmove(at + 1, at, static_cast<std::size_t>(end() - at) * sizeof(Entry));
    *at = Entry{address, allocation};
    ++count;
  }
  void erase(Entry* at)
  {
    std::memmove(at, at + 1, static_cast<std::size_t>(end() - at - 1) * sizeof(Entry));
    --count;
  }

private:
  // Every allocation commits at least one page of the device's memory.
  static constexpr std::size_t capacity = global_memory_size / 4096;
  Entry entries[capacity];
  std::size_t count = 0;
};

} // namespace cudart

#endif
