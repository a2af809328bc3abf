#include <gtest/gtest.h>

#include <unistd.h>

#include "memory.h"

TEST(Memory, SizesAreCappedNotWrapped)
{
	const uint64_t pages = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES));
	const uint64_t page_size = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
	const uint64_t bytes = pages * page_size;
	const int32 physical = get_physical_memory_size();
	const uint64_t expected = bytes >= 0x7FFFFFFFu ? 0x7FFFFFFFu : bytes;
	EXPECT_EQ(static_cast<uint64_t>(physical), expected);
	const int32 available = free_memory();
	EXPECT_GE(available, 0);
	EXPECT_LE(available, physical);
}
