// Units: the record array, the module hooks, creation from markers, removal,
// list queries, names and acknowledgement sounds, and the died-procedure
// registry.
#include "monsters.h"

#include <cstring>

#include "alliances.h"
#include "artifact_definitions.h"
#include "collection_references.h"
#include "damage.h"
#include "formations.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "objects.h"
#include "players.h"
#include "string_definitions.h"
#include "world.h"
#include "zerv.h"
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

/* ---------- creation */

// The unit killed inside its own creation (NONE otherwise): it never respawns.
static int16 monster_being_created_index = NONE;

int16 get_monster_being_created(void)
{
	return monster_being_created_index;
}

static boolean local_player_prefers_no_persistent_formations(int16 owner_player_index)
{
	const game_preferences *preferences = get_game_preferences();
	return preferences && (preferences->flags & _game_pref_no_persistent_formations_flag) &&
		owner_player_index != NONE && owner_player_index == player_globals.local_player_index;
}

struct monster_creation
{
	int16 unit_type;
	const world_location3d *location;
	int16 team_index;
	int16 owner_player_index;
	const monster_initializer *veteran;
	const marker_data *marker; // NULL for a unit made at a location
	uint16 palette_flags;
};

// Object and record (steps 4 to 13 of a marker's unit); NONE when no record or object.
static int16 create_monster(const monster_creation *c)
{
	const unit_definition *unit = get_unit_definition(c->unit_type);
	monster_definition *definition = unit ? get_monster_definition(unit->monster_type) : nullptr;
	const collection_reference *reference = unit ? get_collection_reference(unit->collection_reference_index) : nullptr;
	const object_definition *body = definition ? get_object_definition(definition->object_type) : nullptr;
	if (!definition || !reference || !body) return NONE;

	// 4.
	const int16 monster_index = new_datum(&monster_array);
	if (monster_index == NONE) return NONE;
	if (c->marker && c->marker->identifier != 0) set_monster_identifier(monster_index, c->marker->identifier);
	else set_monster_identifier(monster_index, get_monster_data(monster_index)->identifier);
	int16 permutation;
	const int16 permutation_count = MAX(reference->number_of_permutations, static_cast<int16>(1));
	if (c->veteran) permutation = c->veteran->color_table_permutation;
	else permutation = static_cast<int16>(zerv_random() % permutation_count);
	if (permutation < 0 || permutation >= permutation_count || permutation >= MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE)
	{
		permutation = 0;
	}
	new_object_data request = {};
	request.flags = _new_object_on_ground_flag;
	request.type = definition->object_type;
	request.owner = _object_is_monster;
	request.owner_index = monster_index;
	request.tracking_priority = MONSTER_TRACKING_PRIORITY;
	request.scale = static_cast<short_fixed>(body->scale_lower_bound + zerv_random_below(body->scale_delta));
	request.location = *c->location;
	request.collection_index = reference->collection_index;
	request.color_table_index = reference->color_table_indexes[permutation];
	const int16 object_index = new_object(&request);
	object_data *object = get_object_data(object_index);
	if (!object)
	{
		delete_datum(&monster_array, monster_index);
		return NONE;
	}
	monster_data *monster = get_monster_data(monster_index);

	// 5.
	monster->unit_type = c->unit_type;
	monster->type = unit->monster_type;
	monster->object_index = object_index;
	monster->path_index = monster->carrying_object_index = monster->target_monster_index = NONE;
	monster->artifact_index = monster->deferred_target_index = monster->local_projectile_group_index = NONE;
	for (int16 &held : monster->held_object_indexes) held = NONE;
	monster->current_local_projectile_group_index = monster->current_overhead_text_index = NONE;
	monster->aggressor_monster_index = monster->avoiding_object_index = NONE;
	monster->pick_up_object_index = NONE;
	monster->internal_command_identifier = NONE;
	monster->extra_flags = game_play_version > 1300 ? static_cast<uint32>(_monster_inside_object_allowed_extra_flag) : 0u;
	monster->display_dirty_flags = _monster_all_dirty_flags;
	monster->ammunition_count = static_cast<int8>(definition->initial_ammunition_lower_bound +
		zerv_random_below(definition->initial_ammunition_delta));
	monster->held_object_count = 0;
	monster->artifact_timer = 0;
	const world_point2d where = {object->location.position.x, object->location.position.y};
	monster->height_over_mesh = static_cast<short_world_distance>(object->location.position.z -
		get_mesh_height(&where, _true_height));
	monster->terrain_impassability_flags = definition->terrain_impassability_flags;
	monster->cell_impassability_flags = build_cell_impassability_flags(definition->terrain_impassability_flags, &where);
	monster->mana = definition->maximum_mana;
	const int32 speed = definition->base_movement_speed;
	const int32 variance = speed * MONSTER_SPEED_VARIANCE / 256;
	monster->base_movement_speed = static_cast<short_world_distance>(speed - variance + zerv_random_below(2 * variance));
	monster->owner_team_index = static_cast<int8>(c->team_index);
	monster->owner_player_index = static_cast<int8>(c->owner_player_index);
	monster->formation_index = get_default_formation_index();
	monster->formation_identifier = get_formation_identifier();
	// A local preference: only the field no simulation reads.
	if (local_player_prefers_no_persistent_formations(c->owner_player_index)) monster->formation_index = NONE;

	// 6.
	if (!(object->flags & _object_is_invisible_flag)) adjust_unit_statistics(c->unit_type, 1, object->vitality);

	// 7. The names list may hold more strings than the index can name.
	if (definition->next_name_string_index < 0)
	{
		definition->next_name_string_index = static_cast<int16>(zerv_random() & 0x7FFF);
	}
	const int16 name_count = definition->names_string_list_index != NONE ?
		count_strings_in_list(definition->names_string_list_index) : static_cast<int16>(0);
	const int32 next_name = definition->next_name_string_index;
	monster->original_name_string_index = static_cast<int8>(name_count > 0 ? next_name % MIN(name_count, static_cast<int16>(128)) :
		next_name & 127);
	definition->next_name_string_index = static_cast<int16>(next_name + 1);
	monster->name[0] = '\0';

	// 8.
	if (c->palette_flags & _marker_palette_uncontrollable_flag)
	{
		monster->flags |= _monster_ignores_user_commands_flag;
		monster->extra_flags |= _monster_has_no_visibility_extra_flag;
	}
	set_monster_action(monster_index, _monster_action_idle, 0);
	if (c->marker && (c->marker->flags & _marker_is_netgame_target_flag))
	{
		monster->extra_flags |= _monster_is_netgame_target_extra_flag;
	}
	if (c->palette_flags & _marker_palette_ambient_life_flag) monster->extra_flags |= _monster_is_ambient_life_extra_flag;
	if (c->palette_flags & _marker_palette_hunted_creature_flag)
	{
		monster->extra_flags |= _monster_is_hunted_creature_extra_flag;
		if (game && game->scoring == _game_scoring_hunting && game_play_version > 1720)
		{
			monster->flags |= _monster_ignores_user_commands_flag;
		}
	}

	// 9.
	object->flags |= _object_is_solid_flag | _object_must_be_included_in_explosions_flag;
	if (definition->flags & _monster_invisible_on_overhead_map_flag) object->flags |= _object_invisible_on_overhead_map_flag;
	if (!(definition->flags & _monster_does_not_respect_visibility_flag))
	{
		object->flags |= _object_respects_monster_visibility_flag;
	}
	if (definition->flags & _monster_allows_projectiles_to_pass_through_flag) object->flags |= _object_is_permeable_flag;
	if (definition->flags & _monster_floats_flag) object->flags |= _object_floats_on_land_flag | _object_floats_on_media_flag;
	if (static_cast<uint16>(definition->hack_flags) & _hack_walks_on_water_flag)
	{
		object->flags |= _object_floats_on_media_flag;
		object->location.position.z = get_mesh_height(&where, _true_height);
		if (game_play_version > 1600)
		{
			object->flags &= ~static_cast<uint32>(_object_partially_under_media_flag | _object_wholly_under_media_flag);
		}
	}
	if (definition->flags & _monster_cannot_be_autotargeted_flag)
	{
		monster->extra_flags |= _monster_cannot_be_autotargeted_extra_flag;
	}
	if (static_cast<uint16>(definition->hack_flags) & _hack_doesnt_auto_target_flag)
	{
		monster->extra_flags |= _monster_does_not_autotarget_extra_flag;
	}
	if (zerv_random() < definition->left_handed_fraction) object->flags |= _object_is_horizontally_mirrored_flag;

	// 10.
	if (c->veteran)
	{
		monster->experience = c->veteran->experience;
		monster->battles_survived = c->veteran->battles_survived;
		monster->original_name_string_index = c->veteran->original_name_string_index;
		memcpy(monster->name, c->veteran->name, MONSTER_NAME_LENGTH);
		monster->name[MONSTER_NAME_LENGTH - 1] = '\0';
	}

	// 11.
	const int16 target = closest_most_appropriate_target(monster_index, _closest_most_appropriate_target_periodic_scan);
	if (target != NONE)
	{
		try_and_switch_target_indexes(monster_index, target,
			_switch_target_activate_adjacents_flag | _switch_target_suppress_melee_attacks_flag);
	}
	monster = get_monster_data(monster_index);
	object = get_object_data(object_index);

	// 12. A visual effect: machine-local, never read by the simulation.
	if (definition->local_projectile_group_type != NONE)
	{
		monster->current_local_projectile_group_index =
			new_local_projectile_group(definition->local_projectile_group_type, &object->location.position, object_index, TRUE);
	}

	// 13.
	monster->propulsion_speed = 0;
	monster->maximum_artifacts_carried = static_cast<int8>(definition->maximum_artifacts_carried);
	monster->orig_type = monster->type;
	monster->orig_base_movement_speed = monster->base_movement_speed;
	return monster_index;
}

