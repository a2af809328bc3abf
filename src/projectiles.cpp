#include "projectiles.h"

#include <cstring>

#include "artifact_definitions.h"
#include "console/console.h"
#include "error_manager.h"
#include "fire.h"
#include "flags.h"
#include "game_preferences.h"
#include "lightning.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "mesh_effects.h"
#include "monsters.h"
#include "objects.h"
#include "particle_system.h"
#include "shapes.h"
#include "wind.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

datum_globals projectile_array = {"projectile", MAXIMUM_PROJECTILES_PER_MAP, sizeof(projectile_data), 0};

struct projectile_globals_data
{
	int16 internal_types[NUMBER_OF_INTERNAL_PROJECTILES];
	int16 promotion_depth;
	// The first refused promotion of the outermost call, printed once.
	boolean promotion_refused;
	char refused_name[64];
	file_tag refused_subgroup;
};

static projectile_globals_data projectile_globals;

static const file_tag internal_projectile_tags[NUMBER_OF_INTERNAL_PROJECTILES] = {TAG("indc"), TAG("inst")};

static inline int32 abs_int32(int32 value)
{
	return value < 0 ? -value : value;
}

/* ---------- small helpers */

static inline int32 current_game_time(void)
{
	return game ? game->game_time : 0;
}

static inline uint32 current_option_flags(void)
{
	return game ? game->option_flags : 0;
}

// The gore lock is this machine's preference: it only hides and skips local drawing.
static boolean gore_lock_is_on(void)
{
	return (get_game_preferences()->flags & _game_pref_censored_flag) != 0;
}

static inline world_point2d point2d_of(const world_point3d *p)
{
	return {p->x, p->y};
}

// Acceleration detonation, the soft-impact and kinetic rules: only the value 1
// turns them on; any other value reads as off.
static boolean uses_acceleration_rules(const projectile_definition *definition)
{
	return definition->use_accel == 1;
}

static boolean projectile_has_damage(const projectile_definition *definition)
{
	return definition->damage.type != NONE &&
		(definition->damage.damage_lower_bound != 0 || definition->damage.damage_delta != 0);
}

// ((2v + 1) * draw >> 16) - v, the product formed in 32 unsigned bits.
static int32 random_spread(int32 v)
{
	const uint32 product = static_cast<uint32>(2 * v + 1) * zerv_random();
	return static_cast<int32>(product >> 16) - v;
}

static inline int16 clamp16(int32 value)
{
	return static_cast<int16>(PIN(value, -32768, 32767));
}

projectile_data *get_projectile_data(int16 projectile_index)
{
	// try_and_get_datum's checks without the call (asked several times a
	// projectile a tick); the records are projectile_data, the declared size.
	if (!projectile_array.data || projectile_index < 0 || projectile_index >= projectile_array.maximum_count) return nullptr;
	projectile_data *projectile = static_cast<projectile_data *>(projectile_array.data) + projectile_index;
	return projectile->identifier != 0 ? projectile : nullptr;
}

int16 get_object_projectile_type(const object_data *object)
{
	if (!object) return NONE;
	if (object->owner == _object_is_dormant_projectile) return object->owner_index;
	if (object->owner == _object_is_projectile)
	{
		const projectile_data *projectile = get_projectile_data(object->owner_index);
		return projectile ? projectile->type : static_cast<int16>(NONE);
	}
	return NONE;
}

static projectile_data *projectile_by_identifier(int16 projectile_index, int16 identifier)
{
	projectile_data *projectile = get_projectile_data(projectile_index);
	return projectile && projectile->identifier == identifier ? projectile : nullptr;
}

static const object_data *monster_object(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	return monster ? get_object_data(monster->object_index) : nullptr;
}

// Deletes the projectile's object and record.
static void remove_projectile(int16 projectile_index)
{
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile) return;
	const int16 object_index = projectile->object_index;
	object_data *object = get_object_data(object_index);
	if (object && object->owner == _object_is_projectile && object->owner_index == projectile_index) delete_object(object_index);
	delete_datum(&projectile_array, projectile_index);
}

/* ---------- life cycle */

void initialize_projectiles(void)
{
	projectile_array.maximum_count = MAXIMUM_PROJECTILES_PER_MAP;
	initialize_data(&projectile_array);
	initialize_projectile_definitions();
	initialize_projectile_group_definitions();
	memset(&projectile_globals, 0, sizeof(projectile_globals));
	for (int16 &type : projectile_globals.internal_types) type = NONE;
	register_monster_died_proc(orphan_monster_projectiles);
}

void initialize_projectiles_for_new_map(void)
{
	initialize_data_for_new_map(&projectile_array);
	initialize_projectile_definitions_for_new_map();
	initialize_projectile_group_definitions_for_new_map();
	projectile_globals.promotion_depth = 0;
	projectile_globals.promotion_refused = FALSE;
	for (int16 &type : projectile_globals.internal_types) type = NONE;
}

void initialize_internal_projectiles_for_new_map(void)
{
	for (int16 i = 0; i < NUMBER_OF_INTERNAL_PROJECTILES; ++i)
	{
		// A tag set without them simply has none.
		projectile_globals.internal_types[i] = tag_file_exists(PROJECTILE_DEFINITION_GROUP_TAG, internal_projectile_tags[i]) ?
			projectile_definition_tag_to_index(internal_projectile_tags[i]) : static_cast<int16>(NONE);
	}
}

void dispose_projectiles_from_old_map(void)
{
	dispose_data_from_old_map(&projectile_array);
	dispose_projectile_group_definitions_from_old_map();
	dispose_projectile_definitions_from_old_map();
	for (int16 &type : projectile_globals.internal_types) type = NONE;
}

int16 get_internal_projectile_type(int16 which)
{
	return which >= 0 && which < NUMBER_OF_INTERNAL_PROJECTILES ? projectile_globals.internal_types[which] :
		static_cast<int16>(NONE);
}

boolean preload_projectile_sequences(void)
{
	definition_globals *definitions = get_projectile_definitions();
	for (int16 i = 0; i < definitions->count; ++i)
	{
		const projectile_definition *definition = get_projectile_definition(i);
		if (!definition || definition->collection_index == NONE) continue;
		const int16 sequence = definition->sequence_indexes[_projectile_in_flight_sequence];
		if (sequence == NONE) continue;
		if (!verify_sequence_index(definition->collection_index, sequence)) return FALSE;
		preload_sequence_index(definition->collection_index, sequence, nullptr);
	}
	return TRUE;
}

/* ---------- creation */

void initialize_new_projectile_data(new_projectile_data *data)
{
	memset(data, 0, sizeof(*data));
	data->type = NONE;
	data->damage_scale = 256;
	data->owner_monster_index = NONE;
	data->owner_projectile_index = NONE;
	data->owner_object_index = NONE;
	data->target_monster_index = NONE;
}

// The nearest visible, unchosen unit object in the definition's square; NONE when none.
static int16 choose_nearby_target(const projectile_definition *definition, const world_point3d *origin)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return NONE;
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	int32 radius = definition->nearby_target_radius > 0 ? definition->nearby_target_radius : 4;
	if (game_play_version >= 1601) radius = MIN(radius, MAX(width, height));
	const int32 exclude = game_play_version >= 1511 ? definition->exclude_nearby_target_radius : 0;
	const int32 cx = origin->x >> WORLD_FRACTIONAL_BITS, cy = origin->y >> WORLD_FRACTIONAL_BITS;
	int32 x0 = cx - radius, x1 = cx + radius, y0 = cy - radius, y1 = cy + radius;
	if (x0 < 0) x1 -= x0, x0 = 0;
	if (y0 < 0) y1 -= y0, y0 = 0;
	if (x1 >= width) x0 -= x1 - (width - 1), x1 = width - 1;
	if (y1 >= height) y0 -= y1 - (height - 1), y1 = height - 1;
	// A square larger than the mesh would still reach outside it.
	x0 = MAX(x0, 0), y0 = MAX(y0, 0);
	const world_point2d origin2d = point2d_of(origin);
	int16 best = NONE;
	world_distance best_distance = 0;
	for (int32 y = y0; y <= y1; ++y)
	{
		for (int32 x = x0; x <= x1; ++x)
		{
			if (abs_int32(x - cx) < exclude && abs_int32(y - cy) < exclude) continue;
			int32 guard = object_array.maximum_count;
			for (int16 i = mesh_globals->mesh_cells[y * width + x].first_object_index; i != NONE && guard-- > 0;)
			{
				const object_data *object = get_object_data(i);
				if (!object) break;
				if (object->owner == _object_is_monster &&
					!(object->flags & (_object_is_invisible_flag | _object_was_chosen_to_take_damage_flag)))
				{
					const world_point2d p = point2d_of(&object->location.position);
					const world_distance d = distance2d(&origin2d, &p);
					if (best == NONE || d < best_distance) best = i, best_distance = d;
				}
				i = object->next_object_index;
			}
		}
	}
	return best;
}

