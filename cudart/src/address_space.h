// The host memory behind the emulated device: one reserved, inaccessible
// region whose pages are made accessible as allocations need them.
#ifndef CUDART_ADDRESS_SPACE_H
#define CUDART_ADDRESS_SPACE_H

#include <cstddef>

namespace cudart::address_space {

std::size_t page_size();
// Reserves bytes of address space, all inaccessible; nullptr on failure.
char* reserve(std::size_t bytes);
// Makes a page-aligned range readable and writable, zero-filled.
bool commit(char* at, std::size_t bytes);
// Makes a page-aligned range inaccessible again and gives its memory back.
void decommit(char* at, std::size_t bytes);

} // namespace cudart::address_space

#endif
