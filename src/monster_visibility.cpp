// Fog of war: sight circles precomputed once as 2-bit bitmaps, stamped by the
// scanned units into a back buffer that becomes the front buffer every 64
// ticks, with everything ever seen kept in a permanent buffer.
#include "monster_visibility.h"

#include <cstring>

#include "crc.h"
#include "error_manager.h"
#include "markers.h"
#include "memory.h"
#include "mesh.h"
#include "objects.h"
#include "players.h"
#include "zerv.h"

uint32 *visibility_front_buffer = nullptr;
uint32 *visibility_permanent_buffer = nullptr;

visibility_globals_data visibility_globals = {};

visibility_type_data visibility_types[NUMBER_OF_VISIBILITY_BITMAPS] = {
	{20, 22, NONE}, // nearsighted
	{26, 28, NONE}, // farsighted
	{10, 12, NONE}, // submerged
	{36, 38, NONE}, // 20/20
};

static uint8 *visibility_bitmap_block = nullptr;
static int32 visibility_bitmap_block_size = 0;
// Without limited visibility a swap opens the whole back buffer (every bit
// set): a stamp ORed into it changes nothing until the next swap.
static boolean back_buffer_is_open = FALSE;
static monster_visibility_test_hooks_data visibility_test_hooks = {};

// The stamps ORed into the back buffer since it last changed otherwise (a
// swap, new buffers, new bitmaps): a stamp ORs fixed bits, so the same kind at
// the same cell again adds nothing. Kind and cell in one key; a slot holds a
// key of this generation only.
#define STAMP_MEMO_SLOTS 1024
#define STAMP_MEMO_LIMIT (STAMP_MEMO_SLOTS / 2)
struct stamp_memo_data
{
	uint32 generation; // never 0, the cleared slots' value
	int32 count;
	uint32 keys[STAMP_MEMO_SLOTS];
	uint32 generations[STAMP_MEMO_SLOTS];
};
static stamp_memo_data stamp_memo = {1, 0, {}, {}};
static_assert(NUMBER_OF_VISIBILITY_BITMAPS <= 8, "a kind takes three bits of the key");

static void forget_stamps(void)
{
	stamp_memo.count = 0;
	if (++stamp_memo.generation == 0)
	{
		memset(stamp_memo.generations, 0, sizeof(stamp_memo.generations));
		stamp_memo.generation = 1;
	}
}

// Whether the stamp was noted since the back buffer last changed; notes it when not.
static bool stamp_already_made(int16 kind, int32 x0, int32 y0)
{
	if (static_cast<uint32>(x0) >= (1u << 14) || static_cast<uint32>(y0) >= (1u << 14)) return false;
	const uint32 key = (static_cast<uint32>(kind) << 28) | (static_cast<uint32>(x0) << 14) | static_cast<uint32>(y0);
	uint32 slot = (key * 2654435761u) >> 22;
	static_assert(STAMP_MEMO_SLOTS == 1 << 10, "the slot is the hash's top 10 bits");
	while (stamp_memo.generations[slot] == stamp_memo.generation)
	{
		if (stamp_memo.keys[slot] == key) return true;
		slot = (slot + 1) & (STAMP_MEMO_SLOTS - 1);
	}
	if (stamp_memo.count < STAMP_MEMO_LIMIT)
	{
		stamp_memo.count += 1;
		stamp_memo.generations[slot] = stamp_memo.generation;
		stamp_memo.keys[slot] = key;
	}
	return false;
}

/* ---------- bitmaps */

static int32 isqrt32(int32 n)
{
	if (n <= 0) return 0;
	int32 root = 0;
	while ((root + 1) * (root + 1) <= n) ++root;
	return root;
}

static int32 row_words(int16 width)
{
	return (width + 15) / 16 + 1;
}

static int32 bitmap_bytes(int16 radius)
{
	const int32 diameter = 2 * radius + 1;
	int32 size = static_cast<int32>(sizeof(visibility_bitmap)) + diameter * 4;
	for (int32 dy = -radius; dy <= radius; ++dy)
	{
		const int32 w = MIN(isqrt32((radius + 1) * (radius + 1) - dy * dy), static_cast<int32>(radius));
		size += static_cast<int32>(sizeof(visibility_bitmap_row)) + row_words(static_cast<int16>(2 * w + 1)) * 4;
	}
	return size;
}

