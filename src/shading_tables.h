// Shading and transfer tables of the shape collections: lighting levels,
// tinting permutations with their tint shaders, the transparency tables and
// the blend table. Part of the shapes module; the collection records and
// their 128 table slots belong to shapes.h.
#ifndef SHADING_TABLES_H
#define SHADING_TABLES_H

#include "cseries.h"
#include "bitmaps.h"

/* ---------- constants */

// One level is 256 entries of 2 (16-bit) or 4 (32-bit) bytes.
#define SHADING_BITS16 6
#define SHADING_TABLES16 (1 << SHADING_BITS16)
#define SHADING_TABLE_SIZE16 (256 * 2)
#define SHADING_BITS32 8
#define SHADING_TABLES32 (1 << SHADING_BITS32)
#define SHADING_TABLE_SIZE32 (256 * 4)
#define SHADING_TABLE_ENTRIES 256

#define NUMBER_OF_SHADING_TABLE_PERMUTATIONS 8
#define LIGHTING_SHADING_TABLES_SIZE16 (SHADING_TABLES16 * SHADING_TABLE_SIZE16)
#define LIGHTING_SHADING_TABLES_SIZE32 (SHADING_TABLES32 * SHADING_TABLE_SIZE32)
#define TINTING_SHADING_TABLES_SIZE16 (NUMBER_OF_SHADING_TABLE_PERMUTATIONS * SHADING_TABLE_SIZE16)
#define TINTING_SHADING_TABLES_SIZE32 (NUMBER_OF_SHADING_TABLE_PERMUTATIONS * SHADING_TABLE_SIZE32)

// The blend table: 256 x 256 colour indexes.
#define BLEND_TABLE_SIZE (256 * 256)

#define MAXIMUM_SHADING_TABLE_HUE_CHANGES 8
#define TINT_SHADER_SIZE 8

enum // shading permutations
{
	_shading_table_normal,
	_shading_table_stone,
	_shading_table_paralyzed,
	_shading_table_reflection,
	_shading_table_burned,
	_shading_table_stone_reflection,
	_shading_table_paralyzed_reflection,
	_shading_table_normal_untinted
};
static_assert(_shading_table_normal_untinted + 1 == NUMBER_OF_SHADING_TABLE_PERMUTATIONS);

enum // shading modes
{
	_shading_mode_none = NONE,
	_shading_mode_tint,
	_shading_mode_blend,
	_shading_mode_tint_and_blend_with_media,
	_shading_mode_untinted,
	NUMBER_OF_SHADING_MODES
};

/* ---------- records */

struct shading_table_hue_change_data
{
	hsv_color replacement_color;
	uint16 median_hue;
};
STORED_SIZE(shading_table_hue_change_data, 10);

// The 148 bytes in front of every collection table's data.
struct shading_table_header
{
	uint8 tint_shader_data[NUMBER_OF_SHADING_TABLE_PERMUTATIONS][TINT_SHADER_SIZE];
	shading_table_hue_change_data hue_change_data[MAXIMUM_SHADING_TABLE_HUE_CHANGES];
	int32 hue_change_count; // 0 without replacement colours
};
STORED_SIZE(shading_table_header, 148);
static_assert(offsetof(shading_table_header, hue_change_data) == 64 &&
	offsetof(shading_table_header, hue_change_count) == 144);

struct shading_table_permutation_data
{
	int16 mode;
	short_fixed tint_fraction; // 256 = 1.0
	rgb_color tint_color;
};
STORED_SIZE(shading_table_permutation_data, 12);

// Sizes for a pixel format (bit depth 32 gives 4-byte entries, anything else 2).
struct shading_table_format
{
	int16 bit_depth;
	int16 encoding;
	int16 shading_bits;
	int16 shading_tables; // lighting levels
	int32 shading_table_size; // one level
	int32 lighting_shading_tables_size;
	int32 tinting_shading_tables_size;
};

void get_shading_table_format(int16 bit_depth, int16 encoding, shading_table_format *format);

/* ---------- builders */

// Mode 0 (normal) or 1 (overlay) into TRANSPARENCY_TABLE_SIZE bytes; other modes leave it.
void build_transparency_table(int16 transparency_mode, uint8 *table);
// Landscape lighting: shading_levels levels of 256 entries from dark to light.
void build_colored_shading_table(int16 bit_depth, int16 encoding, int16 shading_levels, const color_table *colors,
	void *shading_table, short_fixed dark_color_fraction, const rgb_color *dark_color, fixed transition_point,
	short_fixed light_color_fraction, const rgb_color *light_color);
// Levels with one effect (mode, first tint) and a global tint (second).
void build_shading_table(int16 bit_depth, int16 encoding, int16 shading_levels, const color_table *colors,
	void *shading_table, int16 mode, short_fixed tint_fraction1, const rgb_color *tint_color1,
	short_fixed tint_fraction2, const rgb_color *tint_color2);
// The 8 bytes of one permutation's tint shader; a null colour counts as black.
void build_tinting_shader(uint8 *tint_shader, int16 mode, short_fixed fraction, const rgb_color *color,
	short_fixed global_tint_fraction, const rgb_color *global_tint_color);
// BLEND_TABLE_SIZE bytes of averaged colours.
void build_blend_table(const color_table *colors, uint8 *blend_table);

/* ---------- collection tables (modes _add_shading_table_for_lighting, _for_tinting of shapes.h) */

// The new table's index, or NONE.
int16 add_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors, int16 mode,
	short_fixed tint_fraction, const rgb_color *tint_color);
// Team colours: the hue changes' replacement colours swapped for the primary
// and secondary colours, with the global tint when use_global_tint is set.
int16 add_adjusted_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color, int16 mode, boolean use_global_tint,
	short_fixed tint_fraction, const rgb_color *tint_color);
// The landscape's lighting table, always 32-bit entries; index or NONE.
int16 add_shading_table_to_mesh(int16 collection_index, short_fixed dark_color_fraction, const rgb_color *dark_color,
	fixed transition_point, short_fixed light_color_fraction, const rgb_color *light_color);
// The stored blend table is used as it is: TRUE, nothing built.
boolean add_blend_table_to_collection_index(int16 collection_index);

// The table's data (index clamped to the tables there are); a permutation
// 0..7 gives its table, anything else the data start. A collection without
// tables gets a plain tinting table first. NULL when there is none.
void *get_shading_table(int16 collection_index, int16 shading_table_index, int16 permutation);
shading_table_header *get_shading_table_header(int16 collection_index, int16 shading_table_index);
// The landscape lighting table that add_shading_table_to_mesh built (all its levels), or NULL.
void *get_mesh_shading_table(int16 collection_index);
// The last (brightest) level of a lighting table; the data start of a tinting table.
void *get_unshaded_shading_table(int16 collection_index, int16 shading_table_index);

// One level (1024 bytes) from the collection's colours; 32-bit encoding 2 when
// match_active_screen, else the map's format. NULL when it cannot be made.
void *new_temporary_shading_table(int16 collection_index, const rgb_color *replacement_colors,
	boolean match_active_screen);
void dispose_temporary_shading_table(void *table);

/* ---------- permutations */

void set_shading_table_permutation_data(int16 permutation_index, int16 mode, short_fixed tint_fraction,
	const rgb_color *tint_color);
// The mode (NONE for an index outside 0..7, which leaves the outputs alone).
int16 get_shading_table_permutation_data(int16 permutation_index, short_fixed *tint_fraction, rgb_color *tint_color);

// Test hook: the permutations' initial values.
void reset_shading_table_permutation_data(void);

#endif
