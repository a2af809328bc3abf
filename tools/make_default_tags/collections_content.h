// Shape collections ('.256') and collection references ('core') of the
// default set, and the builder that turns a collection described in native
// records into its stored tag data through the engine's descriptors. Tests
// build their own collections with the same builder.
#ifndef COLLECTIONS_CONTENT_H
#define COLLECTIONS_CONTENT_H

#include <string>
#include <vector>

#include "cseries.h"
#include "shapes.h"
#include "collection_references.h"

/* ---------- the builder */

struct collection_bitmap_description
{
	std::string name;
	int16 width, height;
	int16 bytes_per_row; // plain bitmaps
	int16 flags; // as stored
	int16 logical_bit_depth;
	int16 encoding; // with _bitmap_extended_encoding_flag
	// Native order, laid out as stored after the row table: plain rows
	// bytes_per_row apart, row-span rows, or a run-length stream.
	std::vector<uint8> pixels;
};

struct collection_sequence_description
{
	std::string name;
	sequence_data sequence; // native; frames_per_view and number_of_views give the frames below
	std::vector<int16> shadow_map_indexes; // one per frame
	std::vector<int16> instance_indexes; // frames x views, frame after frame
};

struct collection_description
{
	uint32 user_data_flags;
	color_table colors;
	std::vector<hue_change> hue_changes;
	std::vector<collection_bitmap_description> bitmaps;
	std::vector<bitmap_instance_data> instances;
	std::vector<collection_sequence_description> sequences;
	std::vector<shadow_map_data> shadow_maps;
	std::vector<uint8> blend_table;
	std::vector<uint8> remapping_table;
};

// A plain bitmap of width x height pixels of depth (8, 16 or 32 bits), rows packed.
collection_bitmap_description plain_collection_bitmap(const char *name, int16 width, int16 height, int16 depth);
// Appends one row-span row: spans as (start, end) pairs, then their pixels
// (pixel_count << upshift bytes, native order).
void append_row_span_row(collection_bitmap_description *bitmap, const std::vector<int16> &spans,
	const std::vector<uint8> &pixels);
// Adds a 16-bit pixel at column x of a row being built for the above: it
// extends the last span when x follows it, else opens a new one.
void add_row_span_pixel(std::vector<int16> *spans, std::vector<uint8> *pixels, int32 x, uint16 pixel);
// The same picture in the row-span format, which the software path draws
// sprites from: index 0 becomes a gap.
collection_bitmap_description row_span_bitmap(const collection_bitmap_description &plain);
// The 48 leading header bytes and the row table come from the description;
// offsets of sequences and bitmaps are chosen here (every one 4-aligned).
std::string collection_tag_data(const collection_description &description);
// Where the builder put things, for tests that damage a field.
struct collection_layout
{
	int32 data_offset;
	int32 section_offsets[NUMBER_OF_COLLECTION_SECTIONS];
	std::vector<int32> sequence_offsets; // in the data block
	std::vector<int32> bitmap_offsets;
	std::vector<int32> bitmap_sizes;
};
std::string collection_tag_data(const collection_description &description, collection_layout *layout);
// A local '.256' tag; its handle, or NONE.
int32 make_collection_tag(file_tag subgroup_tag, const char *name, const collection_description &description,
	int16 version = COLLECTION_VERSION_NUMBER);
// A 'core' reference's stored bytes, and a local tag of them.
std::string collection_reference_tag_data(const collection_reference &reference);
int32 make_collection_reference_tag(file_tag subgroup_tag, const char *name, const collection_reference &reference);

/* ---------- the default set's collections */

// Subgroup tags of the default collections and references.
#define DEFAULT_UNIT_COLLECTION_TAG TAG("unit")
#define DEFAULT_EFFECTS_COLLECTION_TAG TAG("efct")
#define DEFAULT_SCENERY_COLLECTION_TAG TAG("scen")
#define DEFAULT_LANDSCAPE_COLLECTION_TAG TAG("lnd0")
#define DEFAULT_DIALOG_ELEMENTS_COLLECTION_TAG TAG("baie")
#define DEFAULT_MAIN_MENU_COLLECTION_TAG TAG("imm6")
#define DEFAULT_UNIT_REFERENCE_TAG TAG("unit")
#define DEFAULT_EFFECTS_REFERENCE_TAG TAG("efct")
#define DEFAULT_SCENERY_REFERENCE_TAG TAG("scen")

// Sequence indexes of the unit collection.
enum
{
	_default_unit_idle_sequence,
	_default_unit_moving_sequence,
	_default_unit_attack_sequence,
	_default_unit_flinch_sequence,
	_default_unit_soft_death_sequence,
	_default_unit_hard_death_sequence,
	_default_unit_dead_sequence,
	_default_unit_secondary_idle_sequence,
	NUMBER_OF_DEFAULT_UNIT_SEQUENCES
};

// Sequence indexes of the effects collection.
enum
{
	_default_effects_arrow_sequence,
	_default_effects_explosion_sequence,
	_default_effects_explosion_row_span_sequence,
	_default_effects_glow_sequence,
	_default_effects_spark_sequence,
	_default_effects_scorch_sequence,
	_default_effects_puff_sequence, // smoke trails and dust
	NUMBER_OF_DEFAULT_EFFECTS_SEQUENCES
};

// Sequence indexes of the scenery collection.
enum
{
	_default_scenery_rock_sequence,
	_default_scenery_tree_sequence,
	_default_scenery_fire_sequence,
	_default_scenery_stump_sequence,
	_default_scenery_post_sequence,
	_default_scenery_fence_sequence,
	_default_scenery_thatch_sequence, // 64 x 64 model textures: the cottage's roof,
	_default_scenery_stone_sequence, // the hut's walls
	_default_scenery_wall_sequence, // and the cottage's walls
	NUMBER_OF_DEFAULT_SCENERY_SEQUENCES
};

// The dialog elements' checkbox picture.
#define DEFAULT_DIALOG_CHECKBOX_SEQUENCE 1

// Integer drawing from a fixed seed: the same bytes on every run and build.
struct drawing_random
{
	uint32 state;
	uint32 next(uint32 n)
	{
		state = state * 1103515245u + 12345u;
		return n ? ((state >> 16) & 0x7FFF) % n : 0;
	}
};

// 255 colours in eight hue bands of 31 shades, saturation and value rising
// by a step a shade; colour 0 is black.
color_table banded_color_table(int32 saturation, int32 saturation_step, int32 value, int32 value_step);

// The default collections, made afresh each call (identical every time).
collection_description default_unit_collection(void);
collection_description default_effects_collection(void);
collection_description default_scenery_collection(void);
collection_description default_landscape_collection(void);
collection_description default_dialog_elements_collection(void);
// The main menu: buttons, the overlay and the static backdrop.
collection_description default_main_menu_collection(void);

struct default_collection_entry
{
	file_tag subgroup_tag;
	const char *name;
	collection_description (*make)(void);
};

extern const default_collection_entry default_collections[];
extern const int32 number_of_default_collections;

struct default_collection_reference_entry
{
	file_tag subgroup_tag;
	const char *name;
	collection_reference (*make)(void);
};

extern const default_collection_reference_entry default_collection_references[];
extern const int32 number_of_default_collection_references;

// Every default collection and reference as a local tag; appends the handles.
// Fails when a reference names a collection the set does not write.
bool make_default_collection_tags(std::vector<int32> *handles);

#endif