static void build_visibility_bitmap(uint8 *block, int32 offset, int16 inner, int16 outer)
{
	visibility_bitmap *bitmap = reinterpret_cast<visibility_bitmap *>(block + offset);
	bitmap->radius = outer;
	bitmap->diameter = static_cast<int16>(2 * outer + 1);
	int32 *row_offsets = reinterpret_cast<int32 *>(bitmap + 1);
	int32 next = offset + static_cast<int32>(sizeof(visibility_bitmap)) + bitmap->diameter * 4;
	for (int32 dy = -outer; dy <= outer; ++dy)
	{
		const int32 w = MIN(isqrt32((outer + 1) * (outer + 1) - dy * dy), static_cast<int32>(outer));
		const int32 wi = ((dy < 0 ? -dy : dy) < inner) ? MIN(isqrt32((inner + 1) * (inner + 1) - dy * dy), static_cast<int32>(inner)) : 0;
		visibility_bitmap_row *row = reinterpret_cast<visibility_bitmap_row *>(block + next);
		row->horizontal_origin = static_cast<int16>(outer - w);
		row->width = static_cast<int16>(2 * w + 1);
		uint32 *data = reinterpret_cast<uint32 *>(row + 1);
		memset(data, 0, static_cast<size_t>(row_words(row->width)) * 4);
		for (int32 x = -w; x <= w; ++x)
		{
			const uint32 value = (wi > 0 && (x < 0 ? -x : x) <= wi) ? 3u : 1u;
			const int32 k = x + w;
			data[k >> 4] |= value << ((k & 15) * 2);
		}
		row_offsets[dy + outer] = next;
		next += static_cast<int32>(sizeof(visibility_bitmap_row)) + row_words(row->width) * 4;
	}
}

/* ---------- rows shifted to every cell of a word */

// A stamp wholly on the mesh ORs each row's words as they fall in the buffer:
// every row is kept shifted to each of the 16 cells of a word, so the stamp
// needs no shifts and no spill tests. Built with the bitmaps; without it the
// stamp shifts as it goes.
struct shifted_row_entry
{
	int32 first_word; // in the words
	int16 words; // the row's width from this shift on, in words
	int16 origin; // the row's horizontal origin (the same for every shift)
};
struct shifted_rows_data
{
	uint8 *block; // Σ 16 × diameter entries, then the words
	const shifted_row_entry *entries;
	const uint32 *words;
	int32 first_entry[NUMBER_OF_VISIBILITY_BITMAPS]; // kind's entries: [row × 16 + shift]
};
static shifted_rows_data shifted_rows = {};

// Words a row of width cells covers from cell shift of its first word.
static inline int32 shifted_row_words(int32 shift, int32 width)
{
	return (shift + width + 15) >> 4;
}

static void dispose_shifted_rows(void)
{
	dispose_pointer(shifted_rows.block);
	shifted_rows = {};
}

