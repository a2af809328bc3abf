#include "scenery.h"

#include <cstring>

#include "collection_references.h"
#include "damage.h"
#include "flags.h"
#include "game_statistics.h"
#include "markers.h"
#include "mesh.h"
#include "model_animations.h"
#include "model_effects.h"
#include "models.h"
#include "objects.h"
#include "projectiles.h"
#include "shapes.h"
#include "world.h"
#include "zerv.h"

datum_globals animating_scenery_array = {"anim. scenery", MAXIMUM_ANIMATING_SCENERY_PER_MAP,
	sizeof(animating_scenery_data), 0};

/* ---------- life cycle */

void initialize_scenery(void)
{
	animating_scenery_array.maximum_count = MAXIMUM_ANIMATING_SCENERY_PER_MAP;
	initialize_data(&animating_scenery_array);
	initialize_scenery_definitions();
}

void initialize_scenery_for_new_map(void)
{
	initialize_data_for_new_map(&animating_scenery_array);
	initialize_scenery_definitions_for_new_map();
}

void dispose_scenery_from_old_map(void)
{
	dispose_data_from_old_map(&animating_scenery_array);
	dispose_scenery_definitions_from_old_map();
}

/* ---------- terrain marks */

static inline boolean scenery_mesh_ready(void)
{
	return mesh_globals && mesh_globals->mesh_cells;
}

boolean set_cell_terrain_byte(int32 x, int32 y, uint8 terrain)
{
	if (!scenery_mesh_ready() || x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) return FALSE;
	mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
	if (cell->flags & _mesh_cell_is_not_rendered_flag) return FALSE;
	const uint16 flags = static_cast<uint16>((cell->flags & ~CELL_TERRAIN_MASK) | terrain);
	if (flags == cell->flags) return FALSE;
	cell->flags = flags;
	return TRUE;
}

static const scenery_definition *scenery_definition_of(const object_data *object)
{
	return object && object->owner == _object_is_scenery ? get_scenery_definition(object->owner_index) : nullptr;
}

// The blocking radius of a kind of scenery: its sequence at its largest scale.
static world_distance scenery_marking_radius(const scenery_definition *definition)
{
	const collection_reference *reference = get_collection_reference(definition->collection_reference_index);
	const object_definition *object = get_object_definition(definition->object_type);
	if (!reference || !object) return 0;
	const sequence_data *sequence = get_sequence(reference->collection_index, definition->sequence_indexes[_scenery_sequence_undamaged]);
	if (!sequence) return 0;
	return (static_cast<int32>(sequence->world_radius) * (object->scale_lower_bound + object->scale_delta)) >> 8;
}

static void block_cells(const world_point2d *center, world_distance radius)
{
	if (radius <= 255)
	{
		set_cell_terrain_byte(center->x >> WORLD_FRACTIONAL_BITS, center->y >> WORLD_FRACTIONAL_BITS, BLOCKED_CELL_TERRAIN);
		return;
	}
	const int32 x0 = MAX(0, (center->x - radius) >> WORLD_FRACTIONAL_BITS);
	const int32 y0 = MAX(0, (center->y - radius) >> WORLD_FRACTIONAL_BITS);
	const int32 x1 = MIN(mesh_globals->mesh_width - 1, (center->x + radius) >> WORLD_FRACTIONAL_BITS);
	const int32 y1 = MIN(mesh_globals->mesh_height - 1, (center->y + radius) >> WORLD_FRACTIONAL_BITS);
	for (int32 y = y0; y <= y1; ++y)
	{
		for (int32 x = x0; x <= x1; ++x)
		{
			boolean near = FALSE;
			for (int32 corner = 0; corner < 4 && !near; ++corner)
			{
				const world_point2d p = {(x + (corner & 1)) * WORLD_ONE, (y + (corner >> 1)) * WORLD_ONE};
				near = distance2d(&p, center) < radius;
			}
			if (near) set_cell_terrain_byte(x, y, BLOCKED_CELL_TERRAIN);
		}
	}
}

