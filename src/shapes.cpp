#include "shapes.h"

#include <cstdio>

#include "collection_references.h"
#include "error_manager.h"
#include "preload_definitions.h"
#include "quicksort.h"
#include "hardware/hardware_rasterizers.h"
#include "screen.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

#include "shading_tables.h"

/* ---------- module state */

// What a loaded collection holds in memory beside its header: the data
// block and every native pointer into it.
struct collection_side_data
{
	uint8 *block;
	int32 block_size;
	void **shading_tables; // MAXIMUM_SHADING_TABLES_PER_COLLECTION slots
	boolean built;

	color_table *colors;
	hue_change *hue_changes;
	bitmap_reference *bitmap_references;
	bitmap_instance_data *bitmap_instances;
	sequence_reference *sequence_references;
	shadow_map_data *shadow_maps;
	void *blend_table;
	void *remapping_table;

	sequence_data **sequences;
	bitmap_data **bitmaps; // native headers, their rows pointing into the block
	uint8 *bitmap_headers; // the one block holding them
};

// A data block read ahead by the fetch path, waiting for its header's postprocess.
struct fetched_collection_block
{
	const collection_header *header;
	uint8 *block;
};

#define MAXIMUM_FETCHED_COLLECTION_BLOCKS 16

struct shapes_private_globals_data
{
	collection_side_data collections[MAXIMUM_COLLECTIONS_PER_MAP];
	fetched_collection_block fetched[MAXIMUM_FETCHED_COLLECTION_BLOCKS];
};

static shapes_globals_data *shapes_globals = NULL;
static shapes_private_globals_data *shapes_private = NULL;
static shapes_test_hooks_data shapes_hooks;

static definition_globals collection_definitions =
{
	"collection", COLLECTION_GROUP_TAG, COLLECTION_VERSION_NUMBER, MAXIMUM_COLLECTIONS_PER_MAP,
	static_cast<int16>(sizeof(collection_header)), NULL, postprocess_collection_header,
	collection_header_version_convert, NULL, collection_header_byte_swapping_data, 0,
	NULL, NULL, NULL, NONE, 0, NULL, NULL, NULL
};

shapes_test_hooks_data *get_shapes_test_hooks(void)
{
	return &shapes_hooks;
}

void reset_shapes_test_hooks(void)
{
	clear_least_call_log(&shapes_hooks.calls);
	shapes_hooks.force_pixel_format = FALSE;
	shapes_hooks.forced_bit_depth = 0;
	shapes_hooks.forced_encoding = 0;
	shapes_hooks.resolve_sequence_sound = NULL;
}


shapes_globals_data *get_shapes_globals(void)
{
	return shapes_globals;
}

definition_globals *get_collection_definitions(void)
{
	return &collection_definitions;
}

/* ---------- helpers */

static int32 load_int32(const uint8 *p)
{
	return static_cast<int32>((static_cast<uint32>(p[0]) << 24) | (static_cast<uint32>(p[1]) << 16) |
		(static_cast<uint32>(p[2]) << 8) | static_cast<uint32>(p[3]));
}

static int16 load_int16(const uint8 *p)
{
	return static_cast<int16>((p[0] << 8) | p[1]);
}

static void range_error(const char *what, int64 value, int64 low, int64 high, const char *name)
{
	error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "%s #%d not in [#%d,#%d) for \"%s\" collection", what,
		static_cast<int>(value), static_cast<int>(low), static_cast<int>(high), name);
}

static void section_error(const char *what, const char *name)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "%s of \"%s\" collection is corrupt", what, name);
}

static void bitmap_error(const char *what, int32 bitmap_index, const char *name)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "%s of bitmap #%d in \"%s\" collection is corrupt", what,
		static_cast<int>(bitmap_index), name);
}

static void sequence_error(int32 sequence_index, const char *what, const char *name)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "sequence #%d in \"%s\" collection has %s",
		static_cast<int>(sequence_index), name, what);
}

static boolean is_run_length_stored_bitmap(const bitmap_data *bitmap)
{
	return (bitmap->flags & _bitmap_extended_encoding_flag) && bitmap->encoding == _16bit_565_encoding;
}

// The stored record's converted leading fields; the rest of it is never read.
static void read_stored_bitmap_header(const uint8 *stored, bitmap_data *bitmap)
{
	memset(bitmap, 0, sizeof(*bitmap));
	memcpy(bitmap, stored, 18);
	byte_swap_bitmap(bitmap);
}

kept_sequence_list kept_sequence_lists[MAXIMUM_COLLECTIONS_PER_MAP];
uint32 kept_sequence_lists_generation = 0;
uint32 collection_side_data_generation = 0;

static void free_side_data(collection_side_data *side)
{
	kept_sequence_lists[side - shapes_private->collections].count = 0;
	collection_side_data_generation += 1;
	if (side->shading_tables)
	{
		for (int32 i = 0; i < MAXIMUM_SHADING_TABLES_PER_COLLECTION; ++i) free_and_clear(&side->shading_tables[i]);
	}
	free_and_clear(&side->shading_tables);
	free_and_clear(&side->block);
	free_and_clear(&side->sequences);
	free_and_clear(&side->bitmaps);
	free_and_clear(&side->bitmap_headers);
	memset(side, 0, sizeof(*side));
}

// Inlined: animation asks through it for every unit's sequence every tick.
[[gnu::always_inline]] static inline collection_header *loaded_header(int16 collection_index)
{
	if (!shapes_private || collection_index < 0 || collection_index >= MAXIMUM_COLLECTIONS_PER_MAP) return NULL;
	if (!shapes_private->collections[collection_index].block) return NULL;
	if (collection_definitions.count < 0 || collection_index >= collection_definitions.count) return NULL;
	if (!(collection_definitions.flags[collection_index] & _definition_postprocessed_flag)) return NULL;
	return static_cast<collection_header *>(try_and_get_definition(&collection_definitions, collection_index));
}

// The side record of a loaded collection, built on first use; NULL when the
// index holds no collection.
static collection_side_data *get_collection_side(int16 collection_index)
{
	collection_header *header = loaded_header(collection_index);
	if (!header) return NULL;
	collection_side_data *side = &shapes_private->collections[collection_index];
	if (!side->built)
	{
		build_collection_pointers(collection_index);
		build_redundant_collection_data(collection_index);
		header->flags |= _collection_header_initialized_flag;
	}
	return side;
}

static const char *collection_name(int16 collection_index)
{
	return get_definition_name(&collection_definitions, collection_index);
}

/* ---------- life cycle */

void initialize_shapes(void)
{
	if (shapes_globals)
	{
		// Started again (tests): drop everything of the last start.
		if (shapes_private)
		{
			for (int32 i = 0; i < MAXIMUM_COLLECTIONS_PER_MAP; ++i) free_side_data(&shapes_private->collections[i]);
			for (int32 i = 0; i < MAXIMUM_FETCHED_COLLECTION_BLOCKS; ++i) free_and_clear(&shapes_private->fetched[i].block);
		}
		free_and_clear(&shapes_globals->transparency_tables);
		free_and_clear(&shapes_globals);
		free_and_clear(&shapes_private);
	}

	shapes_globals = static_cast<shapes_globals_data *>(new_pointer_z(sizeof(shapes_globals_data)));
	if (!shapes_globals)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for shapes_globals.",
			static_cast<int>(sizeof(shapes_globals_data)));
		return;
	}
	collection_side_data_generation += 1;
	shapes_private = static_cast<shapes_private_globals_data *>(new_pointer_z(sizeof(shapes_private_globals_data)));
	if (!shapes_private)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for shapes_globals.",
			static_cast<int>(sizeof(shapes_private_globals_data)));
		free_and_clear(&shapes_globals);
		return;
	}

	// The software format until a map chooses one.
	shapes_globals->bit_depth = _32bit;
	shapes_globals->encoding = _32bit_encoding;
	shapes_globals->shading_bits = 8;
	shapes_globals->shading_tables = 256;
	shapes_globals->shading_table_size = 1024;
	shapes_globals->lighting_shading_tables_size = 262144;
	shapes_globals->tinting_shading_tables_size = 8192;

	initialize_definitions(&collection_definitions);
	initialize_collection_references();

	const int32 size = NUMBER_OF_TRANSPARENCY_MODES * TRANSPARENCY_TABLE_SIZE;
	shapes_globals->transparency_tables = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(size)));
	if (!shapes_globals->transparency_tables)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for transparency tables",
			static_cast<int>(size));
	}
	else
	{
		build_transparency_table(_transparency_normal, shapes_globals->transparency_tables);
		build_transparency_table(_transparency_overlay, shapes_globals->transparency_tables + TRANSPARENCY_TABLE_SIZE);
	}
	shapes_globals->initialized = FALSE;
	shapes_globals->highres_active = FALSE;
}