static void build_shifted_rows(void)
{
	dispose_shifted_rows();
	int32 entries = 0, words = 0;
	for (int16 kind = 0; kind < NUMBER_OF_VISIBILITY_BITMAPS; ++kind)
	{
		const visibility_bitmap *bitmap = get_visibility_bitmap(kind);
		if (!bitmap) return;
		entries += 16 * bitmap->diameter;
		for (int16 i = 0; i < bitmap->diameter; ++i)
		{
			const visibility_bitmap_row *row = get_visibility_bitmap_row(bitmap, i);
			for (int32 shift = 0; shift < 16; ++shift) words += shifted_row_words(shift, row->width);
		}
	}
	uint8 *block = static_cast<uint8 *>(new_pointer(static_cast<size_t>(entries) * sizeof(shifted_row_entry) +
		static_cast<size_t>(words) * 4));
	if (!block) return;
	shifted_row_entry *entry_table = reinterpret_cast<shifted_row_entry *>(block);
	uint32 *word_table = reinterpret_cast<uint32 *>(entry_table + entries);
	int32 next_entry = 0, next_word = 0;
	for (int16 kind = 0; kind < NUMBER_OF_VISIBILITY_BITMAPS; ++kind)
	{
		const visibility_bitmap *bitmap = get_visibility_bitmap(kind);
		shifted_rows.first_entry[kind] = next_entry;
		for (int16 i = 0; i < bitmap->diameter; ++i)
		{
			const visibility_bitmap_row *row = get_visibility_bitmap_row(bitmap, i);
			const uint32 *data = reinterpret_cast<const uint32 *>(row + 1);
			for (int32 shift = 0; shift < 16; ++shift)
			{
				const int32 n = shifted_row_words(shift, row->width);
				entry_table[next_entry++] = {next_word, static_cast<int16>(n), row->horizontal_origin};
				// n ≤ (width + 15) / 16 + 1: data[j] is the row's word or its trailing 0.
				for (int32 j = 0; j < n; ++j)
				{
					const uint64 pair = (static_cast<uint64>(data[j]) << 32) | (j > 0 ? data[j - 1] : 0u);
					word_table[next_word++] = static_cast<uint32>((pair << (shift * 2)) >> 32);
				}
			}
		}
	}
	shifted_rows.block = block;
	shifted_rows.entries = entry_table;
	shifted_rows.words = word_table;
}

static void dispose_visibility_bitmaps(void)
{
	dispose_shifted_rows();
	dispose_pointer(visibility_bitmap_block);
	visibility_bitmap_block = nullptr;
	visibility_bitmap_block_size = 0;
	for (visibility_type_data &type : visibility_types) type.bitmap_offset = NONE;
}

static void build_visibility_bitmaps(void)
{
	forget_stamps();
	dispose_visibility_bitmaps();
	int32 size = 0;
	for (const visibility_type_data &type : visibility_types) size += bitmap_bytes(type.outer_radius);
	if (size > MAXIMUM_VISIBILITY_BITMAP_BUFFER_SIZE || visibility_test_hooks.fail_bitmap_block) return;
	visibility_bitmap_block = static_cast<uint8 *>(new_pointer_z(static_cast<size_t>(size)));
	if (!visibility_bitmap_block) return;
	visibility_bitmap_block_size = size;
	int32 offset = 0;
	for (visibility_type_data &type : visibility_types)
	{
		type.bitmap_offset = offset;
		build_visibility_bitmap(visibility_bitmap_block, offset, type.inner_radius, type.outer_radius);
		offset += bitmap_bytes(type.outer_radius);
	}
	build_shifted_rows();
}

const visibility_bitmap *get_visibility_bitmap(int16 kind)
{
	if (kind < 0 || kind >= NUMBER_OF_VISIBILITY_BITMAPS || !visibility_bitmap_block) return nullptr;
	if (visibility_types[kind].bitmap_offset == NONE) return nullptr;
	return reinterpret_cast<const visibility_bitmap *>(visibility_bitmap_block + visibility_types[kind].bitmap_offset);
}

const visibility_bitmap_row *get_visibility_bitmap_row(const visibility_bitmap *bitmap, int16 row)
{
	if (!bitmap || row < 0 || row >= bitmap->diameter) return nullptr;
	const int32 *row_offsets = reinterpret_cast<const int32 *>(bitmap + 1);
	return reinterpret_cast<const visibility_bitmap_row *>(visibility_bitmap_block + row_offsets[row]);
}

int16 get_visibility_bitmap_cell(const visibility_bitmap_row *row, int16 k)
{
	if (!row || k < 0 || k >= row->width) return 0;
	const uint32 *data = reinterpret_cast<const uint32 *>(row + 1);
	return static_cast<int16>((data[k >> 4] >> ((k & 15) * 2)) & 3);
}

int32 get_visibility_bitmap_block_size(void)
{
	return visibility_bitmap_block_size;
}

/* ---------- life cycle */

static void free_visibility_buffers(void)
{
	dispose_pointer(visibility_globals.back_buffer);
	dispose_pointer(visibility_globals.front_buffer);
	dispose_pointer(visibility_globals.permanent_buffer);
	visibility_globals.back_buffer = visibility_globals.front_buffer = visibility_globals.permanent_buffer = nullptr;
	visibility_front_buffer = visibility_permanent_buffer = nullptr;
	back_buffer_is_open = FALSE;
	forget_stamps();
}

