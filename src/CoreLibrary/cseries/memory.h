// Memory blocks from the process heap. NULL means failure; callers report it.
#ifndef CSERIES_MEMORY_H
#define CSERIES_MEMORY_H

// This header shadows the C library's <memory.h> on the include path, so it
// also provides what that one does.
#include <cstdlib>
#include <cstring>
#include <string.h>

#include "cseries.h"

// Contents undefined.
void *new_pointer(size_t size);
// Zero-filled.
void *new_pointer_z(size_t size);
// NULL allowed.
void dispose_pointer(void *pointer);
// size > 0 without a block allocates, size > 0 resizes, size 0 frees and returns NULL.
void *realloc_pointer(void *pointer, size_t size);
// A block's size is never known here: always 0.
size_t _get_pointer_size(void *pointer);
// Resizes the block and returns its new address.
void *_set_pointer_size(void *pointer, size_t size);

// Free physical memory in bytes, capped at 0x7FFFFFFF.
int32 free_memory(void);
// Total physical memory in bytes, capped at 0x7FFFFFFF.
int32 get_physical_memory_size(void);

// Frees the block and sets the pointer to NULL; nothing if it is already NULL.
template <typename type>
inline void free_and_clear(type **pointer_address)
{
	if (*pointer_address)
	{
		dispose_pointer(const_cast<void *>(static_cast<const volatile void *>(*pointer_address)));
		*pointer_address = nullptr;
	}
}

#endif
