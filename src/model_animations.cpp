#include "model_animations.h"

#include <algorithm>
#include <cstring>

#include "error_manager.h"
#include "geometry.h"
#include "markers.h"
#include "memory.h"
#include "mesh.h"
#include "models.h"
#include "projectile_definitions.h"
#include "render/render.h"
#include "shapes.h"
#include "sound/sound_manager.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code model_animation_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte,
	_begin_bs_array, MAXIMUM_FRAMES_PER_MODEL_ANIMATION, _4byte, _4byte, _2byte, _2byte, 4, _end_bs_array,
	444,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_4byte, _4byte, _2byte, _2byte,
	40,
	_4byte, _4byte, 4,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(model_animation_definition_bs_data) == sizeof(model_animation_definition));

datum_globals model_animation_array = {"model animation", MAXIMUM_MODEL_ANIMATIONS_PER_MAP,
	sizeof(model_animation_data), 0};

static definition_globals model_animation_definitions = {
	"model animation",
	MODEL_ANIMATION_GROUP_TAG,
	MODEL_ANIMATION_VERSION_NUMBER,
	MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(model_animation_definition)),
	model_animation_definition_dependencies,
	postprocess_model_animation_definition,
	nullptr,
	nullptr,
	model_animation_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

struct model_animation_globals_data
{
	uint8 *shadow_maps[MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP];
};

static model_animation_globals_data *model_animation_globals = nullptr;
static model_animations_test_hooks_data model_animations_test_hooks = {FALSE, FALSE};

definition_globals *get_model_animation_definitions(void) { return &model_animation_definitions; }

model_animation_data *get_model_animation_data(int16 index)
{
	return static_cast<model_animation_data *>(datum_in_use(&model_animation_array, index));
}

model_animation_definition *get_model_animation_definition(int16 definition_index)
{
	return static_cast<model_animation_definition *>(try_and_get_definition(&model_animation_definitions, definition_index));
}

/* ---------- life cycle */

static void release_shadow_maps(int16 index)
{
	if (model_animation_globals && index >= 0 && index < MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP)
	{
		free_and_clear(&model_animation_globals->shadow_maps[index]);
	}
}

static void release_all_shadow_maps(void)
{
	for (int16 i = 0; i < MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP; ++i) release_shadow_maps(i);
}

void initialize_model_animations(void)
{
	if (!model_animation_globals)
	{
		model_animation_globals =
			static_cast<model_animation_globals_data *>(new_pointer_z(sizeof(model_animation_globals_data)));
		if (!model_animation_globals) return;
		initialize_data(&model_animation_array);
	}
	initialize_definitions(&model_animation_definitions);
}

void initialize_model_animations_for_new_map(void)
{
	if (!model_animation_globals) return;
	initialize_data_for_new_map(&model_animation_array);
	release_all_shadow_maps();
	if (model_animation_definitions.definitions) initialize_definitions_for_new_map(&model_animation_definitions);
}

void dispose_model_animations_from_old_map(void)
{
	if (!model_animation_globals) return;
	release_all_shadow_maps();
	dispose_data_from_old_map(&model_animation_array);
	if (model_animation_definitions.definitions) dispose_definitions_from_old_map(&model_animation_definitions);
}

/* ---------- loading */

void model_animation_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	model_animation_definition *d = static_cast<model_animation_definition *>(definition);
	const int16 count = static_cast<int16>(PIN(d->number_of_frames, 0, MAXIMUM_FRAMES_PER_MODEL_ANIMATION));
	for (int16 i = 0; i < count; ++i) report(MODEL_GROUP_TAG, d->frames[i].model_tag, &d->frames[i].model_type);
}

static void install_shadow_maps(int16 index, uint8 *block)
{
	release_shadow_maps(index);
	if (model_animation_globals && index >= 0 && index < MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP)
	{
		model_animation_globals->shadow_maps[index] = block;
	}
	else
	{
		dispose_pointer(block);
	}
}

static boolean refuse_model_animation(int16 index, const char *name, const char *field)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "model animation %s has a bad %s.", name, field);
	release_shadow_maps(index);
	return FALSE;
}

// Without a sound layer no sound resolves: a sound that does not is none, so
// a gate that names one still loads and still closes its cells.
static int16 resolve_sound(file_tag tag)
{
	if (!definition_tag_is_present(tag)) return NONE;
	const resolve_sequence_sound_proc resolve = get_shapes_test_hooks()->resolve_sequence_sound;
	return resolve ? resolve(tag) : static_cast<int16>(NONE);
}