void mark_cells_for_scenery(const world_point2d *center, world_distance radius, boolean impassable)
{
	if (!scenery_mesh_ready() || !center) return;
	if (impassable)
	{
		block_cells(center, radius);
		return;
	}
	const int32 x0 = (center->x - radius) >> WORLD_FRACTIONAL_BITS, y0 = (center->y - radius) >> WORLD_FRACTIONAL_BITS;
	const int32 x1 = (center->x + radius) >> WORLD_FRACTIONAL_BITS, y1 = (center->y + radius) >> WORLD_FRACTIONAL_BITS;
	for (int32 y = MAX(0, y0); y <= MIN(y1, mesh_globals->mesh_height - 1); ++y)
	{
		for (int32 x = MAX(0, x0); x <= MIN(x1, mesh_globals->mesh_width - 1); ++x) set_cell_terrain_byte(x, y, FREE_CELL_TERRAIN);
	}
	// Overlapping scenery keeps its marks.
	object_cell_walk walk;
	start_object_cell_walk(&walk, MAX(0, x0 - CELL_MARKING_SCAN_RADIUS), MAX(0, y0 - CELL_MARKING_SCAN_RADIUS),
		x1 + CELL_MARKING_SCAN_RADIUS, y1 + CELL_MARKING_SCAN_RADIUS);
	if (x0 - CELL_MARKING_SCAN_RADIUS >= mesh_globals->mesh_width || y0 - CELL_MARKING_SCAN_RADIUS >= mesh_globals->mesh_height ||
		x1 + CELL_MARKING_SCAN_RADIUS < 0 || y1 + CELL_MARKING_SCAN_RADIUS < 0)
	{
		return;
	}
	for (int16 i = next_object_in_cell_walk(&walk); i != NONE; i = next_object_in_cell_walk(&walk))
	{
		const object_data *object = get_object_data(i);
		const scenery_definition *definition = scenery_definition_of(object);
		if (!definition || !(definition->flags & _scenery_marks_terrain_impassable_flag)) continue;
		const world_point2d p = {object->location.position.x, object->location.position.y};
		block_cells(&p, scenery_marking_radius(definition));
	}
}

/* ---------- creation */

void new_scenery_palette_entry(marker_palette_entry *entry)
{
	entry->tag_index = scenery_definition_tag_to_index(entry->tag);
}

static boolean flag_allowed_under_scoring(const scenery_definition *definition)
{
	const int16 scoring = game ? game->scoring : static_cast<int16>(NONE);
	return scoring == definition->valid_netgame_scoring_type ||
		(scoring == _game_scoring_king_of_the_hill_qel && definition->valid_netgame_scoring_type == _game_scoring_king_of_the_hill);
}

