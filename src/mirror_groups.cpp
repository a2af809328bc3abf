#include "mirror_groups.h"

#include "error_manager.h"
#include "fire.h"
#include "local_projectiles.h"
#include "mesh.h"
#include "render/render.h"
#include "zerv.h"

datum_globals mirror_group_array = {"mirror groups", MAXIMUM_MIRROR_GROUPS_PER_MAP, sizeof(mirror_group_data), 0};

static boolean mirror_groups_initialized = FALSE;

mirror_group_data *get_mirror_group_data(int16 mirror_index)
{
	return static_cast<mirror_group_data *>(datum_in_use(&mirror_group_array, mirror_index));
}

void initialize_mirror_groups(void)
{
	if (mirror_groups_initialized) return;
	initialize_data(&mirror_group_array);
	mirror_groups_initialized = TRUE;
}

void initialize_mirror_groups_for_new_map(void)
{
	if (mirror_groups_initialized) initialize_data_for_new_map(&mirror_group_array);
}

void dispose_mirror_groups_from_old_map(void)
{
	if (mirror_groups_initialized) dispose_data_from_old_map(&mirror_group_array);
}

// The parent group this machine shows the mirror's particles from: only a
// shared group made as the request says, else none.
static int16 shown_parent(const new_mirror_group_data *data)
{
	const local_projectile_group_data *parent = get_local_projectile_group_data(data->parent_projectile_group_index);
	if (!parent) return NONE;
	if (parent->type != data->parent_type || parent->flags != data->parent_flags)
	{
		log_message(MODULE_NAME, __LINE__, "mirror group shows nothing: projectile group %d is not the shared group asked for.",
			static_cast<int>(data->parent_projectile_group_index));
		return NONE;
	}
	return data->parent_projectile_group_index;
}

int16 new_mirror_group(const new_mirror_group_data *data)
{
	if (!mirror_groups_initialized || !data) return NONE;
	// Only shared groups live as long as the simulation needs. The test reads
	// the request and the definitions alone, so every machine answers alike.
	if (!get_local_projectile_group_definition(data->parent_type) || !(data->parent_flags & _group_is_never_visible_flag))
	{
		log_message(MODULE_NAME, __LINE__, "mirror group refused: group definition %d with flags %d is not a shared group.",
			static_cast<int>(data->parent_type), static_cast<int>(data->parent_flags));
		return NONE;
	}
	const int16 index = new_datum(&mirror_group_array);
	if (index == NONE) return NONE;
	mirror_group_data *mirror = get_mirror_group_data(index);
	mirror->parent_projectile_group_index = shown_parent(data);
	mirror->parent_type = data->parent_type;
	mirror->parent_flags = data->parent_flags;
	mirror->center = data->center;
	mirror->duration = data->duration;
	mirror->startup_transition_time = data->startup_transition_time;
	mirror->ending_transition_time = data->ending_transition_time;
	mirror->stains_left = MAXIMUM_STAINS_PER_MIRROR_GROUP;
	mirror->opacity = 0;
	mirror->state = _mirror_state_starting_up;
	mirror->transition_ticks_elapsed = 0;
	return index;
}

void turn_mirror_group_off(int16 mirror_index)
{
	mirror_group_data *mirror = get_mirror_group_data(mirror_index);
	if (!mirror || mirror->state == _mirror_state_ending) return;
	mirror->state = _mirror_state_ending;
	mirror->transition_ticks_elapsed = 0;
}

void handle_new_mirrored_projectile(int16 group_index, const world_point3d *offset)
{
	const local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition || !offset || definition->sequence_indexes[1] == NONE) return;
	for (int16 i = 0; i < mirror_group_array.count; ++i)
	{
		mirror_group_data *mirror = get_mirror_group_data(i);
		if (!mirror || mirror->parent_projectile_group_index != group_index || mirror->stains_left < 1) continue;
		const world_point2d p = {offset->x + mirror->center.x, offset->y + mirror->center.y};
		local_stain_mesh(definition->collection_index, definition->sequence_indexes[1], &p);
		mirror->stains_left -= 1;
	}
}

void delete_mirrors_for_projectile_group(int16 group_index)
{
	if (!mirror_groups_initialized || group_index == NONE) return;
	for (int16 i = 0; i < mirror_group_array.count; ++i)
	{
		mirror_group_data *mirror = get_mirror_group_data(i);
		if (mirror && mirror->parent_projectile_group_index == group_index) mirror->parent_projectile_group_index = NONE;
	}
}

static fixed_fraction ramp(int16 elapsed, int16 time, boolean falling)
{
	const uint16 f = static_cast<uint16>((static_cast<int32>(elapsed) << 16) / time);
	const uint32 up = falling ? 65535u - f : f;
	return static_cast<fixed_fraction>((up * 65535u) >> 16);
}

