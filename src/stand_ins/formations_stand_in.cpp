// Formations are not built yet: every formation index lays out the default
// short line (rows of 4, 640 apart, centred on the destination), the default
// formation is the first, and identifiers count up from 0.
#include "formations.h"

#include <cstring>

#include "players.h"
#include "world.h"

static const formation_definition default_formation_definition = {
	4, 640, 8, 640, 4, 1024, 4, 1024, 640, 768, 384, 1536, 768, 16384, 21845, 256, 512, 512, 768, 0};

static formation_definition player_formation_definitions[MAXIMUM_PLAYERS_PER_MAP];
static int16 next_formation_identifier = 0;

int16 get_default_formation_index(void)
{
	return 0;
}

const formation_definition *get_default_formation_definition(void)
{
	return &default_formation_definition;
}

boolean initialize_formation_definitions_for_new_map(file_tag)
{
	next_formation_identifier = 0;
	for (formation_definition &definition : player_formation_definitions) definition = default_formation_definition;
	return TRUE;
}

int16 get_formation_identifier(void)
{
	const int16 identifier = next_formation_identifier;
	next_formation_identifier = identifier >= 32767 ? static_cast<int16>(0) : static_cast<int16>(identifier + 1);
	return identifier;
}

void set_formation_definition_for_player(int16 player_index, const formation_definition *definition)
{
	if (player_index < 0 || player_index >= MAXIMUM_PLAYERS_PER_MAP || !definition) return;
	player_formation_definitions[player_index] = *definition;
}

boolean formation_is_line(int16, int16, int16 unit_count)
{
	return unit_count <= 4;
}

void build_formation(int16, int16, const world_point2d *center, world_point2d *destinations, angle *facings,
	angle facing, int16 total_unit_count)
{
	if (total_unit_count <= 0) return;
	if (total_unit_count == 1)
	{
		destinations[0] = *center;
		facings[0] = facing;
		return;
	}
	const int64 c = angle_cosine(facing), s = angle_sine(facing);
	for (int16 i = 0; i < total_unit_count; ++i)
	{
		const int32 row = i / 4, column = i % 4;
		const int32 in_row = MIN(4, total_unit_count - row * 4);
		const int64 across = static_cast<int64>(2 * column - (in_row - 1)) * 320;
		const int64 forward = -static_cast<int64>(row) * 640;
		destinations[i].x = static_cast<world_distance>(center->x + ((forward * c - across * s) >> 14));
		destinations[i].y = static_cast<world_distance>(center->y + ((forward * s + across * c) >> 14));
		facings[i] = facing;
	}
}