// Load shedding on the number of projectiles in use.
static boolean projectile_is_shed(const projectile_definition *definition)
{
	if (game_play_version < 1301) return FALSE;
	const int32 in_use = projectile_array.total_count;
	if (in_use > 924 && (definition->flags & (_projectile_bloodies_landscape_flag | _projectile_is_media_surface_effect_flag)))
	{
		return TRUE;
	}
	if (in_use < 985) return FALSE;
	const object_definition *object = get_object_definition(definition->object_type);
	return (definition->flags & (_projectile_detonates_when_animation_loops_flag | _projectile_detonates_when_transfer_loops_flag)) &&
		!projectile_has_damage(definition) && !(definition->flags & _projectile_is_bloody_do_not_draw_flag) &&
		object && object->gravity == 0 && definition->target_detonation_projectile_group_type == NONE &&
		definition->detonation_projectile_group_type == NONE && definition->promotion_projectile_group_type == NONE &&
		definition->promoted_projectile_type == NONE &&
		(game_play_version < 1709 || !definition_tag_is_present(definition->promotion_unit_tag));
}

static void set_new_projectile_object_flags(object_data *object, const projectile_definition *definition)
{
	if (definition->flags & _projectile_passes_through_target_flag) object->flags |= _object_is_permeable_flag;
	if (definition->flags & _projectile_floats_flag) object->flags |= _object_floats_on_media_flag;
	if (definition->flags & _projectile_is_media_surface_effect_flag)
	{
		object->flags |= _object_is_media_surface_effect_flag | _object_respects_monster_visibility_flag;
	}
	if ((definition->flags & _projectile_is_bloody_do_not_draw_flag) && gore_lock_is_on())
	{
		object->flags |= _object_is_not_rendered_flag;
	}
	object->flags &= (definition->flags & _projectile_bloodies_landscape_flag) ?
		~static_cast<uint32>(_object_on_ground_flag | _object_partially_under_media_flag | _object_wholly_under_media_flag |
			_object_at_rest_flag) :
		~static_cast<uint32>(_object_on_ground_flag | _object_at_rest_flag);
}

