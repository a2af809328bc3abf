// 'gate': a teleporter. A single gate brings its waves of units in one by one,
// each once its circle is clear; two gates linked by 'next' keep exchanging
// the units standing in their circles. The state lives in the action ('#glo').
#include <cstring>

#include "map_actions/action_proc_values.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/world_object_action_procs.h"
#include "markers.h"
#include "mesh.h"
#include "model_animations.h"
#include "model_effects.h"
#include "models.h"
#include "monsters.h"
#include "objects.h"
#include "world.h"
#include "zerv.h"

#define GATE_GLOBALS_TAG TAG("#glo")

static bool is_live_gate(int16 action_index)
{
	return get_map_action(action_index) && get_map_action_tag(action_index) == TAG("gate");
}

static bool action_index_is_none_or_live(int16 index)
{
	return index == NONE || get_map_action(index) != nullptr;
}

// A stored state is trusted only when every field is in range.
static bool gate_globals_are_valid(const world_gate_globals *g)
{
	if (g->state < _state_idle || g->state > _state_teleporting_out) return false;
	if (g->model_count < 0 || g->model_count > MAXIMUM_MODELS_PER_WORLD_GATE) return false;
	if (g->wave_container_count < 0 || g->wave_container_count > MAXIMUM_WAVES_PER_GATE) return false;
	if (g->free_wave_container_count < 0 || g->free_wave_container_count > MAXIMUM_WAVES_PER_GATE) return false;
	if (g->radius < 0 || g->duration < 0) return false;
	if (!action_index_is_none_or_live(g->teleport_in_action_index)) return false;
	if (!action_index_is_none_or_live(g->next_world_gate_index)) return false;
	const wave_data *lists[2] = {g->waves, g->free_waves};
	const int16 counts[2] = {g->wave_container_count, g->free_wave_container_count};
	for (int32 l = 0; l < 2; ++l)
	{
		for (int16 i = 0; i < counts[l]; ++i)
		{
			if (!action_index_is_none_or_live(lists[l][i].container_index) ||
				!action_index_is_none_or_live(lists[l][i].activation_index) ||
				!action_index_is_none_or_live(lists[l][i].remote_gate_index))
				return false;
		}
	}
	return true;
}

static bool get_gate_globals(int16 action_index, world_gate_globals *g)
{
	return is_live_gate(action_index) &&
		get_map_action_structure(action_index, GATE_GLOBALS_TAG, sizeof(world_gate_globals), g) &&
		gate_globals_are_valid(g);
}

static void store_gate_globals(int16 action_index, const world_gate_globals *g)
{
	set_unique_map_action_parameter(action_index, GATE_GLOBALS_TAG, _parameter_character, sizeof(world_gate_globals), g);
}

world_distance get_centerpoint_of_points(int16 count, const world_point2d *points, world_point2d *center,
	boolean bounding_box)
{
	if (count <= 0)
	{
		center->x = center->y = NONE;
		return 0;
	}
	int64 x0 = points[0].x, x1 = points[0].x, y0 = points[0].y, y1 = points[0].y, sx = 0, sy = 0;
	for (int16 i = 0; i < count; ++i)
	{
		if (points[i].x < x0) x0 = points[i].x;
		if (points[i].x > x1) x1 = points[i].x;
		if (points[i].y < y0) y0 = points[i].y;
		if (points[i].y > y1) y1 = points[i].y;
		sx += points[i].x;
		sy += points[i].y;
	}
	if (bounding_box)
	{
		center->x = static_cast<world_distance>((x0 + x1) / 2);
		center->y = static_cast<world_distance>((y0 + y1) / 2);
		const int64 ex = (x1 - x0) / 2, ey = (y1 - y0) / 2;
		return static_cast<world_distance>(ex > ey ? ex : ey);
	}
	center->x = static_cast<world_distance>(sx / count);
	center->y = static_cast<world_distance>(sy / count);
	int64 extent = 0;
	const int64 candidates[4] = {center->x - x0, x1 - center->x, center->y - y0, y1 - center->y};
	for (int64 e : candidates)
		if (e > extent) extent = e;
	return static_cast<world_distance>(extent);
}

