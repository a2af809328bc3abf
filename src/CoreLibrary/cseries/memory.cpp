#include "memory.h"

#include <unistd.h>

void *new_pointer(size_t size)
{
	return std::malloc(size);
}

void *new_pointer_z(size_t size)
{
	return std::calloc(1, size);
}

void dispose_pointer(void *pointer)
{
	std::free(pointer);
}

void *realloc_pointer(void *pointer, size_t size)
{
	if (size == 0)
	{
		std::free(pointer);
		return NULL;
	}
	return std::realloc(pointer, size);
}

size_t _get_pointer_size(void *pointer)
{
	(void)pointer;
	return 0;
}

void *_set_pointer_size(void *pointer, size_t size)
{
	return realloc_pointer(pointer, size);
}

// pages * page size in 64 bits, so the cap holds on 32-bit builds as well.
static int32 capped_memory_size(long pages, long page_size)
{
	if (pages < 0 || page_size < 0) return 0;
	const uint64 bytes = static_cast<uint64>(pages) * static_cast<uint64>(page_size);
	return bytes > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32>(bytes);
}

int32 free_memory(void)
{
	return capped_memory_size(sysconf(_SC_AVPHYS_PAGES), sysconf(_SC_PAGESIZE));
}

int32 get_physical_memory_size(void)
{
	return capped_memory_size(sysconf(_SC_PHYS_PAGES), sysconf(_SC_PAGESIZE));
}
