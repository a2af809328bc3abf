#include <gtest/gtest.h>

#include <vector>

#include "lra_cache.h"

namespace {

constexpr int32 H = LRA_CACHE_BLOCK_HEADER_SIZE;

int32 rounded(int32 bytes)
{
	return (bytes + LRA_CACHE_BLOCK_ALIGNMENT - 1) & ~(LRA_CACHE_BLOCK_ALIGNMENT - 1);
}

} // namespace

TEST(lra_cache, blocks_take_a_header_wrap_in_order_and_respect_locks)
{
	// Room for exactly four blocks of 8 data bytes.
	const int32 block = rounded(8 + H);
	lra_cache *cache = lra_new("test cache with a name longer than thirty-one", 4 * block, nullptr, nullptr, nullptr);
	ASSERT_NE(cache, nullptr);
	EXPECT_EQ(strlen(cache->name), 31u);

	void *owners[6] = {};
	boolean purged = TRUE;
	uint8 *first = static_cast<uint8 *>(lra_allocate(cache, 8, &owners[0], &purged));
	ASSERT_NE(first, nullptr);
	EXPECT_FALSE(purged);
	EXPECT_EQ(owners[0], first);
	EXPECT_EQ(first - cache->base_address, H);
	EXPECT_FALSE(lra_full(cache));
	for (int32 i = 1; i < 4; ++i) ASSERT_NE(lra_allocate(cache, 8, &owners[i], &purged), nullptr);
	EXPECT_FALSE(purged);

	// The fifth wraps and purges the oldest; locking the second makes the sixth skip it and purge the third.
	lra_lock(cache, owners[1]);
	void *fifth = lra_allocate(cache, 8, &owners[4], &purged);
	EXPECT_EQ(fifth, first);
	EXPECT_TRUE(purged);
	EXPECT_EQ(owners[0], nullptr);
	EXPECT_TRUE(lra_full(cache));
	void *second = owners[1];
	void *sixth = lra_allocate(cache, 8, &owners[5], &purged);
	EXPECT_EQ(owners[1], second);
	EXPECT_EQ(owners[2], nullptr);
	EXPECT_EQ(static_cast<uint8 *>(sixth) - cache->base_address, 2 * block + H);

	// Everything locked and no room after the last: nothing is purged.
	lra_lock(cache, owners[3]);
	lra_lock(cache, owners[4]);
	lra_lock(cache, owners[5]);
	void *extra = nullptr;
	EXPECT_EQ(lra_allocate(cache, 8, &extra, &purged), nullptr);
	EXPECT_FALSE(purged);
	EXPECT_NE(owners[3], nullptr);

	// Pointers that are not blocks are ignored; a freed block is purged once.
	int32 outside = 0;
	lra_free(cache, &outside);
	lra_free(cache, static_cast<uint8 *>(owners[3]) + 1);
	EXPECT_NE(owners[3], nullptr);
	lra_unlock(cache, owners[3]);
	lra_free(cache, owners[3]);
	EXPECT_EQ(owners[3], nullptr);

	lra_flush(cache);
	EXPECT_EQ(owners[4], nullptr);
	EXPECT_EQ(owners[5], nullptr);
	EXPECT_FALSE(lra_full(cache));
	EXPECT_EQ(lra_allocate(cache, 0, &extra, nullptr), cache->base_address + H);
	EXPECT_EQ(lra_allocate(cache, -1, &extra, nullptr), nullptr);
	EXPECT_EQ(lra_allocate(cache, 0x7FFFFFFF, &extra, nullptr), nullptr);

	lra_record_access(cache, TRUE);
	lra_record_access(cache, FALSE);
	float misses, accesses;
	int32 size;
	lra_get_access_record(cache, &misses, &accesses, &size);
	EXPECT_EQ(misses, 1.0f);
	EXPECT_EQ(accesses, 2.0f);
	EXPECT_EQ(size, 4 * block);
	lra_dispose(cache);

	// One byte takes the header plus the alignment; an area below one header and an unaligned base are refused.
	alignas(8) uint8 area[256];
	cache = lra_new("area", sizeof(area), nullptr, nullptr, area);
	ASSERT_NE(cache, nullptr);
	void *a = lra_allocate(cache, 1, &extra, nullptr);
	void *b = lra_allocate(cache, 1, &extra, nullptr);
	EXPECT_EQ(static_cast<uint8 *>(b) - static_cast<uint8 *>(a), rounded(1 + H));
	lra_dispose(cache);
	EXPECT_EQ(lra_new("small", H - 1, nullptr, nullptr, nullptr), nullptr);
	EXPECT_EQ(lra_new("odd", 64, nullptr, nullptr, area + 1), nullptr);
}