int16 new_projectile(new_projectile_data *data)
{
	const projectile_definition *definition = get_projectile_definition(data->type);
	if (!definition) return NONE;
	world_location3d location = data->location;
	int16 target_monster_index = data->target_monster_index;

	if (definition->flags & _projectile_chooses_nearby_target_flag)
	{
		const int16 target_object_index = choose_nearby_target(definition, &location.position);
		if (target_object_index == NONE) return NONE;
		object_data *target_object = get_object_data(target_object_index);
		target_object->flags |= _object_was_chosen_to_take_damage_flag;
		target_monster_index = target_object->owner_index;
	}
	if ((definition->flags & _projectile_centered_on_target_flag) && target_monster_index != NONE)
	{
		const monster_data *monster = get_monster_data(target_monster_index);
		if (monster) get_object_point(_object_point_center, monster->object_index, &location.position);
	}
	if (game_play_version == 1300 && (definition->flags & _projectile_is_on_fire_flag) && mesh_globals && mesh_globals->mesh_cells)
	{
		const world_point2d p = point2d_of(&location.position);
		const short_world_distance media = get_mesh_height(&p, _media_height);
		if (media > get_mesh_height(&p, _land_height) && location.position.z < media) return NONE;
	}
	if (projectile_is_shed(definition)) return NONE;

	const int16 projectile_index = new_datum(&projectile_array);
	if (projectile_index == NONE) return NONE;

	const object_definition *object_definition = get_object_definition(definition->object_type);
	if (!object_definition) object_definition = get_default_object_definition();
	new_object_data request = {};
	request.type = definition->object_type;
	request.owner = _object_is_projectile;
	request.owner_index = projectile_index;
	request.tracking_priority = definition->tracking_priority;
	request.scale = static_cast<short_fixed>(object_definition->scale_lower_bound + zerv_random_below(object_definition->scale_delta));
	request.location = location;
	const int32 inertia = definition->inertia_lower_bound + zerv_random_below(definition->inertia_delta);
	world_vector3d *v = &request.location.velocity;
	int32 vi = (v->i * inertia) >> 8, vj = (v->j * inertia) >> 8, vk = (v->k * inertia) >> 8;
	if (definition->random_initial_velocity > 0)
	{
		vi += random_spread(definition->random_initial_velocity);
		vj += random_spread(definition->random_initial_velocity);
		vk += random_spread(definition->random_initial_velocity);
	}
	if (definition->flags & _projectile_affected_by_wind_flag)
	{
		fixed_vector3d wind;
		get_wind_velocity(&wind);
		vi += wind.i >> 16, vj += wind.j >> 16, vk += wind.k >> 16;
	}
	*v = {clamp16(vi), clamp16(vj), clamp16(vk)};
	if ((definition->flags & _projectile_is_media_surface_effect_flag) && mesh_globals && mesh_globals->mesh_cells)
	{
		const world_point2d p = point2d_of(&request.location.position);
		request.location.position.z = get_mesh_height(&p, _media_height);
	}
	request.collection_index = definition->collection_index;
	request.color_table_index = definition->color_table_index;
	const int16 object_index = new_object(&request);
	if (object_index == NONE)
	{
		delete_datum(&projectile_array, projectile_index);
		return NONE;
	}

	projectile_data *projectile = get_projectile_data(projectile_index);
	const int16 identifier = projectile->identifier;
	memset(projectile, 0, sizeof(*projectile));
	projectile->identifier = identifier;
	projectile->type = data->type;
	projectile->flags = data->flags;
	projectile->object_index = object_index;
	projectile->target_monster_index = target_monster_index;
	projectile->owner_unit_index = projectile->owner_monster_index = projectile->original_owner_unit_index = NONE;
	projectile->damage_scale = data->damage_scale;
	projectile->lifespan = static_cast<int16>(definition->lifespan_lower_bound + zerv_random_below(definition->lifespan_delta));
	if (game_play_version >= 1701 && definition->lifespan_lower_bound == 0 && definition->lifespan_delta == 0)
	{
		projectile->flags |= _projectile_has_no_lifespan_flag;
	}
	else
	{
		projectile->flags &= static_cast<uint16>(~_projectile_has_no_lifespan_flag);
	}
	projectile->delay = static_cast<int16>(definition->delay_lower_bound + zerv_random_below(definition->delay_delta));
	projectile->contrail_frequency = definition->initial_contrail_frequency;
	const world_point2d where = point2d_of(&request.location.position);
	projectile->particle_system_density = particle_system_intensity(&where);
	projectile->lightning_index = projectile->lightning_identifier = NONE;
	projectile->visible_projectile_group_type = NONE;
	projectile->local_projectile_group_index = NONE;
	projectile->last_distance_to_target = -1;
	projectile->last_bounce_stain_position = where;
	if (definition->flags & _projectile_is_guided_flag)
	{
		const world_point2d zero = {0, 0}, horizontal = {v->i, v->j};
		projectile->guided_speed = distance2d(&zero, &horizontal);
	}
	if (data->flags & _projectile_has_valid_target_location_flag) projectile->target_location = data->target_location;

	object_data *object = get_object_data(object_index);
	set_new_projectile_object_flags(object, definition);
	// Loop-detonating: on either loop, as the at-rest animation reads it.
	const boolean loops = (definition->flags & (_projectile_detonates_when_animation_loops_flag |
		_projectile_detonates_when_transfer_loops_flag)) != 0;
	const short_fixed rate = static_cast<short_fixed>(definition->animation_rate_lower_bound +
		zerv_random_below(definition->animation_rate_delta));
	set_object_shape(object_index, definition->sequence_indexes[_projectile_in_flight_sequence], rate, _transfer_mode_none, 0,
		loops ? _random_view_flag : (_random_sequence_frame_flag | _random_sequence_phase_flag | _random_view_flag), FALSE);
	if (projectile->delay > 0) object->flags |= _object_is_invisible_flag;
	if ((definition->flags & _projectile_can_animate_backwards_flag) && (zerv_random() & 1))
	{
		object->flags |= _object_animates_backwards_flag;
	}
	if (definition->flags & _projectile_can_be_mirrored_flag)
	{
		if (zerv_random() & 1) object->flags |= _object_is_horizontally_mirrored_flag;
		if (!(definition->flags & _projectile_cannot_be_mirrored_vertically_flag) && (zerv_random() & 1))
		{
			object->flags |= _object_is_vertically_mirrored_flag;
		}
	}
	if (definition->flags & _projectile_cannot_be_accelerated_flag) object->flags |= _object_cannot_be_accelerated_flag;
	if (definition->projectile_class == _projectile_class_explosive_object ||
		definition->projectile_class == _projectile_class_potentially_explosive_object)
	{
		object->flags |= _object_must_be_included_in_explosions_flag;
	}
	if (definition->geometry_index != NONE) object->geometry_index = static_cast<int8>(definition->geometry_index);

	const monster_data *owner = get_monster_data(data->owner_monster_index);
	if (owner)
	{
		projectile->owner_unit_index = projectile->original_owner_unit_index = owner->unit_type;
		projectile->owner_monster_index = data->owner_monster_index;
		object->transparent_object_index = owner->object_index;
		if (owner->extra_flags & _monster_is_uncontrollable_extra_flag) projectile->flags |= _projectile_originated_from_uncontrollable_monster_flag;
		if (owner->extra_flags & _monster_is_ambient_life_extra_flag) projectile->flags |= _projectile_originated_from_ambient_life_monster_flag;
		if (owner->extra_flags & _monster_has_no_visibility_extra_flag)
		{
			projectile->flags |= _projectile_originated_from_monster_with_no_visibility_flag;
		}
	}
	const object_data *owner_object = get_object_data(data->owner_object_index);
	if (owner_object && owner_object->shape_collection_index == object->shape_collection_index)
	{
		object->color_table_index = owner_object->color_table_index;
		if (owner_object->owner == _object_is_projectile)
		{
			const projectile_data *owner_projectile = get_projectile_data(owner_object->owner_index);
			if (owner_projectile && owner_projectile->type == data->type)
			{
				object->shape_frame_index = owner_object->shape_frame_index;
				object->shape_view_index = owner_object->shape_view_index;
			}
		}
	}
	const projectile_data *owner_projectile = get_projectile_data(data->owner_projectile_index);
	if (owner_projectile)
	{
		projectile->damage_scale = owner_projectile->damage_scale;
		projectile->owner_unit_index = owner_projectile->owner_unit_index;
		projectile->owner_monster_index = owner_projectile->owner_monster_index;
		projectile->original_owner_unit_index = owner_projectile->original_owner_unit_index;
		projectile->flags |= owner_projectile->flags & _projectile_origin_flags;
		if (projectile->target_monster_index == NONE) projectile->target_monster_index = owner_projectile->target_monster_index;
	}
	if (definition->flags & _projectile_marks_target_has_having_been_chosen_flag)
	{
		const monster_data *target = get_monster_data(projectile->target_monster_index);
		object_data *target_object = target ? get_object_data(target->object_index) : nullptr;
		if (target_object) target_object->flags |= _object_was_chosen_to_take_damage_flag;
	}
	if (data->flags & _projectile_is_masonary_flag) object->color_table_permutation = MASONARY_COLOR_PERMUTATION;
	if (data->flags & _projectile_is_smoking_flag) object->color_table_permutation = SMOKING_COLOR_PERMUTATION;
	if (definition->flags & _projectile_centered_on_target_flag) projectile->flags |= _projectile_detonates_immediately_flag;

	if (definition->flags & _projectile_is_lightning_flag)
	{
		const monster_data *target = get_monster_data(projectile->target_monster_index);
		const boolean has_location = (projectile->flags & _projectile_has_valid_target_location_flag) != 0;
		new_lightning_data bolt = {definition->lightning_index, NONE, target ? target->object_index : static_cast<int16>(NONE),
			object->location.position, has_location ? projectile->target_location : object->location.position};
		projectile->lightning_index = target || has_location ? new_lightning(&bolt) : static_cast<int16>(NONE);
		const lightning_data *made = get_lightning_data(projectile->lightning_index);
		projectile->lightning_identifier = made ? made->identifier : static_cast<int16>(NONE);
		if (projectile->lightning_index == NONE)
		{
			if (game_play_version >= 1501) delete_object(object_index);
			delete_datum(&projectile_array, projectile_index);
			return NONE;
		}
	}
	if (definition->local_projectile_group_type != NONE)
	{
		projectile->local_projectile_group_index =
			new_local_projectile_group(definition->local_projectile_group_type, &object->location.position, object_index, TRUE);
	}
	if (definition->sound_indexes[_projectile_sound_flight] != NONE)
	{
		_play_object_sound(object_index, definition->sound_indexes[_projectile_sound_flight]);
	}

	if (definition->flags & _projectile_is_melee_attack_flag)
	{
		const object_data *target_object = monster_object(projectile->target_monster_index);
		if (target_object)
		{
			const monster_data *target = get_monster_data(projectile->target_monster_index);
			detonate_projectile(nullptr, 0, projectile_index, target->object_index, FALSE);
		}
		if (projectile_by_identifier(projectile_index, identifier)) remove_projectile(projectile_index);
		return NONE;
	}
	if (definition->flags & _projectile_definition_detonates_immediately_flag)
	{
		detonate_projectile(nullptr, 0, projectile_index, NONE, FALSE);
		if (projectile_by_identifier(projectile_index, identifier)) remove_projectile(projectile_index);
		return NONE;
	}
	return projectile_index;
}

/* ---------- groups */

void new_projectile_group(new_projectile_group_data *data)
{
	const projectile_group_definition *group = get_projectile_group_definition(data->type);
	if (!group) return;
	const object_data *bounds = get_object_data(data->bounds_object_index);
	if (!(data->flags & _new_projectile_group_cannot_detonate_flag))
	{
		if (group->mesh_effect_type != NONE && bounds)
		{
			const world_point2d p = point2d_of(&bounds->location.position);
			const new_mesh_effect_data effect = {0, group->mesh_effect_type, p};
			new_mesh_effect(&effect);
		}
		if (group->sound_index != NONE && bounds) _play_object_sound(data->bounds_object_index, group->sound_index);
	}
	if (group->local_projectile_group_type != NONE)
	{
		world_point3d origin = data->epicenter;
		if (bounds) origin.z += (bounds->height1 - bounds->height0) / 2;
		new_local_projectile_group(group->local_projectile_group_type, &origin, data->owner_object_index);
	}
	const int16 parts = static_cast<int16>(PIN(group->number_of_parts, 0, MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP));
	for (int16 p = 0; p < parts; ++p)
	{
		// Copied: a nested load may not move the group, but a part is small.
		const projectile_group_part_definition part = group->parts[p];
		const int32 count = part.count_lower_bound + zerv_random_below(part.count_delta);
		for (int32 k = 0; k < count; ++k)
		{
			const int16 type = zerv_random() > part.appearing_fraction ? part.fail_projectile_type : part.projectile_type;
			if (type == NONE) continue;
			new_projectile_group_part(data, part.position_lower_bound, part.position_delta, type, part.flags,
				(data->flags & _new_projectile_group_no_blood_flag) != 0);
		}
	}
}

