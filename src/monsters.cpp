// Units: the record array, the module hooks, creation from markers, removal,
// list queries, names and acknowledgement sounds, and the died-procedure
// registry.
#include "monsters.h"

#include "artifact_definitions.h"
#include "error_manager.h"
#include "monster_ambient_life.h"
#include "path.h"
#include "projectile_group_definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

datum_globals monster_array = {"monster", MAXIMUM_MONSTERS_PER_MAP, sizeof(monster_data), 0};

internal_projectile_group internal_projectile_groups[NUMBER_OF_INTERNAL_PROJECTILE_GROUPS] = {
	{TAG("inhs"), NONE}, {TAG("inhe"), NONE}, {TAG("inps"), NONE}, {TAG("inpe"), NONE}, {TAG("inpd"), NONE},
	{TAG("inss"), NONE}, {TAG("inse"), NONE}, {TAG("insi"), NONE}, {TAG("insd"), NONE}, {TAG("inti"), NONE},
	{TAG("into"), NONE}, {TAG("inte"), NONE}, {TAG("inte"), NONE}, {TAG("in01"), NONE}};

static monsters_test_hooks_data monsters_test_hooks = {};

/* ---------- records */

monster_data *get_monster_data(int16 monster_index)
{
	if (!monster_array.data || monster_index < 0 || monster_index >= MAXIMUM_MONSTERS_PER_MAP) return nullptr;
	return static_cast<monster_data *>(try_and_get_datum(&monster_array, monster_index));
}

monster_data *get_monster_data_by_identifier(int16 monster_index, int16 identifier)
{
	monster_data *monster = get_monster_data(monster_index);
	return monster && monster->identifier == identifier ? monster : nullptr;
}

monster_definition *get_monster_definition_for_monster(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	return monster ? get_monster_definition(monster->type) : nullptr;
}

int16 get_monster_class(int16 monster_index)
{
	const monster_definition *definition = get_monster_definition_for_monster(monster_index);
	return definition ? definition->monster_class : static_cast<int16>(NONE);
}

/* ---------- module hooks */

void initialize_monsters(void)
{
	initialize_data(&monster_array);
	initialize_monster_definitions();
	initialize_artifact_definitions();
	initialize_unit_definitions();
	initialize_pathfinding();
	initialize_monster_visibility();
	initialize_monster_initializers();
	initialize_monster_map_action_memory_pool();
	set_monster_died_first_proc(monster_died);
}

void initialize_monsters_for_new_map(void)
{
	initialize_data_for_new_map(&monster_array);
	initialize_monster_definitions_for_new_map();
	initialize_artifact_definitions_for_new_map();
	initialize_unit_definitions_for_new_map();
	initialize_pathfinding_for_new_map();
	mark_monster_initializers_as_unused();
	initialize_monster_map_action_memory_pool_for_new_map();
}

void dispose_monsters_from_old_map(void)
{
	dispose_data_from_old_map(&monster_array);
	dispose_monster_definitions_from_old_map();
	dispose_artifact_definitions_from_old_map();
	dispose_unit_definitions_from_old_map();
	dispose_pathfinding_from_old_map();
	dispose_monster_visibility_from_old_map();
}

void initialize_internal_projectile_groups_for_new_map(void)
{
	for (internal_projectile_group &group : internal_projectile_groups)
	{
		// A tag set without them simply has none.
		group.index = tag_file_exists(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, group.tag) ?
			projectile_group_definition_tag_to_index(group.tag) : static_cast<int16>(NONE);
	}
}

void preload_monster_sequences(void)
{
	static const int16 preloaded[] = {_monster_sequence_idle, _monster_sequence_moving, _monster_sequence_turning,
		_monster_sequence_transition_to_secondary_idle, _monster_sequence_secondary_idle};
	definition_globals *definitions = get_monster_definitions();
	for (int16 type = 0; type < definitions->count; ++type)
	{
		const monster_definition *definition = get_monster_definition(type);
		if (!definition) continue;
		for (const int16 which : preloaded)
		{
			const int16 sequence = definition->sequence_indexes[which];
			if (sequence == NONE) continue;
			boolean had_to_purge = FALSE;
			preload_sequence_index(definition->collection_index, sequence, &had_to_purge);
			if (had_to_purge) return;
		}
	}
}

void unmark_monsters_being_traded(void)
{
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		if (monster) monster->extra_flags &= ~static_cast<uint32>(_monster_is_being_traded_extra_flag);
	}
}

/* ---------- queries on lists */

void monster_indexes_to_monster_identifiers(const int16 *indexes, int16 *identifiers, int16 count)
{
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		identifiers[i] = monster ? monster->identifier : static_cast<int16>(NONE);
	}
}

int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 found = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 identifier = identifiers[i];
		for (int16 m = 0; m < monster_array.count; ++m)
		{
			const monster_data *monster = get_monster_data(m);
			if (monster && identifier != 0 && monster->identifier == identifier)
			{
				indexes[found++] = m;
				break;
			}
		}
	}
	return found;
}

template <typename Keep>
static int16 filter_monster_indexes(int16 *indexes, int16 count, Keep keep)
{
	int16 kept = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		if (!monster || keep(monster)) indexes[kept++] = indexes[i];
	}
	return kept;
}

int16 remove_incapacitated_monster_indexes(int16 *indexes, int16 count)
{
	return filter_monster_indexes(indexes, count, [](const monster_data *m) { return m->action != _monster_action_stoned; });
}

int16 remove_monster_indexes_under_user_control(int16 *indexes, int16 count)
{
	return filter_monster_indexes(indexes, count,
		[](const monster_data *m) { return !(m->flags & _monster_has_received_user_command_flag); });
}

int16 remove_monsters_that_have_left_the_mesh(int16 *indexes, int16 count)
{
	return filter_monster_indexes(indexes, count,
		[](const monster_data *m) { return !(m->flags & _monster_has_left_the_mesh_flag); });
}

void mark_team_monsters_as_celebrated(int16 team_index)
{
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_team_index == team_index) monster->flags |= _monster_has_celebrated_flag;
	}
}

/* ---------- died procedures */

// Static storage: modules register at start-up before the units initialise.
static monster_died_proc monster_died_procs[MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS] = {};

boolean register_monster_died_proc(monster_died_proc proc)
{
	if (!proc) return FALSE;
	for (int32 i = 1; i < MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS; ++i)
	{
		if (monster_died_procs[i] == proc) return TRUE;
		if (!monster_died_procs[i])
		{
			monster_died_procs[i] = proc;
			return TRUE;
		}
	}
	log_message(MODULE_NAME, __LINE__, "### too many monster died procedures (at most %d).",
		MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS);
	return FALSE;
}

void set_monster_died_first_proc(monster_died_proc proc)
{
	monster_died_procs[0] = proc;
}

void call_monster_died_procs(int16 monster_index, uint16 flags)
{
	for (int32 i = 0; i < MAXIMUM_NUMBER_OF_MONSTER_DIED_PROCS; ++i)
	{
		if (monster_died_procs[i]) monster_died_procs[i](monster_index, flags);
	}
}

/* ---------- test hooks */

monsters_test_hooks_data *get_monsters_test_hooks(void)
{
	return &monsters_test_hooks;
}

void reset_monsters_test_hooks(void)
{
	monsters_test_hooks = {};
	monsters_test_hooks.closest_target = NONE;
	monsters_test_hooks.last_crossfade_permutation = NONE;
}

int16 new_monster_at_location(file_tag, const world_point3d *, int16, uint32, uint32)
{
	return NONE;
}