int16 new_scenery(marker_data *marker)
{
	marker->data_index = NONE;
	marker_palette_entry *entry = get_marker_palette_entry(_marker_scenery, marker->palette_index);
	const int16 difficulty = game ? game->difficulty_level : static_cast<int16>(0);
	const scenery_definition *definition = entry ? get_scenery_definition(entry->tag_index) : nullptr;
	if (!definition || !palette_compatible_with_game_scoring(entry) || difficulty < marker->minimum_difficulty_level)
	{
		marker->data_identifier = NONE;
		return NONE;
	}
	const collection_reference *reference = get_collection_reference(definition->collection_reference_index);
	const object_definition *object_definition = get_object_definition(definition->object_type);
	if (!reference || !object_definition) return NONE;

	new_object_data request = {};
	request.flags = _new_object_on_ground_flag;
	request.type = definition->object_type;
	request.owner = definition->projectile_type != NONE ? _object_is_dormant_projectile : _object_is_scenery;
	request.owner_index = definition->projectile_type != NONE ? definition->projectile_type : entry->tag_index;
	request.location = marker->location;
	request.collection_index = reference->collection_index;
	const int32 permutations = MAX(1, static_cast<int32>(reference->number_of_permutations));
	const int32 permutation = zerv_random() % permutations;
	request.color_table_index = reference->color_table_indexes[PIN(permutation, 0,
		MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE - 1)];
	request.scale = static_cast<short_fixed>(object_definition->scale_lower_bound + zerv_random_below(object_definition->scale_delta));
	if (definition->flags & _scenery_has_random_facing_flag)
	{
		request.location.yaw = zerv_random();
		request.location.pitch = zerv_random();
	}
	const int16 object_index = new_object(&request);
	if (object_index == NONE) return NONE;
	set_object_shape(object_index, definition->sequence_indexes[_scenery_sequence_undamaged], 256, _transfer_mode_none, 0,
		_random_sequence_frame_flag | _random_sequence_phase_flag | _random_transfer_mode_phase_flag | _random_view_flag, FALSE);
	object_data *object = get_object_data(object_index);
	if (definition->flags & _scenery_is_solid_flag) object->flags |= _object_is_solid_flag;
	if (definition->flags & _scenery_respects_monster_visibility_flag) object->flags |= _object_respects_monster_visibility_flag;
	object->flags |= _object_at_rest_flag;
	if (game_play_version >= 1710 &&
		(definition->flags & (_scenery_vitality_affects_model_animation_flag | _scenery_destruction_starts_model_animation_flag)))
	{
		object->flags |= _object_must_be_included_in_explosions_flag;
	}
	marker->data_index = object_index;
	marker->data_identifier = object->identifier;
	entry->count += 1;

	if (definition->flags & _scenery_marks_terrain_impassable_flag)
	{
		const world_point2d p = {object->location.position.x, object->location.position.y};
		mark_cells_for_scenery(&p, scenery_marking_radius(definition), TRUE);
	}
	if (definition->flags & _scenery_is_netgame_flag_flag)
	{
		if (!flag_allowed_under_scoring(definition) || !new_flag(marker, definition->netgame_flag_number))
		{
			// Cells it blocked are freed with it, once it is gone.
			const world_point2d p = {object->location.position.x, object->location.position.y};
			delete_object(object_index);
			if (definition->flags & _scenery_marks_terrain_impassable_flag)
			{
				mark_cells_for_scenery(&p, scenery_marking_radius(definition), FALSE);
			}
			marker->data_index = NONE;
			return NONE;
		}
	}
	if (definition->flags & _scenery_animates_flag)
	{
		new_animating_scenery(object_index, (object->flags & _object_animates_backwards_flag) ? _scenery_animates_backwards_flag : 0);
	}
	return object_index;
}

/* ---------- animation */

animating_scenery_data *get_animating_scenery_data(int16 index)
{
	return static_cast<animating_scenery_data *>(try_and_get_datum(&animating_scenery_array, index));
}

int16 new_animating_scenery(int16 object_index, uint16 flags)
{
	object_data *object = get_object_data(object_index);
	if (!object) return NONE;
	const int16 index = new_datum(&animating_scenery_array);
	object->animating_scenery_index = static_cast<int8>(index);
	if (index == NONE) return NONE;
	animating_scenery_data *record = get_animating_scenery_data(index);
	record->flags = flags;
	record->object_index = object_index;
	record->shape_collection_index = object->shape_collection_index == NO_SHAPE_INDEX ? static_cast<int16>(NONE) :
		object->shape_collection_index;
	record->shape_sequence_index = object->shape_sequence_index == NO_SHAPE_INDEX ? static_cast<int16>(NONE) :
		object->shape_sequence_index;
	record->shape_frame_index = object->shape_frame_index;
	record->shape_phase = object->shape_phase;
	record->shape_ticks_per_frame = object->shape_ticks_per_frame;
	record->ticks_elapsed = 0;
	return index;
}