int16 new_projectile_group_part(new_projectile_group_data *data, short_fixed position_lower_bound,
	short_fixed position_delta, int16 projectile_type, uint32 part_flags, boolean no_blood)
{
	const projectile_definition *definition = get_projectile_definition(projectile_type);
	if (!definition) return NONE;
	if (no_blood && (definition->flags & _projectile_bloodies_landscape_flag)) return NONE;

	const int32 fraction = position_lower_bound + zerv_random_below(position_delta);
	const object_data *bounds = get_object_data(data->bounds_object_index);
	world_point3d origin = data->epicenter;
	if (!(data->flags & _new_projectile_group_uses_epicenter_as_origin_flag) && bounds)
	{
		origin = bounds->location.position;
		if (!(part_flags & _projectile_group_part_is_central_flag) && !(data->flags & _new_projectile_group_central_flag))
		{
			const int32 radius = bounds->radius;
			origin.x += random_spread(radius);
			origin.y += random_spread(radius);
			origin.z += bounds->height0 + ((fraction * (bounds->height1 - bounds->height0)) >> 8);
		}
	}
	if ((part_flags & _projectile_group_part_is_on_ground_flag) && mesh_globals && mesh_globals->mesh_cells)
	{
		const world_point2d p = point2d_of(&origin);
		origin.z = get_mesh_height(&p, _land_height);
	}

	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = projectile_type;
	request.location.position = origin;
	if (data->flags & _new_projectile_group_uses_vector_flag)
	{
		request.location.velocity = data->vector;
	}
	else
	{
		line_segment_to_vector(&request.location.velocity, &origin, &data->epicenter, data->velocity);
	}
	if (data->flags & _new_projectile_group_has_masonary_source_flag)
	{
		if (!(definition->flags & (_projectile_becomes_dormant_at_rest_flag | _projectile_is_melee_attack_flag)) &&
			get_internal_projectile_type(_internal_projectile_masonary_dust) != NONE)
		{
			request.type = get_internal_projectile_type(_internal_projectile_masonary_dust);
		}
		request.flags |= _projectile_cannot_detonate_flag | _projectile_is_masonary_flag;
	}
	if (data->flags & _new_projectile_group_has_smoking_source_flag) request.flags |= _projectile_is_smoking_flag;
	if (data->flags & _new_projectile_group_cannot_detonate_flag) request.flags |= _projectile_cannot_detonate_flag;
	if ((data->flags & _new_projectile_group_detonate_explosives_flag) &&
		(definition->projectile_class == _projectile_class_explosive_object ||
			definition->projectile_class == _projectile_class_potentially_explosive_object))
	{
		request.flags |= _projectile_detonates_immediately_flag;
	}
	if (bounds && bounds->owner == _object_is_projectile) request.owner_projectile_index = bounds->owner_index;
	if (bounds && bounds->owner == _object_is_monster) request.owner_monster_index = bounds->owner_index;
	if (!(current_option_flags() & _game_option_uses_qel_flag) && data->owner_monster_index != NONE)
	{
		request.owner_monster_index = data->owner_monster_index;
	}
	request.owner_object_index = data->owner_object_index;

	const int16 projectile_index = new_projectile(&request);
	if (projectile_index != NONE && (data->flags & _new_projectile_group_delayed_flag))
	{
		const int16 delay = static_cast<int16>((static_cast<int32>(zerv_random()) * PROJECTILE_GROUP_DELAY_DELTA) >> 16);
		projectile_data *projectile = get_projectile_data(projectile_index);
		object_data *object = projectile ? get_object_data(projectile->object_index) : nullptr;
		if (projectile && object)
		{
			projectile->delay = delay;
			object->flags |= _object_is_invisible_flag;
		}
	}
	return projectile_index;
}

/* ---------- markers */

void new_projectile_palette_entry(marker_palette_entry *entry)
{
	entry->tag_index = projectile_definition_tag_to_index(entry->tag);
}

int16 new_projectile_from_marker(marker_data *marker)
{
	marker_palette_entry *entry = get_marker_palette_entry(_marker_projectile, marker->palette_index);
	if (!entry || entry->tag_index == NONE) return NONE;
	const int16 difficulty = game ? game->difficulty_level : static_cast<int16>(0);
	if (difficulty < marker->minimum_difficulty_level) return NONE;
	const projectile_definition *definition = get_projectile_definition(entry->tag_index);
	if (!definition) return NONE;
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = entry->tag_index;
	request.location = marker->location;
	if (marker->flags & _marker_detonates_immediately_flag) request.flags |= _projectile_detonates_immediately_flag;
	const int16 projectile_index = new_projectile(&request);
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile) return NONE;
	const int16 object_index = projectile->object_index;
	// The object is known by its marker's identifier (0 would mark it free).
	if (marker->identifier != 0) set_datum_identifier(&object_array, object_index, marker->identifier);
	if (marker->location.velocity.k == 0 && !(projectile->flags & _projectile_detonates_immediately_flag) &&
		!(definition->flags & _projectile_definition_detonates_immediately_flag))
	{
		sleep_projectile(projectile_index);
	}
	marker->data_index = object_index;
	entry->count += 1;
	return object_index;
}

void orphan_monster_projectiles(int16 monster_index, uint16)
{
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		projectile_data *projectile = get_projectile_data(i);
		if (!projectile) continue;
		if (projectile->owner_monster_index == monster_index) projectile->owner_monster_index = NONE;
		if (projectile->target_monster_index == monster_index) projectile->target_monster_index = NONE;
	}
}

/* ---------- detonation */

static void spawn_group_at(int16 group_type, uint32 flags, const world_point3d *epicenter, short_world_distance velocity,
	const world_vector3d *vector, int16 object_index, int16 owner_monster_index)
{
	if (group_type == NONE) return;
	new_projectile_group_data group = {};
	group.flags = flags;
	group.type = group_type;
	group.owner_object_index = object_index;
	group.bounds_object_index = object_index;
	group.owner_monster_index = owner_monster_index;
	group.epicenter = *epicenter;
	group.velocity = velocity;
	if (vector) group.vector = *vector;
	new_projectile_group(&group);
}

static void show_owner_monster(int16 monster_index, int32 first_version_with_height)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	object_data *object = get_object_data(monster->object_index);
	if (object) object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	if (game_play_version >= first_version_with_height) update_monster_location_height(monster_index);
}