boolean postprocess_model_animation_definition(definition_globals *definitions, int16 definition_index,
	int32 tag_handle, void *definition)
{
	model_animation_definition *d = static_cast<model_animation_definition *>(definition);
	// Tags made in memory have no handle: their subgroup names them.
	const char *name = tag_handle != NONE ? tag_file_name_get(tag_handle) :
		tag_to_string(get_definition_subgroup(definitions, definition_index));
	if (!model_animation_globals || definition_index < 0 || definition_index >= MAXIMUM_MODEL_ANIMATION_DEFINITIONS_PER_MAP)
	{
		return FALSE;
	}
	d->shadow_maps = 0;
	if (d->number_of_frames < 1 || d->number_of_frames > MAXIMUM_FRAMES_PER_MODEL_ANIMATION)
	{
		return refuse_model_animation(definition_index, name, "number_of_frames");
	}
	if (d->shadow_maps_size != 0)
	{
		const int64 needed = static_cast<int64>(d->number_of_frames) * d->shadow_map_height * d->shadow_bytes_per_row;
		if (d->shadow_map_width < 1 || d->shadow_map_height < 1 || d->shadow_bytes_per_row < 1 ||
			d->shadow_map_width > d->shadow_bytes_per_row)
		{
			return refuse_model_animation(definition_index, name, "shadow map size");
		}
		if (d->shadow_maps_size < 0 || d->shadow_maps_offset < 0 || needed > d->shadow_maps_size)
		{
			return refuse_model_animation(definition_index, name, "shadow map table");
		}
		const boolean fetched = (definitions->flags[definition_index] & _definition_fetched_flag) &&
			model_animation_globals->shadow_maps[definition_index];
		if (!fetched)
		{
			release_shadow_maps(definition_index);
			if (tag_handle == NONE) return refuse_model_animation(definition_index, name, "shadow map table");
			if (static_cast<int64>(d->shadow_maps_offset) + d->shadow_maps_size > tag_file_get_header_data_size(tag_handle))
			{
				return refuse_model_animation(definition_index, name, "shadow map table");
			}
			uint8 *maps = model_animations_test_hooks.fail_shadow_map_allocation ? nullptr :
				static_cast<uint8 *>(new_pointer(static_cast<size_t>(d->shadow_maps_size)));
			if (!maps)
			{
				error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
					"couldn't allocate #%d bytes for shadow maps for model animation %s.",
					static_cast<int>(d->shadow_maps_size), name);
				return FALSE;
			}
			if (model_animations_test_hooks.fail_shadow_map_read ||
				!tag_file_read(tag_handle, d->shadow_maps_offset, d->shadow_maps_size, maps))
			{
				dispose_pointer(maps);
				error_message(_error_file_system_read, MODULE_NAME, __LINE__,
					"couldn't read shadow maps from model animation %s.", name);
				return FALSE;
			}
			model_animation_globals->shadow_maps[definition_index] = maps;
		}
	}
	else
	{
		release_shadow_maps(definition_index);
	}
	for (int16 i = 0; i < d->number_of_frames; ++i)
	{
		model_animation_frame_definition *frame = &d->frames[i];
		frame->model_type = get_model_definition_index(frame->model_tag);
		if (frame->model_type == NONE)
		{
			error_message(_error_data_missing, MODULE_NAME, __LINE__, "model animation %s has no model '%s'.", name,
				tag_to_string(frame->model_tag));
			release_shadow_maps(definition_index);
			return FALSE;
		}
	}
	d->forward_sound_type = resolve_sound(d->forward_sound_tag);
	d->backward_sound_type = resolve_sound(d->backward_sound_tag);
	return TRUE;
}

int16 get_model_animation_definition_index(file_tag tag)
{
	if (!model_animation_definitions.definitions) return NONE;
	return definition_tag_to_index(&model_animation_definitions, tag);
}

int16 new_model_animation_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	if (!model_animation_globals) return NONE;
	return new_definition_from_tag_data(&model_animation_definitions, subgroup, tag_data, tag_data_size,
		offsetof(model_animation_definition, shadow_maps_offset), install_shadow_maps);
}

const uint8 *get_model_animation_shadow_map(int16 definition_index, int16 frame)
{
	const model_animation_definition *d = get_model_animation_definition(definition_index);
	if (!d || !model_animation_globals || frame < 0 || frame >= d->number_of_frames) return nullptr;
	const uint8 *maps = model_animation_globals->shadow_maps[definition_index];
	if (!maps) return nullptr;
	return maps + static_cast<size_t>(frame) * d->shadow_map_height * d->shadow_bytes_per_row;
}

/* ---------- cells */

