// The texture cache. Order comes from the recency list only: eviction,
// clearing and disposal walk the list, never the map.
#include "hardware/generic_texture_cache.h"

#include <new>

#include "shading_tables.h"
#include "shapes.h"

cache *cache_singleton = nullptr;

static boolean entry_allocation_fails_for_tests = FALSE;

void set_texture_cache_entry_allocation_fails_for_tests(boolean fails)
{
	entry_allocation_fails_for_tests = fails;
}

/* ---------- recency list */

static void unlink_value(cache_lru_list *list, cache_value *value)
{
	if (value->prev) value->prev->next = value->next;
	else list->m_first = value->next;
	if (value->next) value->next->prev = value->prev;
	else list->m_last = value->prev;
	value->prev = value->next = nullptr;
}

static void link_value_first(cache_lru_list *list, cache_value *value)
{
	value->prev = nullptr;
	value->next = list->m_first;
	if (list->m_first) list->m_first->prev = value;
	else list->m_last = value;
	list->m_first = value;
}

static cache_key make_cache_key(const cached_texture_descriptor *descriptor)
{
	return cache_key{static_cast<int32>(descriptor->identifier), reinterpret_cast<uintptr_t>(descriptor->bitmap),
		reinterpret_cast<uintptr_t>(descriptor->shading_table)};
}

// Fills a null bitmap (and its shading) from the identifier; false when there is no bitmap.
static bool resolve_descriptor(cached_texture_descriptor *descriptor)
{
	if (descriptor->bitmap) return true;
	const bitmap_identifier id = descriptor->identifier;
	const int16 collection = bitmap_identifier_collection(id);
	descriptor->bitmap = get_bitmap(collection, bitmap_identifier_bitmap(id));
	descriptor->shading_header = get_shading_table_header(collection, bitmap_identifier_color_table(id));
	descriptor->shading_table = get_shading_table(collection, bitmap_identifier_color_table(id),
		bitmap_identifier_permutation(id));
	return descriptor->bitmap != nullptr;
}

/* ---------- the cache */

void cache::clear(void)
{
	while (cache_lru.m_first) delete_cache_item(cache_lru.m_first);
}

int64 cache::approximate_memory_use(const bitmap_data *bitmap, int32 usage_flags) const
{
	if (!bitmap) return 0;
	const int64 texels = npo2_textures ? static_cast<int64>(bitmap->width) * bitmap->height
									   : static_cast<int64>(bitmap->hardware_width) * bitmap->hardware_height;
	int64 charge = (_32bit_textures ? 4 : 2) * texels;
	if (usage_flags & _texture_mipmaps_flag) charge = charge * 4 / 3;
	return charge;
}

// Whether a bitmap can be charged at all: positive and no side beyond the largest texture.
static bool chargeable(const bitmap_data *bitmap, int64 charge)
{
	return charge > 0 && charge <= 0x7FFFFFFF && bitmap->width <= MAXIMUM_TEXTURE_CACHE_SIDE &&
		bitmap->height <= MAXIMUM_TEXTURE_CACHE_SIDE;
}

boolean cache::purge_if_needed(int64 needed)
{
	while (current_memory_size + needed > max_memory_size && cache_lru.m_last) delete_cache_item(cache_lru.m_last);
	return current_memory_size + needed <= max_memory_size;
}

void cache::delete_cache_item(cache_value *value)
{
	if (value->texture.user_data && user_delete_item) user_delete_item(user_context, value->texture.user_data);
	value->texture.user_data = nullptr;
	current_memory_size -= value->memory_use;
	unlink_value(&cache_lru, value);
	cache_items.erase(value->map_it);
}

boolean cache::initialize_cache_item(cache_value *value, cached_texture_descriptor *descriptor)
{
	*value = cache_value{};
	if (!resolve_descriptor(descriptor)) return FALSE;
	const int64 charge = approximate_memory_use(descriptor->bitmap, descriptor->usage_flags);
	if (!chargeable(descriptor->bitmap, charge)) return FALSE;
	if (!purge_if_needed(charge)) return FALSE;
	if (!build_item_bitmap(value, descriptor))
	{
		value->texture.pixels = nullptr;
		return FALSE;
	}
	void *handle = user_new_item ? user_new_item(user_context, descriptor->bitmap, &value->texture) : nullptr;
	value->texture.pixels = nullptr;
	value->texture.user_data = handle;
	if (!handle) return FALSE;
	descriptor->bitmap->flags &= static_cast<int16>(~_bitmap_changed_flag);
	value->memory_use = static_cast<int32>(charge);
	current_memory_size += charge;
	return TRUE;
}

