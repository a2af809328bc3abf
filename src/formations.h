// Formations: how a group ordered to move lays out around its destination.
#ifndef FORMATIONS_H
#define FORMATIONS_H

#include "cseries.h"
#include "world_units.h"

#define FORMATION_DEFINITION_GROUP_TAG TAG("form")
#define FORMATION_DEFINITION_VERSION 1
#define FORMATION_NAMES_STRING_LIST_TAG TAG("infn")
#define MAXIMUM_NUMBER_OF_FORMATIONS 10

enum // formation types
{
	_formation_short_line,
	_formation_long_line,
	_formation_loose_line,
	_formation_staggered_line,
	_formation_box,
	_formation_mob,
	_formation_shallow_encirclement,
	_formation_deep_encirclement,
	_formation_vanguard,
	_formation_circle,
	NUMBER_OF_FORMATION_TYPES
};

// 40 bytes, twenty big-endian 16-bit fields.
struct formation_definition
{
	int16 maximum_units_per_short_line_row;
	short_world_distance short_line_unit_separation;
	int16 maximum_units_per_long_line_row;
	short_world_distance long_line_unit_separation;
	int16 maximum_units_per_loose_line_row;
	short_world_distance loose_line_unit_separation;
	int16 maximum_units_per_staggered_line_row;
	short_world_distance staggered_line_unit_separation;
	short_world_distance box_unit_separation;
	short_world_distance minimum_mob_unit_separation;
	short_fixed mob_x_bias;
	short_world_distance minimum_encirclement_radius;
	short_world_distance encirclement_unit_separation;
	angle shallow_encirclement_arc_length;
	angle deep_encirclement_arc_length;
	short_world_distance vanguard_front_row_separation;
	short_world_distance vanguard_unit_separation;
	short_world_distance vanguard_row_separation;
	short_world_distance circle_unit_separation;
	int16 unused;
};
STORED_SIZE(formation_definition, 40);

// Nineteen 16-bit fields swapped, the last two bytes left as they are.
extern const byte_swap_code formation_definition_byte_swapping_data[];

// False for a definition whose layouts would divide by zero or never end: a
// row maximum below 1, a zero arc length, or a mob separation or minimum
// encirclement radius below 1.
boolean formation_definition_is_valid(const formation_definition *definition);

void initialize_formation_definitions(void);
boolean initialize_formation_definitions_for_new_map(file_tag tag);
const formation_definition *get_default_formation_definition(void);
void broadcast_formation_definition(void);

void initialize_formations(void);
void initialize_formations_for_new_map(void);
void dispose_formations_from_old_map(void);
void set_formation_definition_for_player(int16 player_index, const formation_definition *definition);
const char *get_formation_name(int16 formation_index);
boolean valid_formation_index(int16 formation_index);
int16 get_default_formation_index(void);
// The next formation identifier (0 first, wrapping from 32767 to 0).
int16 get_formation_identifier(void);
boolean formation_is_line(int16 player_index, int16 formation_index, int16 unit_count);
void build_formation(int16 player_index, int16 formation_index, const world_point2d *center,
	world_point2d *destinations, angle *facings, angle facing, int16 total_unit_count);

#endif