void initialize_shapes_for_new_map(boolean is_main_menu)
{
	(void)is_main_menu;
	if (!shapes_globals) return;

	int16 bit_depth = shapes_globals->bit_depth;
	int16 encoding = shapes_globals->encoding;
	if (shapes_hooks.force_pixel_format)
	{
		bit_depth = shapes_hooks.forced_bit_depth;
		encoding = shapes_hooks.forced_encoding;
	}
	else if (active_screen.rasterizer_code != _rasterizer_software)
	{
		bit_depth = 0;
		get_bit_depth_and_encoding_hardware(&bit_depth, &encoding);
	}
	else
	{
		bit_depth = _32bit;
		encoding = _32bit_encoding;
	}

	if (bit_depth == _16bit)
	{
		shapes_globals->shading_bits = 6;
		shapes_globals->shading_tables = 64;
		shapes_globals->shading_table_size = 512;
		shapes_globals->lighting_shading_tables_size = 32768;
		shapes_globals->tinting_shading_tables_size = 4096;
	}
	else if (bit_depth == _32bit)
	{
		shapes_globals->shading_bits = 8;
		shapes_globals->shading_tables = 256;
		shapes_globals->shading_table_size = 1024;
		shapes_globals->lighting_shading_tables_size = 262144;
		shapes_globals->tinting_shading_tables_size = 8192;
	}
	if (bit_depth == _16bit || bit_depth == _32bit)
	{
		shapes_globals->bit_depth = bit_depth;
		shapes_globals->encoding = encoding;
	}

	initialize_definitions_for_new_map(&collection_definitions);
	initialize_collection_references_for_new_map();
	shapes_globals->initialized = TRUE;
}

void dispose_shapes_from_old_map(void)
{
	if (!shapes_globals || !shapes_globals->initialized) return;

	for (int32 i = 0; i < MAXIMUM_COLLECTIONS_PER_MAP; ++i) free_side_data(&shapes_private->collections[i]);
	for (int32 i = 0; i < MAXIMUM_FETCHED_COLLECTION_BLOCKS; ++i)
	{
		free_and_clear(&shapes_private->fetched[i].block);
		shapes_private->fetched[i].header = NULL;
	}
	dispose_definitions_from_old_map(&collection_definitions);
	dispose_collection_references_from_old_map();
	shapes_globals->initialized = FALSE;
}

/* ---------- loading */

boolean collection_header_version_convert(definition_globals *, int32, int16 stored_version,
	const void *stored_definition, void *definition)
{
	const collection_header *stored = static_cast<const collection_header *>(stored_definition);
	// Versions 1 and 3 (colour maps only) share the current layout.
	if (stored_version == 1 ||
		(stored_version == 3 && (stored->user_data_flags & _collection_is_color_map_flag)))
	{
		if (definition != stored_definition) memmove(definition, stored_definition, sizeof(collection_header));
		return TRUE;
	}
	return FALSE;
}

boolean load_collection_header_data(int32 tag_handle, collection_header *header, boolean readahead)
{
	if (!shapes_private || !header) return FALSE;

	const char *name = tag_file_name_get(tag_handle);
	const int64 tag_size = tag_file_get_header_data_size(tag_handle);
	if (header->data_offset < 0 || header->data_offset > tag_size)
	{
		range_error("data offset", header->data_offset, 0, tag_size + 1, name);
		return FALSE;
	}
	if (header->data_size < 0 || header->data_size > tag_size - header->data_offset)
	{
		range_error("data size", header->data_size, 0, tag_size - header->data_offset + 1, name);
		return FALSE;
	}

	int32 slot = NONE;
	for (int32 i = 0; i < MAXIMUM_FETCHED_COLLECTION_BLOCKS; ++i)
	{
		if (shapes_private->fetched[i].header == header) free_and_clear(&shapes_private->fetched[i].block);
		if (slot == NONE && !shapes_private->fetched[i].block) slot = i;
	}
	if (slot == NONE) return FALSE;

	uint8 *block = static_cast<uint8 *>(new_pointer(static_cast<size_t>(MAX(header->data_size, 1))));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s collection.",
			static_cast<int>(header->data_size), name);
		return FALSE;
	}
	const boolean read = readahead ?
		tag_file_read_ahead(tag_handle, header->data_offset, header->data_size, block) :
		tag_file_read(tag_handle, header->data_offset, header->data_size, block);
	if (!read)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "failed to bootstrap %s collection.", name);
		dispose_pointer(block);
		return FALSE;
	}
	shapes_private->fetched[slot].header = header;
	shapes_private->fetched[slot].block = block;
	return TRUE;
}

static uint8 *take_fetched_block(const collection_header *header)
{
	for (int32 i = 0; i < MAXIMUM_FETCHED_COLLECTION_BLOCKS; ++i)
	{
		if (shapes_private->fetched[i].header == header && shapes_private->fetched[i].block)
		{
			uint8 *block = shapes_private->fetched[i].block;
			shapes_private->fetched[i].block = NULL;
			shapes_private->fetched[i].header = NULL;
			return block;
		}
	}
	return NULL;
}

// One region of the block that loading converts in place.
struct swapped_region
{
	int64 start, end;
	int32 kind; // a section, or one of the two below
	int32 index;
};

enum
{
	_swapped_region_sequence = NUMBER_OF_COLLECTION_SECTIONS,
	_swapped_region_bitmap
};

static int compare_swapped_regions(const void *a, const void *b)
{
	const swapped_region *ra = static_cast<const swapped_region *>(a);
	const swapped_region *rb = static_cast<const swapped_region *>(b);
	if (ra->start != rb->start) return ra->start < rb->start ? -1 : 1;
	if (ra->kind != rb->kind) return ra->kind < rb->kind ? -1 : 1;
	return ra->index - rb->index;
}

struct collection_section_rule
{
	const char *name;
	int32 record_size;
	boolean swapped;
};

static const collection_section_rule collection_section_rules[NUMBER_OF_COLLECTION_SECTIONS] =
{
	{"color table", static_cast<int32>(sizeof(color_table)), TRUE},
	{"hue change", static_cast<int32>(sizeof(hue_change)), TRUE},
	{"bitmap reference", static_cast<int32>(sizeof(bitmap_reference)), TRUE},
	{"bitmap instance", static_cast<int32>(sizeof(bitmap_instance_data)), TRUE},
	{"sequence reference", static_cast<int32>(sizeof(sequence_reference)), TRUE},
	{"shadow map", static_cast<int32>(sizeof(shadow_map_data)), TRUE},
	{"blend table", 1, FALSE},
	{"remapping table", 1, FALSE}
};

static const int32 *section_fields(const collection_header *header, int32 section)
{
	return reinterpret_cast<const int32 *>(reinterpret_cast<const uint8 *>(header) + COLLECTION_SECTION(section));
}

// Walks a true-colour run-length stream: TRUE when it yields width x height
// pixels within length bytes (a last run that passes the end is cut).
static boolean run_length_stream_is_complete(const uint8 *stream, int64 length, int64 pixel_total)
{
	int64 position = 0, produced = 0;
	uint8 previous_header = 0;
	while (produced < pixel_total)
	{
		// Run state.
		if (position >= length) return FALSE;
		const int32 count = stream[position++];
		if ((previous_header & 31) == 31)
		{
			const int64 taken = MIN(static_cast<int64>(count), pixel_total - produced);
			if (position + 3 * taken > length) return FALSE;
			position += 3 * count;
		}
		produced += count;
		if (produced >= pixel_total) break;

		// Literal state.
		for (;;)
		{
			if (position >= length) return FALSE;
			const uint8 header = stream[position++];
			const int32 alpha = header & 31;
			if (alpha != 0)
			{
				if (position + 3 > length) return FALSE;
				position += 3;
			}
			produced += 1;
			if (alpha == 0 || alpha == 31)
			{
				previous_header = header;
				break;
			}
			if (produced >= pixel_total) break;
		}
	}
	return TRUE;
}