static void give_entrance_and_artifacts(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = get_monster_definition(monster->type);
	const object_data *object = get_object_data(monster->object_index);
	if ((definition->flags & _monster_always_uses_entrance_proj_group_flag) &&
		definition->entrance_projectile_group_type != NONE && object && !(object->flags & _object_is_invisible_flag))
	{
		monster->extra_flags |= _monster_should_spawn_entrance_proj_group_extra_flag;
	}
	if (definition->initial_artifacts_projectile_group_type != NONE)
	{
		give_artifacts_from_projectile_group(monster_index, definition->initial_artifacts_projectile_group_type);
	}
}

static void kill_at_once(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	damage_data damage = {};
	damage.owner_unit_index = damage.owner_monster_index = damage.owner_monster_identifier = NONE;
	damage.detonation_projectile_group_type = NONE;
	get_object_point(_object_point_location, monster->object_index, &damage.epicenter);
	damage.velocity = 40;
	kill_monster(monster_index, nullptr, &damage, _monster_death_hard);
}

static void create_map_action(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	// Record 0 never gets one, whatever its definition says.
	if (monster_index != 0 && definition && definition->map_action_tag != static_cast<file_tag>(NONE))
	{
		create_map_action_for_monster(monster_index, definition->map_action_tag);
	}
}