static int16 get_monster_identifiers_inside_radius(world_point2d center, world_distance radius, int16 *identifiers)
{
	int16 count = 0;
	const int64 r = radius;
	for (int16 i = 0; i < monster_array.count && count < MAXIMUM_MONSTERS_PER_WORLD_GATE; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object || (object->flags & FLAG(_object_is_invisible_bit))) continue;
		const int64 dx = static_cast<int64>(object->location.position.x) - center.x;
		const int64 dy = static_cast<int64>(object->location.position.y) - center.y;
		if (dx <= -r || dx >= r || dy <= -r || dy >= r) continue;
		if (dx * dx + dy * dy >= r * r) continue;
		identifiers[count++] = monster->identifier;
	}
	return count;
}

static void start_gate_model_effects(const world_gate_globals *g, int32 duration, int16 permutation_offset)
{
	for (int32 i = 0; i < g->model_count; ++i)
	{
		if (!get_model_data(g->model_indexes[i])) continue;
		new_model_effect_data data;
		memset(&data, 0, sizeof(data));
		data.duration = static_cast<int16>(clamp_to_int32(duration, INT16_MIN, INT16_MAX));
		data.new_permutation = g->initial_model_permutation[i] + permutation_offset;
		new_model_effect(g->model_indexes[i], NONE, &data);
	}
}

static const char *gate_state_name(int16 state)
{
	return state == _state_idle ? "idle" : state == _state_teleporting_out ? "teleporting out" : "<unknown>";
}

static void set_gate_action_state(world_gate_globals *g, int16 new_state)
{
	const int16 action_index = g->action_index;
	if (new_state == _state_teleporting_in)
	{
		const int16 wave = g->wave_container_count > 0 ? g->waves[0].container_index : static_cast<int16>(NONE);
		int16 identifiers[400];
		int32 count = 0;
		if (!get_map_action(wave))
		{
			map_action_error(action_index, "wave didn't have a subj field!");
		}
		else
		{
			count = get_combined_map_action_parameter(wave, TAG("subj"), _parameter_monster_identifier, identifiers,
				400);
			if (count <= 0) map_action_error(action_index, "wave has no monsters!");
		}
		world_point2d points[400];
		int16 moved[400];
		int16 objects[400];
		marker_data *markers[400];
		int16 found = 0;
		for (int32 i = 0; i < count; ++i)
		{
			marker_data *marker = get_marker_by_identifier(_marker_monster, identifiers[i]);
			if (!marker) continue;
			int16 object_index = NONE;
			if (marker->data_index != NONE)
			{
				const monster_data *monster = get_monster_data(marker->data_index);
				// A marker whose unit died names a free or reused record.
				if (!monster || monster->identifier != marker->data_identifier) continue;
				const object_data *object = get_object_data(monster->object_index);
				if (!object) continue;
				object_index = monster->object_index;
				points[found].x = object->location.position.x;
				points[found].y = object->location.position.y;
			}
			else
			{
				points[found].x = marker->location.position.x;
				points[found].y = marker->location.position.y;
			}
			moved[found] = identifiers[i];
			objects[found] = object_index;
			markers[found] = marker;
			found += 1;
		}
		world_point2d wave_center;
		get_centerpoint_of_points(found, points, &wave_center, g->use_bounding_box_for_wave_center);
		const int64 dx = static_cast<int64>(g->center.x) - wave_center.x;
		const int64 dy = static_cast<int64>(g->center.y) - wave_center.y;
		int16 shown = 0;
		for (int16 i = 0; i < found; ++i)
		{
			world_point2d p;
			p.x = clamp_to_int32(points[i].x + dx, INT32_MIN, INT32_MAX);
			p.y = clamp_to_int32(points[i].y + dy, INT32_MIN, INT32_MAX);
			p = clamp_point_to_map(p);
			if (objects[i] != NONE) move_object_to_point(objects[i], p);
			else
			{
				markers[i]->location.position.x = p.x;
				markers[i]->location.position.y = p.y;
			}
			if (make_monster_visible(moved[i], 1) != NONE) shown += 1;
		}
		if (shown > 0) start_gate_model_effects(g, g->duration, 4);
	}
	else if (new_state == _state_teleporting_out)
	{
		const int16 wave = g->wave_container_count > 0 ? g->waves[0].container_index : static_cast<int16>(NONE);
		int16 identifiers[400];
		const int32 count = get_map_action(wave) ?
			get_combined_map_action_parameter(wave, TAG("subj"), _parameter_monster_identifier, identifiers, 400) : 0;
		for (int32 i = 0; i < count; ++i) make_monster_invisible(identifiers[i], 1);
		start_gate_model_effects(g, g->duration, 4);
	}
	else
	{
		start_gate_model_effects(g, 1, 0);
	}
	g->state = new_state;
	g->ticks_at_last_transition_state = game->game_time;
	map_action_debug(action_index, "state set to: %s", gate_state_name(new_state));
}

