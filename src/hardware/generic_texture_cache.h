// The hardware textures made from collection bitmaps, kept under a memory
// budget with least-recently-used eviction. The back end creates, refills and
// deletes its textures through three callbacks; the cache knows nothing of it.
#ifndef GENERIC_TEXTURE_CACHE_H
#define GENERIC_TEXTURE_CACHE_H

#include <map>
#include <vector>

#include "cseries.h"
#include "bitmaps.h"
#include "render/render.h"

struct shading_table_header;

/* ---------- texture flags */

enum
{
	_texture_premultiply_bit,
	_texture_border_bit,
	_texture_client_pixels_bit,
	_texture_clamp_to_border_bit,
	_texture_mipmaps_bit,
	_texture_anisotropic_bit,
	_texture_untinted_bit,
	NUMBER_OF_TEXTURE_FLAGS,

	_texture_premultiply_flag = 1 << _texture_premultiply_bit,
	_texture_border_flag = 1 << _texture_border_bit,
	_texture_client_pixels_flag = 1 << _texture_client_pixels_bit,
	_texture_clamp_to_border_flag = 1 << _texture_clamp_to_border_bit,
	_texture_mipmaps_flag = 1 << _texture_mipmaps_bit,
	_texture_anisotropic_flag = 1 << _texture_anisotropic_bit,
	_texture_untinted_flag = 1 << _texture_untinted_bit
};
static_assert(_texture_untinted_flag == 64);

// Larger sides are refused like an over-budget request.
#define MAXIMUM_TEXTURE_CACHE_SIDE 16384
#define TEXTURE_CACHE_SCRATCH_RESERVE (1 << 20)

/* ---------- records */

// What a caller asks for; a null bitmap is resolved from the identifier.
struct cached_texture_descriptor
{
	bitmap_identifier identifier;
	bitmap_data *bitmap;
	shading_table_header *shading_header;
	void *shading_table; // null asks for an untinted conversion
	int32 usage_flags;
};

// One texture as the back end sees it.
struct cached_texture_data
{
	void *user_data; // the back end's handle; null without one
	void *pixels; // the converted pixels, only while a create or update callback runs
	bitmap_data *bitmap;
	shading_table_header *shading_header;
	uint16 adjusted_width, adjusted_height; // the bitmap's size, plus 2 with a border
	uint16 hardware_width, hardware_height; // powers of two unless npo2 textures are allowed
	uint16 flags; // the usage flags
	int8 encoding; // 5..9
	uint8 mipmap_count;
};

// New and update return the handle, or null on failure; update never frees
// its texture's handle itself (a null return hands the old one to delete).
typedef void *(*cache_new_item_proc)(void *user_context, bitmap_data *bitmap, cached_texture_data *texture);
typedef void *(*cache_update_item_proc)(void *user_context, bitmap_data *bitmap, cached_texture_data *texture);
typedef void (*cache_delete_item_proc)(void *user_context, void *handle);

struct cache_key
{
	int32 bitmap_id;
	uintptr_t bitmap;
	uintptr_t shading_table;

	bool operator<(const cache_key &other) const
	{
		if (bitmap_id != other.bitmap_id) return bitmap_id < other.bitmap_id;
		if (bitmap != other.bitmap) return bitmap < other.bitmap;
		return shading_table < other.shading_table;
	}
};

struct cache_value;
typedef std::map<cache_key, cache_value> cache_item_map;

struct cache_value
{
	cached_texture_data texture;
	int32 memory_use;
	cache_value *prev, *next; // the recency list
	cache_item_map::iterator map_it;
};

struct cache_lru_list
{
	cache_value *m_first; // most recently used
	cache_value *m_last; // least recently used
};

struct cache
{
	void *user_context;
	boolean _32bit_textures;
	boolean npo2_textures;
	boolean client_storage; // stored only
	int32 max_memory_size;
	int64 current_memory_size;
	cache_lru_list cache_lru;
	cache_item_map cache_items;
	std::vector<uint8> conversion_scratch;
	cache_new_item_proc user_new_item;
	cache_update_item_proc user_update_item;
	cache_delete_item_proc user_delete_item;