void update_animating_scenery(void)
{
	for (int16 i = 0; i < animating_scenery_array.count; ++i)
	{
		animating_scenery_data *record = get_animating_scenery_data(i);
		if (!record) continue;
		record->ticks_elapsed += 1;
		if (record->shape_ticks_per_frame < 1) continue;
		if (record->shape_phase < record->shape_ticks_per_frame)
		{
			record->shape_phase += 1;
			continue;
		}
		record->shape_phase = 0;
		const sequence_data *sequence = record->shape_collection_index == NONE ? nullptr :
			get_sequence(record->shape_collection_index, record->shape_sequence_index);
		const int16 frames = sequence ? sequence->frames_per_view : static_cast<int16>(1);
		if (record->flags & _scenery_animates_backwards_flag)
		{
			record->shape_frame_index -= 1;
			if (record->shape_frame_index < 0) record->shape_frame_index = static_cast<int16>(MAX(0, frames - 1));
		}
		else
		{
			record->shape_frame_index += 1;
			if (record->shape_frame_index >= frames)
			{
				record->shape_frame_index = sequence ? static_cast<int16>(PIN(sequence->loop_frame, 0, MAX(0, frames - 1))) : 0;
			}
		}
	}
}

void get_animation_parameters_for_scenery(int16 index, int16 *sequence, int16 *frame)
{
	const animating_scenery_data *record = get_animating_scenery_data(index);
	if (sequence) *sequence = record ? record->shape_sequence_index : static_cast<int16>(NONE);
	if (frame) *frame = record ? record->shape_frame_index : static_cast<int16>(0);
}

/* ---------- damage */

int16 scenery_vitality_frame(int16 frames, short_fixed vitality, short_fixed maximum_vitality, boolean last_frame)
{
	if (frames < 1) return 0;
	int32 frame;
	if (last_frame)
	{
		frame = frames - 1;
	}
	else
	{
		const int32 lost = maximum_vitality == 0 ? 255 : 255 - static_cast<int32>(vitality) * 256 / maximum_vitality;
		frame = ((frames - 1) * lost) >> 8;
	}
	return static_cast<int16>(PIN(frame, 0, frames - 1));
}

static int16 model_on_object_cell(const object_data *object)
{
	if (!scenery_mesh_ready()) return NONE;
	const mesh_cell *cell = get_mesh_cell(object->location.position.x >> WORLD_FRACTIONAL_BITS,
		object->location.position.y >> WORLD_FRACTIONAL_BITS);
	return cell ? cell->model_index : static_cast<int16>(NONE);
}

void vitality_affects_model_animation(object_data *object, boolean last_frame)
{
	if (!object) return;
	const int16 model_index = model_on_object_cell(object);
	if (model_index == NONE) return;
	const int16 animation = get_model_animation_index_from_current_model_index(model_index);
	if (animation == NONE) return;
	const int16 frame = scenery_vitality_frame(get_model_animation_frame_count(animation), object->vitality,
		object->maximum_vitality, last_frame);
	if (frame == get_model_animation_frame(animation)) return;
	jump_model_animation_to_frame(animation, frame);
	// Onto the model's new surface: a vertical probe from high above.
	const world_point2d p = {object->location.position.x, object->location.position.y};
	const world_point3d from = {p.x, p.y, OBJECT_MODEL_PROBE_HEIGHT};
	world_point3d to = {p.x, p.y, get_mesh_height(&p, _true_height)};
	world_vector3d normal;
	int16 model_hit = NONE;
	object_hit_model(&from, &to, &normal, &model_hit, 0);
	object->location.position.z = to.z;
}