static int16 action_from_identifier_list(int16 action_index, field_tag field_name, int32 i)
{
	int16 identifier;
	if (!get_combined_map_action_element(action_index, field_name, _parameter_action_identifier, &identifier, i))
		return NONE;
	return action_identifier_to_action_index(identifier);
}

static bool initialize_gate(int16 action_index, world_gate_globals *g)
{
	memset(g, 0, sizeof(*g));
	g->action_index = action_index;
	g->teleport_in_action_index = NONE;
	g->next_world_gate_index = NONE;
	int16 identifiers[MAXIMUM_MODEL_ANIMATIONS_PER_MAP], indexes[MAXIMUM_MODEL_ANIMATIONS_PER_MAP];
	int32 read = get_combined_map_action_parameter(action_index, TAG("mode"), _parameter_model_identifier,
		identifiers, MAXIMUM_MODELS_PER_WORLD_GATE + 1);
	int16 found = model_identifiers_to_model_indexes(identifiers, indexes, static_cast<int16>(read));
	bool capped = false;
	for (int16 i = 0; i < found; ++i)
	{
		if (g->model_count >= MAXIMUM_MODELS_PER_WORLD_GATE) capped = true;
		else g->model_indexes[g->model_count++] = indexes[i];
	}
	read = get_combined_map_action_parameter(action_index, TAG("anim"), _parameter_model_animation_identifier,
		identifiers, MAXIMUM_MODEL_ANIMATIONS_PER_MAP);
	found = model_animation_identifiers_to_model_animation_indexes(identifiers, indexes, static_cast<int16>(read));
	for (int16 i = 0; i < found; ++i)
	{
		const model_animation_data *animation = get_model_animation_data(indexes[i]);
		if (!animation || !get_model_data(animation->current_model_index)) continue;
		if (g->model_count >= MAXIMUM_MODELS_PER_WORLD_GATE) capped = true;
		else g->model_indexes[g->model_count++] = animation->current_model_index;
	}
	if (capped) map_action_error(action_index, "more than %d gate models: the rest are ignored", MAXIMUM_MODELS_PER_WORLD_GATE);
	if (g->model_count == 0)
	{
		map_action_error(action_index, "no models!");
		return false;
	}
	world_point2d centers[MAXIMUM_MODELS_PER_WORLD_GATE];
	for (int32 i = 0; i < g->model_count; ++i)
	{
		get_model_centerpoint(g->model_indexes[i], &centers[i]);
		g->initial_model_permutation[i] = get_model_data(g->model_indexes[i])->model_permutation;
	}
	g->use_bounding_box_for_gate_center = map_action_has_flag(action_index, TAG("knce"));
	g->use_bounding_box_for_wave_center = map_action_has_flag(action_index, TAG("wace"));
	g->radius = get_centerpoint_of_points(static_cast<int16>(g->model_count), centers, &g->center,
		g->use_bounding_box_for_gate_center);
	int32 value;
	if (get_indexed_long_integer_parameter(action_index, TAG("radi"), _parameter_world_distance, &value, 0))
		g->radius = value < 0 ? 0 : value;
	world_point2d center;
	if (get_indexed_world_point2d_parameter(action_index, TAG("cent"), &center, 0)) g->center = center;
	g->teleporting_out = map_action_has_flag(action_index, TAG("_out"));
	g->next_world_gate_index = action_from_identifier_list(action_index, TAG("next"), 0);
	// A gate linked to itself would overwrite its own state: it is single.
	if (g->next_world_gate_index == action_index) g->next_world_gate_index = NONE;
	map_action_parameter waves;
	if (get_map_action_parameter(&waves, action_index, 0, TAG("wave"), _parameter_action_identifier))
	{
		capped = false;
		const int32 count = count_combined_map_action_parameter(action_index, TAG("wave"), _parameter_action_identifier);
		for (int32 i = 0; i < count; ++i)
		{
			const int16 container = action_from_identifier_list(action_index, TAG("wave"), i);
			if (container == NONE) continue;
			wave_data entry = {container, action_from_identifier_list(action_index, TAG("acow"), i),
				static_cast<int16>(NONE)};
			wave_data *list = g->next_world_gate_index != NONE ? g->free_waves : g->waves;
			int16 *list_count =
				g->next_world_gate_index != NONE ? &g->free_wave_container_count : &g->wave_container_count;
			if (*list_count >= MAXIMUM_WAVES_PER_GATE) capped = true;
			else list[(*list_count)++] = entry;
		}
		if (capped) map_action_error(action_index, "more than %d waves: the rest are ignored", MAXIMUM_WAVES_PER_GATE);
	}
	else if (!g->teleporting_out)
	{
		map_action_error(action_index, "nothing to bring in!");
		return false;
	}
	int32 duration;
	if (!get_map_action_fixed(action_index, TAG("dura"), &duration))
	{
		map_action_error(action_index, "no duration");
		return false;
	}
	g->duration = clamp_to_int32(static_cast<int64>(duration) * 30 / 65536, 0, INT32_MAX);
	g->teleport_in_action_index = action_from_identifier_list(action_index, TAG("strt"), 0);
	if (g->next_world_gate_index != NONE) g->teleporting_out = TRUE;
	return true;
}