void update_mirror_groups(void)
{
	if (!mirror_groups_initialized) return;
	for (int16 i = 0; i < mirror_group_array.count; ++i)
	{
		mirror_group_data *mirror = get_mirror_group_data(i);
		if (!mirror) continue;
		switch (mirror->state)
		{
		case _mirror_state_starting_up:
			mirror->transition_ticks_elapsed += 1;
			// Reaching is at or past the time, so a time of 0 or less ends at once.
			if (mirror->transition_ticks_elapsed >= mirror->startup_transition_time)
			{
				mirror->state = _mirror_state_running;
				mirror->transition_ticks_elapsed = 0;
				mirror->opacity = 65534;
			}
			else
			{
				mirror->opacity = ramp(mirror->transition_ticks_elapsed, mirror->startup_transition_time, FALSE);
			}
			break;
		case _mirror_state_running:
			mirror->opacity = 65534;
			if (mirror->duration != -1)
			{
				mirror->duration -= 1;
				if (mirror->duration < 0) turn_mirror_group_off(i);
			}
			break;
		case _mirror_state_ending:
			mirror->transition_ticks_elapsed += 1;
			if (mirror->transition_ticks_elapsed >= mirror->ending_transition_time)
			{
				if (mirror->parent_flags & _group_is_internal_fire_group_flag)
				{
					extinguish_fire_in_cell(mirror->center.x >> WORLD_FRACTIONAL_BITS, mirror->center.y >> WORLD_FRACTIONAL_BITS);
				}
				delete_datum(&mirror_group_array, i);
			}
			else
			{
				mirror->opacity = ramp(mirror->transition_ticks_elapsed, mirror->ending_transition_time, TRUE);
			}
			break;
		default:
			break;
		}
	}
}

void build_mirror_groups_surface_list(view_data *view, mesh_region *region)
{
	if (!mirror_groups_initialized || !view || !region || !region->spans) return;
	for (int16 i = 0; i < mirror_group_array.count; ++i)
	{
		const mirror_group_data *mirror = get_mirror_group_data(i);
		if (!mirror) continue;
		const local_projectile_group_data *parent = get_local_projectile_group_data(mirror->parent_projectile_group_index);
		const local_projectile_group_definition *definition =
			parent && parent->type == mirror->parent_type ? get_local_projectile_group_definition(parent->type) : nullptr;
		if (!definition) continue; // a parent this machine lacks draws nothing
		const boolean surface_effect = (definition->flags & _group_is_media_surface_effect_flag) != 0;
		const boolean casts = (definition->flags & (_group_casts_reflections_flag | _group_is_media_surface_effect_flag)) != 0;
		for (int16 p = parent->first_projectile_index; p != NONE;)
		{
			const local_projectile_data *particle = get_local_projectile_data(p);
			if (!particle) break;
			const int32 x = (particle->offset.x + mirror->center.x) >> WORLD_FRACTIONAL_BITS;
			const int32 y = (particle->offset.y + mirror->center.y) >> WORLD_FRACTIONAL_BITS;
			if (y >= region->y0 && y < region->y1 && x >= region->spans[y - region->y0].x0 &&
				x < region->spans[y - region->y0].x1)
			{
				if (!surface_effect)
				{
					render_local_projectile(view, region, FALSE, parent, p, &mirror->center, parent->type, mirror->opacity,
						NONE, NONE);
				}
				const mesh_cell *cell = get_mesh_cell(x, y);
				if (!(view->flags & _render_view_omit_reflections_flag) && casts && cell &&
					(cell->flags & _mesh_cell_has_reflection_flag))
				{
					render_local_projectile(view, region, TRUE, parent, p, &mirror->center, parent->type, mirror->opacity,
						NONE, NONE);
				}
			}
			p = particle->next_projectile_index;
		}
	}
}

void fold_mirror_groups_digest(zerv_digest *digest)
{
	if (!mirror_groups_initialized || !digest) return;
	for (int16 i = 0; i < mirror_group_array.count; ++i)
	{
		const mirror_group_data *mirror = get_mirror_group_data(i);
		if (!mirror) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, mirror->identifier);
		// Not the parent group's index: that is drawing state.
		zerv_digest_int16(digest, mirror->parent_type);
		zerv_digest_int16(digest, static_cast<int16>(mirror->parent_flags));
		zerv_digest_int32(digest, mirror->center.x);
		zerv_digest_int32(digest, mirror->center.y);
		zerv_digest_int32(digest, mirror->center.z);
		zerv_digest_int32(digest, mirror->duration);
		zerv_digest_int16(digest, mirror->startup_transition_time);
		zerv_digest_int16(digest, mirror->ending_transition_time);
		zerv_digest_int16(digest, static_cast<int16>(mirror->opacity));
		zerv_digest_int16(digest, mirror->state);
		zerv_digest_int16(digest, mirror->transition_ticks_elapsed);
	}
}