void initialize_monster_visibility(void)
{
	// Start-up may run again in one process (tests): the block is rebuilt.
	free_visibility_buffers();
	visibility_globals = {};
	build_visibility_bitmaps();
}

void dispose_monster_visibility_from_old_map(void)
{
	free_visibility_buffers();
	visibility_globals.initialized = FALSE;
}

void initialize_monster_visibility_for_new_map(void)
{
	free_visibility_buffers();
	visibility_globals = {};
	if (!mesh_globals || !mesh_globals->mesh_cells) return;
	const int32 cells = mesh_globals->mesh_width * mesh_globals->mesh_height;
	// Whole words: a row of the mesh is mesh width / 16 words.
	const int32 size = ((cells + 15) / 16) * 4;
	visibility_globals.buffer_size = size;
	visibility_globals.back_buffer = static_cast<uint32 *>(new_pointer_z(static_cast<size_t>(size)));
	if (!visibility_globals.back_buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes for back visibility buffer", static_cast<int>(size));
		return;
	}
	visibility_globals.front_buffer = static_cast<uint32 *>(new_pointer_z(static_cast<size_t>(size)));
	if (!visibility_globals.front_buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes for front visibility buffer", static_cast<int>(size));
		free_visibility_buffers();
		return;
	}
	visibility_globals.permanent_buffer = static_cast<uint32 *>(new_pointer_z(static_cast<size_t>(size)));
	if (!visibility_globals.permanent_buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes for permanent visibility buffer",
			static_cast<int>(size));
		free_visibility_buffers();
		return;
	}
	visibility_front_buffer = visibility_globals.front_buffer;
	visibility_permanent_buffer = visibility_globals.permanent_buffer;
	visibility_globals.initialized = TRUE;
}

/* ---------- stamping */

int16 get_cell_visibility(int32 cell_x, int32 cell_y)
{
	if (!visibility_front_buffer || !mesh_globals || !mesh_globals->mesh_cells) return 3;
	if (cell_x < 0 || cell_y < 0 || cell_x >= mesh_globals->mesh_width || cell_y >= mesh_globals->mesh_height) return 0;
	const int32 index = cell_y * mesh_globals->mesh_width + cell_x;
	return static_cast<int16>((visibility_front_buffer[index >> 4] >> ((index & 15) * 2)) & 3);
}

