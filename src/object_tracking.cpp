#include "object_tracking.h"

#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "observer.h"
#include "world.h"
#include "zerv.h"

static tracking_globals_data tracking_globals;

tracking_globals_data *get_tracking_globals(void)
{
	return &tracking_globals;
}

static int32 tracking_now(void)
{
	return game ? game->game_time : 0;
}

static void free_entry(int16 list_index)
{
	tracking_list_entry *entry = &tracking_globals.list[list_index];
	entry->object_index = NONE;
	entry->object_identifier = NONE;
	entry->priority = 0;
	entry->duration = 0;
	if (tracking_globals.list_index == list_index) tracking_globals.list_index = NONE;
}

static bool entry_is_free(const tracking_list_entry *entry)
{
	return entry->object_index == NONE && entry->object_identifier == NONE;
}

static int16 entries_in_use(void)
{
	int16 count = 0;
	for (const tracking_list_entry &entry : tracking_globals.list) count += entry_is_free(&entry) ? 0 : 1;
	return count;
}

void initialize_object_tracking_for_new_map(void)
{
	tracking_globals = {};
	tracking_globals.list_index = NONE;
	tracking_globals.object_index = NONE;
	tracking_globals.object_identifier = NONE;
	tracking_globals.orbit_state = _not_orbiting;
	tracking_globals.time_last_orbited = tracking_now();
	tracking_globals.tracked_first_object = FALSE;
	tracking_globals.step_index = NONE;
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_TRACKED_ITEMS; ++i) free_entry(i);
}

void initialize_camera_to_first_tracked_object(void) {}

void dispose_object_tracking_from_old_map(void) {}

static const object_data *entry_object(const tracking_list_entry *entry)
{
	const object_data *object = get_object_data(entry->object_index);
	return object && object->identifier == entry->object_identifier ? object : nullptr;
}

boolean object_can_be_tracked(int16 object_index)
{
	const object_data *object = get_object_data(object_index);
	if (!object || (object->flags & _object_is_invisible_flag) || !mesh_globals || !mesh_globals->mesh_cells) return FALSE;
	const int32 x = object->location.position.x >> WORLD_FRACTIONAL_BITS;
	const int32 y = object->location.position.y >> WORLD_FRACTIONAL_BITS;
	if (x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) return FALSE;
	if (!(get_cell_visibility(x, y) & _close_visibility_flag)) return FALSE;
	if (object->owner == _object_is_monster) return get_monster_class(object->owner_index) != _monster_class_ambient_life;
	// Signed on purpose: only a component moving up its axis counts.
	return object->location.velocity.i > MINIMUM_TRACKED_OBJECT_VELOCITY - 1 ||
		object->location.velocity.j > MINIMUM_TRACKED_OBJECT_VELOCITY - 1 ||
		object->location.velocity.k > MINIMUM_TRACKED_OBJECT_VELOCITY - 1;
}

static int32 monster_tracking_time(void)
{
	return TRACKING_TIME_LOWER_BOUND + ((static_cast<int32>(local_random()) * TRACKING_TIME_DELTA) >> 16);
}

void add_tracking_object(int16 object_index, int16)
{
	if (!(get_camera_control_flags() & _camera_controlled_by_object_tracking_flag)) return;
	if (!object_can_be_tracked(object_index)) return;
	const object_data *object = get_object_data(object_index);

	int16 slot = NONE;
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_TRACKED_ITEMS; ++i)
	{
		const tracking_list_entry *entry = &tracking_globals.list[i];
		if (entry->object_index == object_index && entry->object_identifier == object->identifier) return;
		if (slot == NONE && entry_is_free(entry)) slot = i;
	}
	if (slot == NONE)
	{
		int16 lowest = 0;
		for (int16 i = 1; i < MAXIMUM_NUMBER_OF_TRACKED_ITEMS; ++i)
		{
			if (tracking_globals.list[i].priority < tracking_globals.list[lowest].priority) lowest = i;
		}
		if (object->tracking_priority <= tracking_globals.list[lowest].priority) return;
		slot = lowest;
		if (tracking_globals.list_index == slot) tracking_globals.list_index = NONE;
	}

	tracking_list_entry *entry = &tracking_globals.list[slot];
	entry->object_index = object_index;
	entry->object_identifier = object->identifier;
	entry->priority = object->tracking_priority;
	if (object->owner == _object_is_projectile)
	{
		entry->type = _entry_is_projectile;
		entry->duration = PROJECTILE_TRACKING_TIME;
	}
	else
	{
		entry->type = _entry_is_monster;
		entry->duration = monster_tracking_time();
	}
}

static void target_point_of(const object_data *object, world_point3d *point)
{
	*point = object->location.position;
	point->z += object->height1 - object->height0;
}

static void age_entries(void)
{
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_TRACKED_ITEMS; ++i)
	{
		tracking_list_entry *entry = &tracking_globals.list[i];
		if (entry_is_free(entry)) continue;
		const bool followed = tracking_globals.list_index == i;
		const bool alive = entry_object(entry) && object_can_be_tracked(entry->object_index);
		if (entry->type == _entry_is_projectile)
		{
			if (alive) continue;
			if (!followed || --entry->duration <= 0) free_entry(i);
		}
		else if (!alive)
		{
			free_entry(i);
		}
		else if (followed && --entry->duration <= 0)
		{
			if (entries_in_use() < 2) entry->duration = monster_tracking_time();
			else free_entry(i);
		}
	}
}