TEST(lra_cache, address_rings_align_keep_boundaries_and_purge_the_oldest)
{
	int16 owners[8];
	for (int16 &owner : owners) owner = 99;

	// Alignment bit 4 turns 17 bytes into 32; boundary bit 12 moves [0xF80, 0x1080) to 0x1000.
	lrar_cache *cache = lrar_new("ring", 0xF00, 0x3000, 4, 4, 12, nullptr, nullptr);
	ASSERT_NE(cache, nullptr);
	EXPECT_EQ(lrar_allocate(cache, 17, &owners[0]), 0);
	EXPECT_EQ(owners[0], 0);
	EXPECT_EQ(cache->blocks[0].size, 32u);
	EXPECT_EQ(lrar_allocate(cache, 0x60, &owners[1]), 1); // 0xF20 .. 0xF80
	EXPECT_EQ(lrar_allocate(cache, 0x100, &owners[2]), 2);
	EXPECT_EQ(lrar_block_address(cache, 2), 0x1000u);
	lrar_flush(cache);
	EXPECT_EQ(owners[0], NONE);
	EXPECT_EQ(owners[2], NONE);
	lrar_dispose(cache);
	// [0xF80, 0x1000) ends exactly at the boundary and stays.
	cache = lrar_new("edge", 0xF80, 0x3000, 4, 4, 12, nullptr, nullptr);
	EXPECT_EQ(lrar_allocate(cache, 0x80, &owners[0]), 0);
	EXPECT_EQ(lrar_block_address(cache, 0), 0xF80u);
	lrar_dispose(cache);

	// A full index ring without an address wrap purges the block whose index it reuses.
	cache = lrar_new("indexes", 0, 0x10000, 2, 0, NONE, nullptr, nullptr);
	ASSERT_NE(cache, nullptr);
	EXPECT_EQ(lrar_allocate(cache, 16, &owners[0]), 0);
	EXPECT_EQ(lrar_allocate(cache, 16, &owners[1]), 1);
	EXPECT_EQ(lrar_allocate(cache, 16, &owners[2]), 0);
	EXPECT_EQ(owners[0], NONE);
	EXPECT_EQ(owners[1], 1);
	EXPECT_EQ(cache->oldest_block_index, 1);
	EXPECT_FALSE(lrar_full(cache));
	lrar_dispose(cache);

	// An address wrap purges the blocks the new one overlaps, oldest first.
	cache = lrar_new("wrap", 0, 0x100, 8, 0, NONE, nullptr, nullptr);
	for (int32 i = 0; i < 4; ++i) EXPECT_EQ(lrar_allocate(cache, 0x40, &owners[i]), i);
	EXPECT_EQ(lrar_allocate(cache, 0x50, &owners[4]), 4);
	EXPECT_TRUE(lrar_full(cache));
	EXPECT_EQ(owners[0], NONE);
	EXPECT_EQ(owners[1], NONE);
	EXPECT_EQ(owners[2], 2);
	EXPECT_EQ(lrar_block_address(cache, 4), 0u);
	lrar_dispose(cache);

	// A request that can never keep its boundary fails after one wrap.
	cache = lrar_new("never", 0, 0x2F, 4, 0, 4, nullptr, nullptr);
	EXPECT_EQ(lrar_allocate(cache, 0x20, &owners[0]), NONE);
	EXPECT_EQ(lrar_allocate(cache, 0x30, &owners[0]), NONE);
	EXPECT_EQ(lrar_allocate(cache, -1, &owners[0]), NONE);
	EXPECT_FALSE(lrar_full(cache)) << "nothing allocated";
	// A refusal leaves the ring as it was: nothing purged, no wrap.
	EXPECT_EQ(lrar_allocate(cache, 0x10, &owners[1]), 0);
	EXPECT_EQ(lrar_allocate(cache, 0x20, &owners[2]), NONE);
	EXPECT_EQ(owners[1], 0);
	EXPECT_FALSE(lrar_full(cache));
	EXPECT_EQ(cache->oldest_block_index, 0);
	EXPECT_EQ(cache->newest_block_index, 0);
	EXPECT_EQ(lrar_allocate(cache, 0x10, &owners[2]), 1);
	EXPECT_EQ(lrar_block_address(cache, 1), 0x10u);
	lrar_dispose(cache);

	EXPECT_EQ(lrar_new("n", 0, 16, 0, 0, NONE, nullptr, nullptr), nullptr);
	EXPECT_EQ(lrar_new("n", 0, 16, 1, 31, NONE, nullptr, nullptr), nullptr);
	EXPECT_EQ(lrar_new("n", 0, 16, 1, 0, 32, nullptr, nullptr), nullptr);
	EXPECT_EQ(lrar_new("n", 0, 16, 1, 0, -2, nullptr, nullptr), nullptr);
	EXPECT_EQ(lrar_new("n", 32, 16, 1, 0, NONE, nullptr, nullptr), nullptr);
}

