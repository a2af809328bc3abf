// Least-recently-allocated caches. Every pointer and index handed in is
// checked against the cache before it is used.
#include "lra_cache.h"

#include "memory.h"

static void copy_cache_name(char *destination, const char *name)
{
	memset(destination, 0, MAXIMUM_LRA_CACHE_NAME_LENGTH + 1);
	if (name) strncpy(destination, name, MAXIMUM_LRA_CACHE_NAME_LENGTH);
}

/* ---------- memory-area cache */

static void lra_default_new_block(void *user_data, void *data)
{
	if (user_data) *static_cast<void **>(user_data) = data;
}

static void lra_default_purge_block(void *user_data)
{
	if (user_data) *static_cast<void **>(user_data) = nullptr;
}

static inline int64 block_offset(const lra_cache *cache, const lra_cache_block *block)
{
	return reinterpret_cast<const uint8 *>(block) - cache->base_address;
}

// The block at the start of the area exists once anything has been allocated
// since the last flush: the first allocation and every wrap start there.
static lra_cache_block *first_block(lra_cache *cache)
{
	return cache->last_block_allocated ? reinterpret_cast<lra_cache_block *>(cache->base_address) : nullptr;
}

static void purge_lra_block(lra_cache *cache, lra_cache_block *block)
{
	if (block->flags & _lra_cache_block_purged_flag) return;
	cache->purge_block(block->user_data);
	block->flags = (block->flags | _lra_cache_block_purged_flag) & ~static_cast<uint32>(_lra_cache_block_locked_flag);
}

// The header of a block's data pointer, or null when it is not one.
static lra_cache_block *lra_block_from_pointer(lra_cache *cache, void *pointer)
{
	if (!cache || !pointer) return nullptr;
	int64 offset = static_cast<uint8 *>(pointer) - cache->base_address - LRA_CACHE_BLOCK_HEADER_SIZE;
	if (offset < 0 || offset + LRA_CACHE_BLOCK_HEADER_SIZE > cache->size || offset % LRA_CACHE_BLOCK_ALIGNMENT != 0)
	{
		return nullptr;
	}
	lra_cache_block *block = reinterpret_cast<lra_cache_block *>(cache->base_address + offset);
	if ((block->flags & ~static_cast<uint32>(VALID_LRA_CACHE_BLOCK_FLAGS)) !=
		(LRA_CACHE_BLOCK_SIGNATURE & ~static_cast<uint32>(VALID_LRA_CACHE_BLOCK_FLAGS)))
	{
		return nullptr;
	}
	return block;
}

// A cache takes the default procedures unless it is given both of its own.
template <typename cache_type, typename new_block_proc, typename purge_block_proc>
static cache_type *set_cache_procedures(cache_type *cache, new_block_proc new_block, purge_block_proc purge_block,
	new_block_proc default_new_block, purge_block_proc default_purge_block, uint32 signature)
{
	const bool own = new_block && purge_block;
	cache->new_block = own ? new_block : default_new_block;
	cache->purge_block = own ? purge_block : default_purge_block;
	cache->signature = signature;
	return cache;
}

lra_cache *lra_new(const char *name, int32 size, lra_new_block_proc new_block, lra_purge_block_proc purge_block,
	void *base_address)
{
	if (size < LRA_CACHE_BLOCK_HEADER_SIZE) return nullptr;
	if (base_address && reinterpret_cast<uintptr_t>(base_address) % LRA_CACHE_BLOCK_ALIGNMENT != 0) return nullptr;

	lra_cache *cache = static_cast<lra_cache *>(new_pointer_z(sizeof(lra_cache)));
	if (!cache) return nullptr;
	copy_cache_name(cache->name, name);
	cache->size = size;
	if (base_address)
	{
		cache->base_address = static_cast<uint8 *>(base_address);
	}
	else
	{
		cache->base_address = static_cast<uint8 *>(new_pointer(static_cast<size_t>(size)));
		if (!cache->base_address)
		{
			dispose_pointer(cache);
			return nullptr;
		}
		cache->free_base_address_on_dispose = TRUE;
	}
	return set_cache_procedures(cache, new_block, purge_block, lra_default_new_block, lra_default_purge_block,
		LRA_CACHE_SIGNATURE);
}