void refresh_LOD_cell_visibility(int32 x0, int32 y0, int32 x1, int32 y1)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || !mesh_globals->mesh_LOD_data) return;
	const int32 blocks_per_row = mesh_globals->mesh_width / 2;
	const int32 block_rows = mesh_globals->mesh_height / 2;
	const int32 entries = mesh_globals->mesh_LOD_data_size / static_cast<int32>(sizeof(uint16));
	x0 = std::max<int32>(x0, 0);
	y0 = std::max<int32>(y0, 0);
	x1 = std::min<int32>(x1, blocks_per_row - 1);
	y1 = std::min<int32>(y1, block_rows - 1);
	static const int32 corners[4][3] = {{0, 0, LOD_CELL_0_VISIBLE_FLAG}, {1, 0, LOD_CELL_1_VISIBLE_FLAG},
		{1, 1, LOD_CELL_2_VISIBLE_FLAG}, {0, 1, LOD_CELL_3_VISIBLE_FLAG}};
	for (int32 j = y0; j <= y1; ++j)
	{
		for (int32 i = x0; i <= x1; ++i)
		{
			const int32 entry = j * blocks_per_row + i;
			if (entry >= entries) continue;
			uint16 value = static_cast<uint16>(mesh_globals->mesh_LOD_data[entry] & ~0xF0u);
			for (const auto &corner : corners)
			{
				const int32 x = 2 * i + corner[0], y = 2 * j + corner[1];
				if (x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) continue;
				const mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
				if (!(cell->flags & _mesh_cell_is_not_rendered_flag)) value |= static_cast<uint16>(corner[2]);
			}
			mesh_globals->mesh_LOD_data[entry] = value;
		}
	}
}

static void refresh_model_box(const model_data *model)
{
	refresh_LOD_cell_visibility(std::min(model->bounds.minimum_corner.x, model->bounds.maximum_corner.x) >> 10,
		std::min(model->bounds.minimum_corner.y, model->bounds.maximum_corner.y) >> 10,
		(std::max(model->bounds.minimum_corner.x, model->bounds.maximum_corner.x) >> 10) + 1,
		(std::max(model->bounds.minimum_corner.y, model->bounds.maximum_corner.y) >> 10) + 1);
}

// The animation's model, unless it was deleted (and its slot reused) elsewhere.
static model_data *current_model(model_animation_data *animation)
{
	model_data *model = get_model_data(animation->current_model_index);
	if (!model || model->identifier != animation->current_model_identifier) return nullptr;
	return model;
}

/* ---------- animations */

void play_model_animation_sound(int16 index, int16 sound_index)
{
	const model_animation_data *animation = get_model_animation_data(index);
	if (!animation || sound_index == NONE) return;
	play_sound_with_flags(sound_index, NONE, &animation->location, DEFAULT_SOUND_VOLUME, 0);
}

void jump_model_animation_to_frame(int16 index, int16 frame)
{
	model_animation_data *animation = get_model_animation_data(index);
	const model_animation_definition *definition = animation ? get_model_animation_definition(animation->type) : nullptr;
	if (!definition || frame < 0 || frame >= definition->number_of_frames) return;
	animation->ticks_elapsed = 0;
	if (frame == animation->current_frame_index) return;
	const int16 previous = animation->current_frame_index;
	animation->current_frame_index = frame;
	const model_animation_frame_definition *next = &definition->frames[frame];
	model_data *model = current_model(animation);
	// A frame of the same model only changes the permutation; with the model
	// gone (destroyed, or never placed) nothing is placed until the model changes.
	if (previous != NONE && definition->frames[previous].model_type == next->model_type)
	{
		if (model && definition->frames[previous].permutation_index != next->permutation_index)
		{
			model->model_permutation = next->permutation_index;
			model->desired_model_permutation = next->permutation_index;
		}
		return;
	}
	// The old box is refreshed too: a larger old frame would leave holes.
	boolean had_old = FALSE;
	world_rectangle3d old_bounds = {};
	if (model)
	{
		old_bounds = model->bounds;
		had_old = TRUE;
		delete_model(animation->current_model_index);
		animation = get_model_animation_data(index);
	}
	animation->current_model_index = NONE;
	animation->current_model_identifier = NONE;
	new_model_data request;
	request.type = next->model_type;
	request.permutation_index = next->permutation_index;
	request.position = animation->location.position;
	request.yaw = 0;
	request.pitch = animation->location.pitch;
	request.owner_model_animation_index = index;
	const int16 model_index = new_model(&request);
	if (had_old)
	{
		model_data old = {};
		old.bounds = old_bounds;
		refresh_model_box(&old);
	}
	if (model_index == NONE) return;
	model_data *placed = get_model_data(model_index);
	animation->current_model_index = model_index;
	animation->current_model_identifier = placed->identifier;
	refresh_model_box(placed);
}