static void remove_first_wave(world_gate_globals *g)
{
	for (int16 i = 0; i + 1 < g->wave_container_count; ++i) g->waves[i] = g->waves[i + 1];
	g->wave_container_count -= 1;
}

static void append_wave(wave_data *list, int16 *count, const wave_data &wave)
{
	if (*count < MAXIMUM_WAVES_PER_GATE) list[(*count)++] = wave;
}

// The first free wave gets the gathered units and moves to the waves to send.
static void load_first_free_wave(world_gate_globals *g, const int16 *identifiers, int16 count, int16 remote_gate)
{
	wave_data wave = g->free_waves[0];
	for (int16 i = 0; i + 1 < g->free_wave_container_count; ++i) g->free_waves[i] = g->free_waves[i + 1];
	g->free_wave_container_count -= 1;
	if (get_map_action(wave.container_index))
	{
		map_action_parameter parameter;
		while (get_map_action_parameter(&parameter, wave.container_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
			TAG("subj"), NONE))
		{
			if (!delete_map_action_parameter(&parameter)) break;
		}
		if (new_map_action_parameter(&parameter, wave.container_index, TAG("subj"), _parameter_monster_identifier) &&
			count > 0)
		{
			set_map_action_parameter(&parameter, count, identifiers);
		}
	}
	wave.remote_gate_index = remote_gate;
	append_wave(g->waves, &g->wave_container_count, wave);
}

