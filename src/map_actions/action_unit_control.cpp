// 'ctrl': direct changes of units by the script, applied in a fixed order.
// Steps 3-5 read the subjects as unit-marker identifiers, the rest as units.
#include <cstring>

#include "alliances.h"
#include "bitmap_text.h"
#include "damage.h"
#include "game_statistics.h"
#include "interface.h"
#include "map_actions/action_proc_values.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/subject_lists.h"
#include "map_actions/unit_order_action_procs.h"
#include "markers.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "overhead_map.h"
#include "players.h"
#include "projectile_definitions.h"
#include "selection.h"
#include "string_definitions.h"
#include "tags_and_strings.h"
#include "world.h"
#include "zerv.h"

#define SOFT_DEATH_KIND 38
#define HARD_DEATH_KIND 39
#define STONED_ACTION_PERMUTATION_ARTIFACT 187 // as the byte holds it
#define DEFAULT_OVERHEAD_TEXT_TICKS 300

static int16 first_object_with_identifier(int16 identifier)
{
	for (int16 i = 0; i < object_array.count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (object && object->identifier == identifier) return i;
	}
	return NONE;
}

static int16 effect_choice(int16 action_index, bool fade_allowed)
{
	if (fade_allowed && map_action_has_flag(action_index, TAG("fade"))) return 3;
	if (map_action_has_flag(action_index, TAG("vesl"))) return 2;
	if (map_action_has_flag(action_index, TAG("quib"))) return 1;
	if (map_action_has_flag(action_index, TAG("moen"))) return 0;
	return NONE;
}

static void remove_carried_artifact(monster_data *monster, int16 monster_index, int16 list_position)
{
	if (monster->carrying_object_index != NONE)
	{
		const int16 carried = monster->carrying_object_index;
		int16 slot = NONE;
		for (int16 i = 0; i < monster->held_object_count; ++i)
			if (monster->held_object_indexes[i] == carried) slot = i;
		if (slot != NONE)
		{
			for (int16 i = slot; i + 1 < monster->held_object_count; ++i)
				monster->held_object_indexes[i] = monster->held_object_indexes[i + 1];
			monster->held_object_count -= 1;
		}
		if (get_object_data(carried)) delete_object(carried);
		monster->carrying_object_index = NONE;
		if (monster->artifact_index != NONE)
		{
			// Below 1710 the list position names the unit: only a live one is switched.
			const int16 switched = game_play_version >= 1710 ? monster_index : list_position;
			if (get_monster_data(switched)) switch_monster_artifact(switched);
		}
	}
	monster->display_dirty_flags |= _monster_items_dirty_flag;
	monster->artifact_index = NONE;
	if (static_cast<uint8>(monster->action_permutation) == STONED_ACTION_PERMUTATION_ARTIFACT)
		monster->action_permutation = NONE;
}

static void show_overhead_text(int16 action_index, const int16 *subjects, int16 count)
{
	field_tag list_tag;
	if (!get_map_action_field_name(action_index, TAG("otxt"), &list_tag)) return;
	const int16 list = string_list_tag_to_string_index(list_tag);
	if (list == NONE)
	{
		map_action_debug(action_index, "invalid string list tag");
		return;
	}
	overhead_text_data text;
	memset(&text, 0, sizeof(text));
	text.string_list_index = list;
	int32 value;
	if (get_map_action_integer(action_index, TAG("otsi"), &value) && value >= 0 && value < count_strings_in_list(list))
		text.string_index = static_cast<int16>(value);
	text.font_index = get_interface_font_index(1);
	field_tag font_tag;
	if (get_map_action_field_name(action_index, TAG("otft"), &font_tag))
	{
		const int16 font = font_tag_to_font_index(font_tag);
		if (font != NONE) text.font_index = font;
	}
	text.style = NONE;
	text.color.red = text.color.green = text.color.blue = 65535;
	int32 red, green, blue;
	if (get_indexed_long_integer_parameter(action_index, TAG("otcl"), _parameter_integer, &red, 0) &&
		get_indexed_long_integer_parameter(action_index, TAG("otcl"), _parameter_integer, &green, 1) &&
		get_indexed_long_integer_parameter(action_index, TAG("otcl"), _parameter_integer, &blue, 2))
	{
		text.color.red = static_cast<uint16>(clamp_to_int32(red, 0, 65535));
		text.color.green = static_cast<uint16>(clamp_to_int32(green, 0, 65535));
		text.color.blue = static_cast<uint16>(clamp_to_int32(blue, 0, 65535));
	}
	text.text_flags = static_cast<uint16>(1 | (map_action_has_flag(action_index, TAG("otsh")) ? 32 : 0));
	text.timer = DEFAULT_OVERHEAD_TEXT_TICKS;
	if (get_map_action_integer(action_index, TAG("otim"), &value))
		text.timer = static_cast<int16>(clamp_to_int32(value, INT16_MIN, INT16_MAX));
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		// A timed-out slot may since hold another unit's text.
		const overhead_text_data *current = get_overhead_text_data(monster->current_overhead_text_index);
		if (current && current->monster_index == subjects[i]) delete_overhead_text(monster->current_overhead_text_index);
		text.monster_index = subjects[i];
		monster->current_overhead_text_index = new_overhead_text(&text);
	}
}

