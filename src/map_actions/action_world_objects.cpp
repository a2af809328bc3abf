// World procs: terrain cells ('mece'), model animations ('anim'), model
// effects ('moef'), unit markers ('moma') and lying items ('obco').
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
#include "projectile_definitions.h"
#include "tags_and_strings.h"
#include "selection.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

/* ---------- 'mece' */

uint32 mesh_cell_action_proc(int16 action_index)
{
	world_point2d points[MAXIMUM_CELLS_PER_ACTION_PROC];
	const int32 count = get_combined_map_action_parameter(action_index, TAG("pnts"), _parameter_world_point2d, points,
		MAXIMUM_CELLS_PER_ACTION_PROC);
	if (count <= 0)
	{
		map_action_debug(action_index, "No cells found for operation!");
		return 0;
	}
	uint16 keep = 0xFFFF, set = 0;
	int32 value;
	if (map_action_value_flag(action_index, TAG("kill"), &value))
	{
		map_action_debug(action_index, value ? "Killing cells" : "Unkilling cells");
		keep = static_cast<uint16>(keep & ~_mesh_cell_is_not_rendered_flag);
		if (value) set |= _mesh_cell_is_not_rendered_flag;
	}
	if (get_map_action_integer(action_index, TAG("teco"), &value))
	{
		// Wider values would spill into the media and render flags.
		if (value < 0 || value > CELL_TERRAIN_TYPE_MASK)
		{
			map_action_error(action_index, "terrain cost %d is not a terrain type (0..15)", static_cast<int>(value));
		}
		else
		{
			map_action_debug(action_index, "Setting terrain cost to %d", static_cast<int>(value));
			keep = static_cast<uint16>(keep & ~CELL_TERRAIN_MASK);
			set = static_cast<uint16>(set | (value << CELL_TERRAIN_TYPE_BITS) | value);
		}
	}
	const int32 width = mesh_globals ? mesh_globals->mesh_width : 0;
	const int32 height = mesh_globals ? mesh_globals->mesh_height : 0;
	for (int32 i = 0; i < count; ++i)
	{
		const int32 x = points[i].x >> 9, y = points[i].y >> 9;
		if (x < 0 || x >= width || y < 0 || y >= height || !mesh_globals->mesh_cells)
		{
			map_action_debug(action_index, "Cell out of bounds: %d not in [0, %d] or %d not in [0, %d]!",
				static_cast<int>(x), static_cast<int>(width), static_cast<int>(y), static_cast<int>(height));
			continue;
		}
		mesh_cell *cell = get_mesh_cell(x, y);
		cell->flags = static_cast<uint16>((cell->flags & keep) | set);
		update_monster_impassability_for_cell(x, y);
		refresh_LOD_cell_visibility(x >> 1, y >> 1, x >> 1, y >> 1);
	}
	return 2;
}

/* ---------- 'anim' */

