// The two movement helpers pathfinding needs, until unit movement is built
// around them. Nothing here draws from the synchronised stream.
#include "monsters.h"

#include "alliances.h"
#include "mesh.h"
#include "models.h"
#include "zerv.h"

void report_obstructed_cell_bounds(int32 x, int32 y, world_rectangle2d *rectangles, int16 *count,
	world_distance margin)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return;
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	if (x < 0 || y < 0 || x >= width || y >= height) return;
	if (get_model_index_from_mesh_cell(x, y) == NONE) return;
	const uint16 flags = get_mesh_cell(x, y)->flags;
	const int32 low = flags & 15, high = (flags >> 4) & 15;
	auto impassable = [](int32 t) { return t == _terrain_walking_impassable || t == _terrain_flying_impassable; };
	if (!impassable(low) && !impassable(high)) return;
	world_rectangle2d &r = rectangles[(*count)++];
	r.x0 = x * WORLD_ONE - margin;
	r.y0 = y * WORLD_ONE - margin;
	r.x1 = MIN(x + 1, width - 1) * WORLD_ONE + margin;
	r.y1 = MIN(y + 1, height - 1) * WORLD_ONE + margin;
}

boolean use_monster_pathfinding_radius(int16 monster_index, int16 other_monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_data *other = get_monster_data(other_monster_index);
	if (!monster || !other) return FALSE;
	if (game && (game->option_flags & _game_option_uses_qel_flag)) return FALSE;
	if (!monsters_are_allied(monster_index, other_monster_index)) return FALSE;
	const uint32 targeting = _monster_has_valid_target_flag | _monster_has_valid_target_location_flag;
	if ((monster->flags & targeting) == targeting || (other->flags & targeting) == targeting) return FALSE;
	auto engaged = [](int8 action) {
		return action == _monster_action_holding_for_attack || action == _monster_action_aiming_attack ||
			action == _monster_action_attacking;
	};
	if (!engaged(monster->action) && !engaged(other->action)) return TRUE;
	const uint32 has_target = _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	return (monster->flags & has_target) == has_target && monster->target_monster_index != other_monster_index;
}