int16 new_model_animation(const new_model_animation_data *data)
{
	const model_animation_definition *definition = data ? get_model_animation_definition(data->type) : nullptr;
	if (!model_animation_globals || !definition) return NONE;
	const int16 index = new_datum(&model_animation_array);
	if (index == NONE) return NONE;
	model_animation_data *animation = get_model_animation_data(index);
	animation->type = data->type;
	animation->state = (definition->flags & _animation_initially_running_flag) ? _animation_running : _animation_stopped;
	animation->location = data->location;
	animation->flags = _private_animating_forward_flag;
	if (definition->flags & _animation_cycles_flag) animation->flags |= _private_animating_cycling_flag;
	if (definition->flags & _animation_back_and_forth_flag) animation->flags |= _private_animating_back_and_forth_flag;
	animation->current_frame_index = NONE;
	animation->current_model_index = NONE;
	animation->current_model_identifier = NONE;
	animation->ticks_elapsed = 0;
	int16 first = 0;
	if (definition->flags & _random_initial_frame_flag)
	{
		const int32 n = definition->number_of_frames - 1;
		if (n > 0) first = static_cast<int16>((static_cast<int32>(zerv_random()) * n) >> 16);
	}
	else if (animation->state == _animation_running)
	{
		play_model_animation_sound(index, definition->forward_sound_type);
	}
	jump_model_animation_to_frame(index, first);
	return index;
}

int16 new_model_animation_from_marker(marker_data *marker)
{
	if (!marker) return NONE;
	marker_palette_entry *entry = get_marker_palette_entry(_marker_model_animation, marker->palette_index);
	if (!entry || entry->tag_index == NONE)
	{
		marker->data_index = NONE;
		return NONE;
	}
	new_model_animation_data request = {};
	request.type = entry->tag_index;
	request.location.position = marker->location.position;
	request.location.pitch = marker->location.pitch;
	const int16 index = new_model_animation(&request);
	marker->data_index = index;
	if (index == NONE) return NONE;
	if (marker->identifier != 0) set_datum_identifier(&model_animation_array, index, marker->identifier);
	entry->count += 1;
	return index;
}

void new_model_animation_palette_entry(marker_palette_entry *entry)
{
	if (entry->team_index == 0) entry->team_index = NONE;
	entry->tag_index = get_model_animation_definition_index(entry->tag);
}

int16 model_animation_identifier_to_model_animation_index(int16 identifier)
{
	if (identifier == 0) return NONE;
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		const model_animation_data *animation = get_model_animation_data(i);
		if (animation && animation->identifier == identifier) return i;
	}
	return NONE;
}

int16 model_animation_identifiers_to_model_animation_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 found = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = model_animation_identifier_to_model_animation_index(identifiers[i]);
		if (index != NONE) indexes[found++] = index;
	}
	return found;
}

int16 get_model_animation_index_from_current_model_index(int16 model_index)
{
	if (model_index == NONE) return NONE;
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		model_animation_data *animation = get_model_animation_data(i);
		if (animation && animation->current_model_index == model_index && current_model(animation)) return i;
	}
	return NONE;
}

void delete_model_animation(int16 index)
{
	model_animation_data *animation = get_model_animation_data(index);
	if (!animation) return;
	if (current_model(animation)) delete_model(animation->current_model_index);
	delete_datum(&model_animation_array, index);
}

void start_model_animation(int16 index)
{
	model_animation_data *animation = get_model_animation_data(index);
	if (animation) animation->state = _animation_running;
}

void advance_model_animation(int16 index)
{
	model_animation_data *animation = get_model_animation_data(index);
	const model_animation_definition *definition = animation ? get_model_animation_definition(animation->type) : nullptr;
	if (!definition || animation->current_frame_index == NONE) return;
	const int16 last = static_cast<int16>(definition->number_of_frames - 1);
	const boolean forward = (animation->flags & _private_animating_forward_flag) != 0;
	const int16 next = static_cast<int16>(animation->current_frame_index + (forward ? 1 : -1));
	if (animation->flags & _private_animating_cycling_flag)
	{
		if (next > last)
		{
			jump_model_animation_to_frame(index, 0);
			play_model_animation_sound(index, definition->forward_sound_type);
		}
		else if (next < 0)
		{
			jump_model_animation_to_frame(index, last);
			play_model_animation_sound(index, definition->backward_sound_type);
		}
		else
		{
			jump_model_animation_to_frame(index, next);
		}
	}
	else if (animation->flags & _private_animating_back_and_forth_flag)
	{
		if (next > last)
		{
			animation->flags &= static_cast<uint16>(~_private_animating_forward_flag);
			jump_model_animation_to_frame(index, last);
			play_model_animation_sound(index, definition->backward_sound_type);
		}
		else if (next < 0)
		{
			animation->flags |= _private_animating_forward_flag;
			jump_model_animation_to_frame(index, 0);
			play_model_animation_sound(index, definition->forward_sound_type);
		}
		else
		{
			jump_model_animation_to_frame(index, next);
		}
	}
	else if (next > last)
	{
		jump_model_animation_to_frame(index, last);
		animation->state = _animation_stopped;
	}
	else if (next < 0)
	{
		jump_model_animation_to_frame(index, 0);
		animation->state = _animation_stopped;
	}
	else
	{
		jump_model_animation_to_frame(index, next);
	}
}