// Every offset, count and index of the block, before anything is trusted.
static boolean validate_collection_block(collection_header *header, uint8 *block, const char *name)
{
	const int64 data_size = header->data_size;

	// Sections.
	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		const collection_section_rule *rule = &collection_section_rules[section];
		const int32 *fields = section_fields(header, section);
		const int64 count = fields[0], offset = fields[1], size = fields[2];
		char what[64];

		snprintf(what, sizeof(what), "%s count", rule->name);
		if (count < 0)
		{
			range_error(what, count, 0, size / rule->record_size + 1, name);
			return FALSE;
		}
		snprintf(what, sizeof(what), "%s offset", rule->name);
		if (offset < 0 || offset > data_size)
		{
			range_error(what, offset, 0, data_size + 1, name);
			return FALSE;
		}
		if (offset & 3)
		{
			section_error(what, name);
			return FALSE;
		}
		snprintf(what, sizeof(what), "%s size", rule->name);
		if (size < count * rule->record_size || size > data_size - offset)
		{
			range_error(what, size, count * rule->record_size, data_size - offset + 1, name);
			return FALSE;
		}
	}
	if (header->color_table_count < 1)
	{
		range_error("color table count", header->color_table_count, 1, header->color_tables_size / 2080 + 1, name);
		return FALSE;
	}
	{
		const int32 color_count = load_int32(block + header->color_tables_offset);
		if (color_count < 0 || color_count > MAXIMUM_COLOR_TABLE_COLORS)
		{
			range_error("color count", color_count, 0, MAXIMUM_COLOR_TABLE_COLORS + 1, name);
			return FALSE;
		}
	}
	if (header->blend_table_count != 0 && header->blend_table_size < 65536)
	{
		range_error("blend table size", header->blend_table_size, 65536, data_size - header->blend_table_offset + 1, name);
		return FALSE;
	}

	const int32 bitmap_count = header->bitmap_count;
	const int32 instance_count = header->bitmap_instance_count;
	const int32 shadow_map_count = header->shadow_map_count;

	// Names end within their field.
	for (int32 i = 0; i < header->hue_change_count; ++i)
	{
		block[header->hue_changes_offset + i * 128 + COLLECTION_NAME_LENGTH - 1] = 0;
	}
	for (int32 i = 0; i < bitmap_count; ++i)
	{
		block[header->bitmap_references_offset + i * 128 + COLLECTION_NAME_LENGTH - 1] = 0;
	}
	for (int32 i = 0; i < header->sequence_count; ++i)
	{
		block[header->sequence_references_offset + i * 128 + COLLECTION_NAME_LENGTH - 1] = 0;
	}

	// Bitmap indexes of instances and shadow maps.
	for (int32 i = 0; i < instance_count; ++i)
	{
		const uint8 *instance = block + header->bitmap_instances_offset + i * 64;
		const int16 lowres = load_int16(instance + 28);
		const int16 highres = load_int16(instance + 30);
		if (lowres < NONE || lowres >= bitmap_count)
		{
			range_error("bitmap", lowres, NONE, bitmap_count, name);
			return FALSE;
		}
		if (highres < NONE || highres >= bitmap_count)
		{
			range_error("high-resolution bitmap", highres, NONE, bitmap_count, name);
			return FALSE;
		}
	}
	for (int32 i = 0; i < shadow_map_count; ++i)
	{
		const int16 index = load_int16(block + header->shadow_maps_offset + i * 32 + 12);
		if (index < NONE || index >= bitmap_count)
		{
			range_error("shadow bitmap", index, NONE, bitmap_count, name);
			return FALSE;
		}
	}

	swapped_region *regions = static_cast<swapped_region *>(new_pointer(sizeof(swapped_region) *
		static_cast<size_t>(NUMBER_OF_COLLECTION_SECTIONS + header->sequence_count + bitmap_count)));
	if (!regions)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s collection.",
			static_cast<int>(sizeof(swapped_region) * static_cast<size_t>(NUMBER_OF_COLLECTION_SECTIONS +
				header->sequence_count + bitmap_count)), name);
		return FALSE;
	}
	int32 region_count = 0;
	boolean valid = TRUE;

	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		const collection_section_rule *rule = &collection_section_rules[section];
		const int32 *fields = section_fields(header, section);
		// Only the first colour table is converted.
		const int64 count = section == _collection_section_color_tables ? 1 : fields[0];
		if (!rule->swapped || count * rule->record_size == 0) continue;
		regions[region_count++] = {fields[1], fields[1] + count * rule->record_size, section, 0};
	}

	// Sequences.
	for (int32 i = 0; valid && i < header->sequence_count; ++i)
	{
		const uint8 *reference = block + header->sequence_references_offset + i * 128;
		const int64 offset = load_int32(reference + 64);
		const int64 size = load_int32(reference + 68);
		if (offset < 0 || (offset & 3) || size < static_cast<int64>(sizeof(sequence_data)) || offset > data_size ||
			size > data_size - offset)
		{
			sequence_error(i, "a bad offset or size", name);
			valid = FALSE;
			break;
		}
		const uint8 *sequence = block + offset;
		const int64 frames = load_int16(sequence + 10);
		const int64 views = load_int16(sequence + 8);
		const int64 key_frame = load_int16(sequence + 14);
		const int64 loop_frame = load_int16(sequence + 16);
		if (frames < 0 || views < 0)
		{
			sequence_error(i, "a negative frame or view count", name);
			valid = FALSE;
			break;
		}
		if (frames >= 1 && views < 1)
		{
			sequence_error(i, "frames but no views", name);
			valid = FALSE;
			break;
		}
		const int64 extent = static_cast<int64>(sizeof(sequence_data)) + frames * SEQUENCE_FRAME_SIZE(views);
		if (extent > size)
		{
			sequence_error(i, "more frames than its size holds", name);
			valid = FALSE;
			break;
		}
		// NONE is a key frame never reached, or no loop frame; readers allow for it.
		const int64 frame_limit = MAX(frames, static_cast<int64>(1));
		if (key_frame < NONE || key_frame >= frame_limit)
		{
			sequence_error(i, "a key frame outside its frames", name);
			valid = FALSE;
			break;
		}
		if (loop_frame < NONE || loop_frame >= frame_limit)
		{
			sequence_error(i, "a loop frame outside its frames", name);
			valid = FALSE;
			break;
		}
		for (int64 f = 0; valid && f < frames; ++f)
		{
			const uint8 *frame = sequence + sizeof(sequence_data) + f * SEQUENCE_FRAME_SIZE(views);
			const int16 shadow_map_index = load_int16(frame);
			if (shadow_map_index < NONE || shadow_map_index >= shadow_map_count)
			{
				range_error("shadow map", shadow_map_index, NONE, shadow_map_count, name);
				valid = FALSE;
				break;
			}
			for (int64 v = 0; v < views; ++v)
			{
				const int16 instance_index = load_int16(frame + sizeof(sequence_frame_data) + 2 * v);
				if (instance_index < 0 || instance_index >= instance_count)
				{
					range_error("bitmap instance", instance_index, 0, instance_count, name);
					valid = FALSE;
					break;
				}
			}
		}
		if (valid) regions[region_count++] = {offset, offset + extent, _swapped_region_sequence, i};
	}

	// Bitmaps.
	for (int32 i = 0; valid && i < bitmap_count; ++i)
	{
		const uint8 *reference = block + header->bitmap_references_offset + i * 128;
		const int64 offset = load_int32(reference + 64);
		const int64 size = load_int32(reference + 68);
		if (offset < 0 || (offset & 3) || offset > data_size)
		{
			bitmap_error("offset", i, name);
			valid = FALSE;
			break;
		}
		if (size < STORED_BITMAP_HEADER_SIZE || size > data_size - offset)
		{
			bitmap_error("size", i, name);
			valid = FALSE;
			break;
		}

		bitmap_data bitmap;
		read_stored_bitmap_header(block + offset, &bitmap);
		if (bitmap.width < 0 || bitmap.height < 0)
		{
			bitmap_error(bitmap.width < 0 ? "width" : "height", i, name);
			valid = FALSE;
			break;
		}
		const int64 header_size = sizeof_stored_bitmap(bitmap.height, bitmap.flags);
		char fault[64];
		if (header_size > size)
		{
			bitmap_error("row table", i, name);
			valid = FALSE;
			break;
		}
		if (!check_stored_bitmap(&bitmap, block + offset + header_size, static_cast<int32>(size - header_size), fault,
			static_cast<int32>(sizeof(fault))))
		{
			bitmap_error(fault, i, name);
			valid = FALSE;
			break;
		}
		if (is_run_length_stored_bitmap(&bitmap))
		{
			if (!(bitmap.flags & _no_row_address_table_flag) || bitmap.logical_bit_depth != _16bit ||
				(bitmap.flags & _1bit_transparency_encoded_flag))
			{
				bitmap_error("run-length flags", i, name);
				valid = FALSE;
				break;
			}
			if (!run_length_stream_is_complete(block + offset + STORED_BITMAP_HEADER_SIZE,
				size - STORED_BITMAP_HEADER_SIZE, static_cast<int64>(bitmap.width) * bitmap.height))
			{
				bitmap_error("run-length stream", i, name);
				valid = FALSE;
				break;
			}
		}
		regions[region_count++] = {offset, offset + size, _swapped_region_bitmap, i};
	}

	// Nothing converted in place may be converted twice.
	if (valid)
	{
		qsort_private(regions, region_count, sizeof(swapped_region), compare_swapped_regions);
		for (int32 i = 1; i < region_count; ++i)
		{
			const swapped_region *region = &regions[i];
			if (region->start >= regions[i - 1].end) continue;

			valid = FALSE;
			if (region->kind == _swapped_region_sequence) sequence_error(region->index, "an overlapping offset", name);
			else if (region->kind == _swapped_region_bitmap) bitmap_error("offset", region->index, name);
			else
			{
				char what[64];
				snprintf(what, sizeof(what), "%s offset", collection_section_rules[region->kind].name);
				section_error(what, name);
			}
			break;
		}
	}
	dispose_pointer(regions);
	return valid;
}

