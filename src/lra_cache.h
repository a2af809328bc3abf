// Least-recently-allocated caches: blocks inside one memory area reused in
// allocation order (lra), ranges of an address space handed out in a ring
// (lrar), and bookkeeping lists for textures made from bitmaps and their
// shadings (tex_cache). Nothing in the game uses them yet.
#ifndef LRA_CACHE_H
#define LRA_CACHE_H

#include "cseries.h"

#define MAXIMUM_LRA_CACHE_NAME_LENGTH 31

#define LRA_CACHE_SIGNATURE TAG("lrac")
#define LRA_CACHE_BLOCK_SIGNATURE TAG("Ablk")
#define LRAR_CACHE_SIGNATURE TAG("lrar")
#define LRAR_CACHE_BLOCK_SIGNATURE TAG("Rblk")

/* ---------- memory-area cache */

enum
{
	_lra_cache_block_locked_bit,
	_lra_cache_block_purged_bit,
	NUMBER_OF_LRA_CACHE_BLOCK_FLAGS,

	_lra_cache_block_locked_flag = FLAG(_lra_cache_block_locked_bit),
	_lra_cache_block_purged_flag = FLAG(_lra_cache_block_purged_bit)
};
#define VALID_LRA_CACHE_BLOCK_FLAGS 3

typedef void (*lra_new_block_proc)(void *user_data, void *data);
typedef void (*lra_purge_block_proc)(void *user_data);

// The header in front of each block's data; native (16 bytes on 32-bit builds).
struct lra_cache_block
{
	void *user_data;
	uint32 flags; // the signature above VALID_LRA_CACHE_BLOCK_FLAGS
	int32 size; // header included
	lra_cache_block *next_block; // in address order
};
#define LRA_CACHE_BLOCK_HEADER_SIZE static_cast<int32>(sizeof(lra_cache_block))
#define LRA_CACHE_BLOCK_ALIGNMENT static_cast<int32>(alignof(lra_cache_block))

struct lra_cache
{
	char name[MAXIMUM_LRA_CACHE_NAME_LENGTH + 1];
	int32 size;
	uint8 *base_address;
	boolean free_base_address_on_dispose;
	lra_cache_block *last_block_allocated;
	lra_new_block_proc new_block;
	lra_purge_block_proc purge_block;
	uint32 signature;
	int64 miss_count, access_count;
};

// With either callback null both defaults are used: the data pointer, then
// null, written into the pointer user_data points at.
lra_cache *lra_new(const char *name, int32 size, lra_new_block_proc new_block, lra_purge_block_proc purge_block,
	void *base_address);
void lra_dispose(lra_cache *cache);
void lra_flush(lra_cache *cache);
void *lra_allocate(lra_cache *cache, int32 size, void *user_data, boolean *had_to_purge);
void lra_free(lra_cache *cache, void *pointer);
void lra_lock(lra_cache *cache, void *pointer);
void lra_unlock(lra_cache *cache, void *pointer);
boolean lra_full(lra_cache *cache);
void lra_record_access(lra_cache *cache, boolean hit);
void lra_get_access_record(lra_cache *cache, float *misses, float *accesses, int32 *size);

/* ---------- address-ring cache */

typedef void (*lrar_new_block_proc)(void *user_data, int16 block_index);
typedef void (*lrar_purge_block_proc)(void *user_data);

struct lrar_cache_block
{
	void *user_data;
	uint32 flags; // the signature while the block is live, 0 once purged
	uint32 address;
	uint32 size;
};

#define MAXIMUM_LRAR_CACHE_BLOCKS 32767

struct lrar_cache
{
	char name[MAXIMUM_LRA_CACHE_NAME_LENGTH + 1];
	int16 alignment_bit;
	int16 boundary_bit; // NONE for no boundary
	uint32 minimum_address, maximum_address;
	uint32 size;
	lrar_cache_block *blocks;
	int16 oldest_block_index, newest_block_index, first_block_index;
	int16 block_count;
	lrar_new_block_proc new_block;
	lrar_purge_block_proc purge_block;
	uint32 signature;
};

// With either callback null both defaults are used: the index, then NONE,
// written into the int16 user_data points at.
lrar_cache *lrar_new(const char *name, uint32 minimum_address, uint32 maximum_address, int16 block_count,
	int16 alignment_bit, int16 boundary_bit, lrar_new_block_proc new_block, lrar_purge_block_proc purge_block);
void lrar_dispose(lrar_cache *cache);
void lrar_flush(lrar_cache *cache);
// The block index, or NONE.
int16 lrar_allocate(lrar_cache *cache, int32 size, void *user_data);
boolean lrar_full(lrar_cache *cache);
// 0xFFFFFFFF for an index out of range.
uint32 lrar_block_address(lrar_cache *cache, int16 block_index);

/* ---------- texture bookkeeping */

struct shaded_tex_cache_item;

struct bitmap_tex_cache_item
{
	void *hardware_address; // where the owner keeps its pointer to this item
	uint32 bitmap_key;
	int32 num_shaded_items; // slots, null ones free
	shaded_tex_cache_item **shaded_items;
	bitmap_tex_cache_item *next, *prev;
};

struct shaded_tex_cache_item
{
	void *tex_ptr;
	bitmap_tex_cache_item *bitmap_item;
	uint32 shading_table_key;
	shaded_tex_cache_item *next, *prev;
};

// Two recency lists, heads newest, and one spare record of each kind.
struct tex_cache
{
	shaded_tex_cache_item *shaded_head, *shaded_tail;
	bitmap_tex_cache_item *bitmap_head, *bitmap_tail;
	uint32 shaded_length, bitmap_length;
	shaded_tex_cache_item *shaded_swap;
	bitmap_tex_cache_item *bitmap_swap;
};

#define TEX_CACHE_FIRST_SLOTS 2
#define TEX_CACHE_SLOT_GROWTH 4

tex_cache *init_tex_cache_opengl(void);
bitmap_tex_cache_item *new_bitmap_tex_cache_item(tex_cache *cache, void *hardware_address, uint32 bitmap_key);
// NULL when memory runs out; the bitmap item keeps its slots then.
shaded_tex_cache_item *new_shaded_tex_cache_item(tex_cache *cache, bitmap_tex_cache_item *bitmap_item,
	uint32 shading_table_key);
shaded_tex_cache_item *get_shaded_tex_cache_item(tex_cache *cache, bitmap_tex_cache_item *bitmap_item,
	uint32 shading_table_key);
void touch_shaded_tex_cache_item(tex_cache *cache, shaded_tex_cache_item *item);
void delete_shaded_tex_cache_item(tex_cache *cache, shaded_tex_cache_item *item);
boolean can_purge_bitmap_tex_cache_item(bitmap_tex_cache_item *item);
void delete_bitmap_tex_cache_item(tex_cache *cache, bitmap_tex_cache_item *item);
void free_tex_cache_opengl(tex_cache *cache);

#endif
