// 'ligh': a lightning projectile from an ambient sound source at the subject
// nearest to it.
#include "map_actions/presentation_action_procs.h"

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "monsters.h"
#include "objects.h"
#include "projectiles.h"
#include "sound/sound_manager.h"

uint32 lightning_action_proc(int16 action_index)
{
	int16 subjects[MAXIMUM_PRESENTATION_SUBJECTS];
	const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_PRESENTATION_SUBJECTS, subjects);
	if (count <= 0)
	{
		map_action_error(action_index, "no subjects found!");
		return 0;
	}
	int16 source;
	if (!get_indexed_short_integer_parameter(action_index, TAG("soun"), _parameter_sound_source_identifier, &source, 0))
	{
		map_action_debug(action_index, "no central sound source identifier found!");
		return 0;
	}
	int32 radius;
	if (!get_indexed_long_integer_parameter(action_index, TAG("radi"), _parameter_world_distance, &radius, 0))
	{
		map_action_debug(action_index, "no radius parameter found!");
		return 0;
	}
	int32 projectile_type = NONE;
	if (!get_indexed_long_integer_parameter(action_index, TAG("proj"), _parameter_projectile_tag, &projectile_type, 0) ||
		projectile_type == NONE)
	{
		map_action_debug(action_index, "no lightning tag found!");
		return 0;
	}

	world_point3d center;
	get_ambient_sound_source_location(source, &center);
	int16 target = NONE;
	int64 target_distance = 0;
	const int64 limit = static_cast<int64>(radius) * radius;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(subjects[i]);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) continue;
		const int64 dx = object->location.position.x - center.x, dy = object->location.position.y - center.y;
		const int64 distance = dx * dx + dy * dy;
		if (distance < limit && (target == NONE || distance < target_distance))
		{
			target = subjects[i];
			target_distance = distance;
		}
	}

	new_projectile_data data;
	initialize_new_projectile_data(&data);
	data.type = static_cast<int16>(projectile_type);
	data.flags = 1;
	data.location = {};
	data.location.position = center;
	data.damage_scale = 256;
	data.owner_monster_index = data.owner_projectile_index = data.owner_object_index = NONE;
	data.target_monster_index = target;
	data.target_location = center;
	if (target != NONE)
	{
		data.target_location = get_object_data(get_monster_data(target)->object_index)->location.position;
	}
	new_projectile(&data);
	return 0;
}