// Room for the native pointers and bitmap headers, so that building cannot fail.
static boolean allocate_collection_pointers(collection_side_data *side, const collection_header *header,
	const char *name)
{
	const size_t sequence_bytes = sizeof(sequence_data *) * static_cast<size_t>(MAX(header->sequence_count, 1));
	const size_t bitmap_bytes = sizeof(bitmap_data *) * static_cast<size_t>(MAX(header->bitmap_count, 1));
	size_t header_bytes = 0;
	for (int32 i = 0; i < header->bitmap_count; ++i)
	{
		const uint8 *stored = side->block + load_int32(side->block + header->bitmap_references_offset + i * 128 + 64);
		bitmap_data bitmap;
		read_stored_bitmap_header(stored, &bitmap);
		const size_t size = static_cast<size_t>(sizeof_bitmap(bitmap.height, bitmap.flags));
		header_bytes += (size + alignof(bitmap_data) - 1) & ~(alignof(bitmap_data) - 1);
	}

	side->sequences = static_cast<sequence_data **>(new_pointer_z(sequence_bytes));
	side->bitmaps = static_cast<bitmap_data **>(new_pointer_z(bitmap_bytes));
	side->bitmap_headers = static_cast<uint8 *>(new_pointer_z(MAX(header_bytes, static_cast<size_t>(1))));
	if (!side->sequences || !side->bitmaps || !side->bitmap_headers)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s collection.",
			static_cast<int>(sequence_bytes + bitmap_bytes + header_bytes), name);
		return FALSE;
	}

	uint8 *next = side->bitmap_headers;
	for (int32 i = 0; i < header->bitmap_count; ++i)
	{
		const uint8 *stored = side->block + load_int32(side->block + header->bitmap_references_offset + i * 128 + 64);
		bitmap_data bitmap;
		read_stored_bitmap_header(stored, &bitmap);
		const size_t size = static_cast<size_t>(sizeof_bitmap(bitmap.height, bitmap.flags));
		side->bitmaps[i] = reinterpret_cast<bitmap_data *>(next);
		next += (size + alignof(bitmap_data) - 1) & ~(alignof(bitmap_data) - 1);
	}
	return TRUE;
}

boolean postprocess_collection_header(definition_globals *definitions, int16 definition_index, int32 tag_handle,
	void *definition)
{
	collection_header *header = static_cast<collection_header *>(definition);
	if (!shapes_private || definition_index < 0 || definition_index >= MAXIMUM_COLLECTIONS_PER_MAP) return FALSE;

	collection_side_data *side = &shapes_private->collections[definition_index];
	const char *name = tag_file_name_get(tag_handle);
	free_side_data(side);

	// Run-time fields never come from the file.
	header->flags = 0;
	header->shading_table_count = 0;
	header->shading_table_pointers = 0;
	header->data = 0;
	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		reinterpret_cast<uint32 *>(reinterpret_cast<uint8 *>(header) + COLLECTION_SECTION(section))[3] = 0;
	}

	uint8 *block = NULL;
	const boolean fetched = definitions && definitions->flags &&
		(definitions->flags[definition_index] & _definition_fetched_flag);
	if (fetched) block = take_fetched_block(header);
	if (!block)
	{
		if (!load_collection_header_data(tag_handle, header, FALSE)) return FALSE;
		block = take_fetched_block(header);
		if (!block) return FALSE;
	}
	side->block = block;
	side->block_size = header->data_size;

	side->shading_tables = static_cast<void **>(new_pointer_z(sizeof(void *) * MAXIMUM_SHADING_TABLES_PER_COLLECTION));
	if (!side->shading_tables)
	{
		free_side_data(side);
		return FALSE;
	}

	if (header->bitmap_count > MAXIMUM_BITMAPS_PER_COLLECTION)
	{
		error_message(_error_out_of_bounds, MODULE_NAME, __LINE__,
			"bitmap count (%d) exceeds MAXIMUM_BITMAPS_PER_COLLECTION (%d) for \"%s\" collection",
			static_cast<int>(header->bitmap_count), MAXIMUM_BITMAPS_PER_COLLECTION, name);
		free_side_data(side);
		return FALSE;
	}
	if (header->sequence_count > MAXIMUM_SEQUENCES_PER_COLLECTION)
	{
		error_message(_error_out_of_bounds, MODULE_NAME, __LINE__,
			"sequence count (%d) exceeds MAXIMUM_SEQUENCES_PER_COLLECTION (%d) for \"%s\" collection",
			static_cast<int>(header->sequence_count), MAXIMUM_SEQUENCES_PER_COLLECTION, name);
		free_side_data(side);
		return FALSE;
	}

	if (!validate_collection_block(header, block, name) || !allocate_collection_pointers(side, header, name))
	{
		free_side_data(side);
		return FALSE;
	}
	return TRUE;
}

static int16 resolve_sequence_sound(file_tag sound_tag)
{
	if (shapes_hooks.resolve_sequence_sound) return shapes_hooks.resolve_sequence_sound(sound_tag);
	// No sound definitions are loaded: every sound tag is missing.
	return NONE;
}

boolean build_collection_pointers(int16 collection_index)
{
	collection_header *header = loaded_header(collection_index);
	if (!header) return FALSE;
	collection_side_data *side = &shapes_private->collections[collection_index];
	if (side->built) return TRUE;

	uint8 *data = side->block;
	side->colors = reinterpret_cast<color_table *>(data + header->color_tables_offset);
	side->hue_changes = reinterpret_cast<hue_change *>(data + header->hue_changes_offset);
	side->bitmap_references = reinterpret_cast<bitmap_reference *>(data + header->bitmap_references_offset);
	side->bitmap_instances = reinterpret_cast<bitmap_instance_data *>(data + header->bitmap_instances_offset);
	side->sequence_references = reinterpret_cast<sequence_reference *>(data + header->sequence_references_offset);
	side->shadow_maps = reinterpret_cast<shadow_map_data *>(data + header->shadow_maps_offset);
	side->blend_table = header->blend_table_count ? data + header->blend_table_offset : NULL;
	side->remapping_table = header->remapping_table_count ? data + header->remapping_table_offset : NULL;

	byte_swap_color_table(side->colors);
	byte_swap_data("hue changes", side->hue_changes, sizeof(hue_change), header->hue_change_count,
		hue_change_byte_swapping_data);
	byte_swap_data("sequence references", side->sequence_references, sizeof(sequence_reference),
		header->sequence_count, sequence_reference_byte_swapping_data);
	byte_swap_data("bitmap instances", side->bitmap_instances, sizeof(bitmap_instance_data),
		header->bitmap_instance_count, bitmap_instance_byte_swapping_data);
	byte_swap_data("bitmap references", side->bitmap_references, sizeof(bitmap_reference), header->bitmap_count,
		bitmap_reference_byte_swapping_data);
	byte_swap_data("shadow maps", side->shadow_maps, sizeof(shadow_map_data), header->shadow_map_count,
		shadow_map_byte_swapping_data);

	const char *name = collection_name(collection_index);
	for (int32 i = 0; i < header->sequence_count; ++i)
	{
		sequence_reference *reference = &side->sequence_references[i];
		sequence_data *sequence = reinterpret_cast<sequence_data *>(data + reference->offset);
		side->sequences[i] = sequence;
		reference->sequence = 0;

		byte_swap_data("sequence", sequence, sizeof(sequence_data), 1, sequence_data_byte_swapping_data);
		uint8 *frame = reinterpret_cast<uint8 *>(sequence) + sizeof(sequence_data);
		for (int32 f = 0; f < sequence->frames_per_view; ++f)
		{
			byte_swap_data("sequence frame", frame, sizeof(sequence_frame_data), 1, sequence_frame_byte_swapping_data);
			byte_swap_memory("sequence frame views", frame + sizeof(sequence_frame_data), sequence->number_of_views,
				_2byte);
			frame += SEQUENCE_FRAME_SIZE(sequence->number_of_views);
		}
		strnlwr(reference->name, COLLECTION_NAME_LENGTH - 1);

		for (int32 s = 0; s < NUMBER_OF_SEQUENCE_SOUNDS; ++s)
		{
			const file_tag sound_tag = sequence->sound_tags[s];
			sequence->sound_indexes[s] = NONE;
			if (sound_tag == static_cast<file_tag>(NONE)) continue;
			sequence->sound_indexes[s] = resolve_sequence_sound(sound_tag);
			if (sequence->sound_indexes[s] == NONE)
			{
				error_message(_error_data_missing, MODULE_NAME, __LINE__, "failed to load sequence sound %s:%s:'%s'", name,
					reference->name, tag_to_string(sound_tag));
			}
		}
	}

	for (int32 i = 0; i < header->bitmap_count; ++i)
	{
		bitmap_reference *reference = &side->bitmap_references[i];
		uint8 *stored = data + reference->offset;
		bitmap_data *bitmap = side->bitmaps[i];

		strnlwr(reference->name, COLLECTION_NAME_LENGTH - 1);
		reference->bitmap = 0;
		for (int32 k = 0; k < MAXIMUM_NUMBER_OF_SHADED_BITMAP_REFERENCES; ++k) reference->shaded_hardware_addresses[k] = NONE;
		reference->dirty = 0;
		reference->disk_cache_index = NONE;
		reference->base_address = 0;
		reference->hardware_format = 0;
		reference->hardware_address = 0;
		reference->hardware_texture_cache_index = NONE;
		reference->pad = 0;

		read_stored_bitmap_header(stored, bitmap);
		bitmap->row_addresses[0] = stored + sizeof_stored_bitmap(bitmap->height, bitmap->flags);
		byte_swap_bitmap_pixels(bitmap);
		precalculate_bitmap_row_addresses(bitmap);
		postprocess_extracted_bitmap(bitmap);
	}

	if (!(header->user_data_flags & _collection_is_color_map_flag))
	{
		rgb_color *color = &side->colors->colors[0];
		color->red = color->green = color->blue = 0;
	}
	side->built = TRUE;
	collection_side_data_generation += 1;
	return TRUE;
}