uint32 model_animation_action_proc(int16 action_index)
{
	int16 identifiers[MAXIMUM_MODEL_ANIMATIONS_PER_MAP], indexes[MAXIMUM_MODEL_ANIMATIONS_PER_MAP];
	const int32 read = get_combined_map_action_parameter(action_index, TAG("subj"),
		_parameter_model_animation_identifier, identifiers, MAXIMUM_MODEL_ANIMATIONS_PER_MAP);
	const int16 count =
		model_animation_identifiers_to_model_animation_indexes(identifiers, indexes, static_cast<int16>(read));
	if (count <= 0) return 0;
	uint32 result = 2;
	int32 greater = 0, less = 0, equal = 0;
	const bool has_greater = get_map_action_integer(action_index, TAG("___>"), &greater);
	const bool has_less = get_map_action_integer(action_index, TAG("___<"), &less);
	const bool has_equal = get_map_action_integer(action_index, TAG("___="), &equal);
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = indexes[i];
		model_animation_data *animation = get_model_animation_data(index);
		if (!animation) continue;
		const int32 frame = animation->current_frame_index;
		bool passed = true;
		if (has_greater)
		{
			if (frame <= greater) passed = false;
			else map_action_debug(action_index, "frame: %d > %d", static_cast<int>(frame), static_cast<int>(greater));
		}
		if (passed && has_less)
		{
			if (frame >= less) passed = false;
			else map_action_debug(action_index, "frame: %d < %d", static_cast<int>(frame), static_cast<int>(less));
		}
		if (passed && has_equal)
		{
			if (frame != equal) passed = false;
			else map_action_debug(action_index, "frame: %d == %d", static_cast<int>(frame), static_cast<int>(equal));
		}
		if (!passed)
		{
			result = 0;
			continue;
		}
		if (map_action_has_flag(action_index, TAG("back"))) animation->flags |= _private_animating_back_and_forth_flag;
		if (map_action_has_flag(action_index, TAG("cycl"))) animation->flags |= _private_animating_cycling_flag;
		const model_animation_definition *definition = get_model_animation_definition(animation->type);
		int16 sound = NONE;
		const bool reset = map_action_has_flag(action_index, TAG("rese"));
		if (map_action_has_flag(action_index, TAG("stfo")))
		{
			animation->flags |= _private_animating_forward_flag;
			animation->state = _animation_running;
			if (reset) jump_model_animation_to_frame(index, 0);
			animation = get_model_animation_data(index);
			if (animation && animation->current_frame_index == 0 && definition) sound = definition->forward_sound_type;
		}
		if (animation && map_action_has_flag(action_index, TAG("stba")))
		{
			animation->flags = static_cast<uint16>(animation->flags & ~_private_animating_forward_flag);
			animation->state = _animation_running;
			const int16 frames = get_model_animation_frame_count(index);
			// Without frames there is no last frame to jump to.
			if (reset && frames > 0) jump_model_animation_to_frame(index, static_cast<int16>(frames - 1));
			animation = get_model_animation_data(index);
			if (animation && frames > 0 && animation->current_frame_index == frames - 1 && definition)
				sound = definition->backward_sound_type;
		}
		if (map_action_has_flag(action_index, TAG("adva"))) advance_model_animation(index);
		animation = get_model_animation_data(index);
		if (animation && map_action_has_flag(action_index, TAG("stop"))) animation->state = _animation_stopped;
		if (sound != NONE) play_model_animation_sound(index, sound);
	}
	return result;
}

/* ---------- 'moef' */