int16 new_monster(marker_data *marker)
{
	// 1.
	marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
	if (!entry) return NONE;
	const int32 marker_index = get_marker_index(marker);
	int16 result = NONE;

	// 2.
	const boolean invisible = (marker->flags & _marker_is_invisible_flag) != 0;
	const uint16 palette_flags = entry->flags;
	boolean create = !invisible || (palette_flags & _marker_palette_must_use_veterans_flag);
	if (create && !palette_compatible_with_game_scoring(entry)) create = FALSE;
	int16 unit_type = entry->tag_index;
	const monster_initializer *veteran = nullptr;
	if (create && ((palette_flags & _marker_palette_may_use_veterans_flag) ||
		((palette_flags & _marker_palette_must_use_veterans_flag) && invisible)))
	{
		veteran = get_monster_initializer(unit_type);
		if (veteran && veteran->unit_tag != entry->tag)
		{
			marker_palette_entry copy = *entry;
			copy.tag = veteran->unit_tag;
			new_monster_palette_entry(&copy);
			unit_type = copy.tag_index;
		}
	}
	if (create && (palette_flags & _marker_palette_must_use_veterans_flag) && !veteran) create = FALSE;
	if (create && game && marker->minimum_difficulty_level > game->difficulty_level) create = FALSE;
	if (create && entry->team_index == NONE) create = FALSE;

	const unit_definition *unit = create ? get_unit_definition(unit_type) : nullptr;
	const monster_definition *definition = unit ? get_monster_definition(unit->monster_type) : nullptr;
	if (definition)
	{
		// 3.
		if (definition->flags & _monster_raise_to_flying_height_flag)
		{
			const world_point2d point = {marker->location.position.x, marker->location.position.y};
			const world_distance ground = get_mesh_height(&point, _land_height);
			if (marker->location.position.z - ground <= MAXIMUM_FLYING_RAISE_HEIGHT)
			{
				marker->location.position.z = game_play_version == 1500 ? ground + 1536 + (zerv_random() >> 5) :
					ground + MONSTER_FLYING_HEIGHT;
			}
		}
		// 4 to 13.
		const team_data *team = get_team_data(entry->team_index);
		monster_creation creation = {unit_type, &marker->location, entry->team_index,
			team ? team->captain_player_index : static_cast<int16>(NONE), veteran, marker, palette_flags};
		result = create_monster(&creation);
	}
	if (result != NONE)
	{
		monster_data *monster = get_monster_data(result);
		if (game_play_version > 1510) give_entrance_and_artifacts(result);
		marker->data_identifier = monster->identifier;
		// 14.
		entry->count += 1;
		// The marker is known before a kill can ask it to respawn the unit.
		monster->carried_artifact_flags = 0;
		monster->marker_index = marker_index;
		// 15.
		if (marker->flags & _marker_detonates_immediately_flag)
		{
			const int16 outer = monster_being_created_index;
			monster_being_created_index = result;
			kill_at_once(result);
			monster_being_created_index = outer;
			result = NONE;
		}
		else
		{
			create_map_action(result);
		}
		// 16.
		if (marker->flags & _marker_is_invisible_observer_flag)
		{
			marker->data_index = result;
			// Hidden as a unit made invisible without an effect; it stays counted
			// in the statistics. A unit that no longer exists has nothing to take
			// off them.
			if (get_monster_data(result)) hide_monster(result);
		}
	}
	marker->data_index = result;
	return result;
}