void detonate_projectile(const world_point3d *epicenter, short_world_distance velocity, int16 projectile_index,
	int16 obstacle_object_index, boolean remains_after_detonation)
{
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile || projectile->type == NONE) return;
	const projectile_definition *definition = get_projectile_definition(projectile->type);
	object_data *object = get_object_data(projectile->object_index);
	if (!definition || !object) return;
	const boolean cannot_detonate = (projectile->flags & _projectile_cannot_detonate_flag) != 0;
	if (cannot_detonate && !(definition->flags & (_projectile_is_melee_attack_flag | _projectile_bloodies_landscape_flag)))
	{
		return;
	}
	if (zerv_random() < definition->promotion_on_detonation_fraction)
	{
		promote_projectile(projectile_index);
		return;
	}
	const int16 identifier = projectile->identifier;
	const int16 object_index = projectile->object_index;
	const int16 object_identifier = object->identifier;
	const world_location3d location = object->location;
	const world_point2d where = point2d_of(&location.position);
	const uint16 flags = projectile->flags;
	const int16 owner_monster_index = projectile->owner_monster_index;
	const int16 owner_unit_index = projectile->owner_unit_index;
	projectile->detonating = TRUE;

	if ((definition->flags & _projectile_bloodies_landscape_flag) &&
		!(gore_lock_is_on() && (definition->flags & _projectile_is_bloody_do_not_draw_flag)))
	{
		bloody_mesh(&where);
	}
	damage_data damage;
	initialize_damage_data(&damage);
	if (!cannot_detonate)
	{
		const int16 stain = definition->sequence_indexes[_projectile_detonation_stain_sequence];
		if (stain != NONE && location.height < MAXIMUM_STAIN_HEIGHT) stain_mesh(definition->collection_index, stain, &where);
		if (projectile_has_damage(definition))
		{
			damage.owner_unit_index = projectile->owner_unit_index;
			damage.owner_monster_index = owner_monster_index;
			monster_data *owner = get_monster_data(owner_monster_index);
			damage.owner_monster_identifier = owner ? owner->identifier : static_cast<int16>(NONE);
			damage.epicenter = location.position;
			damage.vector = location.velocity;
			damage.scale = projectile->damage_scale;
			if ((definition->flags & _projectile_damage_proportional_to_mana_flag) && owner)
			{
				damage.mana_used = owner->mana;
				// A unit without mana capacity keeps a proportion of 0.
				const monster_definition *owner_definition = get_monster_definition(owner->type);
				const short_fixed maximum_mana = owner_definition ? owner_definition->maximum_mana : static_cast<short_fixed>(0);
				if (maximum_mana > 0)
				{
					const volatile float proportion = static_cast<float>(owner->mana) / static_cast<float>(maximum_mana);
					damage.mana_proportion = proportion;
				}
				owner->mana = 0;
			}
			if (definition->flags & _projectile_continually_detonates_flag) damage.flags |= _damage_data_continually_detonating_flag;
			const damage_definition blow = definition->damage;
			cause_damage(obstacle_object_index, &blow, &damage);
		}
	}

	world_point3d group_origin = epicenter ? *epicenter : location.position;
	int16 group_type = definition->detonation_projectile_group_type;
	if (damage.flags & _damage_data_reported_projectile_group_flag)
	{
		group_type = damage.detonation_projectile_group_type;
		if (get_object_data(obstacle_object_index)) get_object_point(_object_point_center, obstacle_object_index, &group_origin);
	}
	const short_world_distance speed = cannot_detonate ? velocity : MAX(velocity, definition->detonation_velocity);
	uint32 group_flags = 0;
	if (cannot_detonate) group_flags |= _new_projectile_group_cannot_detonate_flag;
	if (flags & _projectile_is_masonary_flag) group_flags |= _new_projectile_group_has_masonary_source_flag;
	const boolean object_alive = get_object_data(object_index) && get_object_data(object_index)->identifier == object_identifier;
	spawn_group_at(group_type, group_flags, &group_origin, speed, nullptr, object_alive ? object_index : NONE,
		owner_monster_index);

	if (mesh_globals && mesh_globals->header && (mesh_globals->header->flags & _mesh_can_catch_fire_flag) &&
		(definition->flags & _projectile_can_set_landscape_on_fire_flag))
	{
		const monster_data *fire_owner = get_monster_data(owner_monster_index);
		try_to_start_fire(owner_unit_index, fire_owner ? owner_monster_index : static_cast<int16>(NONE),
			fire_owner ? fire_owner->identifier : static_cast<int16>(NONE), where.x >> WORLD_FRACTIONAL_BITS,
			where.y >> WORLD_FRACTIONAL_BITS);
	}
	if (definition->flags & _projectile_makes_owner_monster_visible_flag) show_owner_monster(owner_monster_index, 1710);

	projectile = projectile_by_identifier(projectile_index, identifier);
	if (!projectile) return;
	projectile->detonating = FALSE;
	if (!remains_after_detonation) remove_projectile(projectile_index);
}

void promote_projectile(int16 projectile_index)
{
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile || projectile->type == NONE) return;
	const projectile_definition *definition = get_projectile_definition(projectile->type);
	const object_data *object = get_object_data(projectile->object_index);
	if (!definition || !object) return;

	if (projectile_globals.promotion_depth >= MAXIMUM_PROMOTION_RECURSION_DEPTH)
	{
		if (!projectile_globals.promotion_refused)
		{
			projectile_globals.promotion_refused = TRUE;
			strncpy(projectile_globals.refused_name, get_definition_name(get_projectile_definitions(), projectile->type),
				sizeof(projectile_globals.refused_name) - 1);
			projectile_globals.refused_name[sizeof(projectile_globals.refused_name) - 1] = 0;
			projectile_globals.refused_subgroup = get_definition_subgroup(get_projectile_definitions(), projectile->type);
		}
		remove_projectile(projectile_index);
		return;
	}
	projectile_globals.promotion_depth += 1;

	const int16 identifier = projectile->identifier;
	const int16 object_index = projectile->object_index;
	const world_location3d location = object->location;
	const int16 owner_monster_index = projectile->owner_monster_index;
	const short_world_distance speed = world_magnitude3d(&location.velocity);
	spawn_group_at(definition->promotion_projectile_group_type, _new_projectile_group_uses_vector_flag, &location.position,
		speed, &location.velocity, object_index, owner_monster_index);
	if (definition->promoted_projectile_type != NONE && projectile_by_identifier(projectile_index, identifier))
	{
		new_projectile_data request;
		initialize_new_projectile_data(&request);
		request.type = definition->promoted_projectile_type;
		request.location = location;
		request.owner_projectile_index = projectile_index;
		request.owner_object_index = object_index;
		new_projectile(&request);
	}
	if (game_play_version >= 1601 && definition_tag_is_present(definition->promotion_unit_tag))
	{
		const int16 unit_type = unit_definition_tag_to_index(definition->promotion_unit_tag);
		projectile = projectile_by_identifier(projectile_index, identifier);
		const monster_data *first_owner = projectile ? get_monster_data(projectile->owner_monster_index) : nullptr;
		if (unit_type != NONE)
		{
			new_monster_at_location(definition->promotion_unit_tag, &location.position,
				first_owner ? first_owner->owner_player_index : static_cast<int16>(NONE), 0, 0);
		}
	}
	if (projectile_by_identifier(projectile_index, identifier)) remove_projectile(projectile_index);

	projectile_globals.promotion_depth -= 1;
	if (projectile_globals.promotion_depth == 0 && projectile_globals.promotion_refused)
	{
		projectile_globals.promotion_refused = FALSE;
		cprintf(FALSE, "### projectile promotion failed on '%s' (%s): exceeded %d promotions", projectile_globals.refused_name,
			tag_to_string(projectile_globals.refused_subgroup), MAXIMUM_PROMOTION_RECURSION_DEPTH);
	}
}

/* ---------- sleep, wake and fades */

void sleep_projectile(int16 projectile_index)
{
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile || projectile->type == NONE) return;
	object_data *object = get_object_data(projectile->object_index);
	if (object)
	{
		object->owner = _object_is_dormant_projectile;
		object->owner_index = projectile->type;
		object->dormant_proj_flags = static_cast<uint8>(projectile->flags);
		object->original_owner_unit_index = projectile->original_owner_unit_index;
		object->flags |= _object_on_ground_flag | _object_at_rest_flag;
		if (object->flags & _object_is_flag_flag) reclaim_dormant_flag(projectile->object_index);
	}
	delete_datum(&projectile_array, projectile_index);
}

int16 wake_projectile(int16 object_index, int16 new_owner_monster_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_dormant_projectile) return NONE;
	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = object->owner_index;
	request.location = object->location;
	if (object->color_table_permutation == MASONARY_COLOR_PERMUTATION)
	{
		request.flags |= _projectile_is_masonary_flag | _projectile_cannot_detonate_flag;
	}
	request.owner_monster_index = new_owner_monster_index;
	const int16 projectile_index = new_projectile(&request);
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile) return NONE;
	object = get_object_data(object_index);
	object_data *new_object_record = get_object_data(projectile->object_index);
	if (!object || !new_object_record) return NONE;
	const uint32 kept = _object_is_flag_flag | _object_is_solid_flag | _object_respects_monster_visibility_flag;
	new_object_record->flags = (new_object_record->flags & ~kept) | (object->flags & kept);
	new_object_record->original_owner_unit_index = object->original_owner_unit_index;
	projectile->original_owner_unit_index = object->original_owner_unit_index;
	replace_object(object_index, projectile->object_index);
	projectile->object_index = object_index;
	return projectile_index;
}