void lra_dispose(lra_cache *cache)
{
	if (!cache) return;
	if (cache->free_base_address_on_dispose) dispose_pointer(cache->base_address);
	dispose_pointer(cache);
}

void lra_flush(lra_cache *cache)
{
	if (!cache) return;
	for (lra_cache_block *block = first_block(cache); block; block = block->next_block) purge_lra_block(cache, block);
	cache->last_block_allocated = nullptr;
}

void *lra_allocate(lra_cache *cache, int32 size, void *user_data, boolean *had_to_purge)
{
	if (had_to_purge) *had_to_purge = FALSE;
	if (!cache || size < 0) return nullptr;
	int64 need = static_cast<int64>(size) + LRA_CACHE_BLOCK_HEADER_SIZE;
	need = (need + LRA_CACHE_BLOCK_ALIGNMENT - 1) & ~static_cast<int64>(LRA_CACHE_BLOCK_ALIGNMENT - 1);
	if (need > cache->size) return nullptr;

	lra_cache_block *previous = cache->last_block_allocated;
	lra_cache_block *next = previous ? previous->next_block : nullptr;
	int64 p = previous ? block_offset(cache, previous) + previous->size : 0;
	lra_cache_block *purge_first = nullptr; // the range to purge runs from here to next
	bool wrapped = false;

	for (;;)
	{
		if (!next || p + need <= block_offset(cache, next))
		{
			if (p + need <= cache->size) break;
			if (wrapped) return nullptr;
			wrapped = true;
			p = 0;
			previous = nullptr;
			next = first_block(cache);
			purge_first = nullptr;
			continue;
		}
		if (next->flags & _lra_cache_block_locked_flag)
		{
			p = block_offset(cache, next) + next->size;
			previous = next;
			purge_first = nullptr;
		}
		else if (!purge_first)
		{
			purge_first = next;
		}
		next = next->next_block;
	}

	if (purge_first && had_to_purge) *had_to_purge = TRUE;
	for (lra_cache_block *block = purge_first; block && block != next; block = block->next_block)
	{
		purge_lra_block(cache, block);
	}

	lra_cache_block *block = reinterpret_cast<lra_cache_block *>(cache->base_address + p);
	block->user_data = user_data;
	block->flags = LRA_CACHE_BLOCK_SIGNATURE & ~static_cast<uint32>(VALID_LRA_CACHE_BLOCK_FLAGS);
	block->size = static_cast<int32>(need);
	block->next_block = next;
	void *data = reinterpret_cast<uint8 *>(block) + LRA_CACHE_BLOCK_HEADER_SIZE;
	cache->new_block(user_data, data);
	if (previous) previous->next_block = block;
	cache->last_block_allocated = block;
	return data;
}

void lra_free(lra_cache *cache, void *pointer)
{
	lra_cache_block *block = lra_block_from_pointer(cache, pointer);
	if (block) purge_lra_block(cache, block);
}

void lra_lock(lra_cache *cache, void *pointer)
{
	lra_cache_block *block = lra_block_from_pointer(cache, pointer);
	if (block) block->flags |= _lra_cache_block_locked_flag;
}

void lra_unlock(lra_cache *cache, void *pointer)
{
	lra_cache_block *block = lra_block_from_pointer(cache, pointer);
	if (block) block->flags &= ~static_cast<uint32>(_lra_cache_block_locked_flag);
}

boolean lra_full(lra_cache *cache)
{
	return cache && cache->last_block_allocated && cache->last_block_allocated->next_block;
}

void lra_record_access(lra_cache *cache, boolean hit)
{
	if (!cache) return;
	cache->access_count += 1;
	if (!hit) cache->miss_count += 1;
}

void lra_get_access_record(lra_cache *cache, float *misses, float *accesses, int32 *size)
{
	if (!cache) return;
	if (misses) *misses = static_cast<float>(cache->miss_count);
	if (accesses) *accesses = static_cast<float>(cache->access_count);
	if (size) *size = cache->size;
}

/* ---------- address-ring cache */

