#include "formations.h"

constexpr byte_swap_code formation_definition_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	2,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(formation_definition_byte_swapping_data) == sizeof(formation_definition));

boolean formation_definition_is_valid(const formation_definition *definition)
{
	if (!definition) return FALSE;
	if (definition->maximum_units_per_short_line_row < 1) return FALSE;
	if (definition->maximum_units_per_long_line_row < 1) return FALSE;
	if (definition->maximum_units_per_loose_line_row < 1) return FALSE;
	if (definition->maximum_units_per_staggered_line_row < 1) return FALSE;
	if (definition->shallow_encirclement_arc_length == 0) return FALSE;
	if (definition->deep_encirclement_arc_length == 0) return FALSE;
	if (definition->minimum_mob_unit_separation < 1) return FALSE;
	if (definition->minimum_encirclement_radius < 1) return FALSE;
	return TRUE;
}