int16 new_monster_at_location(file_tag unit_tag, const world_point3d *location, int16 owner_player_index,
	uint32 new_monster_flags, uint32 new_monster_extra_flags)
{
	int16 unit_type = NONE;
	definition_globals *units = get_unit_definitions();
	for (int16 i = 0; i < units->count && unit_type == NONE; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == owner_player_index && unit->parent_unit_tag == unit_tag) unit_type = i;
	}
	const player_data *owner = get_player_data(owner_player_index);
	if (unit_type == NONE || !owner) return NONE;
	world_location3d where = {};
	where.position = *location;
	monster_creation creation = {unit_type, &where, owner->team_index, owner_player_index, nullptr, nullptr, 0};
	const int16 monster_index = create_monster(&creation);
	if (monster_index == NONE) return NONE;
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = get_monster_definition(monster->type);
	monster->marker_index = NONE;
	// A local preference: only the field no simulation reads.
	if (local_player_prefers_no_persistent_formations(owner_player_index)) monster->formation_index = NONE;
	if (game_play_version > 1695)
	{
		monster->flags |= new_monster_flags;
		monster->extra_flags |= new_monster_extra_flags;
	}
	give_entrance_and_artifacts(monster_index);
	monster = get_monster_data(monster_index);
	object_data *object = get_object_data(monster->object_index);
	boolean stuck = FALSE;
	if (!(definition->flags & _monster_flies_flag) && monster->height_over_mesh > 0)
	{
		if (monster->height_over_mesh <= 2 * object->height1)
		{
			object->location.position.z -= monster->height_over_mesh;
			monster->height_over_mesh = 0;
		}
		else
		{
			stuck = TRUE;
		}
	}
	const world_point2d point = {object->location.position.x, object->location.position.y};
	const int16 terrain = get_mesh_terrain_type(&point);
	const boolean impassable = terrain >= 0 && terrain < 16 && (definition->terrain_impassability_flags & (1u << terrain));
	if (impassable || stuck)
	{
		const boolean netgame_or_hunted =
			(monster->extra_flags & (_monster_is_netgame_target_extra_flag | _monster_is_hunted_creature_extra_flag)) != 0;
		const boolean ambient = (monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0;
		kill_at_once(monster_index);
		adjust_damage_statistics(NONE, unit_type, 0, TRUE, netgame_or_hunted, ambient, TRUE, owner_player_index);
		return NONE;
	}
	create_map_action(monster_index);
	return monster_index;
}