uint32 unit_control_action_proc(int16 action_index)
{
	int16 identifiers[MAXIMUM_SUBJECT_MONSTERS];
	const int16 identifier_count = static_cast<int16>(get_combined_map_action_parameter(action_index, TAG("subj"),
		_parameter_monster_identifier, identifiers, MAXIMUM_SUBJECT_MONSTERS));

	// Step 2: the control flags become one change.
	uint32 set_flags = 0, clear_flags = 0, set_extra = 0, clear_extra = 0;
	int32 value;
	const bool has_dnat = map_action_value_flag(action_index, TAG("dnat"), &value);
	if (has_dnat) (value ? set_extra : clear_extra) |= _monster_does_not_autotarget_extra_flag;
	if (map_action_value_flag(action_index, TAG("user"), &value))
		(value ? set_flags : clear_flags) |= _monster_has_received_user_command_flag;
	if (map_action_value_flag(action_index, TAG("cnba"), &value))
		(value ? set_extra : clear_extra) |= _monster_cannot_be_autotargeted_extra_flag;
	int32 ignores = NONE;
	if (map_action_value_flag(action_index, TAG("igno"), &ignores))
	{
		(ignores ? set_flags : clear_flags) |= _monster_ignores_user_commands_flag;
		if (!ignores)
		{
			clear_extra |= _monster_has_no_visibility_extra_flag;
			if (!has_dnat && game_play_version != 1300) clear_extra |= _monster_does_not_autotarget_extra_flag;
		}
	}

	// Step 3: heights on the markers.
	bool height_remembered = false;
	short_world_distance remembered_height = 0;
	map_action_parameter parameter;
	if (get_map_action_parameter(&parameter, action_index, 0, TAG("heig"), _parameter_world_distance) &&
		parameter.count >= 1)
	{
		int32 first = 0, second = 0;
		get_indexed_long_integer_parameter(action_index, TAG("heig"), _parameter_world_distance, &first, 0);
		const bool two = parameter.count >= 2 &&
			get_indexed_long_integer_parameter(action_index, TAG("heig"), _parameter_world_distance, &second, 1) &&
			second != first;
		for (int16 i = 0; i < identifier_count; ++i)
		{
			marker_data *marker = get_marker_by_identifier(_marker_monster, identifiers[i]);
			if (!marker) continue;
			int64 h = first;
			if (two)
			{
				const uint16 draw = zerv_random();
				h += static_cast<int64>(draw) % (static_cast<int64>(second) - first);
			}
			marker->location.height = static_cast<short_world_distance>(
				clamp_to_int32(marker->location.height + h, INT16_MIN, INT16_MAX));
			marker->location.position.z = clamp_to_int32(marker->location.position.z + h, INT32_MIN, INT32_MAX);
			const world_point2d p = {marker->location.position.x, marker->location.position.y};
			remembered_height = static_cast<short_world_distance>(
				clamp_to_int32(static_cast<int64>(marker->location.position.z) - get_mesh_height(&p, _true_height),
					INT16_MIN, INT16_MAX));
			height_remembered = true;
		}
	}

	// Step 4-5: shown and hidden by marker.
	if (map_action_has_flag(action_index, TAG("visi")) || map_action_has_flag(action_index, TAG("moso")))
	{
		const int16 effect = effect_choice(action_index, game_play_version >= 1511);
		const bool announce = map_action_has_flag(action_index, TAG("rein"));
		for (int16 i = 0; i < identifier_count; ++i)
		{
			const int16 shown = make_monster_visible(identifiers[i], effect);
			monster_data *monster = get_monster_data(shown);
			if (!monster) continue;
			if (height_remembered) monster->height_over_mesh = remembered_height;
			// Machine-local: the announcement only reaches the local team's player.
			if (announce && monster->owner_team_index == player_globals.local_player_team_index)
				queue_game_sound(_game_sound_new_units_received);
		}
	}
	if (map_action_has_flag(action_index, TAG("invi")))
	{
		const int16 effect = effect_choice(action_index, true);
		for (int16 i = 0; i < identifier_count; ++i) make_monster_invisible(identifiers[i], effect);
	}

	// Step 6: units from here on.
	int16 subjects[MAXIMUM_SUBJECT_MONSTERS];
	int16 count = monster_identifiers_to_monster_indexes(identifiers, subjects, identifier_count);
	count = remove_monsters_that_have_left_the_mesh(subjects, count);

	if (count > 0 && map_action_has_flag(action_index, TAG("elim")))
	{
		eliminate_team(get_monster_data(subjects[0])->owner_team_index);
		return 2;
	}

	int16 object_identifiers[MAXIMUM_SUBJECT_MONSTERS];
	const int32 object_count = get_combined_map_action_parameter(action_index, TAG("proj"),
		_parameter_object_identifier, object_identifiers, MAXIMUM_SUBJECT_MONSTERS);
	for (int32 i = 0; i < object_count && i < count; ++i)
	{
		const int16 object_index = first_object_with_identifier(object_identifiers[i]);
		if (object_index == NONE || !give_object_to_monster(subjects[i], object_index))
		{
			map_action_debug(action_index, "couldn't give object #%d to monster #%d",
				static_cast<int>(object_identifiers[i]), static_cast<int>(subjects[i]));
		}
	}

	// Steps 9-10: control flags, then uncontrollable.
	int32 uncontrollable = NONE;
	const bool has_unco = map_action_value_flag(action_index, TAG("unco"), &uncontrollable);
	const uint32 unco_flags = _monster_is_uncontrollable_extra_flag | _monster_has_no_visibility_extra_flag;
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		uint32 before = monster->flags & _monster_ignores_user_commands_flag;
		monster->flags = (monster->flags & ~clear_flags) | set_flags;
		monster->extra_flags = (monster->extra_flags & ~clear_extra) | set_extra;
		if (ignores == 1) remove_monster_index_from_current_selections(subjects[i]);
		if (game_play_version >= 1601 && before != (monster->flags & _monster_ignores_user_commands_flag))
			monster_player_control_changed(subjects[i]);
		if (has_unco)
		{
			before = monster->flags & _monster_ignores_user_commands_flag;
			if (uncontrollable)
			{
				monster->extra_flags |= unco_flags;
				monster->flags |= _monster_ignores_user_commands_flag;
			}
			else
			{
				monster->extra_flags &= ~unco_flags;
				monster->flags &= ~_monster_ignores_user_commands_flag;
			}
			if (game_play_version >= 1601 && before != (monster->flags & _monster_ignores_user_commands_flag))
				monster_player_control_changed(subjects[i]);
		}
	}

	int32 held;
	const bool has_held = map_action_value_flag(action_index, TAG("held"), &held);
	const bool remove = map_action_has_flag(action_index, TAG("remo"));
	fixed health_low = 0, health_span = 0;
	bool has_health = false;
	if (get_map_action_parameter(&parameter, action_index, 0, TAG("hefr"), _parameter_fixed) && parameter.count >= 1)
	{
		int32 first = 0, second = 0;
		get_indexed_long_integer_parameter(action_index, TAG("hefr"), _parameter_fixed, &first, 0);
		second = first;
		if (parameter.count >= 2)
			get_indexed_long_integer_parameter(action_index, TAG("hefr"), _parameter_fixed, &second, 1);
		// The span is taken to 8.8 after the subtraction: a span under 1/256 draws nothing.
		health_low = first >> 8;
		health_span = static_cast<fixed>((static_cast<int64>(second) - first) >> 8);
		has_health = true;
	}
	int32 ammunition, added_ammunition, added_experience, added_charges;
	const bool has_ammo = get_map_action_integer(action_index, TAG("ammo"), &ammunition);
	field_tag switched_tag;
	const bool has_switch =
		game_play_version >= 1301 && get_map_action_field_name(action_index, TAG("swit"), &switched_tag);
	const int16 switched_kind = has_switch && switched_tag != TAG("null") ?
		projectile_definition_tag_to_index(switched_tag) : static_cast<int16>(NONE);
	const bool has_added_ammo =
		game_play_version >= 1301 && get_map_action_integer(action_index, TAG("amm+"), &added_ammunition);
	const bool has_added_experience =
		game_play_version >= 1511 && get_map_action_integer(action_index, TAG("exp+"), &added_experience);
	const bool has_added_charges =
		game_play_version >= 1511 && get_map_action_integer(action_index, TAG("chr+"), &added_charges);
	const bool drop = game_play_version >= 1601 && map_action_has_flag(action_index, TAG("drop"));

	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		object_data *object = get_object_data(monster->object_index);
		if (has_held)
		{
			if (held)
			{
				monster->extra_flags |= _monster_immobile_extra_flag;
				monster->action = _monster_action_stoned;
				monster->action_permutation = _monster_action_permutation_stoned;
				const monster_definition *definition = get_monster_definition(monster->type);
				if (object && definition)
				{
					set_object_shape(monster->object_index, definition->sequence_indexes[0], 256, NONE, 0,
						_random_sequence_frame_flag | _random_sequence_phase_flag, FALSE);
				}
			}
			else
			{
				monster->extra_flags &= ~_monster_immobile_extra_flag;
				monster->action = _monster_action_idle;
			}
		}
		if (remove) remove_carried_artifact(monster, subjects[i], i);
		if (has_health && object)
		{
			fixed fraction = health_low;
			if (health_span > 0)
			{
				const uint16 draw = zerv_random();
				fraction += static_cast<fixed>((static_cast<int64>(draw) * health_span) >> 16);
			}
			object->vitality = static_cast<short_fixed>(
				clamp_to_int32((static_cast<int64>(object->maximum_vitality) * fraction) >> 8, INT16_MIN, INT16_MAX));
		}
		if (has_ammo)
		{
			monster->ammunition_count = static_cast<int8>(clamp_to_int32(ammunition, 0, 127));
			monster->display_dirty_flags |= _monster_ammunition_dirty_flag;
		}
		if (has_switch && monster->held_object_count > 0)
		{
			bool switched = false;
			if (switched_tag == TAG("null"))
			{
				monster->carrying_object_index = NONE;
				switched = true;
			}
			else
			{
				for (int16 h = 0; h < monster->held_object_count && !switched; ++h)
				{
					const object_data *held_object = get_object_data(monster->held_object_indexes[h]);
					if (held_object && held_object->owner == _object_is_dormant_projectile &&
						held_object->owner_index == switched_kind)
					{
						monster->carrying_object_index = monster->held_object_indexes[h];
						switched = true;
					}
				}
			}
			if (switched)
			{
				switch_monster_artifact(subjects[i]);
				monster->display_dirty_flags |= _monster_items_dirty_flag;
				map_action_debug(action_index, "switching to '%s' projectile for monster %d",
					tag_to_string(switched_tag), static_cast<int>(subjects[i]));
			}
		}
		if (has_added_ammo)
		{
			monster->ammunition_count = static_cast<int8>(clamp_to_int32(
				static_cast<int64>(monster->ammunition_count) + added_ammunition, 0, 127));
			monster->display_dirty_flags |= _monster_ammunition_dirty_flag;
		}
		if (has_added_experience)
		{
			monster->experience =
				static_cast<uint8>(clamp_to_int32(static_cast<int64>(monster->experience) + added_experience, 0, 255));
			monster->display_dirty_flags |= _monster_experience_dirty_flag;
		}
		if (has_added_charges && monster->carrying_object_index != NONE && monster->artifact_index != NONE)
		{
			object_data *carried = get_object_data(monster->carrying_object_index);
			if (carried)
			{
				carried->state =
					static_cast<int16>(clamp_to_int32(static_cast<int64>(carried->state) + added_charges, 0, INT16_MAX));
				monster->display_dirty_flags |= _monster_items_dirty_flag;
			}
		}
		if (drop && monster->carrying_object_index != NONE)
		{
			// The executor takes the held slot of the carried object, not the list position.
			for (int16 h = 0; h < monster->held_object_count; ++h)
			{
				if (monster->held_object_indexes[h] == monster->carrying_object_index)
				{
					monster_command_drop_projectile(monster, subjects[i], h);
					break;
				}
			}
		}
	}

	show_overhead_text(action_index, subjects, count);

	int32 mana;
	if (game_play_version >= 1301 && get_map_action_fixed(action_index, TAG("mana"), &mana))
	{
		int32 given = mana > 0 ? mana >> 8 : 0;
		for (int16 i = 0; i < count; ++i)
		{
			monster_data *monster = get_monster_data(subjects[i]);
			const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
			if (!definition || definition->maximum_mana <= 0) continue;
			if (given > definition->maximum_mana) given = definition->maximum_mana;
			monster->mana = static_cast<short_fixed>(given);
		}
	}
	int32 lower = 0, raise = 0;
	const bool has_lower = game_play_version >= 1301 && get_map_action_fixed(action_index, TAG("lhfr"), &lower);
	const bool has_raise = game_play_version >= 1301 && get_map_action_fixed(action_index, TAG("rhfr"), &raise);
	int32 name_index, experience, survived;
	const bool has_name = get_map_action_integer(action_index, TAG("nena"), &name_index);
	const bool has_experience = get_map_action_integer(action_index, TAG("expe"), &experience);
	const bool has_survived = get_map_action_integer(action_index, TAG("lesu"), &survived);
	int32 magical, transparent, ghost;
	const bool has_magical = map_action_value_flag(action_index, TAG("majk"), &magical);
	const bool has_transparent = map_action_value_flag(action_index, TAG("tran"), &transparent);
	const bool has_ghost = map_action_value_flag(action_index, TAG("onii"), &ghost);
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		object_data *object = get_object_data(monster->object_index);
		if (object && (has_lower || has_raise))
		{
			int64 vitality = object->vitality;
			if (has_lower) vitality -= lower >> 8;
			if (has_raise) vitality += raise >> 8;
			object->vitality = static_cast<short_fixed>(clamp_to_int32(vitality, 1, object->maximum_vitality > 1 ?
				object->maximum_vitality : 1));
		}
		if (has_name)
		{
			monster->original_name_string_index = static_cast<int8>(clamp_to_int32(name_index, INT8_MIN, INT8_MAX));
			monster->display_dirty_flags |= _monster_name_dirty_flag;
		}
		if (has_experience)
		{
			monster->experience = static_cast<uint8>(clamp_to_int32(experience, 0, 255));
			monster->display_dirty_flags |= _monster_experience_dirty_flag;
		}
		if (has_survived) monster->battles_survived = static_cast<int8>(clamp_to_int32(survived, 0, INT8_MAX));
		if (has_magical) set_monster_magical_invisibility(subjects[i], magical != 0);
		if (object && has_transparent)
		{
			if (transparent) object->flags |= FLAG(_object_is_rendered_transparently_bit);
			else object->flags &= ~FLAG(_object_is_rendered_transparently_bit);
		}
		if (object && has_ghost)
		{
			const int8 mode = ghost ? _transfer_mode_transparent_appearing : _transfer_mode_transparent_disappearing;
			const int8 opposite =
				ghost ? _transfer_mode_transparent_disappearing : _transfer_mode_transparent_appearing;
			if (object->transfer_mode != mode)
			{
				const int8 phase = object->transfer_mode == opposite ?
					static_cast<int8>(clamp_to_int32(30 - object->transfer_phase, 0, 30)) : static_cast<int8>(0);
				object->transfer_mode = mode;
				object->transfer_period = 30;
				object->transfer_phase = phase;
			}
		}
	}

	int32 kill_value = 0;
	const bool has_kill = game_play_version >= 1301 && get_map_action_integer(action_index, TAG("kill"), &kill_value);
	const bool has_delete = map_action_has_flag(action_index, TAG("dele"));
	int32 detach_rank;
	const bool has_detach = get_map_action_integer(action_index, TAG("deta"), &detach_rank);
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		const object_data *object = get_object_data(monster->object_index);
		if (has_delete && !(game_play_version >= 1511 && has_kill))
		{
			adjust_damage_statistics(NONE, monster->unit_type, object ? object->vitality : 0, TRUE, FALSE, FALSE,
				TRUE, NONE);
			delete_monster(subjects[i], FALSE);
			continue;
		}
		if (has_detach)
		{
			const team_data *team = get_team_data(monster->owner_team_index);
			int16 receiver = NONE;
			if (team && detach_rank == 0) receiver = team->captain_player_index;
			else if (team && detach_rank > 0)
			{
				int32 seen = 0;
				for (int16 p = 0; p < player_array.count && receiver == NONE; ++p)
				{
					const player_data *player = get_player_data(p);
					if (!player || player->team_index != monster->owner_team_index || p == team->captain_player_index ||
						(player->flags & _player_has_been_dropped_flag))
						continue;
					if (++seen == detach_rank) receiver = p;
				}
			}
			if (receiver != NONE) detach_monster(subjects[i], receiver, FALSE);
			monster = get_monster_data(subjects[i]);
			if (!monster) continue;
			object = get_object_data(monster->object_index);
		}
		if (has_kill && object)
		{
			if (game_play_version >= 1511 && has_delete)
			{
				adjust_damage_statistics(NONE, monster->unit_type, object->vitality, TRUE,
					(monster->extra_flags & _monster_is_netgame_target_extra_flag) != 0 ||
						(monster->extra_flags & _monster_is_hunted_creature_extra_flag) != 0,
					(monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0, TRUE, NONE);
			}
			damage_data damage;
			memset(&damage, 0, sizeof(damage));
			damage.owner_unit_index = NONE;
			damage.owner_monster_index = NONE;
			damage.owner_monster_identifier = NONE;
			damage.detonation_projectile_group_type = NONE;
			damage.epicenter = object->location.position;
			damage.velocity = 25;
			kill_monster(subjects[i], nullptr, &damage, kill_value == 0 ? SOFT_DEATH_KIND : HARD_DEATH_KIND);
		}
	}
	if (game_play_version < 1511) return 2;

	int32 set_height, raise_height;
	const bool has_set_height = get_map_action_integer(action_index, TAG("smht"), &set_height);
	const bool has_raise_height = get_map_action_integer(action_index, TAG("imht"), &raise_height);
	if (has_set_height || has_raise_height)
	{
		for (int16 i = 0; i < count; ++i)
		{
			monster_data *monster = get_monster_data(subjects[i]);
			object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
			if (!object) continue;
			const world_point2d p = {object->location.position.x, object->location.position.y};
			const int64 ground = get_mesh_height(&p, _true_height);
			int64 z = has_set_height ? set_height : static_cast<int64>(object->location.position.z) + raise_height;
			if (z < ground) z = ground;
			object->location.position.z = clamp_to_int32(z, INT32_MIN, INT32_MAX);
			monster->height_over_mesh = static_cast<short_world_distance>(clamp_to_int32(z - ground, INT16_MIN, INT16_MAX));
		}
	}
	return 2;
}