uint32 model_effect_action_proc(int16 action_index)
{
	int16 model_index = NONE;
	int16 identifier;
	if (get_indexed_short_integer_parameter(action_index, TAG("anim"), _parameter_model_animation_identifier,
			&identifier, 0))
	{
		const model_animation_data *animation =
			get_model_animation_data(model_animation_identifier_to_model_animation_index(identifier));
		if (animation) model_index = animation->current_model_index;
	}
	if (model_index == NONE &&
		get_indexed_short_integer_parameter(action_index, TAG("mode"), _parameter_model_identifier, &identifier, 0))
	{
		int16 index;
		if (model_identifiers_to_model_indexes(&identifier, &index, 1) == 1) model_index = index;
	}
	if (model_index == NONE || !get_model_data(model_index)) return 0;

	new_model_effect_data data;
	memset(&data, 0, sizeof(data));
	int32 value;
	data.duration = get_map_action_fixed(action_index, TAG("dura"), &value)
		? static_cast<int16>(clamp_to_int32(static_cast<int64>(value) * 30 / 65536, INT16_MIN, INT16_MAX))
		: static_cast<int16>(INFINITE_DURATION);
	if (get_indexed_short_integer_parameter(action_index, TAG("dyaw"), _parameter_angle, &data.delta_yaw, 0)) {}
	if (get_indexed_short_integer_parameter(action_index, TAG("dpit"), _parameter_angle, &data.delta_pitch, 0)) {}
	data.new_permutation = NO_PERMUTATION_CHANGE;
	data.set_permutation = NO_PERMUTATION_CHANGE;
	if (get_map_action_integer(action_index, TAG("newp"), &value))
	{
		data.new_permutation = value;
		map_action_debug(action_index, "changing permutation to %d", static_cast<int>(value));
	}
	if (get_map_action_integer(action_index, TAG("perm"), &value))
	{
		data.set_permutation = value;
		map_action_debug(action_index, "setting permutation to %d", static_cast<int>(value));
	}
	if (map_action_has_flag(action_index, TAG("fain"))) data.flags |= _fade_model_in_flag;
	if (map_action_has_flag(action_index, TAG("faou"))) data.flags |= _fade_model_out_flag;
	if (map_action_has_flag(action_index, TAG("dele"))) data.flags |= _delete_model_when_done_flag;
	if (map_action_has_flag(action_index, TAG("peon"))) data.flags |= _permutation_change_only_flag;
	data.material_fading_index = NONE;
	int32 material, final_fixed;
	if (get_map_action_integer(action_index, TAG("mate"), &material) &&
		get_map_action_fixed(action_index, TAG("mafi"), &final_fixed))
	{
		data.material_fading_index = material;
		data.material_final_transparency = static_cast<fixed_fraction>(65535 - clamp_to_int32(final_fixed, 0, 65535));
		map_action_debug(action_index, "material index: %d fading to transparency of %2.4f", static_cast<int>(material),
			data.material_final_transparency / 65535.0);
	}
	int32 initial_scale;
	if (get_map_action_fixed(action_index, TAG("insc"), &initial_scale))
	{
		int32 final_scale;
		if (!get_map_action_fixed(action_index, TAG("fisc"), &final_scale))
		{
			map_action_debug(action_index, "got an initial scale but no final scale!");
		}
		else
		{
			data.flags |= _scale_model_flag;
			data.initial_scale = static_cast<int16>(clamp_to_int32(initial_scale / 128, INT16_MIN, INT16_MAX));
			data.final_scale = static_cast<int16>(clamp_to_int32(final_scale / 128, INT16_MIN, INT16_MAX));
		}
	}
	field_tag projectile;
	if (get_map_action_field_name(action_index, TAG("proj"), &projectile))
	{
		world_point3d origin;
		if (!get_indexed_world_point3d_parameter(action_index, TAG("orig"), &origin, 0))
		{
			map_action_debug(action_index, "got a projectile to create scale but no origin!");
		}
		else
		{
			data.flags |= _create_projectile_flag;
			data.projectile_type_to_create = projectile;
			data.projectile_origin = origin;
		}
	}
	if (!new_model_effect(model_index, get_map_action_identifier(action_index), &data))
	{
		map_action_error(action_index, "unable to create the model effect");
	}
	return 0;
}

/* ---------- 'moma' */

static bool cell_is_free(int32 x, int32 y)
{
	const mesh_cell *cell = get_mesh_cell(x, y);
	if (!cell || cell->model_index != NONE) return false;
	for (int16 o = cell->first_object_index; o != NONE;)
	{
		const object_data *object = get_object_data(o);
		if (!object) break;
		if ((object->flags & FLAG(_object_is_solid_bit)) && !(object->flags & FLAG(_object_is_invisible_bit)))
			return false;
		o = object->next_object_index;
	}
	return true;
}

static bool find_free_cell_near(int32 gx, int32 gy, world_point2d *spot)
{
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	auto cx = [&](int32 x) { return x < 0 ? 0 : x >= width ? width - 1 : x; };
	auto cy = [&](int32 y) { return y < 0 ? 0 : y >= height ? height - 1 : y; };
	auto found = [&](int32 x, int32 y) {
		if (!cell_is_free(x, y)) return false;
		spot->x = x * 512 + 256;
		spot->y = y * 512 + 256;
		return true;
	};
	for (int32 r = 0; r < MAXIMUM_RADIUS_TO_SCAN; ++r)
	{
		for (int32 y = gy - r; y <= gy + r; ++y)
		{
			if (found(cx(gx - r), cy(y)) || found(cx(gx + r), cy(y))) return true;
		}
		for (int32 x = gx - r; x <= gx + r; ++x)
		{
			if (found(cx(x), cy(gy - r)) || found(cx(x), cy(gy + r))) return true;
		}
	}
	return false;
}