	// Inline: an out-of-line constructor or destructor gives two identical symbol names.
	cache(void *context, boolean use_32bit_textures, boolean use_npo2_textures, boolean use_client_storage,
		int32 maximum_memory_size, cache_new_item_proc new_item, cache_update_item_proc update_item,
		cache_delete_item_proc delete_item)
		: user_context(context), _32bit_textures(use_32bit_textures), npo2_textures(use_npo2_textures),
		  client_storage(use_client_storage), max_memory_size(maximum_memory_size), current_memory_size(0),
		  cache_lru{nullptr, nullptr}, user_new_item(new_item), user_update_item(update_item),
		  user_delete_item(delete_item)
	{
		conversion_scratch.reserve(TEXTURE_CACHE_SCRATCH_RESERVE);
	}
	~cache() { clear(); }
	cache(const cache &) = delete;
	cache &operator=(const cache &) = delete;

	// The entry for the descriptor, made when create is set; null when it cannot be had.
	cache_value *lookup(cached_texture_descriptor *descriptor, boolean create);
	void clear(void);
	// Bytes charged for a bitmap; 0 when it cannot be charged (not positive or too large).
	int64 approximate_memory_use(const bitmap_data *bitmap, int32 usage_flags) const;
	boolean purge_if_needed(int64 needed);
	boolean initialize_cache_item(cache_value *value, cached_texture_descriptor *descriptor);
	boolean update_cache_item(cache_value *value, cached_texture_descriptor *descriptor);
	void delete_cache_item(cache_value *value);
	// Fills the value's texture record and leaves the pixels in conversion_scratch.
	boolean build_item_bitmap(cache_value *value, const cached_texture_descriptor *descriptor);
	// Resizes the scratch to bytes; false when it cannot grow.
	boolean grow_scratch(size_t bytes);
};

extern cache *cache_singleton;

/* ---------- module */

void initialize_texture_cache_for_new_map(void *user_context, boolean _32bit_textures, boolean npo2_textures,
	boolean client_storage, int32 max_memory_size, cache_new_item_proc new_item, cache_update_item_proc update_item,
	cache_delete_item_proc delete_item);
void dispose_texture_cache_from_old_map(void);
// Null when there is no cache or the texture cannot be had. The record lives
// until the next creating lookup, which may evict it.
cached_texture_data *texture_cache_lookup(cached_texture_descriptor *descriptor);
void texture_cache_remove(cached_texture_descriptor *descriptor);
// Growth of the conversion scratch past its capacity and beyond bytes fails while
// bytes is not 0.
void set_texture_cache_scratch_limit_for_tests(size_t bytes);
// While set, a new entry's map node cannot be allocated.
void set_texture_cache_entry_allocation_fails_for_tests(boolean fails);

/* ---------- decoder */

// Converts a palette bitmap into dest_row (rows dest_stride bytes apart) in
// dest_encoding (5..9; anything else writes nothing). color_table is needed
// only for overlays.
void decompress_and_copy_pixels(const bitmap_data *bitmap, const color_table *color_table, void *dest_row,
	int16 dest_encoding, int32 dest_stride, const void *shading_table, boolean premultiply_alpha, boolean border);
// Bleeds opaque neighbours' colours (alpha cleared) into transparent pixels, one pixel wide.
void dilate_nonpremultiplied_colors(int32 width, int32 height, void *dest_row, int32 dest_stride,
	uint32 alpha_mask);
// The true-colour run-length stream into width x height 8888 pixels, rows
// dest_stride bytes apart. Pixels beyond the stream stay as they were; a last
// run past the final pixel is cut.
void decompress_run_length_pixels(const bitmap_data *bitmap, const shading_table_header *shading_header,
	uint8 *dest, int32 dest_stride);

#endif