void build_redundant_collection_data(int16 collection_index)
{
	collection_header *header = loaded_header(collection_index);
	if (!header) return;
	collection_side_data *side = &shapes_private->collections[collection_index];
	if (!side->built) return;

	const boolean first_build = !(header->flags & _collection_header_initialized_flag);
	const boolean highres_active = shapes_globals->highres_active;
	const boolean wide_mean = game_play_version > 1709;
	const char *name = collection_name(collection_index);

	// Instances no sequence shows also get their run-time index.
	if (first_build)
	{
		for (int32 i = 0; i < header->bitmap_instance_count; ++i)
		{
			side->bitmap_instances[i].lowres_bitmap_index = side->bitmap_instances[i].bitmap_index;
		}
	}

	for (int32 sequence_index = 0; sequence_index < header->sequence_count; ++sequence_index)
	{
		sequence_data *sequence = side->sequences[sequence_index];
		const int64 scale = static_cast<int64>(sequence->pixels_to_world) * PIXELS_TO_WORLD_MULTIPLIER;
		const int32 views = sequence->number_of_views;
		const int32 displayed_views = number_of_displayed_views_in_sequence(sequence->number_of_views);
		const boolean mirroring = (sequence->flags & _sequence_uses_mirroring_flag) != 0;

		if (mirroring && (sequence->flags & _sequence_has_no_rotation_flag))
		{
			sequence->flags &= ~static_cast<uint32>(_sequence_has_no_rotation_flag);
			debug_printf("%s: sequence #%d had mirroring and no rotation flags set.", name, sequence_index);
		}

		sequence->world_radius = static_cast<int16>((static_cast<int64>(sequence->radius >> 16) * scale) >> 16);
		sequence->world_height0 = static_cast<int16>((static_cast<int64>(sequence->height0 >> 16) * scale) >> 16);
		sequence->world_height1 = static_cast<int16>((static_cast<int64>(sequence->height1 >> 16) * scale) >> 16);

		uint8 *frame_address = reinterpret_cast<uint8 *>(sequence) + sizeof(sequence_data);
		for (int32 f = 0; f < sequence->frames_per_view; ++f, frame_address += SEQUENCE_FRAME_SIZE(views))
		{
			sequence_frame_data *frame = reinterpret_cast<sequence_frame_data *>(frame_address);
			const int16 *instance_indexes = reinterpret_cast<const int16 *>(frame_address + sizeof(sequence_frame_data));
			int64 minimum_dx = 0, maximum_dx = 0, first_dx = 0, sum_dy = 0;

			for (int32 v = 0; v < views; ++v)
			{
				bitmap_instance_data *instance = &side->bitmap_instances[instance_indexes[v]];
				boolean mirrored = FALSE;

				if (first_build) instance->lowres_bitmap_index = instance->bitmap_index;
				if (v >= displayed_views && mirroring)
				{
					const bitmap_instance_data *source =
						&side->bitmap_instances[instance_indexes[mirror_sequence_view(sequence->number_of_views,
							static_cast<int16>(v))]];
					if (source != instance) memcpy(instance, source, sizeof(*instance));
					instance->flags ^= _bitmap_instance_mirror_horizontal_flag;
					mirrored = TRUE;
				}

				const boolean highres = highres_active && (instance->flags & _bitmap_instance_highres_flag);
				const int16 bitmap_index = highres ? instance->highres_bitmap_index : instance->lowres_bitmap_index;
				const int64 k = highres ? static_cast<int64>(instance->highres_pixels_to_world) : scale;
				const point2d point = highres ? instance->highres_registration_point : instance->registration_point;
				instance->bitmap_index = bitmap_index;

				if (bitmap_index != NONE)
				{
					const bitmap_data *bitmap = side->bitmaps[bitmap_index];
					const int64 width = bitmap->width, height = bitmap->height;
					const int64 rx = point.x, ry = point.y;

					instance->world_top = static_cast<int16>((ry * k) >> 16);
					instance->world_bottom = static_cast<int16>(-(((height - ry) * k) >> 16));
					if (!mirrored)
					{
						instance->world_left = static_cast<int16>(-((rx * k) >> 16));
						instance->world_right = static_cast<int16>(((width - rx) * k) >> 16);
					}
					else
					{
						instance->key_point.x = static_cast<int16>(width - instance->key_point.x);
						instance->world_left = static_cast<int16>(-(((width - rx) * k) >> 16));
						instance->world_right = static_cast<int16>((rx * k) >> 16);
					}
				}

				const int64 dx = instance->key_point.x - instance->registration_point.x;
				const int64 dy = instance->key_point.y - instance->registration_point.y;
				if (v == 0)
				{
					minimum_dx = maximum_dx = first_dx = dx;
				}
				else
				{
					minimum_dx = MIN(minimum_dx, dx);
					maximum_dx = MAX(maximum_dx, dx);
				}
				sum_dy += dy;
			}

			// Views were checked at load: a sequence with frames has at least one.
			const int64 y = (first_dx * scale) >> 16;
			const int64 half_span = (((maximum_dx * scale) >> 16) - ((minimum_dx * scale) >> 16)) / 2;
			// Both reach 2^35 at extreme scales: squares that would pass 64 bits
			// are decided before they are taken (the result is pinned anyway).
			const int64 span_magnitude = half_span < 0 ? -half_span : half_span;
			const int64 y_magnitude = y < 0 ? -y : y;
			int64 square;
			if (y_magnitude >= span_magnitude) square = 0;
			else if (span_magnitude > (static_cast<int64>(1) << 31)) square = UINT32_MAX;
			else square = span_magnitude * span_magnitude - y_magnitude * y_magnitude;
			const int64 x = isqrt(static_cast<uint32>(PIN(square, static_cast<int64>(0), static_cast<int64>(UINT32_MAX))));
			int64 mean;
			if (wide_mean)
			{
				// scale x sum_dy can pass 64 bits: split the sum by the views
				// (quotient and remainder share its sign, so truncation agrees).
				const int64 quotient = sum_dy / views, remainder = sum_dy % views;
				mean = (scale * quotient + (scale * remainder) / views) >> 16;
			}
			else
			{
				// Older rules took the product in 32 bits, wrapping.
				const int32 product = static_cast<int32>(static_cast<uint32>(scale) * static_cast<uint32>(sum_dy));
				mean = (product / views) >> 16;
			}
			frame->key_point.x = static_cast<int16>(x);
			frame->key_point.y = static_cast<int16>(y);
			frame->key_point.z = static_cast<int16>(-mean);
		}
	}
}

/* ---------- collections */