int16 fade_object(boolean out, int16 object_index, int16 delay_ticks, int16 fade_ticks)
{
	object_data *object = get_object_data(object_index);
	if (!object) return NONE;
	if (game_play_version >= 1718 && out && (object->flags & _object_is_invisible_flag)) return NONE;
	const int16 projectile_index = new_datum(&projectile_array);
	if (projectile_index == NONE) return NONE;
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile) return NONE;
	const int16 identifier = projectile->identifier;
	memset(projectile, 0, sizeof(*projectile));
	projectile->identifier = identifier;
	projectile->type = NONE;
	projectile->object_index = object_index;
	projectile->target_monster_index = projectile->owner_unit_index = NONE;
	projectile->owner_monster_index = object->owner == _object_is_monster ? object->owner_index : static_cast<int16>(NONE);
	projectile->original_owner_unit_index = projectile->visible_projectile_group_type = NONE;
	projectile->lightning_index = projectile->lightning_identifier = projectile->local_projectile_group_index = NONE;
	projectile->damage_scale = 256;
	projectile->delay = delay_ticks;
	projectile->last_distance_to_target = -1;
	object->owner = _object_is_special_projectile;
	object->owner_index = projectile_index;
	object->transfer_mode = static_cast<int8>(out ? _transfer_mode_transparent_fade_out : _transfer_mode_transparent_fade_in);
	object->transfer_period = static_cast<int8>(PIN(fade_ticks, 1, 127));
	object->transfer_phase = 0;
	object->flags &= ~static_cast<uint32>(_object_animation_transfer_mode_finished_flag);
	if (game_play_version >= 1711 && game_play_version <= 1717) object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	if (!out && delay_ticks > 0) object->flags |= _object_is_invisible_flag;
	return projectile_index;
}

/* ---------- response to damage */

void accelerate_projectile(const damage_definition *definition, damage_data *data, int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || !definition || !data) return;
	if (game_play_version >= 1301 && (definition->type == _damage_healing || (object->flags & _object_is_invisible_flag))) return;

	if (definition->flags & _damage_instantaneous_flag)
	{
		if (!damage_object(object_index, definition, data->damage, 0, nullptr, nullptr)) return;
		object = get_object_data(object_index);
		if (!object) return;
		const int16 projectile_index = object->owner == _object_is_dormant_projectile ?
			wake_projectile(object_index, NONE) : (object->owner == _object_is_projectile ? object->owner_index : static_cast<int16>(NONE));
		const projectile_data *projectile = get_projectile_data(projectile_index);
		const projectile_definition *projectile_definition = projectile ? get_projectile_definition(projectile->type) : nullptr;
		if (projectile_definition && !projectile->detonating)
		{
			detonate_projectile(nullptr, 0, projectile_index, NONE,
				(projectile_definition->flags & _projectile_remains_after_detonation_flag) != 0);
		}
		return;
	}
	if (data->velocity <= 0) return;
	if (object->owner == _object_is_dormant_projectile && wake_projectile(object_index, NONE) == NONE) return;
	object = get_object_data(object_index);
	if (!object || object->owner != _object_is_projectile) return;
	const int16 projectile_index = object->owner_index;
	const projectile_data *projectile = get_projectile_data(projectile_index);
	const projectile_definition *projectile_definition = projectile ? get_projectile_definition(projectile->type) : nullptr;
	if (!projectile_definition) return;
	const int16 identifier = projectile->identifier;

	const object_definition *object_definition = get_object_definition(object->type);
	if (!(game_play_version >= 1691 && object_definition && (object_definition->flags & _object_not_accelerated_by_damage_flag)))
	{
		world_point3d origin = data->epicenter;
		origin.z -= 128;
		world_vector3d push;
		line_segment_to_vector(&push, &object->location.position, &origin, data->velocity);
		world_vector3d *v = &object->location.velocity;
		*v = {clamp16(v->i + push.i), clamp16(v->j + push.j), clamp16(v->k + push.k)};
		if ((object->flags & _object_at_rest_flag) && v->k < 0) v->k = clamp16(-v->k);
		object->flags &= ~static_cast<uint32>(_object_on_ground_flag | _object_at_rest_flag);
	}
	const boolean destroyed = damage_object(object_index, definition, data->damage, 0, nullptr, nullptr);
	projectile = projectile_by_identifier(projectile_index, identifier);
	if (!projectile || projectile->detonating) return;
	const boolean remains = (projectile_definition->flags & _projectile_remains_after_detonation_flag) != 0;
	if (destroyed)
	{
		detonate_projectile(nullptr, 0, projectile_index, NONE, remains);
	}
	else if (uses_acceleration_rules(projectile_definition) && data->velocity > projectile_definition->maximum_safe_acceleration &&
		zerv_random() < projectile_definition->acceleration_detonation_fraction)
	{
		detonate_projectile(nullptr, 0, projectile_index, NONE, remains);
	}
}

/* ---------- flight */

enum // what the tick decided
{
	_outcome_none,
	_outcome_sleep,
	_outcome_detonate,
	_outcome_promote
};

struct projectile_tick
{
	int16 outcome;
	boolean soft_impact;
	int16 obstacle_object_index;
};

static void decide(projectile_tick *tick, int16 outcome)
{
	if (outcome > tick->outcome) tick->outcome = outcome;
}

static void guide_projectile(projectile_data *projectile, const projectile_definition *definition, object_data *object)
{
	const object_data *target = monster_object(projectile->target_monster_index);
	if (!target) return;
	world_vector3d *v = &object->location.velocity;
	const angle heading = arctangent(v->i, v->j);
	const angle wanted = arctangent(target->location.position.x - object->location.position.x,
		target->location.position.y - object->location.position.y);
	const int32 limit = 8 * static_cast<int32>(definition->guided_turning_speed);
	const int32 turn = PIN(signed_angular_difference(heading, wanted), -limit, limit);
	const angle yaw = static_cast<angle>(heading + turn);
	const int32 index = ANGLE_TO_TRIG_INDEX(yaw);
	v->i = clamp16((projectile->guided_speed * cosine_table[index]) >> 14);
	v->j = clamp16((projectile->guided_speed * sine_table[index]) >> 14);
}

static void make_contrail(int16 projectile_index, projectile_data *projectile, const projectile_definition *definition,
	const object_data *object)
{
	if (object->flags & _object_wholly_under_media_flag) return;
	if (projectile->contrail_count >= definition->maximum_contrail_count) return;
	int16 type = definition->contrail_projectile_type;
	if (projectile->flags & _projectile_is_masonary_flag) type = get_internal_projectile_type(_internal_projectile_masonary_dust);
	else if (projectile->flags & _projectile_is_smoking_flag) type = get_internal_projectile_type(_internal_projectile_smoke_trail);
	if (type == NONE) return;
	projectile->ticks_since_last_contrail += 1;
	if (projectile->ticks_since_last_contrail <= definition->ticks_between_contrails) return;
	const int16 identifier = projectile->identifier;
	const int16 object_index = projectile->object_index;
	if (zerv_random() < projectile->contrail_frequency)
	{
		new_projectile_data request;
		initialize_new_projectile_data(&request);
		request.type = type;
		request.location.position = object->location.position;
		request.location.velocity = object->location.velocity;
		request.owner_projectile_index = projectile_index;
		request.owner_object_index = object_index;
		const int16 contrail = new_projectile(&request);
		projectile = projectile_by_identifier(projectile_index, identifier);
		if (!projectile) return;
		if (contrail != NONE) projectile->contrail_count += 1;
	}
	projectile->ticks_since_last_contrail = 0;
	const int32 frequency = projectile->contrail_frequency, final = definition->final_contrail_frequency;
	const int32 step = definition->contrail_frequency_delta;
	projectile->contrail_frequency = static_cast<uint16>(frequency < final ? MIN(frequency + step, final) :
		MAX(frequency - step, final));
}