void delete_monster(int16 monster_index, boolean permanent)
{
	if (!get_monster_data(monster_index)) return;
	call_monster_died_procs(monster_index, permanent ? _monster_died_deleted : _monster_died_changed_owner);
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	if (get_object_data(monster->object_index)) delete_object(monster->object_index);
	if (monster->path_index != NONE) delete_path(&monster->path_index);
	delete_datum(&monster_array, monster_index);
}

static int16 find_unit_definition_for_player(file_tag unit_tag, int16 player_index)
{
	definition_globals *units = get_unit_definitions();
	for (int16 i = 0; i < units->count; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == player_index && unit->parent_unit_tag == unit_tag) return i;
	}
	return NONE;
}

void new_monster_palette_entry(marker_palette_entry *entry)
{
	const int16 plain = unit_definition_tag_to_index(entry->tag);
	entry->tag_index = NONE;
	if (plain == NONE) return;
	if (entry->flags & _marker_palette_ambient_life_flag)
	{
		get_unit_definition(plain)->player_index = 0;
		const player_data *first = get_player_data(0);
		entry->team_index = first ? first->team_index : static_cast<int16>(NONE);
		entry->tag_index = plain;
		return;
	}
	const team_data *team = get_team_data(entry->team_index);
	const int16 captain = team ? team->captain_player_index : static_cast<int16>(NONE);
	for (int16 p = 0; p < player_array.count; ++p)
	{
		const player_data *player = get_player_data(p);
		if (!player || player->team_index != entry->team_index) continue;
		int16 unit_type = find_unit_definition_for_player(entry->tag, p);
		if (unit_type == NONE)
		{
			const boolean colors = (player->flags & _player_uses_appearance_colors_flag) != 0;
			unit_type = custom_unit_definition(entry->tag, colors ? &player->appearance.primary_color : nullptr,
				colors ? &player->appearance.secondary_color : nullptr);
			unit_definition *custom = get_unit_definition(unit_type);
			if (custom) custom->player_index = p;
		}
		if (p == captain) entry->tag_index = unit_type;
	}
	if ((entry->flags & _marker_palette_uncontrollable_flag) && game && game->scoring == _game_scoring_custom)
	{
		entry->tag_index = plain;
	}
}

/* ---------- the units' own died procedure and queries */

world_distance get_centerpoint_of_monster_indexes(int16 count, const int16 *indexes, world_point2d *center)
{
	int64 sum_x = 0, sum_y = 0;
	int32 found = 0;
	world_distance min_x = 0, min_y = 0, max_x = 0, max_y = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) continue;
		const world_distance x = object->location.position.x, y = object->location.position.y;
		if (found == 0)
		{
			min_x = max_x = x;
			min_y = max_y = y;
		}
		min_x = MIN(min_x, x);
		max_x = MAX(max_x, x);
		min_y = MIN(min_y, y);
		max_y = MAX(max_y, y);
		sum_x += x;
		sum_y += y;
		found += 1;
	}
	if (found == 0)
	{
		center->x = center->y = NONE;
		return 0;
	}
	center->x = static_cast<world_distance>(sum_x / found);
	center->y = static_cast<world_distance>(sum_y / found);
	return MAX(MAX(max_y - center->y, max_x - center->x), MAX(center->x - min_x, center->y - min_y));
}