void rasterize_visibility_bitmap(int16 kind, int32 x0, int32 y0)
{
	if (!visibility_globals.initialized || !mesh_globals || !mesh_globals->mesh_cells) return;
	if (kind < 0 || kind >= NUMBER_OF_VISIBILITY_BITMAPS) return;
	const visibility_bitmap *bitmap = get_visibility_bitmap(kind);
	if (!bitmap)
	{
		// The block could not be built: nothing to stamp with.
		if (visibility_test_hooks.refused_stamps++ == 0)
		{
			log_message(MODULE_NAME, __LINE__, "no visibility bitmaps: units stamp nothing");
		}
		return;
	}
	visibility_globals.cumulative_x0 += x0;
	visibility_globals.cumulative_y0 += y0;
	visibility_globals.number_of_visibility_bitmaps_rasterized += 1;

	const int32 mesh_width = mesh_globals->mesh_width;
	const int32 mesh_height = mesh_globals->mesh_height;
	const int32 radius = bitmap->radius;
	uint32 *back = visibility_globals.back_buffer;
	if (back_buffer_is_open || stamp_already_made(kind, x0, y0)) return;
	if (shifted_rows.block && x0 - radius >= 0 && x0 + radius < mesh_width)
	{
		// Every row lies on the mesh across (a row spans x0 - w .. x0 + w, w ≤ R):
		// the rows on the mesh's height OR their pre-shifted words.
		const int32 first_row = MAX(0, radius - y0);
		const int32 end_row = MIN(static_cast<int32>(bitmap->diameter), mesh_height - y0 + radius);
		const shifted_row_entry *row_entries = shifted_rows.entries + shifted_rows.first_entry[kind] + first_row * 16;
		// The cell of the bitmap's left edge on each row.
		int32 row_cell = (y0 - radius + first_row) * mesh_width + x0 - radius;
		for (int32 i = first_row; i < end_row; ++i, row_entries += 16, row_cell += mesh_width)
		{
			const int32 cell = row_cell + row_entries->origin;
			const shifted_row_entry *entry = row_entries + (cell & 15);
			uint32 *destination = back + (cell >> 4);
			const uint32 *source = shifted_rows.words + entry->first_word;
			const int32 n = entry->words;
			int32 j = 0;
			for (; j + 2 <= n; j += 2)
			{
				// Two words at a time (the same bits ORed in the same places).
				uint64 to, from;
				memcpy(&to, destination + j, sizeof(to));
				memcpy(&from, source + j, sizeof(from));
				to |= from;
				memcpy(destination + j, &to, sizeof(to));
			}
			if (j < n) destination[j] |= source[j];
		}
		return;
	}
	for (int16 i = 0; i < bitmap->diameter; ++i)
	{
		const int32 mesh_row = y0 - radius + i;
		if (mesh_row < 0 || mesh_row >= mesh_height) continue;
		const visibility_bitmap_row *row = get_visibility_bitmap_row(bitmap, i);
		const uint32 *data = reinterpret_cast<const uint32 *>(row + 1);
		const int32 first_column = x0 - radius + row->horizontal_origin;
		const int32 k_start = MAX(0, -first_column);
		const int32 k_end = MIN(static_cast<int32>(row->width), mesh_width - first_column);
		const int32 row_base = mesh_row * mesh_width;
		if (k_start == 0 && k_end == row->width)
		{
			// The whole row lies on the mesh: whole source words, shifted once.
			// Cells past the row's width are 0, so a spill that is not 0 stays in the row.
			const int32 cell = row_base + first_column;
			uint32 *destination = back + (cell >> 4);
			const int32 shift = (cell & 15) * 2;
			const int32 words = (row->width + 15) >> 4;
			if (shift == 0)
			{
				for (int32 j = 0; j < words; ++j) destination[j] |= data[j];
			}
			else
			{
				// Word j + 1 holds cells of the row while source word j + 1 does.
				int32 j = 0;
				for (; j < words - 1; ++j)
				{
					destination[j] |= data[j] << shift;
					destination[j + 1] |= data[j] >> (32 - shift);
				}
				destination[j] |= data[j] << shift;
				const uint32 spill = data[j] >> (32 - shift);
				if (spill) destination[j + 1] |= spill;
			}
			continue;
		}
		// Up to 16 cells at a time, shifted into place; the source row has a
		// trailing zero word so the 64-bit read stays inside it.
		for (int32 k = k_start; k < k_end; k += 16)
		{
			const int32 n = MIN(16, k_end - k);
			const int32 source_word = k >> 4;
			const uint64 pair = static_cast<uint64>(data[source_word]) | (static_cast<uint64>(data[source_word + 1]) << 32);
			uint64 bits = pair >> ((k & 15) * 2);
			if (n < 16) bits &= (static_cast<uint64>(1) << (n * 2)) - 1;
			else bits &= 0xFFFFFFFFull;
			const int32 cell = row_base + first_column + k;
			const int32 word = cell >> 4;
			const uint64 shifted = bits << ((cell & 15) * 2);
			back[word] |= static_cast<uint32>(shifted);
			const uint32 spill = static_cast<uint32>(shifted >> 32);
			if (spill) back[word + 1] |= spill;
		}
	}
}