static void lrar_default_new_block(void *user_data, int16 block_index)
{
	if (user_data) *static_cast<int16 *>(user_data) = block_index;
}

static void lrar_default_purge_block(void *user_data)
{
	if (user_data) *static_cast<int16 *>(user_data) = NONE;
}

lrar_cache *lrar_new(const char *name, uint32 minimum_address, uint32 maximum_address, int16 block_count,
	int16 alignment_bit, int16 boundary_bit, lrar_new_block_proc new_block, lrar_purge_block_proc purge_block)
{
	if (block_count < 1 || alignment_bit < 0 || alignment_bit > 30 || boundary_bit < NONE || boundary_bit > 31)
	{
		return nullptr;
	}
	uint64 alignment = static_cast<uint64>(1) << alignment_bit;
	uint64 minimum = (static_cast<uint64>(minimum_address) + alignment - 1) & ~(alignment - 1);
	if (maximum_address < minimum_address || minimum > maximum_address) return nullptr;

	lrar_cache *cache = static_cast<lrar_cache *>(new_pointer_z(sizeof(lrar_cache)));
	if (!cache) return nullptr;
	cache->blocks = static_cast<lrar_cache_block *>(new_pointer_z(sizeof(lrar_cache_block) * block_count));
	if (!cache->blocks)
	{
		dispose_pointer(cache);
		return nullptr;
	}
	copy_cache_name(cache->name, name);
	cache->alignment_bit = alignment_bit;
	cache->boundary_bit = boundary_bit;
	cache->minimum_address = static_cast<uint32>(minimum);
	cache->maximum_address = maximum_address;
	cache->size = maximum_address - cache->minimum_address;
	cache->block_count = block_count;
	cache->oldest_block_index = cache->newest_block_index = cache->first_block_index = NONE;
	return set_cache_procedures(cache, new_block, purge_block, lrar_default_new_block, lrar_default_purge_block,
		LRAR_CACHE_SIGNATURE);
}

void lrar_dispose(lrar_cache *cache)
{
	if (!cache) return;
	dispose_pointer(cache->blocks);
	dispose_pointer(cache);
}

// Purges the oldest live block and moves on; the oldest becomes NONE when no live block follows.
static void purge_oldest_lrar_block(lrar_cache *cache)
{
	lrar_cache_block *block = &cache->blocks[cache->oldest_block_index];
	cache->purge_block(block->user_data);
	block->flags = 0;
	int16 next = static_cast<int16>((cache->oldest_block_index + 1) % cache->block_count);
	cache->oldest_block_index = cache->blocks[next].flags == LRAR_CACHE_BLOCK_SIGNATURE ? next : NONE;
}

void lrar_flush(lrar_cache *cache)
{
	if (!cache) return;
	while (cache->oldest_block_index != NONE) purge_oldest_lrar_block(cache);
	cache->oldest_block_index = cache->newest_block_index = cache->first_block_index = NONE;
}

// The start moved up to the next boundary when the range would cross one.
static uint64 lrar_boundary_start(const lrar_cache *cache, uint64 start, uint64 need)
{
	if (cache->boundary_bit != NONE && need > 0 && (start >> cache->boundary_bit) != ((start + need - 1) >> cache->boundary_bit))
	{
		start = ((start >> cache->boundary_bit) + 1) << cache->boundary_bit;
	}
	return start;
}

static bool lrar_range_fits(const lrar_cache *cache, uint64 start, uint64 need)
{
	return lrar_boundary_start(cache, start, need) + need <= cache->maximum_address;
}