uint16 evaluate_monster(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const int16 local_player = player_globals.local_player_index;
	const player_data *player = get_player_data(local_player);
	if (!monster || !player || !teams_are_allied(monster->owner_team_index, player->team_index)) return 0;
	uint16 result = _evaluate_monster_friendly_flag;
	const boolean owned = monster->owner_player_index == local_player;
	if (owned) result |= _evaluate_monster_owned_flag;
	boolean controllable = owned || (monster->owner_team_index == player_globals.local_player_team_index &&
		player_globals.local_player_is_team_captain);
	if ((monster->flags & _monster_ignores_user_commands_flag) || (game && game->type == _game_type_replay))
	{
		controllable = owned;
	}
	if (controllable) result |= _evaluate_monster_controllable_flag;
	return result;
}

/* ---------- names and sounds */

// The current kind, or the original one when the kind changed to another collection.
static const monster_definition *speaking_definition(const monster_data *monster)
{
	const monster_definition *current = get_monster_definition(monster->type);
	if (monster->type != monster->orig_type)
	{
		const monster_definition *original = get_monster_definition(monster->orig_type);
		if (current && original && current->collection_index != original->collection_index) return original;
	}
	return current;
}

static const char *string_or_empty(int16 list_index, int16 string_index)
{
	if (list_index == NONE || string_index < 0 || string_index >= count_strings_in_list(list_index)) return "";
	const char *text = get_string_from_list(list_index, string_index);
	return text ? text : "";
}

const char *get_monster_spelling(int16 monster_type, int16 count)
{
	const monster_definition *definition = get_monster_definition(monster_type);
	if (!definition || definition->spelling_string_list_index == NONE) return "";
	const int16 list = definition->spelling_string_list_index;
	const boolean plural = count != 1 && count_strings_in_list(list) != 1;
	return string_or_empty(list, plural ? _monster_spelling_plural_index : _monster_spelling_singular_index);
}

const char *get_monster_name(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster) return "";
	if (monster->name[0]) return monster->name;
	const monster_definition *definition = speaking_definition(monster);
	return definition ? string_or_empty(definition->names_string_list_index, monster->original_name_string_index) : "";
}

void play_monster_sound(int16 monster_index, int16 sound_type)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? speaking_definition(monster) : nullptr;
	if (!definition) return;
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER; ++i)
	{
		if (definition->sound_types[i] != sound_type) continue;
		if (definition->sound_indexes[i] != NONE) _play_object_sound(monster->object_index, definition->sound_indexes[i]);
		return;
	}
}

void play_monsters_sound(const int16 *indexes, int16 count, int16 sound_type)
{
	int16 counts[MAXIMUM_MONSTER_DEFINITIONS_PER_MAP] = {};
	int16 best = NONE;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		if (!monster || monster->type < 0 || monster->type >= MAXIMUM_MONSTER_DEFINITIONS_PER_MAP) continue;
		counts[monster->type] += 1;
	}
	for (int16 type = 0; type < MAXIMUM_MONSTER_DEFINITIONS_PER_MAP; ++type)
	{
		if (counts[type] > 0 && (best == NONE || counts[type] > counts[best])) best = type;
	}
	if (best == NONE) return;
	if (counts[best] >= MINIMUM_MULTIPLE_SOUND_MONSTER_COUNT)
	{
		if (sound_type == _monster_sound_attack_order) sound_type = _monster_sound_multiple_attack_order;
		else if (sound_type == _monster_sound_move_order) sound_type = _monster_sound_multiple_move_order;
		else if (sound_type == _monster_sound_selection) sound_type = _monster_sound_multiple_selection;
	}
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		if (monster && monster->type == best) play_monster_sound(indexes[i], sound_type);
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

// Identifier to index + 1 (0: none). A row is checked against the record on
// every read, so a stale one only costs the linear search.
static uint16 monster_index_by_identifier[65536];

void set_monster_identifier(int16 monster_index, int16 identifier)
{
	if (!get_monster_data(monster_index)) return;
	set_datum_identifier(&monster_array, monster_index, identifier);
	const monster_data *monster = get_monster_data(monster_index);
	monster_index_by_identifier[static_cast<uint16>(monster->identifier)] = static_cast<uint16>(monster_index + 1);
}

