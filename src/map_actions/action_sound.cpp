// 'soun': a sound for the player, on the nearest visible subject or for the
// whole screen, or only for the subjects' owners.
#include "map_actions/presentation_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "objects.h"
#include "observer.h"
#include "players.h"
#include "sound/sound_manager.h"
#include "zerv.h"

// Every subject's owner team (team) or owner player, and whether the local
// one is among them.
static boolean local_owner_is_marked(const int16 *subjects, int16 count, boolean by_team)
{
	const int16 local = by_team ? player_globals.local_player_team_index : player_globals.local_player_index;
	if (local == NONE) return FALSE;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(subjects[i]);
		if (!monster) continue;
		const int16 owner = by_team ? monster->owner_team_index : monster->owner_player_index;
		// A NONE owner marks nothing.
		if (owner != NONE && owner == local) return TRUE;
	}
	return FALSE;
}

uint32 sound_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_PRESENTATION_SUBJECTS];
	int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_PRESENTATION_SUBJECTS, subjects);
	int32 sound_index = NONE;
	const boolean has_sound =
		get_indexed_long_integer_parameter(action_index, TAG("soun"), _parameter_sound_tag, &sound_index, 0);

	if (game_play_version >= 1511 && count > 0 && has_sound)
	{
		const boolean by_team = map_action_has_flag(action_index, TAG("team"));
		if (by_team || map_action_has_flag(action_index, TAG("ownr")))
		{
			if (local_owner_is_marked(subjects, count, by_team))
			{
				play_sound_with_flags(static_cast<int16>(sound_index), NONE, nullptr, 256, 0);
			}
			return _map_action_proc_succeeded_flag;
		}
	}

	const boolean had_subjects = count > 0;
	if (!map_action_has_flag(action_index, TAG("over"))) count = remove_monster_indexes_under_user_control(subjects, count);

	int16 chosen = NONE;
	int64 chosen_distance = 0;
	const world_location3d *listener = sound_listener_proc();
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(subjects[i]);
		if (!monster || (monster->flags & _monster_has_left_the_mesh_flag)) continue;
		const object_data *object = get_object_data(monster->object_index);
		if (!object) continue;
		const world_point3d &p = object->location.position;
		if (!(get_cell_visibility(p.x / WORLD_ONE, p.y / WORLD_ONE) & 2)) continue;
		int64 distance = 0;
		if (listener)
		{
			const int64 dx = p.x - listener->position.x, dy = p.y - listener->position.y, dz = p.z - listener->position.z;
			distance = dx * dx + dy * dy + dz * dz;
		}
		if (chosen == NONE || distance < chosen_distance)
		{
			chosen = subjects[i];
			chosen_distance = distance;
		}
	}

	if (had_subjects && chosen == NONE) return _map_action_proc_succeeded_flag;
	if (!has_sound) return _map_action_proc_succeeded_flag;
	if (chosen != NONE)
	{
		_play_object_sound(get_monster_data(chosen)->object_index, static_cast<int16>(sound_index));
	}
	else
	{
		play_sound_with_flags(static_cast<int16>(sound_index), NONE, nullptr, 256, 0);
	}
	return _map_action_proc_succeeded_flag;
}