int16 get_collection_index(file_tag collection_tag)
{
	if (!shapes_globals || collection_definitions.count < 0 || collection_tag == static_cast<file_tag>(NONE)) return NONE;
	const int16 collection_index = definition_tag_to_index(&collection_definitions, collection_tag);
	if (collection_index == NONE) return NONE;
	return get_collection_side(collection_index) ? collection_index : NONE;
}

int16 try_and_get_collection_index(file_tag collection_tag)
{
	if (!shapes_globals || collection_definitions.count < 0 || collection_tag == static_cast<file_tag>(NONE)) return NONE;
	if (subgroup_tag_to_definition_index(&collection_definitions, collection_tag) == NONE &&
		!tag_file_exists(COLLECTION_GROUP_TAG, collection_tag))
	{
		return NONE;
	}
	return get_collection_index(collection_tag);
}

void delete_collection(int16 collection_index)
{
	if (!loaded_header(collection_index)) return;
	// Freed whether or not the definition could be removed.
	free_side_data(&shapes_private->collections[collection_index]);
	delete_definition(&collection_definitions, collection_index);
	collection_definitions.flags[collection_index] = 0;
	definitions_generation += 1;
}

const char *get_collection_name(int16 collection_index)
{
	return collection_name(collection_index);
}

int16 get_collection_bitmap_count(int16 collection_index)
{
	const collection_header *header = loaded_header(collection_index);
	return header ? static_cast<int16>(header->bitmap_count) : 0;
}

int16 get_collection_sequence_count(int16 collection_index)
{
	const collection_header *header = loaded_header(collection_index);
	return header ? static_cast<int16>(header->sequence_count) : 0;
}

color_table *get_color_table(int16 collection_index, int16)
{
	collection_side_data *side = get_collection_side(collection_index);
	return side ? side->colors : NULL;
}

collection_header *get_collection_header(int16 collection_index)
{
	return get_collection_side(collection_index) ? loaded_header(collection_index) : NULL;
}

hue_change *get_collection_hue_changes(int16 collection_index, int16 *count)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (count) *count = 0;
	if (!side) return NULL;
	const int32 hue_change_count = loaded_header(collection_index)->hue_change_count;
	if (count) *count = static_cast<int16>(MIN(hue_change_count, MAXIMUM_HUE_CHANGES_PER_COLLECTION));
	return side->hue_changes;
}

void **get_collection_shading_table_pointers(int16 collection_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	return side ? side->shading_tables : NULL;
}

/* ---------- bitmaps */

static uint8 *row_address(const bitmap_data *bitmap, int32 y)
{
	if (bitmap->flags & _no_row_address_table_flag)
	{
		return bitmap->row_addresses[0] + static_cast<intptr_t>(y) * bitmap->bytes_per_row;
	}
	return bitmap->row_addresses[y];
}

// Stamps the bitmap on its first fetch; a scanned 8-bit picture holding index
// 0 is then drawn with colour 0 transparent. Wider pixels are never scanned: a
// zero byte inside a 16- or 32-bit colour is no transparent index.
static void touch_bitmap(bitmap_data *bitmap, int16 collection_index, int16 bitmap_index, boolean scan)
{
	if (bitmap->flags & _bitmap_in_collection_flag) return;
	bitmap->flags |= _bitmap_in_collection_flag;
	bitmap->collection_index = collection_index;
	bitmap->bitmap_index = bitmap_index;

	const int32 transparency_flags =
		_bitmap_color_key_transparency_flag | _1bit_transparency_encoded_flag | _4bit_transparency_encoded_flag;
	if (!scan || (bitmap->flags & transparency_flags) || bitmap->logical_bit_depth != _8bit) return;
	for (int32 y = 0; y < bitmap->height; ++y)
	{
		if (memchr(row_address(bitmap, y), 0, static_cast<size_t>(bitmap->width)))
		{
			bitmap->flags |= _bitmap_color_key_transparency_flag;
			return;
		}
	}
}

static bitmap_data *collection_bitmap(int16 collection_index, int16 bitmap_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || bitmap_index < 0 || bitmap_index >= loaded_header(collection_index)->bitmap_count) return NULL;
	return side->bitmaps[bitmap_index];
}

bitmap_data *get_bitmap(int16 collection_index, int16 bitmap_index)
{
	bitmap_data *bitmap = collection_bitmap(collection_index, bitmap_index);
	if (bitmap) touch_bitmap(bitmap, collection_index, bitmap_index, TRUE);
	return bitmap;
}

void preload_bitmap(int16 collection_index, int16 bitmap_index, boolean, boolean *had_to_purge)
{
	// Nothing is ever purged.
	if (had_to_purge) *had_to_purge = FALSE;
	// Only bitmaps of encoding 0 are scanned on this path.
	bitmap_data *bitmap = collection_bitmap(collection_index, bitmap_index);
	if (bitmap) touch_bitmap(bitmap, collection_index, bitmap_index, bitmap->encoding == 0);
}

bitmap_reference *get_bitmap_reference(int16 collection_index, int16 bitmap_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || bitmap_index < 0 || bitmap_index >= loaded_header(collection_index)->bitmap_count) return NULL;
	return &side->bitmap_references[bitmap_index];
}

bitmap_instance_data *get_bitmap_instance(int16 collection_index, int16 bitmap_instance_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || bitmap_instance_index < 0 ||
		bitmap_instance_index >= loaded_header(collection_index)->bitmap_instance_count)
	{
		return NULL;
	}
	return &side->bitmap_instances[bitmap_instance_index];
}

shadow_map_data *get_shadow_map(int16 collection_index, int16 shadow_map_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || shadow_map_index < 0 || shadow_map_index >= loaded_header(collection_index)->shadow_map_count)
	{
		return NULL;
	}
	return &side->shadow_maps[shadow_map_index];
}

/* ---------- sequences */

// Out of range falls back to sequence 0; NONE for a collection without sequences.
[[gnu::always_inline]] static inline int16 plain_sequence_index(int16 collection_index, int16 sequence_index)
{
	// One header check: animation asks for a sequence on every unit's every tick.
	const collection_header *header = loaded_header(collection_index);
	if (!header) return NONE;
	if (!shapes_private->collections[collection_index].built) get_collection_side(collection_index);
	const int32 count = header->sequence_count;
	if (count < 1) return NONE;
	return sequence_index >= 0 && sequence_index < count ? sequence_index : 0;
}

sequence_reference *get_sequence_reference(int16 collection_index, int16 sequence_index)
{
	const int16 index = plain_sequence_index(collection_index, sequence_index);
	if (index == NONE) return NULL;
	return &shapes_private->collections[collection_index].sequence_references[index];
}

sequence_data *get_sequence_checked(int16 collection_index, int16 sequence_index)
{
	const int16 index = plain_sequence_index(collection_index, sequence_index);
	if (index == NONE) return NULL;
	sequence_data *sequence = shapes_private->collections[collection_index].sequences[index];

	// Kept from the state as it is now: building the collection may have loaded
	// other definitions.
	if (kept_sequence_lists_generation != definitions_generation)
	{
		for (kept_sequence_list &list : kept_sequence_lists) list.count = 0;
		kept_sequence_lists_generation = definitions_generation;
	}
	const collection_header *header = loaded_header(collection_index);
	const collection_side_data *side = &shapes_private->collections[collection_index];
	if (header && side->built && header->sequence_count > 0)
	{
		kept_sequence_lists[collection_index] = {side->sequences, header->sequence_count};
	}
	return sequence;
}

const char *get_sequence_name(int16 collection_index, int16 sequence_index)
{
	const sequence_reference *reference = get_sequence_reference(collection_index, sequence_index);
	return reference ? reference->name : NULL;
}

sequence_frame_data *get_sequence_frame(sequence_data *sequence, int16 collection_index, int16 sequence_index,
	int16 frame_index)
{
	if (!sequence) sequence = get_sequence(collection_index, sequence_index);
	if (!sequence || sequence->frames_per_view < 1) return NULL;
	if (frame_index < 0 || frame_index >= sequence->frames_per_view) frame_index = 0;
	return reinterpret_cast<sequence_frame_data *>(reinterpret_cast<uint8 *>(sequence) + sizeof(sequence_data) +
		frame_index * SEQUENCE_FRAME_SIZE(sequence->number_of_views));
}

static void sequence_range_error(int16 collection_index, int32 sequence_index, int32 count)
{
	error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "sequence #%d not in [#0,#%d) for \"%s\" collection",
		static_cast<int>(sequence_index), static_cast<int>(count), collection_name(collection_index));
}

