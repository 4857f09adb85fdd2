/* Preloaded into the program: the heap refuses the 40000-byte sample buffer. */
#include <stddef.h>

void* __libc_malloc(size_t size);

void* malloc(size_t size)
{
  return size == 40000 ? NULL : __libc_malloc(size);
}
