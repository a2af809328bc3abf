// Units' damage response, visibility, veterans and death are not built yet:
// a kill runs the died procedures and removes the unit, hiding only hides,
// there is no fog of war (every cell seen closely) and no veteran is ever
// placed. Nothing here draws from the synchronised stream.
#include "monsters.h"

#include "data.h"
#include "mesh.h"
#include "objects.h"
#include "object_definitions.h"
#include "path.h"

uint32 *visibility_front_buffer = nullptr;
uint32 *visibility_permanent_buffer = nullptr;

/* ---------- damage response, items and experience */

void accelerate_monster(const damage_definition *, damage_data *, int16)
{
	get_monsters_test_hooks()->accelerate_monster_calls += 1;
}

const short_fixed *get_monster_effect_modifiers(int16 monster_index)
{
	static const short_fixed neutral[NUMBER_OF_EFFECT_MODIFIERS] = {256, 256, 256, 256, 256, 256, 256, 256, 256};
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	const object_definition *definition = object ? get_object_definition(object->type) : nullptr;
	return definition ? definition->effect_modifiers : neutral;
}

int16 get_relevant_experience(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	return monster ? static_cast<int16>(MIN(static_cast<int16>(monster->experience), MAXIMUM_RELEVANT_EXPERIENCE)) : 0;
}

uint16 monster_could_pick_up_object(int16, int16, int16)
{
	return 0;
}

uint16 give_object_to_monster(int16, int16)
{
	return 0;
}

void switch_monster_artifact(int16) {}
void give_artifacts_from_projectile_group(int16, int16) {}
void set_monster_magical_invisibility(int16, boolean) {}

/* ---------- visibility */

int16 get_cell_visibility(int32 cell_x, int32 cell_y)
{
	if (!visibility_front_buffer || !mesh_globals || !mesh_globals->mesh_cells) return 3;
	if (cell_x < 0 || cell_y < 0 || cell_x >= mesh_globals->mesh_width || cell_y >= mesh_globals->mesh_height) return 0;
	const int32 index = cell_y * mesh_globals->mesh_width + cell_x;
	return static_cast<int16>((visibility_front_buffer[index >> 4] >> ((index & 15) * 2)) & 3);
}

void initialize_monster_visibility(void) {}
void dispose_monster_visibility_from_old_map(void) {}
void initialize_monster_visibility_for_new_map(void) {}
void build_monster_visibility(int16) {}
void build_initial_monster_visibility(void) {}
void rasterize_visibility_bitmap(int16, int32, int32) {}
void swap_visibility_buffers(void) {}

/* ---------- veterans */

void initialize_monster_initializers(void) {}
void reset_monster_initializers(void) {}
void mark_monster_initializers_as_unused(void) {}
void backup_monster_initializers(void) {}
void restore_monster_initializers_from_backup(void) {}
void build_monster_initializers(void) {}

monster_initializer *get_monster_initializer(int16)
{
	return nullptr;
}

/* ---------- death and hiding */

void monster_died(int16 monster_index, uint16)
{
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		monster_data *other = get_monster_data(i);
		if (!other) continue;
		boolean changed = FALSE;
		if (other->target_monster_index == monster_index)
		{
			other->target_monster_index = NONE;
			changed = TRUE;
		}
		if (other->aggressor_monster_index == monster_index) other->aggressor_monster_index = NONE;
		if (other->deferred_target_index == monster_index)
		{
			other->deferred_target_index = NONE;
			changed = TRUE;
		}
		if (changed) other->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag);
	}
}

// No effects and no respawn: the record, its path and its object go.
void kill_monster(int16 monster_index, const damage_definition *, damage_data *, int16)
{
	get_monsters_test_hooks()->kill_monster_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	call_monster_died_procs(monster_index, _monster_died_deleted);
	monster = get_monster_data(monster_index);
	if (!monster) return;
	if (monster->path_index != NONE) delete_path(&monster->path_index);
	if (get_object_data(monster->object_index)) delete_object(monster->object_index);
	delete_datum(&monster_array, monster_index);
}

void make_monster_invisible(int16 marker_identifier, int16)
{
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		monster_data *monster = get_monster_data(i);
		if (!monster || monster->identifier != marker_identifier) continue;
		object_data *object = get_object_data(monster->object_index);
		if (object) object->flags |= _object_is_invisible_flag;
		monster->flags |= _monster_has_left_the_mesh_flag;
		call_monster_died_procs(i, _monster_died_hidden);
	}
}

// Only the permutation changes; the fade is drawn later.
void crossfade_monster_color_table_permutation(int16 monster_index, int16 permutation, int16)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->crossfade_calls += 1;
	hooks->last_crossfade_permutation = permutation;
	const monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (object) object->color_table_permutation = static_cast<uint8>(permutation);
}
