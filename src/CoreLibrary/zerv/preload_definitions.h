// Preload lists: the tags a map needed, in file order, kept as a local 'prel'
// tag under the map's mesh subgroup so that its next load can build the tag
// cache ahead of time.
#ifndef PRELOAD_DEFINITIONS_H
#define PRELOAD_DEFINITIONS_H

#include "cseries.h"
#include "byte_swapping.h"

#define PRELOAD_DEFINITION_GROUP_TAG TAG("prel")
#define PRELOAD_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_PRELOAD_DEFINITIONS_PER_MAP 1
#define MAXIMUM_PRELOAD_DATA_ENTRIES 8192

// The 32-byte header of a 'prel' tag, big-endian in the tag. The two data
// fields are unused slots; the loaded entries are kept by this module.
struct preload_definition
{
	int32 preload_data_count;
	int32 preload_data_offset;
	int32 preload_data_size;
	uint32 data;
	int32 bitmap_preload_data_count;
	int32 bitmap_preload_data_offset;
	int32 bitmap_preload_data_size;
	uint32 bitmap_data;
};
STORED_SIZE(preload_definition, 32);

inline constexpr byte_swap_code preload_definition_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(preload_definition_byte_swapping_data) == sizeof(preload_definition));

// One entry of the list; host order once loaded.
struct preload_data
{
	file_tag group;
	file_tag subgroup;
};
STORED_SIZE(preload_data, 8);

inline constexpr byte_swap_code preload_data_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte,
	_end_bs_array
};
static_assert(get_byte_swap_struct_size(preload_data_byte_swapping_data) == sizeof(preload_data));

void initialize_preloading(void);
// Sets up the group and loads the map's list when it has one.
void initialize_preloading_for_new_map(file_tag mesh_tag);
void dispose_preloading_from_old_map(void);

// The map's list, NULL when it has none.
preload_definition *preload_definition_get(void);
// Its preload_data_count entries, NULL when the map has no list.
const preload_data *preload_definition_get_data(void);
const preload_definition *get_default_preload_definition(void);
// Does nothing: it runs before the map's tag set is reopened.
void fetch_preloaded_definitions(void);

// Writes the map's list from every loaded definition (and, with shift held,
// "<mesh name> dependencies.txt"); only while the mesh group is set up.
void report_dependencies_for_new_map(file_tag mesh_tag);

#endif