static int16 choose_entry(void)
{
	int16 chosen = NONE;
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_TRACKED_ITEMS; ++i)
	{
		tracking_list_entry *entry = &tracking_globals.list[i];
		if (entry_is_free(entry)) continue;
		const object_data *object = entry_object(entry);
		if (object) entry->priority = object->tracking_priority;
		if (chosen == NONE || entry->priority > tracking_globals.list[chosen].priority ||
			(i == MAXIMUM_NUMBER_OF_TRACKED_ITEMS - 1 && entry->priority == tracking_globals.list[chosen].priority))
		{
			chosen = i;
		}
	}
	return chosen;
}

void update_object_tracking(void)
{
	age_entries();
	const int16 chosen = choose_entry();
	const int32 now = tracking_now();

	if (chosen != NONE && chosen != tracking_globals.list_index)
	{
		const tracking_list_entry *entry = &tracking_globals.list[chosen];
		const object_data *object = entry_object(entry);
		if (object)
		{
			world_point3d current;
			angle current_angle = tracking_globals.viewing_angle;
			if (tracking_globals.step_index != NONE) location_and_angle_from_interpolant_index(tracking_globals.step_index, &current, &current_angle);
			else current = tracking_globals.target_location;

			world_point3d target;
			target_point_of(object, &target);
			const world_point2d a = {target.x, target.y}, b = {tracking_globals.target_location.x, tracking_globals.target_location.y};
			const bool jump = !tracking_globals.tracked_first_object || distance2d(&a, &b) >= MINIMUM_DISTANCE_BEFORE_SWITCHING;
			tracking_globals.old_location = current;
			tracking_globals.old_viewing_angle = current_angle;
			tracking_globals.step_index = jump ? static_cast<int16>(NONE) : static_cast<int16>(0);

			tracking_globals.list_index = chosen;
			tracking_globals.object_index = entry->object_index;
			tracking_globals.object_identifier = entry->object_identifier;
			tracking_globals.priority = entry->priority;
			tracking_globals.target_location = target;
			const int32 turn = (local_random() >> 1) - QUARTER_CIRCLE;
			tracking_globals.viewing_angle = static_cast<angle>(tracking_globals.old_viewing_angle + turn);
			tracking_globals.orbit_state = _not_orbiting;
			tracking_globals.time_last_orbited = now;
			tracking_globals.tracked_first_object = TRUE;
		}
	}

	if (tracking_globals.list_index != NONE)
	{
		const object_data *object = entry_object(&tracking_globals.list[tracking_globals.list_index]);
		if (object) target_point_of(object, &tracking_globals.target_location);
	}

	if (tracking_globals.orbit_state == _not_orbiting)
	{
		const int32 wait = TIME_BEFORE_ORBITING_AGAIN_LOWER_BOUND +
			((static_cast<int32>(local_random()) * TIME_BEFORE_ORBITING_AGAIN_DELTA) >> 16);
		if (now - tracking_globals.time_last_orbited > wait)
		{
			tracking_globals.orbit_state = (local_random() & 1) ? _orbiting_right : _orbiting_left;
			const int32 length = ORBIT_TIME_LOWER_BOUND + ((static_cast<int32>(local_random()) * ORBIT_TIME_DELTA) >> 16);
			tracking_globals.orbit_finish_time = now + length;
		}
	}
	else if (now > tracking_globals.orbit_finish_time)
	{
		tracking_globals.orbit_state = _not_orbiting;
		tracking_globals.time_last_orbited = now;
	}
}

void location_and_angle_from_interpolant_index(int16 step, world_point3d *point, angle *viewing_angle)
{
	const int32 fraction = step * 256 / NUMBER_OF_INTERPOLANT_STEPS;
	const world_point3d *a = &tracking_globals.old_location, *b = &tracking_globals.target_location;
	point->x = a->x + static_cast<world_distance>((static_cast<int64>(b->x - a->x) * fraction) >> 8);
	point->y = a->y + static_cast<world_distance>((static_cast<int64>(b->y - a->y) * fraction) >> 8);
	point->z = a->z + static_cast<world_distance>((static_cast<int64>(b->z - a->z) * fraction) >> 8);
	const int32 turn = signed_angular_difference(tracking_globals.old_viewing_angle, tracking_globals.viewing_angle);
	*viewing_angle = static_cast<angle>(tracking_globals.old_viewing_angle + ((turn * fraction) >> 8));
}

void track_object(void)
{
	if (tracking_globals.orbit_state != _not_orbiting)
	{
		tracking_globals.orbit_velocity = static_cast<int16>(MIN(tracking_globals.orbit_velocity + ORBIT_ACCELERATION,
			MAXIMUM_ORBIT_VELOCITY));
	}
	else
	{
		tracking_globals.orbit_velocity = static_cast<int16>(MAX(tracking_globals.orbit_velocity - ORBIT_ACCELERATION, 0));
	}
	if (tracking_globals.orbit_state == _orbiting_left) tracking_globals.viewing_angle -= tracking_globals.orbit_velocity;
	if (tracking_globals.orbit_state == _orbiting_right) tracking_globals.viewing_angle += tracking_globals.orbit_velocity;

	if (tracking_globals.list_index == NONE) return;
	if (!entry_object(&tracking_globals.list[tracking_globals.list_index])) return;
	world_point3d point = tracking_globals.target_location;
	angle facing = tracking_globals.viewing_angle;
	if (tracking_globals.step_index != NONE)
	{
		tracking_globals.step_index += 1;
		location_and_angle_from_interpolant_index(tracking_globals.step_index, &point, &facing);
		if (tracking_globals.step_index >= NUMBER_OF_INTERPOLANT_STEPS) tracking_globals.step_index = NONE;
	}
	const world_point2d focus = {point.x, point.y};
	set_observer_focus(&focus, facing);
}