static int16 find_monster_index_by_identifier(int16 identifier)
{
	if (identifier == 0) return NONE;
	const int32 row = monster_index_by_identifier[static_cast<uint16>(identifier)] - 1;
	if (row >= 0 && row < monster_array.count)
	{
		const monster_data *monster = get_monster_data(static_cast<int16>(row));
		if (monster && monster->identifier == identifier) return static_cast<int16>(row);
	}
	for (int16 m = 0; m < monster_array.count; ++m)
	{
		const monster_data *monster = get_monster_data(m);
		if (monster && monster->identifier == identifier)
		{
			monster_index_by_identifier[static_cast<uint16>(identifier)] = static_cast<uint16>(m + 1);
			return m;
		}
	}
	return NONE;
}

int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 found = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = find_monster_index_by_identifier(identifiers[i]);
		if (index != NONE) indexes[found++] = index;
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

/* ---------- digest */

// Explicit fixed-width values: the same on every build. The visual fields
// (local effects, overhead text, display flags) and the local formation
// preference's field differ between machines and stay out.
void fold_monsters_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&monster_array));
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *m = get_monster_data(i);
		if (!m) continue;
		const int32 words[] = {i, m->identifier, m->type, static_cast<int32>(m->flags), static_cast<int32>(m->extra_flags),
			m->object_index, m->carrying_object_index, m->artifact_index, m->unit_type, m->owner_team_index,
			m->owner_player_index, m->cell_impassability_flags, m->ticks_until_updating, m->terrain_impassability_flags,
			m->repeated_obstruction_count, m->path_index, m->path_segment_length, m->waypoint_count, m->waypoint_index,
			m->desired_yaw, m->final_desired_yaw, m->waypoints[0].x, m->waypoints[0].y, m->waypoints[1].x,
			m->waypoints[1].y, m->waypoints[2].x, m->waypoints[2].y, m->waypoints[3].x, m->waypoints[3].y,
			m->path_destination.x, m->path_destination.y, m->target_location.x, m->target_location.y,
			m->last_target_location.x, m->last_target_location.y, m->target_location_height, m->target_monster_index,
			m->deferred_target_index, m->attack_timer, m->confusion_timer, m->estimated_projectile_flight_time,
			m->estimated_projectile_pitch, m->projectile_initial_velocity, m->avoiding_object_index,
			m->pick_up_object_index, m->pick_up_object_identifier, m->aggressor_monster_index,
			m->internal_command_identifier, m->mana, m->base_movement_speed, m->formation_identifier,
			m->formation_position, m->last_formation_index, m->formation_angle, m->height_over_mesh, m->action,
			m->action_permutation, m->ammunition_count, m->experience, m->battles_survived,
			m->original_name_string_index, m->maximum_artifacts_carried, m->held_object_count,
			m->held_object_indexes[0], m->held_object_indexes[1], m->held_object_indexes[2], m->held_object_indexes[3],
			m->held_object_indexes[4], m->held_object_indexes[5], m->held_object_indexes[6], m->held_object_indexes[7],
			m->held_object_indexes[8], static_cast<int32>(m->artifact_timer), m->carried_artifact_flags, m->orig_type,
			m->orig_base_movement_speed, m->monster_map_action_data ? 1 : 0, m->marker_index, m->propelled_yaw,
			m->propelled_timer, m->propulsion_speed};
		for (const int32 word : words) zerv_digest_int32(digest, word);
		zerv_digest_bytes(digest, m->name, MONSTER_NAME_LENGTH);
	}
	definition_globals *kinds = get_monster_definitions();
	for (int16 type = 0; type < kinds->count; ++type)
	{
		const monster_definition *definition = get_monster_definition(type);
		zerv_digest_int16(digest, definition ? definition->next_name_string_index : static_cast<int16>(NONE));
	}
	zerv_digest_int16(digest, get_unit_definitions()->count);
}

/* ---------- test hooks */

monsters_test_hooks_data *get_monsters_test_hooks(void)
{
	return &monsters_test_hooks;
}

void reset_monsters_test_hooks(void)
{
	monsters_test_hooks = {};
	monsters_test_hooks.last_crossfade_permutation = NONE;
	for (int32 &time : monsters_test_hooks.last_script_carry_time) time = NONE;
}