int16 lrar_allocate(lrar_cache *cache, int32 size, void *user_data)
{
	if (!cache || size < 0) return NONE;
	uint64 alignment = static_cast<uint64>(1) << cache->alignment_bit;
	uint64 need = (static_cast<uint64>(size) + alignment - 1) & ~(alignment - 1);
	if (need > cache->size) return NONE;

	// A request the boundary rule cannot place even at the start of the range is
	// refused before anything is purged or the ring wraps.
	if (!lrar_range_fits(cache, cache->minimum_address, need)) return NONE;

	int16 index = static_cast<int16>((cache->newest_block_index + 1) % cache->block_count);
	const lrar_cache_block *newest = cache->newest_block_index == NONE ? nullptr : &cache->blocks[cache->newest_block_index];
	uint64 start = newest ? static_cast<uint64>(newest->address) + newest->size : cache->minimum_address;
	bool wrapped = false;

	for (;;)
	{
		start = lrar_boundary_start(cache, start, need);
		while (cache->oldest_block_index != NONE &&
			(cache->oldest_block_index == index ||
				(cache->first_block_index != NONE && cache->oldest_block_index != cache->first_block_index &&
					cache->blocks[cache->oldest_block_index].address < start + need)))
		{
			purge_oldest_lrar_block(cache);
		}
		if (start + need <= cache->maximum_address) break;
		if (wrapped) return NONE;
		wrapped = true;
		cache->first_block_index = index;
		cache->newest_block_index = NONE;
		start = cache->minimum_address;
	}

	lrar_cache_block *block = &cache->blocks[index];
	block->user_data = user_data;
	block->flags = LRAR_CACHE_BLOCK_SIGNATURE;
	block->address = static_cast<uint32>(start);
	block->size = static_cast<uint32>(need);
	cache->new_block(user_data, index);
	cache->newest_block_index = index;
	if (cache->oldest_block_index == NONE) cache->oldest_block_index = index;
	return index;
}

boolean lrar_full(lrar_cache *cache)
{
	return cache && cache->first_block_index != NONE;
}

uint32 lrar_block_address(lrar_cache *cache, int16 block_index)
{
	if (!cache || block_index < 0 || block_index >= cache->block_count) return 0xFFFFFFFF;
	return cache->blocks[block_index].address;
}

/* ---------- texture bookkeeping */

template <typename item_type>
static void unlink_item(item_type *item, item_type **head, item_type **tail, uint32 *length)
{
	if (item->prev) item->prev->next = item->next;
	else *head = item->next;
	if (item->next) item->next->prev = item->prev;
	else *tail = item->prev;
	item->next = item->prev = nullptr;
	*length -= 1;
}

template <typename item_type>
static void link_item_at_head(item_type *item, item_type **head, item_type **tail, uint32 *length)
{
	item->prev = nullptr;
	item->next = *head;
	if (*head) (*head)->prev = item;
	else *tail = item;
	*head = item;
	*length += 1;
}

tex_cache *init_tex_cache_opengl(void)
{
	return static_cast<tex_cache *>(new_pointer_z(sizeof(tex_cache)));
}

bitmap_tex_cache_item *new_bitmap_tex_cache_item(tex_cache *cache, void *hardware_address, uint32 bitmap_key)
{
	if (!cache) return nullptr;
	bitmap_tex_cache_item *item = cache->bitmap_swap;
	if (item)
	{
		cache->bitmap_swap = nullptr;
	}
	else
	{
		item = static_cast<bitmap_tex_cache_item *>(new_pointer_z(sizeof(bitmap_tex_cache_item)));
		if (!item) return nullptr;
		item->shaded_items = static_cast<shaded_tex_cache_item **>(
			new_pointer_z(sizeof(shaded_tex_cache_item *) * TEX_CACHE_FIRST_SLOTS));
		if (!item->shaded_items)
		{
			dispose_pointer(item);
			return nullptr;
		}
		item->num_shaded_items = TEX_CACHE_FIRST_SLOTS;
	}
	memset(item->shaded_items, 0, sizeof(shaded_tex_cache_item *) * item->num_shaded_items);
	item->hardware_address = hardware_address;
	item->bitmap_key = bitmap_key;
	link_item_at_head(item, &cache->bitmap_head, &cache->bitmap_tail, &cache->bitmap_length);
	return item;
}