uint32 world_gate_action_proc(int16 action_index)
{
	world_gate_globals g;
	if (!get_gate_globals(action_index, &g))
	{
		if (!initialize_gate(action_index, &g))
		{
			map_action_debug(action_index, "unable to initialize globals!");
			return 4;
		}
		map_action_debug(action_index, "initialized");
	}
	// Stale indexes: a dead link is none, dead containers are dropped.
	if (g.next_world_gate_index != NONE && (!is_live_gate(g.next_world_gate_index) ||
		g.next_world_gate_index == action_index))
		g.next_world_gate_index = NONE;
	uint32 result = 0;
	world_gate_globals linked;
	const int64 elapsed = static_cast<int64>(game->game_time) - g.ticks_at_last_transition_state;
	if (g.state == _state_teleporting_in)
	{
		if (elapsed > g.duration)
		{
			if (g.wave_container_count > 0)
			{
				const wave_data wave = g.waves[0];
				if (get_map_action(wave.activation_index)) activate_map_action(wave.activation_index);
				remove_first_wave(&g);
				append_wave(g.free_waves, &g.free_wave_container_count, wave);
			}
			set_gate_action_state(&g, _state_idle);
			if (g.next_world_gate_index != NONE) g.teleporting_out = TRUE;
		}
	}
	else if (g.state == _state_teleporting_out)
	{
		if (elapsed > g.duration)
		{
			if (g.wave_container_count > 0)
			{
				const wave_data wave = g.waves[0];
				if (get_map_action(wave.activation_index)) activate_map_action(wave.activation_index);
				remove_first_wave(&g);
				world_gate_globals remote;
				if (wave.remote_gate_index != NONE && wave.remote_gate_index != action_index &&
					get_gate_globals(wave.remote_gate_index, &remote))
				{
					append_wave(remote.waves, &remote.wave_container_count, wave);
					store_gate_globals(wave.remote_gate_index, &remote);
				}
				else
				{
					append_wave(g.free_waves, &g.free_wave_container_count, wave);
				}
			}
			g.teleporting_out = FALSE;
			set_gate_action_state(&g, _state_idle);
		}
	}
	else if (g.teleporting_out && g.next_world_gate_index != NONE && get_gate_globals(g.next_world_gate_index, &linked))
	{
		const int16 linked_index = g.next_world_gate_index;
		if (linked.state == _state_idle && g.free_wave_container_count > 0 && linked.free_wave_container_count > 0)
		{
			int16 a[MAXIMUM_MONSTERS_PER_WORLD_GATE], b[MAXIMUM_MONSTERS_PER_WORLD_GATE];
			const int16 a_count = get_monster_identifiers_inside_radius(g.center, g.radius, a);
			const int16 b_count = get_monster_identifiers_inside_radius(linked.center, linked.radius, b);
			if (a_count > 0 || b_count > 0)
			{
				load_first_free_wave(&g, a, a_count, linked_index);
				load_first_free_wave(&linked, b, b_count, linked.next_world_gate_index);
				set_gate_action_state(&g, _state_teleporting_out);
				set_gate_action_state(&linked, _state_teleporting_out);
				store_gate_globals(linked_index, &linked);
			}
		}
	}
	else if (g.wave_container_count > 0)
	{
		int16 inside[MAXIMUM_MONSTERS_PER_WORLD_GATE];
		if (get_monster_identifiers_inside_radius(g.center, g.radius, inside) == 0)
		{
			set_gate_action_state(&g, _state_teleporting_in);
			if (get_map_action(g.teleport_in_action_index)) trigger_map_action(g.teleport_in_action_index);
		}
	}
	else
	{
		map_action_debug(action_index, "no more waves to bring in (success)");
		result = g.next_world_gate_index == NONE ? 6 : 0;
	}
	if (get_map_action(action_index)) store_gate_globals(action_index, &g);
	return result;
}