void build_monster_visibility(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster || (monster->extra_flags & _monster_has_no_visibility_extra_flag)) return;
	const monster_definition *definition = get_monster_definition(monster->type);
	if (!definition || definition->monster_class == _monster_class_ambient_life || definition->visibility_type == NONE) return;
	const object_data *object = get_object_data(monster->object_index);
	if (!object) return;
	const marker_data *marker = monster->marker_index >= 0 ? get_marker_by_index(monster->marker_index) : nullptr;
	if (!marker || !(marker->flags & _marker_is_invisible_observer_flag))
	{
		if (monster->flags & _monster_has_left_the_mesh_flag) return;
		const int16 local_team = player_globals.local_player_team_index;
		if (local_team != NONE && monster->owner_team_index != local_team) return;
	}
	const int16 kind = (object->flags & _object_wholly_under_media_flag) ?
		static_cast<int16>(_visibility_bitmap_submerged) : definition->visibility_type;
	rasterize_visibility_bitmap(kind, object->location.position.x >> 9, object->location.position.y >> 9);
}

static boolean limited_visibility(void)
{
	return game && (game->option_flags & _game_option_limited_visibility_flag);
}

void swap_visibility_buffers(void)
{
	get_monsters_test_hooks()->visibility_swaps += 1;
	if (!visibility_globals.initialized) return;
	if (visibility_globals.number_of_visibility_bitmaps_rasterized > 0)
	{
		const int32 count = visibility_globals.number_of_visibility_bitmaps_rasterized;
		visibility_globals.center_of_visibility_buffer.x = static_cast<int16>(visibility_globals.cumulative_x0 / count);
		visibility_globals.center_of_visibility_buffer.y = static_cast<int16>(visibility_globals.cumulative_y0 / count);
	}
	else if (limited_visibility())
	{
		visibility_globals.cumulative_x0 = visibility_globals.cumulative_y0 = 0;
		return;
	}
	const int32 words = visibility_globals.buffer_size / 4;
	uint32 *back = visibility_globals.back_buffer;
	uint32 *permanent = visibility_globals.permanent_buffer;
	for (int32 i = 0; i < words; ++i) permanent[i] |= back[i];
	visibility_globals.back_buffer = visibility_globals.front_buffer;
	visibility_globals.front_buffer = back;
	forget_stamps();
	back_buffer_is_open = !limited_visibility();
	memset(visibility_globals.back_buffer, back_buffer_is_open ? 0xFF : 0, static_cast<size_t>(visibility_globals.buffer_size));
	visibility_front_buffer = visibility_globals.front_buffer;
	visibility_permanent_buffer = visibility_globals.permanent_buffer;
	visibility_globals.cumulative_x0 = visibility_globals.cumulative_y0 = 0;
	visibility_globals.number_of_visibility_bitmaps_rasterized = 0;
}

void build_initial_monster_visibility(void)
{
	initialize_monster_visibility_for_new_map();
	if (!visibility_globals.initialized) return;
	for (int16 pass = 0; pass < 2; ++pass)
	{
		swap_visibility_buffers();
		for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
		{
			if (get_monster_data(i)) build_monster_visibility(i);
		}
	}
}

void get_center_of_visibility_buffer(point2d *point)
{
	if (point) *point = visibility_globals.center_of_visibility_buffer;
}

boolean should_draw_overhead_observer_position(void)
{
	return visibility_globals.center_of_visibility_buffer.x != 0 || visibility_globals.center_of_visibility_buffer.y != 0;
}

uint32 monster_visibility_digest(void)
{
	if (!visibility_globals.initialized) return 0;
	uint32 crc = 0xFFFFFFFFu;
	crc = crc32_update(crc, visibility_globals.front_buffer, visibility_globals.buffer_size);
	crc = crc32_update(crc, visibility_globals.permanent_buffer, visibility_globals.buffer_size);
	const int16 center[2] = {visibility_globals.center_of_visibility_buffer.x, visibility_globals.center_of_visibility_buffer.y};
	const uint8 bytes[4] = {static_cast<uint8>(center[0] >> 8), static_cast<uint8>(center[0]), static_cast<uint8>(center[1] >> 8),
		static_cast<uint8>(center[1])};
	return ~crc32_update(crc, bytes, 4);
}

/* ---------- test hooks */

monster_visibility_test_hooks_data *get_monster_visibility_test_hooks(void)
{
	return &visibility_test_hooks;
}

void reset_monster_visibility_test_hooks(void)
{
	visibility_test_hooks = {};
	build_visibility_bitmaps();
}

void rebuild_visibility_bitmaps_for_tests(void)
{
	build_visibility_bitmaps();
}