shaded_tex_cache_item *new_shaded_tex_cache_item(tex_cache *cache, bitmap_tex_cache_item *bitmap_item,
	uint32 shading_table_key)
{
	if (!cache || !bitmap_item) return nullptr;

	int32 slot = 0;
	while (slot < bitmap_item->num_shaded_items && bitmap_item->shaded_items[slot]) slot += 1;
	if (slot == bitmap_item->num_shaded_items)
	{
		int32 count = bitmap_item->num_shaded_items + TEX_CACHE_SLOT_GROWTH;
		shaded_tex_cache_item **slots = static_cast<shaded_tex_cache_item **>(
			realloc_pointer(bitmap_item->shaded_items, sizeof(shaded_tex_cache_item *) * count));
		if (!slots) return nullptr;
		for (int32 i = bitmap_item->num_shaded_items; i < count; ++i) slots[i] = nullptr;
		bitmap_item->shaded_items = slots;
		bitmap_item->num_shaded_items = count;
	}

	shaded_tex_cache_item *item = cache->shaded_swap;
	if (item) cache->shaded_swap = nullptr;
	else item = static_cast<shaded_tex_cache_item *>(new_pointer_z(sizeof(shaded_tex_cache_item)));
	if (!item) return nullptr;
	item->tex_ptr = nullptr;
	item->bitmap_item = bitmap_item;
	item->shading_table_key = shading_table_key;
	link_item_at_head(item, &cache->shaded_head, &cache->shaded_tail, &cache->shaded_length);
	bitmap_item->shaded_items[slot] = item;
	return item;
}

shaded_tex_cache_item *get_shaded_tex_cache_item(tex_cache *, bitmap_tex_cache_item *bitmap_item,
	uint32 shading_table_key)
{
	if (!bitmap_item) return nullptr;
	for (int32 i = 0; i < bitmap_item->num_shaded_items; ++i)
	{
		shaded_tex_cache_item *item = bitmap_item->shaded_items[i];
		if (item && item->shading_table_key == shading_table_key) return item;
	}
	return nullptr;
}

void touch_shaded_tex_cache_item(tex_cache *cache, shaded_tex_cache_item *item)
{
	if (!cache || !item) return;
	unlink_item(item, &cache->shaded_head, &cache->shaded_tail, &cache->shaded_length);
	link_item_at_head(item, &cache->shaded_head, &cache->shaded_tail, &cache->shaded_length);
}

void delete_shaded_tex_cache_item(tex_cache *cache, shaded_tex_cache_item *item)
{
	if (!cache || !item) return;
	unlink_item(item, &cache->shaded_head, &cache->shaded_tail, &cache->shaded_length);
	bitmap_tex_cache_item *owner = item->bitmap_item;
	if (owner)
	{
		for (int32 i = 0; i < owner->num_shaded_items; ++i)
		{
			if (owner->shaded_items[i] == item) owner->shaded_items[i] = nullptr;
		}
	}
	if (!cache->shaded_swap) cache->shaded_swap = item;
	else dispose_pointer(item);
}

boolean can_purge_bitmap_tex_cache_item(bitmap_tex_cache_item *item)
{
	if (!item) return FALSE;
	for (int32 i = 0; i < item->num_shaded_items; ++i)
	{
		if (item->shaded_items[i]) return FALSE;
	}
	return TRUE;
}

static void free_bitmap_tex_cache_item(bitmap_tex_cache_item *item)
{
	if (!item) return;
	dispose_pointer(item->shaded_items);
	dispose_pointer(item);
}

void delete_bitmap_tex_cache_item(tex_cache *cache, bitmap_tex_cache_item *item)
{
	if (!cache || !item) return;
	// Shaded items still alive lose their owner, so deleting them later never
	// reads this item after it is freed or reused.
	for (int32 i = 0; i < item->num_shaded_items; ++i)
	{
		if (item->shaded_items[i]) item->shaded_items[i]->bitmap_item = nullptr;
		item->shaded_items[i] = nullptr;
	}
	unlink_item(item, &cache->bitmap_head, &cache->bitmap_tail, &cache->bitmap_length);
	if (!cache->bitmap_swap) cache->bitmap_swap = item;
	else free_bitmap_tex_cache_item(item);
}

void free_tex_cache_opengl(tex_cache *cache)
{
	if (!cache) return;
	while (cache->shaded_head) delete_shaded_tex_cache_item(cache, cache->shaded_head);
	while (cache->bitmap_head) delete_bitmap_tex_cache_item(cache, cache->bitmap_head);
	dispose_pointer(cache->shaded_swap);
	free_bitmap_tex_cache_item(cache->bitmap_swap);
	dispose_pointer(cache);
}