void update_model_animations(void)
{
	if (!model_animation_globals) return;
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		model_animation_data *animation = get_model_animation_data(i);
		if (!animation || animation->state != _animation_running) continue;
		const model_animation_definition *definition = get_model_animation_definition(animation->type);
		if (!definition) continue;
		animation->ticks_elapsed += 1;
		if (static_cast<int32>(animation->ticks_elapsed) > static_cast<int32>(definition->ticks_per_frame))
		{
			animation->ticks_elapsed = 0;
			if (definition->number_of_frames > 1) advance_model_animation(i);
		}
	}
}

void update_model_animations_for_deleted_model(int16 model_index)
{
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		model_animation_data *animation = get_model_animation_data(i);
		if (animation && animation->current_model_index == model_index)
		{
			animation->current_model_index = NONE;
			animation->current_model_identifier = NONE;
		}
	}
}

int16 get_model_animation_frame_count(int16 index)
{
	const model_animation_data *animation = get_model_animation_data(index);
	const model_animation_definition *definition = animation ? get_model_animation_definition(animation->type) : nullptr;
	return definition ? definition->number_of_frames : static_cast<int16>(0);
}

int16 get_model_animation_frame(int16 index)
{
	const model_animation_data *animation = get_model_animation_data(index);
	return animation && animation->current_frame_index != NONE ? animation->current_frame_index : static_cast<int16>(0);
}

void rasterize_visible_animating_shadows(mesh_region *region)
{
	if (!model_animation_globals || !region) return;
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		const model_animation_data *animation = get_model_animation_data(i);
		if (!animation || animation->current_frame_index == NONE) continue; // no frame: nothing to index
		const model_animation_definition *definition = get_model_animation_definition(animation->type);
		const uint8 *map = get_model_animation_shadow_map(animation->type, animation->current_frame_index);
		if (!definition || !map) continue;
		const world_distance x = definition->origin_offset_x + animation->location.position.x -
			(static_cast<world_distance>(region->x0) << WORLD_FRACTIONAL_BITS);
		const world_distance y = definition->origin_offset_y + animation->location.position.y -
			(static_cast<world_distance>(region->y0) << WORLD_FRACTIONAL_BITS);
		rasterize_volatile_shadow_map_overlay(_volatile_overlay_animated_model_shadow_maps, 65535, map,
			definition->shadow_bytes_per_row, definition->shadow_map_width, definition->shadow_map_height, x, y);
	}
}

void fold_model_animations_digest(zerv_digest *digest)
{
	if (!model_animation_globals || !digest) return;
	for (int16 i = 0; i < model_animation_array.count; ++i)
	{
		const model_animation_data *a = get_model_animation_data(i);
		if (!a) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, a->identifier);
		zerv_digest_int16(digest, static_cast<int16>(a->flags));
		zerv_digest_int16(digest, a->type);
		zerv_digest_int16(digest, a->state);
		zerv_digest_int32(digest, a->location.position.x);
		zerv_digest_int32(digest, a->location.position.y);
		zerv_digest_int32(digest, a->location.position.z);
		zerv_digest_int16(digest, static_cast<int16>(a->location.yaw));
		zerv_digest_int16(digest, static_cast<int16>(a->location.pitch));
		zerv_digest_int16(digest, a->ticks_elapsed);
		zerv_digest_int16(digest, a->current_frame_index);
		zerv_digest_int16(digest, a->current_model_index);
		zerv_digest_int16(digest, a->current_model_identifier);
	}
	zerv_digest_uint32(digest, datum_globals_digest(&model_animation_array));
}

model_animations_test_hooks_data *get_model_animations_test_hooks(void)
{
	return &model_animations_test_hooks;
}

void reset_model_animations_test_hooks(void)
{
	model_animations_test_hooks = {FALSE, FALSE};
}