int16 get_sequence_bitmap_index(int16 collection_index, int16 sequence_index, int16 view, int16 bitmap_index,
	point2d *registration_point, point2d *key_point)
{
	if (collection_index == NONE || sequence_index == NONE) return NONE;
	collection_side_data *side = get_collection_side(collection_index);
	if (!side) return NONE;
	const collection_header *header = loaded_header(collection_index);
	if (sequence_index < 0 || sequence_index >= header->sequence_count)
	{
		sequence_range_error(collection_index, sequence_index, header->sequence_count);
		return NONE;
	}

	const sequence_data *sequence = side->sequences[sequence_index];
	const int32 frames = sequence->frames_per_view;
	const int32 views = sequence->number_of_views;
	if (frames < 1 || views < 1) return NONE;

	int32 frame, view_index;
	if (view == NONE)
	{
		const int32 n = bitmap_index % (frames * views);
		view_index = n / frames;
		frame = n % frames;
	}
	else
	{
		frame = bitmap_index % frames;
		view_index = view % views;
	}
	if (frame < 0 || frame >= frames || view_index < 0 || view_index >= views) return NONE;

	const uint8 *frame_address = reinterpret_cast<const uint8 *>(sequence) + sizeof(sequence_data) +
		frame * SEQUENCE_FRAME_SIZE(views);
	const int16 instance_index = reinterpret_cast<const int16 *>(frame_address + sizeof(sequence_frame_data))[view_index];
	const bitmap_instance_data *instance = &side->bitmap_instances[instance_index];
	if (registration_point) *registration_point = instance->registration_point;
	if (key_point) *key_point = instance->key_point;
	return instance->bitmap_index;
}

bitmap_data *get_sequence_bitmap(int16 collection_index, int16 sequence_index, int16 view, int16 bitmap_index,
	point2d *registration_point, point2d *key_point)
{
	const int16 index =
		get_sequence_bitmap_index(collection_index, sequence_index, view, bitmap_index, registration_point, key_point);
	return index == NONE ? NULL : get_bitmap(collection_index, index);
}

int32 count_sequence_bitmaps(int16 collection_index, int16 sequence_index, int16 mode)
{
	if (!get_collection_side(collection_index) || sequence_index < 0 ||
		sequence_index >= loaded_header(collection_index)->sequence_count)
	{
		return 0;
	}
	const sequence_data *sequence = shapes_private->collections[collection_index].sequences[sequence_index];
	switch (mode)
	{
	case _count_sequence_bitmaps: return static_cast<int32>(sequence->number_of_views) * sequence->frames_per_view;
	case _count_sequence_frames: return sequence->frames_per_view;
	case _count_sequence_views: return sequence->number_of_views;
	default: return 0;
	}
}

boolean verify_sequence_index(int16 collection_index, int16 sequence_index)
{
	if (collection_index == NONE || !get_collection_side(collection_index)) return FALSE;
	const int32 count = loaded_header(collection_index)->sequence_count;
	if (sequence_index == NONE || (sequence_index >= 0 && sequence_index < count)) return TRUE;
	sequence_range_error(collection_index, sequence_index, count);
	return FALSE;
}

boolean verify_bitmap_index(int16 collection_index, int16 bitmap_index)
{
	if (!get_collection_side(collection_index)) return FALSE;
	const int32 count = loaded_header(collection_index)->bitmap_count;
	if (bitmap_index >= 0 && bitmap_index < count) return TRUE;
	error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "bitmap #%d not in [#0,#%d) for \"%s\" collection",
		static_cast<int>(bitmap_index), static_cast<int>(count), collection_name(collection_index));
	return FALSE;
}

void preload_sequence_index(int16 collection_index, int16 sequence_index, boolean *had_to_purge)
{
	if (had_to_purge) *had_to_purge = FALSE;
	const int32 count = count_sequence_bitmaps(collection_index, sequence_index, _count_sequence_bitmaps);
	for (int32 n = 0; n < count; ++n)
	{
		const int16 bitmap_index =
			get_sequence_bitmap_index(collection_index, sequence_index, NONE, static_cast<int16>(n), NULL, NULL);
		if (bitmap_index == NONE) continue;
		preload_bitmap(collection_index, bitmap_index, FALSE, had_to_purge);
		if (had_to_purge && *had_to_purge) break;
	}
}

void equalize_sequence_collision_rectangles(int16 collection_index, int16 primary_sequence_index,
	int16 secondary_sequence_index)
{
	if (!get_collection_side(collection_index)) return;
	const int32 count = loaded_header(collection_index)->sequence_count;
	if (primary_sequence_index < 0 || primary_sequence_index >= count || secondary_sequence_index < 0 ||
		secondary_sequence_index >= count)
	{
		return;
	}
	const sequence_data *primary = shapes_private->collections[collection_index].sequences[primary_sequence_index];
	sequence_data *secondary = shapes_private->collections[collection_index].sequences[secondary_sequence_index];
	secondary->radius = primary->radius;
	secondary->height0 = primary->height0;
	secondary->height1 = primary->height1;
	secondary->world_radius = primary->world_radius;
	secondary->world_height0 = primary->world_height0;
	secondary->world_height1 = primary->world_height1;
}

int16 get_named_bitmap_index(int16 collection_index, const char *name)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || !name) return NONE;
	const int32 count = loaded_header(collection_index)->bitmap_count;
	for (int32 i = 0; i < count; ++i)
	{
		if (!cseries::strncasecmp(side->bitmap_references[i].name, name, COLLECTION_NAME_LENGTH)) return static_cast<int16>(i);
	}
	return NONE;
}

int16 get_named_sequence_index(int16 collection_index, const char *name)
{
	collection_side_data *side = get_collection_side(collection_index);
	if (!side || !name) return NONE;
	const int32 count = loaded_header(collection_index)->sequence_count;
	for (int32 i = 0; i < count; ++i)
	{
		if (!cseries::strncasecmp(side->sequence_references[i].name, name, COLLECTION_NAME_LENGTH)) return static_cast<int16>(i);
	}
	return NONE;
}

void get_rgb_color_from_sequence(int16 collection_index, int16 sequence_index, int16 color_index, rgb_color *color)
{
	if (!color) return;
	*color = white;

	const bitmap_data *bitmap = get_sequence_bitmap(collection_index, sequence_index, 0, 0, NULL, NULL);
	const color_table *colors = get_color_table(collection_index, 0);
	if (!bitmap || !colors || color_index < 0 || color_index >= bitmap->width || bitmap->height < 1) return;
	// Only plain pixels sit at their column.
	if (bitmap->flags & _1bit_transparency_encoded_flag) return;

	const uint8 *row = row_address(bitmap, 0);
	int32 index;
	if (bitmap->logical_bit_depth == _8bit) index = row[color_index];
	else if (bitmap->logical_bit_depth == _16bit && !is_run_length_stored_bitmap(bitmap)) index = row[2 * color_index];
	else return;
	*color = colors->colors[index];
}

/* ---------- tables and other calls */

void *get_transparency_table(int16 transparency_mode)
{
	if (!shapes_globals || !shapes_globals->transparency_tables) return NULL;
	if (transparency_mode < 0 || transparency_mode >= NUMBER_OF_TRANSPARENCY_MODES) return NULL;
	return shapes_globals->transparency_tables + transparency_mode * TRANSPARENCY_TABLE_SIZE;
}

void *get_blend_table(int16 collection_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	return side ? side->blend_table : NULL;
}

void *get_remapping_table(int16 collection_index)
{
	collection_side_data *side = get_collection_side(collection_index);
	return side ? side->remapping_table : NULL;
}

int16 get_shapes_encoding(void)
{
	return shapes_globals ? shapes_globals->encoding : static_cast<int16>(_32bit_encoding);
}

bitmap_data *get_submesh_bitmap(int16 collection_index, int16 bitmap_index)
{
	const collection_header *header = loaded_header(collection_index);
	if (!header || !(header->user_data_flags & _collection_is_color_map_flag)) return NULL;
	return collection_bitmap(collection_index, bitmap_index);
}

uint8 *get_submesh_bitmap_base_address(int16 collection_index, int16 bitmap_index, boolean write_enable)
{
	bitmap_data *bitmap = get_submesh_bitmap(collection_index, bitmap_index);
	if (!bitmap) return NULL;
	if (write_enable) bitmap->flags |= _bitmap_changed_flag;
	return bitmap->row_addresses[0];
}

void toggle_highres_sprites(void)
{
	if (!shapes_globals) return;
	shapes_globals->highres_active = !shapes_globals->highres_active;
	for (int16 i = 0; i < MAXIMUM_COLLECTIONS_PER_MAP; ++i)
	{
		if (loaded_header(i) && shapes_private->collections[i].built) build_redundant_collection_data(i);
	}
}

void *get_shapes_bitmap_cache(void)
{
	return NULL;
}