uint32 move_marker_action_proc(int16 action_index)
{
	int16 identifiers[400];
	const int32 count =
		get_combined_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier, identifiers, 400);
	if (count <= 0) return 2;
	int32 team;
	if (!get_map_action_integer(action_index, TAG("team"), &team))
	{
		int16 indexes[400];
		const int16 unit_count = monster_identifiers_to_monster_indexes(identifiers, indexes, static_cast<int16>(count));
		world_point2d destination;
		if (get_indexed_world_point2d_parameter(action_index, TAG("dest"), &destination, 0))
		{
			if (unit_count <= 0) return 2;
			world_point2d center;
			get_centerpoint_of_monster_indexes(unit_count, indexes, &center);
			for (int16 i = 0; i < unit_count; ++i)
			{
				const monster_data *monster = get_monster_data(indexes[i]);
				const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
				if (!object) continue;
				remove_monster_index_from_current_selections(indexes[i]);
				world_point2d p;
				p.x = clamp_to_int32(static_cast<int64>(object->location.position.x) + destination.x - center.x, INT32_MIN,
					INT32_MAX);
				p.y = clamp_to_int32(static_cast<int64>(object->location.position.y) + destination.y - center.y, INT32_MIN,
					INT32_MAX);
				move_object_to_point(monster->object_index, p);
			}
			return 2;
		}
		int16 target_identifiers[400], targets[400];
		const int32 target_read = get_combined_map_action_parameter(action_index, TAG("targ"),
			_parameter_monster_identifier, target_identifiers, 400);
		const int16 target_count =
			monster_identifiers_to_monster_indexes(target_identifiers, targets, static_cast<int16>(target_read));
		for (int16 i = 0; i < unit_count && i < target_count; ++i)
		{
			monster_data *s = get_monster_data(indexes[i]);
			monster_data *t = get_monster_data(targets[i]);
			object_data *so = s ? get_object_data(s->object_index) : nullptr;
			const object_data *to = t ? get_object_data(t->object_index) : nullptr;
			if (!so || !to) continue;
			remove_monster_index_from_current_selections(indexes[i]);
			disconnect_object_from_mesh(s->object_index);
			so->location = to->location;
			so->vitality = to->vitality;
			so->maximum_vitality = to->maximum_vitality;
			so->scale = to->scale;
			so->radius = to->radius;
			so->height0 = to->height0;
			so->height1 = to->height1;
			so->shape_collection_index = to->shape_collection_index;
			so->shape_sequence_index = to->shape_sequence_index;
			so->color_table_index = to->color_table_index;
			so->color_table_permutation = to->color_table_permutation;
			so->shape_frame_index = to->shape_frame_index;
			so->shape_phase = to->shape_phase;
			so->shape_ticks_per_frame = to->shape_ticks_per_frame;
			so->shape_view_index = to->shape_view_index;
			reconnect_object_to_mesh(s->object_index);
			monster_carried_by_script(indexes[i]);
			s->battles_survived = t->battles_survived;
			s->original_name_string_index = t->original_name_string_index;
			s->cell_impassability_flags = t->cell_impassability_flags;
			s->ammunition_count = t->ammunition_count;
			s->experience = t->experience;
			memcpy(s->name, t->name, sizeof(s->name));
			t->experience = 0;
			t->battles_survived = 0;
		}
		return 2;
	}

	const spatial_supergroup *largest = nullptr;
	for (const spatial_supergroup *group = first_spatial_supergroup(); group; group = next_spatial_supergroup(group))
	{
		if (group->team_index == team && (!largest || group->monster_count > largest->monster_count)) largest = group;
	}
	if (!largest || !mesh_globals || !mesh_globals->mesh_cells) return 2;
	const world_point2d center = clamp_point_to_map(largest->center);
	world_point2d spot = center;
	if (!find_free_cell_near(center.x >> 9, center.y >> 9, &spot)) spot = center;
	const short_world_distance z = get_mesh_height(&center, _land_height);
	const angle yaw = arctangent(center.x - spot.x, center.y - spot.y);
	for (int32 i = 0; i < count; ++i)
	{
		marker_data *marker = get_marker_by_identifier(_marker_monster, identifiers[i]);
		if (!marker) continue;
		marker->location.position.x = spot.x;
		marker->location.position.y = spot.y;
		marker->location.position.z = z;
		marker->location.yaw = yaw;
	}
	return 2;
}

