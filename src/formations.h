// Formations: the shared formation definition every player's layouts use.
#ifndef FORMATIONS_H
#define FORMATIONS_H

#include "cseries.h"

#define MAXIMUM_NUMBER_OF_FORMATIONS 10

// Tag group 'form', shared between machines by the sync-formation command:
// nineteen big-endian 16-bit fields and two bytes kept as they are.
struct formation_definition
{
	int16 maximum_units_per_short_line_row;
	int16 short_line_unit_separation;
	int16 maximum_units_per_long_line_row;
	int16 long_line_unit_separation;
	int16 maximum_units_per_loose_line_row;
	int16 loose_line_unit_separation;
	int16 maximum_units_per_staggered_line_row;
	int16 staggered_line_unit_separation;
	int16 box_unit_separation;
	int16 minimum_mob_unit_separation;
	int16 mob_x_bias; // short_fixed
	int16 minimum_encirclement_radius;
	int16 encirclement_unit_separation;
	uint16 shallow_encirclement_arc_length; // angle
	uint16 deep_encirclement_arc_length;    // angle
	int16 vanguard_front_row_separation;
	int16 vanguard_unit_separation;
	int16 vanguard_row_separation;
	int16 circle_unit_separation;
	uint8 unused[2];
};
STORED_SIZE(formation_definition, 40);

extern const byte_swap_code formation_definition_byte_swapping_data[];

// False for a definition whose layouts would divide by zero or never end: a
// row maximum below 1, a zero arc length, or a mob separation or minimum
// encirclement radius below 1.
boolean formation_definition_is_valid(const formation_definition *definition);

#endif