static void splash(projectile_data *projectile, const projectile_definition *definition, const object_data *object)
{
	int16 slot = PIN(definition->splash_or_rebound_effect_type, 0, 2) + _media_projectile_group_small_splash;
	if (definition->flags & _projectile_floats_flag) slot = _media_projectile_group_floating_splash;
	else if (definition->flags & _projectile_bloodies_landscape_flag) slot = _media_projectile_group_bloody_splash;
	if (definition->flags & _projectile_is_on_fire_flag) slot = _media_projectile_group_steam_splash;
	const int16 group_type = get_mesh_media_projectile_group_type(slot);
	if (group_type == NONE) return;
	const world_point2d where = point2d_of(&object->location.position);
	const world_point3d origin = {where.x, where.y, get_mesh_height(&where, _media_height)};
	const world_vector3d *v = &object->location.velocity;
	const world_vector3d vector = {v->i, v->j, clamp16(2 * abs_int32(static_cast<int32>(v->k)))};
	new_projectile_group_data group = {};
	group.flags = _new_projectile_group_uses_vector_flag | _new_projectile_group_uses_epicenter_as_origin_flag;
	group.type = group_type;
	group.owner_object_index = projectile->object_index;
	group.bounds_object_index = projectile->object_index;
	group.owner_monster_index = projectile->owner_monster_index;
	group.epicenter = origin;
	group.velocity = world_magnitude3d(&vector);
	group.vector = vector;
	new_projectile_group(&group);
}

// The impact step; the record and object are valid on entry and nothing here creates records.
static void impact(int16 projectile_index, projectile_data *projectile, const projectile_definition *definition,
	object_data *object, uint32 result, projectile_tick *tick)
{
	int16 hit_monster_index = NONE;
	if (result & _object_struck_object_flag)
	{
		const int16 struck_index = MOVE_RESULT_STRUCK_OBJECT_INDEX(result);
		const object_data *struck = get_object_data(struck_index);
		object->transparent_object_index = struck_index;
		tick->obstacle_object_index = struck_index;
		if (struck && (game_play_version < 1501 || struck->owner == _object_is_monster))
		{
			hit_monster_index = get_monster_data(struck->owner_index) ? struck->owner_index : static_cast<int16>(NONE);
		}
	}
	if (hit_monster_index != NONE && game_play_version < 1711) projectile->target_monster_index = hit_monster_index;
	tick->soft_impact = (result & _object_struck_object_softly_flag) != 0;

	boolean detonates = FALSE;
	const world_vector3d *v = &object->location.velocity;
	const boolean slow_kinetic = definition->damage.type == _damage_kinetic && v->i < MINIMUM_VELOCITY_FOR_KINETIC_DAMAGE &&
		v->j < MINIMUM_VELOCITY_FOR_KINETIC_DAMAGE && v->k < MINIMUM_VELOCITY_FOR_KINETIC_DAMAGE;
	const boolean excepted = slow_kinetic && !(current_option_flags() & _game_option_uses_qel_flag) &&
		!(game_play_version >= 1501 && uses_acceleration_rules(definition));
	if (!excepted && zerv_random() < definition->detonation_frequency) detonates = TRUE;
	if (!detonates)
	{
		if (result & _object_struck_ground_flag)
		{
			const int16 stain = definition->sequence_indexes[_projectile_bounce_stain_sequence];
			const world_point2d where = point2d_of(&object->location.position);
			if (stain != NONE && distance2d(&where, &projectile->last_bounce_stain_position) >= MINIMUM_BOUNCE_STAIN_SEPARATION)
			{
				stain_mesh(definition->collection_index, stain, &where);
				projectile->last_bounce_stain_position = where;
			}
		}
		if (definition->flags & _projectile_contrail_frequency_reset_after_bouncing_flag)
		{
			projectile->contrail_frequency = definition->initial_contrail_frequency;
		}
		if (uses_acceleration_rules(definition) &&
			world_magnitude3d(v) > 3 * static_cast<int32>(definition->maximum_safe_acceleration) &&
			zerv_random() < definition->acceleration_detonation_fraction)
		{
			detonates = TRUE;
		}
	}
	if (detonates)
	{
		if (hit_monster_index != NONE) projectile->target_monster_index = hit_monster_index;
		decide(tick, _outcome_detonate);
	}
	else if (definition->sound_indexes[_projectile_sound_rebound] != NONE)
	{
		_play_object_sound(projectile->object_index, definition->sound_indexes[_projectile_sound_rebound]);
	}
	(void)projectile_index;
}

// Follows the bolt; FALSE when the tick ends here with the outcome decided so far.
static boolean follow_lightning(projectile_data *projectile, const projectile_definition *definition, object_data *object,
	projectile_tick *tick)
{
	lightning_state_data state = {};
	projectile->target_monster_index = NONE;
	if (!get_lightning_follow_state(projectile->lightning_index, projectile->lightning_identifier, &state)) return FALSE;
	const boolean qel = (current_option_flags() & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag)) ||
		(state.definition_flags & _lightning_has_qel_collision_radius_flag);
	object->radius = qel ? 192 : 128;
	object->height0 = qel ? -96 : -64;
	object->height1 = qel ? 96 : 64;
	object->location.velocity = {clamp16(state.tip.x - object->location.position.x),
		clamp16(state.tip.y - object->location.position.y), clamp16(state.tip.z - object->location.position.z)};
	object->flags &= ~static_cast<uint32>(_object_on_ground_flag);
	const int16 object_index = projectile->object_index;
	const uint32 result = move_object(object_index);
	object = get_object_data(object_index);
	if (!object) return FALSE;
	if (state.state == _lightning_shocking_target)
	{
		disconnect_object_from_mesh(object_index);
		object->location.position = state.end;
		reconnect_object_to_mesh(object_index);
		tick->obstacle_object_index = get_object_data(state.target_object_index) ? state.target_object_index : NONE;
		decide(tick, _outcome_detonate);
		return TRUE;
	}
	if (result & _object_struck_object_flag)
	{
		const int16 struck_index = MOVE_RESULT_STRUCK_OBJECT_INDEX(result);
		const object_data *struck = get_object_data(struck_index);
		if (!struck || struck->owner != _object_is_monster) return FALSE;
		projectile->target_monster_index = struck->owner_index;
		set_lightning_target(projectile->lightning_index, struck_index, &state.end);
		tick->obstacle_object_index = struck_index;
		decide(tick, _outcome_detonate);
		return TRUE;
	}
	if ((result & _object_struck_ground_flag) && !(state.definition_flags & _lightning_ignores_collisions_with_models_flag))
	{
		set_lightning_target(projectile->lightning_index, NONE, &state.tip);
		decide(tick, _outcome_detonate);
		return TRUE;
	}
	(void)definition;
	return FALSE;
}

static void finish_tick(int16 projectile_index, int16 identifier, const projectile_definition *definition,
	const projectile_tick *tick)
{
	// Most ticks decide nothing; the lookups below only read.
	if (tick->outcome == _outcome_none) return;
	projectile_data *projectile = projectile_by_identifier(projectile_index, identifier);
	if (!projectile) return;
	const object_data *object = get_object_data(projectile->object_index);
	switch (tick->outcome)
	{
	case _outcome_promote:
		promote_projectile(projectile_index);
		break;
	case _outcome_detonate:
	{
		const boolean life_remains = !(projectile->flags & _projectile_has_no_lifespan_flag) && projectile->lifespan > 0;
		const boolean remains = ((definition->flags & _projectile_only_destroyed_by_lifespan_flag) && life_remains) ||
			(definition->flags & _projectile_remains_after_detonation_flag) || (tick->soft_impact && !uses_acceleration_rules(definition));
		detonate_projectile(nullptr, object ? world_magnitude3d(&object->location.velocity) : static_cast<int16>(0),
			projectile_index, tick->obstacle_object_index, remains);
		break;
	}
	case _outcome_sleep:
		sleep_projectile(projectile_index);
		break;
	default:
		break;
	}
}