/* ---------- 'obco' */

uint32 object_control_action_proc(int16 action_index)
{
	field_tag kind_tag;
	if (!get_map_action_field_name(action_index, TAG("type"), &kind_tag))
	{
		map_action_debug(action_index, "no projectile type found!");
		return 0;
	}
	const int16 kind = projectile_definition_tag_to_index(kind_tag);
	int16 indexes[MAXIMUM_OBJECTS_PER_OBJECT_CONTROL], identifiers[MAXIMUM_OBJECTS_PER_OBJECT_CONTROL];
	int32 count = 0;
	for (int16 i = 0; kind != NONE && i < object_array.count && count < MAXIMUM_OBJECTS_PER_OBJECT_CONTROL; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || object->owner != _object_is_dormant_projectile || object->owner_index != kind) continue;
		indexes[count] = i;
		identifiers[count] = object->identifier;
		count += 1;
	}
	map_action_debug(action_index, "found %d objects of type %s", static_cast<int>(count), tag_to_string(kind_tag));
	if (count == 0) return 0;
	auto alive = [&](int32 i) -> object_data * {
		object_data *object = get_object_data(indexes[i]);
		return object && object->identifier == identifiers[i] ? object : nullptr;
	};
	// Only the random reveal keeps the old bit-0 reading below 1711.
	auto carried = [](const object_data *object) {
		return game_play_version < 1711 ? (object->flags & 1) != 0
										: (object->extra_flags & _object_is_being_carried_extra_flag) != 0;
	};
	uint32 result = 0;
	if (map_action_has_flag(action_index, TAG("real")))
	{
		map_action_debug(action_index, "revealing %d objects", static_cast<int>(count));
		for (int32 i = 0; i < count; ++i)
		{
			object_data *object = alive(i);
			if (object && !(object->extra_flags & _object_is_being_carried_extra_flag))
				object->flags &= ~FLAG(_object_is_invisible_bit);
		}
		result = 2;
	}
	if (map_action_has_flag(action_index, TAG("rera")))
	{
		const uint16 draw = zerv_random();
		const int32 chosen = static_cast<int32>((static_cast<uint32>(draw) * static_cast<uint32>(count)) >> 16);
		map_action_debug(action_index, "revealing object %d", static_cast<int>(chosen));
		for (int32 i = 0; i < count; ++i)
		{
			object_data *object = alive(i);
			if (!object) continue;
			if (i != chosen) object->flags |= FLAG(_object_is_invisible_bit);
			else if (!carried(object)) object->flags &= ~FLAG(_object_is_invisible_bit);
		}
		result = 2;
	}
	if (game_play_version >= 1691 && map_action_has_flag(action_index, TAG("hial")))
	{
		map_action_debug(action_index, "hiding %d objects", static_cast<int>(count));
		for (int32 i = 0; i < count; ++i)
		{
			object_data *object = alive(i);
			if (object && !(object->extra_flags & _object_is_being_carried_extra_flag))
				object->flags |= FLAG(_object_is_invisible_bit);
		}
		result = 2;
	}
	return result;
}