void *get_shapes_submesh_cache(void)
{
	return NULL;
}

void preload_submesh_cache(void)
{
}

void debug_shapes_memory_usage(file_tag mesh_tag)
{
	FILE *file = fopen("shapes memory dump", "a");
	if (!file) return;

	const int32 mesh_handle = tag_file_open(TAG("mesh"), mesh_tag);
	fprintf(file, "%s\n\n", mesh_handle != NONE ? tag_file_name_get(mesh_handle) : tag_to_string(mesh_tag));
	int32 total_tables = 0;
	int64 total_size = 0;
	for (int16 i = 0; i < MAXIMUM_COLLECTIONS_PER_MAP; ++i)
	{
		const collection_header *header = loaded_header(i);
		if (!header) continue;
		fprintf(file, "%50s % 2d % 8d\n", collection_name(i), static_cast<int>(header->shading_table_count),
			static_cast<int>(header->data_size));
		total_tables += header->shading_table_count;
		total_size += header->data_size;
	}
	fprintf(file, "%50s % 2d % 8d\n\n", "", static_cast<int>(total_tables), static_cast<int>(total_size));
	fclose(file);
}

// Bytes of the bitmap's pixels as they lie from its first row.
static int64 bitmap_pixel_bytes(const bitmap_data *bitmap)
{
	if (bitmap->flags & _1bit_transparency_encoded_flag)
	{
		int64 total = 0;
		const uint8 *row = bitmap->row_addresses[0];
		for (int32 y = 0; y < bitmap->height; ++y)
		{
			int16 counts[2];
			memcpy(counts, row + total, sizeof(counts));
			total += row_span_row_size(counts[0], counts[1], bitmap->pixel_upshift, bitmap->flags);
		}
		return total;
	}
	return static_cast<int64>(bitmap->height) * bitmap->bytes_per_row;
}

boolean write_bitmap_to_collection(int16 collection_index, int16 bitmap_index, const bitmap_data *bitmap)
{
	const collection_header *header = loaded_header(collection_index);
	const bitmap_data *own = collection_bitmap(collection_index, bitmap_index);
	if (!header || !own || !bitmap) return FALSE;

	const char *name = collection_name(collection_index);
	const int32 geometry_flags = _1bit_transparency_encoded_flag | _no_row_address_table_flag |
		_word_aligned_encoding_flag | _bitmap_extended_encoding_flag;
	// Only a bitmap laid out like the stored one fits its place.
	if (bitmap->width != own->width || bitmap->height != own->height || bitmap->bytes_per_row != own->bytes_per_row ||
		bitmap->pixel_upshift != own->pixel_upshift || bitmap->logical_bit_depth != own->logical_bit_depth ||
		(bitmap->flags & geometry_flags) != (own->flags & geometry_flags) ||
		(is_run_length_stored_bitmap(own) && bitmap != own))
	{
		bitmap_error("layout of the written copy", bitmap_index, name);
		return FALSE;
	}

	const bitmap_reference *reference = &shapes_private->collections[collection_index].bitmap_references[bitmap_index];
	const int32 size = reference->size;
	const int32 header_size = sizeof_stored_bitmap(bitmap->height, bitmap->flags);
	const int64 pixel_bytes = MIN(static_cast<int64>(size - header_size), bitmap_pixel_bytes(bitmap));

	uint8 *buffer = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(size)));
	bitmap_data *copy = static_cast<bitmap_data *>(new_pointer_z(static_cast<size_t>(sizeof_bitmap(bitmap->height, bitmap->flags))));
	if (!buffer || !copy)
	{
		dispose_pointer(buffer);
		dispose_pointer(copy);
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s collection.",
			static_cast<int>(size), name);
		return FALSE;
	}

	// The live bitmap stays as it is: a copy is turned to stored order.
	memcpy(buffer, bitmap, BITMAP_HEADER_FIXED_SIZE);
	byte_swap_data("bitmap data", buffer, STORED_BITMAP_HEADER_SIZE, 1, bitmap_data_byte_swapping_data);
	if (pixel_bytes > 0) memcpy(buffer + header_size, bitmap->row_addresses[0], static_cast<size_t>(pixel_bytes));
	memcpy(copy, bitmap, BITMAP_HEADER_FIXED_SIZE);
	copy->row_addresses[0] = buffer + header_size;
	byte_swap_bitmap_pixels_out(copy);
	dispose_pointer(copy);

	int32 tag_handle = get_definition_tag_header(&collection_definitions, collection_index);
	const boolean written = tag_handle != NONE &&
		tag_file_write(&tag_handle, header->data_offset + reference->offset, size, buffer);
	dispose_pointer(buffer);
	if (!written)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write bitmap #%d of %s collection.",
			static_cast<int>(bitmap_index), name);
		return FALSE;
	}
	collection_definitions.tag_handles[collection_index] = tag_handle;
	return TRUE;
}

/* ---------- the preload-list writer */

// A bitmap noted for preloading; nothing notes any yet.
struct noted_preload_bitmap
{
	file_tag collection_tag;
	int32 bitmap_index;
	uint32 unused[4];
};
STORED_SIZE(noted_preload_bitmap, 24);

struct bitmap_preload_data
{
	file_tag collection_tag;
	int16 bitmap_index;
	int16 pad;
};
STORED_SIZE(bitmap_preload_data, 8);

static constexpr byte_swap_code bitmap_preload_data_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(bitmap_preload_data_byte_swapping_data) == sizeof(bitmap_preload_data));

static int compare_noted_preload_bitmaps(const void *a, const void *b)
{
	const uint32 *pa = static_cast<const uint32 *>(a);
	const uint32 *pb = static_cast<const uint32 *>(b);
	if (pa[0] != pb[0]) return pa[0] < pb[0] ? -1 : 1;
	if (pa[1] != pb[1]) return pa[1] < pb[1] ? -1 : 1;
	return 0;
}

void report_preloaded_bitmaps(file_tag mesh_tag, file_tag preload_tag)
{
	noted_preload_bitmap noted[1];
	const int32 noted_count = 0;
	qsort_private(noted, noted_count, sizeof(noted_preload_bitmap), compare_noted_preload_bitmaps);

	int32 tag_handle = tag_file_open(PRELOAD_DEFINITION_GROUP_TAG, preload_tag);
	if (tag_handle == NONE) return;

	const char *mesh_name = tag_to_string(mesh_tag);
	preload_definition definition;
	if (!tag_file_read(tag_handle, 0, sizeof(definition), &definition))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read header for preload data for map %s",
			mesh_name);
		return;
	}
	byte_swap_data("preload definition", &definition, sizeof(definition), 1, preload_definition_byte_swapping_data);

	const int64 tag_size = tag_file_get_header_data_size(tag_handle);
	const int64 list_end = static_cast<int64>(definition.preload_data_offset) + definition.preload_data_size;
	if (definition.preload_data_offset < static_cast<int32>(sizeof(definition)) || definition.preload_data_size < 0 ||
		list_end > tag_size)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"preload data at #%d (#%d bytes) lies outside the preload tag of map %s",
			static_cast<int>(definition.preload_data_offset), static_cast<int>(definition.preload_data_size), mesh_name);
		return;
	}

	const int32 record_bytes = noted_count * static_cast<int32>(sizeof(bitmap_preload_data));
	bitmap_preload_data *records = NULL;
	if (noted_count > 0)
	{
		records = static_cast<bitmap_preload_data *>(new_pointer(static_cast<size_t>(record_bytes)));
		if (!records)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for preloading data to save",
				static_cast<int>(record_bytes));
			return;
		}
		for (int32 i = 0; i < noted_count; ++i)
		{
			records[i].collection_tag = noted[i].collection_tag;
			records[i].bitmap_index = static_cast<int16>(noted[i].bitmap_index);
			records[i].pad = 0;
		}
		byte_swap_data("bitmap preload data", records, sizeof(bitmap_preload_data), noted_count,
			bitmap_preload_data_byte_swapping_data);
	}

	definition.bitmap_preload_data_count = noted_count;
	definition.bitmap_preload_data_offset = static_cast<int32>(list_end);
	definition.bitmap_preload_data_size = record_bytes;
	byte_swap_data("preload definition", &definition, sizeof(definition), 1, preload_definition_byte_swapping_data);
	if (!tag_file_write(&tag_handle, 0, sizeof(definition), &definition))
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write preload definition for map %s",
			mesh_name);
		dispose_pointer(records);
		return;
	}
	// An empty list has no bytes to write.
	if (records && !tag_file_write(&tag_handle, static_cast<int32>(list_end), record_bytes, records))
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write bitmap preload data for map %s",
			mesh_name);
	}
	dispose_pointer(records);
}