static void update_fade(int16 projectile_index, projectile_data *projectile, object_data *object)
{
	animate_object(projectile->object_index);
	if (!(object->flags & _object_animation_transfer_mode_finished_flag)) return;
	monster_data *monster = get_monster_data(projectile->owner_monster_index);
	if (monster)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_left_the_mesh_flag | _monster_has_celebrated_flag);
		object_data *unit_object = get_object_data(monster->object_index);
		if (unit_object) unit_object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
		if (game_play_version > 1709) update_monster_location_height(projectile->owner_monster_index);
	}
	delete_object(projectile->object_index);
	delete_datum(&projectile_array, projectile_index);
}

// projectile is get_projectile_data(projectile_index), in use.
static void update_projectile(int16 projectile_index, projectile_data *projectile)
{
	object_data *object = get_object_data(projectile->object_index);
	if (!object)
	{
		delete_datum(&projectile_array, projectile_index);
		return;
	}
	const int16 identifier = projectile->identifier;
	const int16 object_index = projectile->object_index;
	if (projectile->delay > 0)
	{
		projectile->delay -= 1;
		if (projectile->delay > 0) return;
		if (game_play_version >= 1711 || !(object->flags & _object_animation_new_frame_flag))
		{
			object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
		}
		const int16 group_type = projectile->visible_projectile_group_type;
		if (group_type != NONE)
		{
			spawn_group_at(group_type, 0, &object->location.position, 0, nullptr, object_index, projectile->owner_monster_index);
		}
		return;
	}
	if (projectile->type == NONE)
	{
		update_fade(projectile_index, projectile, object);
		return;
	}
	const projectile_definition *definition = get_projectile_definition(projectile->type);
	if (!definition)
	{
		remove_projectile(projectile_index);
		return;
	}
	projectile_tick tick = {_outcome_none, FALSE, NONE};

	if ((current_game_time() & GUIDED_PROJECTILE_MASK) == GUIDED_PROJECTILE_MASK && !(object->flags & _object_at_rest_flag) &&
		(definition->flags & _projectile_is_guided_flag))
	{
		guide_projectile(projectile, definition, object);
	}
	const uint32 loop_flags = _projectile_detonates_when_animation_loops_flag | _projectile_detonates_when_transfer_loops_flag;
	if (!(object->flags & _object_at_rest_flag) || (definition->flags & (loop_flags | _projectile_animates_at_rest_flag)))
	{
		// object is still object_index's record: nothing above makes or frees one.
		animate_object_record(object_index, object);
		if (((object->flags & _object_animation_last_frame_flag) && (definition->flags & _projectile_detonates_when_animation_loops_flag)) ||
			((object->flags & _object_animation_transfer_mode_finished_flag) &&
				(definition->flags & _projectile_detonates_when_transfer_loops_flag)))
		{
			projectile->flags &= static_cast<uint16>(~_projectile_cannot_detonate_flag);
			decide(&tick, _outcome_detonate);
		}
	}
	make_contrail(projectile_index, projectile, definition, object);
	projectile = projectile_by_identifier(projectile_index, identifier);
	object = get_object_data(object_index);
	if (!projectile || !object) return;

	if ((definition->flags & _projectile_is_lightning_flag) && projectile->lightning_index != NONE)
	{
		follow_lightning(projectile, definition, object, &tick);
		finish_tick(projectile_index, identifier, definition, &tick);
		return;
	}

	uint32 result = 0;
	if (!(object->flags & _object_at_rest_flag))
	{
		result = move_object(object_index);
		projectile = projectile_by_identifier(projectile_index, identifier);
		object = get_object_data(object_index);
		if (!projectile || !object) return;
		if ((definition->flags & _projectile_is_guided_flag) && (projectile->flags & _projectile_has_valid_target_location_flag))
		{
			const world_point2d here = point2d_of(&object->location.position);
			const world_point2d there = point2d_of(&projectile->target_location);
			const world_distance distance = distance2d(&here, &there);
			if (projectile->last_distance_to_target < 0 || distance < projectile->last_distance_to_target)
			{
				projectile->last_distance_to_target = distance;
			}
			else if (distance > projectile->last_distance_to_target + GUIDED_PROJECTILE_THRESHOLD_DISTANCE)
			{
				object->location.velocity.i = object->location.velocity.j = 0;
				decide(&tick, _outcome_detonate);
			}
		}
	}
	if (result & (_object_entered_media_flag | _object_exited_media_flag))
	{
		splash(projectile, definition, object);
		projectile = projectile_by_identifier(projectile_index, identifier);
		object = get_object_data(object_index);
		if (!projectile || !object) return;
		if ((result & _object_entered_media_flag) && zerv_random() < definition->media_detonation_frequency)
		{
			decide(&tick, _outcome_detonate);
		}
	}
	if (result & (_object_struck_ground_flag | _object_struck_ceiling_flag | _object_struck_object_flag | _object_struck_cell_flag))
	{
		impact(projectile_index, projectile, definition, object, result, &tick);
	}
	if (object->flags & _object_at_rest_flag)
	{
		if (definition->flags & _projectile_becomes_dormant_at_rest_flag) decide(&tick, _outcome_sleep);
		if (definition->flags & _projectile_detonates_at_rest_flag) decide(&tick, _outcome_detonate);
	}
	if (definition->flags & _projectile_is_on_fire_flag)
	{
		if (object->flags & _object_wholly_under_media_flag)
		{
			decide(&tick, _outcome_promote);
		}
		else if (((current_game_time() + projectile_index) & PROJECTILE_GOT_TIME_MASK) == 0 &&
			zerv_random() < projectile->particle_system_density)
		{
			decide(&tick, _outcome_promote);
		}
	}
	if (!(projectile->flags & _projectile_has_no_lifespan_flag))
	{
		projectile->lifespan -= 1;
		if (projectile->lifespan <= 0)
		{
			decide(&tick, (definition->flags & _projectile_is_promoted_at_end_of_lifespan_flag) ? _outcome_promote : _outcome_detonate);
		}
	}
	if ((projectile->flags & _projectile_detonates_immediately_flag) || (definition->flags & _projectile_continually_detonates_flag))
	{
		decide(&tick, _outcome_detonate);
	}
	// Most ticks decide nothing, and then the finishing step does nothing.
	if (tick.outcome != _outcome_none) finish_tick(projectile_index, identifier, definition, &tick);
}

void update_projectiles(void)
{
	// The bound is re-read: records made during the pass at higher indexes move this tick.
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		projectile_data *projectile = get_projectile_data(i);
		if (projectile) update_projectile(i, projectile);
	}
}

/* ---------- digest */

void fold_projectiles_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&projectile_array));
	if (!projectile_array.data) return;
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		const projectile_data *p = get_projectile_data(i);
		if (!p) continue;
		const int16 words[] = {i, p->identifier, static_cast<int16>(p->flags), p->type, p->object_index, p->target_monster_index,
			p->owner_unit_index, p->owner_monster_index, p->damage_scale, p->ticks_since_last_contrail, p->contrail_count,
			p->lifespan, static_cast<int16>(p->contrail_frequency), static_cast<int16>(p->particle_system_density), p->delay,
			p->lightning_index, p->lightning_identifier, p->visible_projectile_group_type, p->original_owner_unit_index,
			p->detonating}; // the visual group's index is the machine's own
		for (int16 word : words) zerv_digest_int16(digest, word);
		const int32 longs[] = {p->last_bounce_stain_position.x, p->last_bounce_stain_position.y, p->target_location.x,
			p->target_location.y, p->target_location.z, p->guided_speed, p->last_distance_to_target};
		for (int32 value : longs) zerv_digest_int32(digest, value);
	}
}

/* ---------- queries of the physics step */

boolean object_projectile_passes_through_target(int16 object_index)
{
	const object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_projectile) return FALSE;
	const projectile_data *projectile = get_projectile_data(object->owner_index);
	const projectile_definition *definition = projectile ? get_projectile_definition(projectile->type) : nullptr;
	return definition && (definition->flags & _projectile_passes_through_target_flag);
}
