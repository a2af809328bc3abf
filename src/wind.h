// Wind: one map-wide velocity drifting towards randomly chosen targets.
#ifndef WIND_H
#define WIND_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "definitions.h"

#define WIND_DEFINITION_GROUP_TAG TAG("wind")
#define WIND_DEFINITION_VERSION_NUMBER 1
#define MAXIMUM_WIND_DEFINITIONS_PER_MAP 1

// 128 bytes, big-endian in the tag. The run-time fields are rewritten at every
// map start and never read from disk.
struct wind_definition
{
	uint32 flags;
	int32 time_between_adjustments_lower_bound;
	int32 time_between_adjustments_delta;
	fixed maximum_adjustment_per_tick;
	fixed_vector3d velocity_lower_bound;
	fixed_vector3d velocity_delta;
	int32 ticks_until_wind_changes;
	fixed_vector3d velocity;
	fixed_vector3d target_wind;
	uint8 unused[60];
};
STORED_SIZE(wind_definition, 128);
static_assert(offsetof(wind_definition, ticks_until_wind_changes) == 40 && offsetof(wind_definition, unused) == 68);

extern const byte_swap_code wind_definition_byte_swapping_data[];

void initialize_wind(void);
// FALSE without a wind (tag 0 or NONE) or when the definition is missing.
boolean initialize_wind_for_new_map(file_tag wind_tag);
void dispose_wind_from_old_map(void);
void update_wind(void);

// The wind as 16.16 components; none (0, and FALSE) on a map without wind.
boolean get_wind_velocity(fixed_vector3d *velocity);

definition_globals *get_wind_definitions(void);
const wind_definition *get_default_wind_definition(void);
int32 get_wind_definition_tag_header_user_data(const wind_definition *definition);
// The map's definition, NULL without wind.
const wind_definition *get_local_wind(void);

struct zerv_digest;
void fold_wind_digest(zerv_digest *digest);

#endif