TEST(lra_cache, texture_bookkeeping_grows_slots_and_reuses_spares)
{
	tex_cache *cache = init_tex_cache_opengl();
	ASSERT_NE(cache, nullptr);
	void *owner = nullptr;
	bitmap_tex_cache_item *bitmap = new_bitmap_tex_cache_item(cache, &owner, 7);
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->num_shaded_items, 2);
	shaded_tex_cache_item *shaded[3];
	for (uint32 i = 0; i < 3; ++i) shaded[i] = new_shaded_tex_cache_item(cache, bitmap, 100 + i);
	EXPECT_EQ(bitmap->num_shaded_items, 6);
	EXPECT_EQ(cache->shaded_head, shaded[2]);
	EXPECT_EQ(get_shaded_tex_cache_item(cache, bitmap, 101), shaded[1]);
	EXPECT_EQ(get_shaded_tex_cache_item(cache, bitmap, 5), nullptr);
	touch_shaded_tex_cache_item(cache, shaded[0]);
	EXPECT_EQ(cache->shaded_head, shaded[0]);
	EXPECT_EQ(cache->shaded_tail, shaded[1]);

	delete_shaded_tex_cache_item(cache, shaded[1]);
	EXPECT_EQ(cache->shaded_swap, shaded[1]);
	EXPECT_EQ(get_shaded_tex_cache_item(cache, bitmap, 101), nullptr);
	EXPECT_FALSE(can_purge_bitmap_tex_cache_item(bitmap));
	EXPECT_EQ(new_shaded_tex_cache_item(cache, bitmap, 200), shaded[1]);
	EXPECT_EQ(cache->shaded_length, 3u);
	delete_shaded_tex_cache_item(nullptr, shaded[0]);
	EXPECT_EQ(cache->shaded_length, 3u);

	// A bitmap deleted while it has shaded items detaches them: deleting them
	// afterwards reads no freed owner (the spare is taken, so this one is freed).
	bitmap_tex_cache_item *spare = new_bitmap_tex_cache_item(cache, &owner, 8);
	delete_bitmap_tex_cache_item(cache, spare);
	ASSERT_EQ(cache->bitmap_swap, spare);
	delete_bitmap_tex_cache_item(cache, bitmap);
	EXPECT_EQ(cache->bitmap_length, 0u);
	EXPECT_EQ(shaded[0]->bitmap_item, nullptr);
	EXPECT_EQ(shaded[2]->bitmap_item, nullptr);
	delete_shaded_tex_cache_item(cache, shaded[2]);
	EXPECT_EQ(cache->shaded_length, 2u);

	// The same through the spare: the reused record holds none of the old items.
	bitmap_tex_cache_item *reused = new_bitmap_tex_cache_item(cache, &owner, 9);
	EXPECT_EQ(reused, spare);
	shaded_tex_cache_item *fresh = new_shaded_tex_cache_item(cache, reused, 300);
	delete_bitmap_tex_cache_item(cache, reused);
	EXPECT_EQ(fresh->bitmap_item, nullptr);
	reused = new_bitmap_tex_cache_item(cache, &owner, 10);
	shaded_tex_cache_item *kept = new_shaded_tex_cache_item(cache, reused, 301);
	delete_shaded_tex_cache_item(cache, fresh);
	EXPECT_EQ(get_shaded_tex_cache_item(cache, reused, 301), kept);
	EXPECT_FALSE(can_purge_bitmap_tex_cache_item(reused));
	free_tex_cache_opengl(cache);
}