void accelerate_scenery(int16 object_index, const damage_definition *definition, damage_data *data)
{
	object_data *object = get_object_data(object_index);
	const scenery_definition *scenery = scenery_definition_of(object);
	if (!scenery || !definition || !data) return;
	if (game_play_version >= 1301 &&
		(definition->type == _damage_hold || definition->type == _damage_healing || definition->type == _damage_charm))
	{
		return;
	}
	uint32 result_flags = 0;
	const boolean destroyed = damage_object(object_index, definition, data->damage, 0, &result_flags, nullptr);
	object = get_object_data(object_index);
	if (!object) return;
	int16 group_type;
	boolean deleted = FALSE;
	if (destroyed)
	{
		if (scenery->flags & _scenery_vitality_affects_model_animation_flag) vitality_affects_model_animation(object, TRUE);
		const int16 model_index = model_on_object_cell(object);
		if ((scenery->flags & _scenery_destruction_starts_model_animation_flag) && model_index != NONE)
		{
			const int16 animation = get_model_animation_index_from_current_model_index(model_index);
			if (animation != NONE) start_model_animation(animation);
		}
		world_point3d middle;
		get_object_point(_object_point_center, object_index, &middle);
		world_vector3d push;
		line_segment_to_vector(&push, &middle, &data->epicenter, data->velocity);
		world_vector3d *v = &object->location.velocity;
		v->i = static_cast<int16>(PIN(v->i + push.i, -32768, 32767));
		v->j = static_cast<int16>(PIN(v->j + push.j, -32768, 32767));
		v->k = static_cast<int16>(PIN(v->k + push.k, -32768, 32767));
		if ((scenery->flags & _scenery_adjusts_model_permutation_flag) && model_index != NONE)
		{
			// The model cracks one step further over a second.
			const model_data *model = get_model_data(model_index);
			const model_definition *model_definition_data = model ? get_model_definition(model->type) : nullptr;
			if (model && model_definition_data)
			{
				new_model_effect_data request = {};
				request.flags = 0;
				request.duration = 30;
				request.new_permutation = PIN(model->model_permutation + scenery->model_permutation_delta, 0,
					model_definition_data->model_permutation_count - 1);
				request.set_permutation = NO_PERMUTATION_CHANGE;
				request.material_fading_index = NONE;
				request.initial_scale = request.final_scale = 512;
				request.projectile_type_to_create = static_cast<file_tag>(NONE);
				new_model_effect(model_index, NONE, &request);
			}
		}
		const int16 ruined = scenery->sequence_indexes[_scenery_sequence_ruined];
		if (ruined != NONE)
		{
			set_object_shape(object_index, ruined, 256, _transfer_mode_none, 0,
				_random_sequence_frame_flag | _random_sequence_phase_flag | _random_transfer_mode_phase_flag | _random_view_flag,
				FALSE);
			object->flags &= ~static_cast<uint32>(_object_is_solid_flag);
			object->owner = _object_is_garbage;
			// A ruin no longer blocks its cells.
			if (scenery->flags & _scenery_marks_terrain_impassable_flag)
			{
				const world_point2d at = {object->location.position.x, object->location.position.y};
				mark_cells_for_scenery(&at, scenery_marking_radius(scenery), FALSE);
			}
		}
		else
		{
			deleted = TRUE;
		}
		group_type = scenery->projectile_group_types[_scenery_detonation_projectile_group];
	}
	else
	{
		if (result_flags & _damage_result_absorbed_flag) return;
		if (scenery->flags & _scenery_vitality_affects_model_animation_flag) vitality_affects_model_animation(object, FALSE);
		group_type = scenery->impact_projectile_group_type;
	}
	const world_point2d where = {object->location.position.x, object->location.position.y};
	if (group_type != NONE)
	{
		data->flags |= _damage_data_reported_projectile_group_flag;
		data->detonation_projectile_group_type = group_type;
		new_projectile_group_data group = {};
		group.type = group_type;
		group.owner_object_index = object_index;
		group.bounds_object_index = object_index;
		group.owner_monster_index = NONE;
		group.epicenter = data->epicenter;
		group.velocity = data->velocity;
		new_projectile_group(&group);
	}
	if (deleted && get_object_data(object_index))
	{
		delete_object(object_index);
		if (scenery->flags & _scenery_marks_terrain_impassable_flag)
		{
			mark_cells_for_scenery(&where, scenery_marking_radius(scenery), FALSE);
		}
	}
}

/* ---------- digest */

void fold_scenery_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&animating_scenery_array));
	if (!animating_scenery_array.data) return;
	for (int16 i = 0; i < animating_scenery_array.count; ++i)
	{
		const animating_scenery_data *r = get_animating_scenery_data(i);
		if (!r) continue;
		const int16 words[] = {i, r->identifier, static_cast<int16>(r->flags), r->object_index, r->shape_collection_index,
			r->shape_sequence_index, r->shape_frame_index, r->shape_phase, r->shape_ticks_per_frame};
		for (int16 word : words) zerv_digest_int16(digest, word);
		zerv_digest_int32(digest, r->ticks_elapsed);
	}
}