boolean cache::update_cache_item(cache_value *value, cached_texture_descriptor *descriptor)
{
	if (!resolve_descriptor(descriptor)) return FALSE;
	const int64 charge = approximate_memory_use(descriptor->bitmap, descriptor->usage_flags);
	if (!chargeable(descriptor->bitmap, charge)) return FALSE;

	// The entry itself is never evicted to make room for its own refresh.
	unlink_value(&cache_lru, value);
	current_memory_size -= value->memory_use;
	const boolean room = purge_if_needed(charge);
	current_memory_size += value->memory_use;
	link_value_first(&cache_lru, value);
	if (!room) return FALSE;

	void *old_handle = value->texture.user_data;
	if (!build_item_bitmap(value, descriptor))
	{
		value->texture.pixels = nullptr;
		return FALSE;
	}
	void *handle = user_update_item ? user_update_item(user_context, descriptor->bitmap, &value->texture) : nullptr;
	value->texture.pixels = nullptr;
	if (handle)
	{
		value->texture.user_data = handle;
		descriptor->bitmap->flags &= static_cast<int16>(~_bitmap_changed_flag);
		current_memory_size += charge - value->memory_use;
		value->memory_use = static_cast<int32>(charge);
		return TRUE;
	}
	// The back end kept the old texture: it goes to delete once, with the entry.
	value->texture.user_data = old_handle;
	return FALSE;
}

cache_value *cache::lookup(cached_texture_descriptor *descriptor, boolean create)
{
	const cache_key key = make_cache_key(descriptor);
	cache_item_map::iterator found = cache_items.find(key);
	if (found != cache_items.end())
	{
		cache_value *value = &found->second;
		if (value->texture.bitmap && (value->texture.bitmap->flags & _bitmap_changed_flag))
		{
			if (!update_cache_item(value, descriptor))
			{
				delete_cache_item(value);
				return nullptr;
			}
		}
		unlink_value(&cache_lru, value);
		link_value_first(&cache_lru, value);
		return value;
	}
	if (!create) return nullptr;

	cache_value fresh;
	if (!initialize_cache_item(&fresh, descriptor))
	{
		if (fresh.texture.user_data && user_delete_item) user_delete_item(user_context, fresh.texture.user_data);
		return nullptr;
	}
	std::pair<cache_item_map::iterator, bool> inserted;
	try
	{
		if (entry_allocation_fails_for_tests) throw std::bad_alloc();
		inserted = cache_items.emplace(key, fresh);
	}
	catch (const std::bad_alloc &)
	{
		// Nothing may stay charged for an entry that could not be kept.
		if (user_delete_item) user_delete_item(user_context, fresh.texture.user_data);
		current_memory_size -= fresh.memory_use;
		return nullptr;
	}
	cache_value *value = &inserted.first->second;
	value->map_it = inserted.first;
	link_value_first(&cache_lru, value);
	return value;
}

/* ---------- module */

void initialize_texture_cache_for_new_map(void *user_context, boolean _32bit_textures, boolean npo2_textures,
	boolean client_storage, int32 max_memory_size, cache_new_item_proc new_item, cache_update_item_proc update_item,
	cache_delete_item_proc delete_item)
{
	// A cache left from an earlier start is disposed, not leaked.
	dispose_texture_cache_from_old_map();
	cache_singleton = new (std::nothrow) cache(user_context, _32bit_textures, npo2_textures, client_storage,
		max_memory_size, new_item, update_item, delete_item);
}

void dispose_texture_cache_from_old_map(void)
{
	delete cache_singleton;
	cache_singleton = nullptr;
}

cached_texture_data *texture_cache_lookup(cached_texture_descriptor *descriptor)
{
	if (!cache_singleton || !descriptor) return nullptr;
	cache_value *value = cache_singleton->lookup(descriptor, TRUE);
	return value ? &value->texture : nullptr;
}

void texture_cache_remove(cached_texture_descriptor *descriptor)
{
	if (!cache_singleton || !descriptor) return;
	// Found, not looked up: a changed entry is not rebuilt only to be deleted.
	cache_item_map::iterator found = cache_singleton->cache_items.find(make_cache_key(descriptor));
	if (found != cache_singleton->cache_items.end()) cache_singleton->delete_cache_item(&found->second);
}
