// Connector definitions ('conn'): fences, ropes and chains strung between posts.
#ifndef CONNECTOR_DEFINITIONS_H
#define CONNECTOR_DEFINITIONS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define CONNECTOR_GROUP_TAG TAG("conn")
#define CONNECTOR_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_CONNECTOR_DEFINITIONS_PER_MAP 4

// 32 bytes, big-endian in the tag: 22 of fields, the rest unused. The loader
// reads a record's size, so longer stored records read too.
struct connector_definition
{
	uint32 flags;
	file_tag collection_reference_tag;
	int16 normal_sequence_index;
	short_fixed origin_object_height_fraction;
	short_world_distance distance_between_interpolants;
	int16 damaged_sequence_index;
	int16 collection_reference_index;
	int16 collection_index;
	int16 color_table_index;
	uint8 unused[10];
};
STORED_SIZE(connector_definition, 32);
static_assert(offsetof(connector_definition, collection_reference_index) == 16 &&
	offsetof(connector_definition, unused) == 22);

extern const byte_swap_code connector_definition_bs_data[];

definition_globals *get_connector_definitions(void);
void initialize_connector_definitions(void);
void initialize_connector_definitions_for_new_map(void);
void dispose_connector_definitions_from_old_map(void);

const connector_definition *get_default_connector_definition(void);
boolean postprocess_connector(definition_globals *definitions, int16 definition_index, int32 tag_handle, void *definition);
// The first frame's first view of a sequence, when its bitmap is a power of
// two on both sides (the span stretches it as a texture); NULL otherwise.
const struct bitmap_instance_data *connector_first_frame_instance(int16 collection_index, int16 sequence_index);
int16 connector_definition_tag_to_index(file_tag tag);
connector_definition *get_connector_definition(int16 connector_type);
int16 new_connector_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size);

#endif
