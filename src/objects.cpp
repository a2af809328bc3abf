#include "objects.h"

#include <vector>

#include "artifact_definitions.h"
#include "damage.h"
#include "error_manager.h"
#include "mesh.h"
#include "mesh_triangles.h"
#include "models.h"
#include "monsters.h"
#include "object_animation.h"
#include "object_cell_occupancy.h"
#include "object_tracking.h"
#include "projectiles.h"
#include "render/render.h"
#include "shapes.h"
#include "sound/sound_manager.h"
#include "world.h"
#include "zerv.h"

datum_globals object_array = {"object", MAXIMUM_OBJECTS_PER_MAP, sizeof(object_data), 0};

/* ---------- records */

// The record at an index known to be in use (chains hold only such indexes).
static inline object_data *object_at(int16 object_index)
{
	return static_cast<object_data *>(object_array.data) + object_index;
}

static inline int16 shape_index(uint8 stored)
{
	return stored == NO_SHAPE_INDEX ? static_cast<int16>(NONE) : static_cast<int16>(stored);
}

static inline uint8 stored_shape_index(int16 index)
{
	return index < 0 || index >= NO_SHAPE_INDEX ? static_cast<uint8>(NO_SHAPE_INDEX) : static_cast<uint8>(index);
}

static inline int8 clamp_int8_period(int32 value)
{
	// Stored in 8 bits and used as a divisor.
	return static_cast<int8>(PIN(value, 1, 127));
}

static const object_definition *object_definition_of(const object_data *object)
{
	const object_definition *definition = get_object_definition(object->type);
	return definition ? definition : get_default_object_definition();
}

static sequence_data *object_sequence(const object_data *object)
{
	const int16 collection = shape_index(object->shape_collection_index);
	const int16 sequence = shape_index(object->shape_sequence_index);
	if (collection == NONE || sequence == NONE) return nullptr;
	return get_sequence(collection, sequence);
}

static inline bool mesh_ready(void)
{
	return mesh_globals && mesh_globals->mesh_cells;
}

static inline mesh_cell *cell_under(world_distance x, world_distance y)
{
	return get_mesh_cell(x >> WORLD_FRACTIONAL_BITS, y >> WORLD_FRACTIONAL_BITS);
}

static inline bool cell_is_inside(int32 x, int32 y)
{
	return x >= 0 && y >= 0 && x < mesh_globals->mesh_width && y < mesh_globals->mesh_height;
}

// Whether the cell under a point holds a model (what object_hit_model looks up first).
static inline bool model_under(world_distance x, world_distance y)
{
	const int32 cx = x >> WORLD_FRACTIONAL_BITS, cy = y >> WORLD_FRACTIONAL_BITS;
	return cell_is_inside(cx, cy) && mesh_globals->mesh_cells[cy * mesh_globals->mesh_width + cx].model_index != NONE;
}

static short_world_distance height_at(world_distance x, world_distance y, int16 type)
{
	const world_point2d p = {x, y};
	return get_mesh_height(&p, type);
}

/* ---------- life cycle */

void initialize_objects(void)
{
	initialize_object_definitions();
	object_array.maximum_count = MAXIMUM_OBJECTS_PER_MAP;
	initialize_data(&object_array);
}

void initialize_objects_for_new_map(void)
{
	// Every identifier of the whole array is cleared before a 1300 map lowers the capacity.
	object_array.maximum_count = MAXIMUM_OBJECTS_PER_MAP;
	initialize_data_for_new_map(&object_array);
	if (game_play_version == 1300) object_array.maximum_count = MAXIMUM_OBJECTS_PER_MAP_13;
	initialize_object_definitions_for_new_map();
}

void dispose_objects_from_old_map(void)
{
	dispose_data_from_old_map(&object_array);
	dispose_object_definitions_from_old_map();
}

/* ---------- cells */

// Which cells head a chain: one bit per cell, each row in whole words, kept
// by the links below so the scans skip empty cells a word at a time. A bit
// may outlive its chain (the heads of a map being reset wholesale), never
// the other way round; the scans still read each head they reach.
namespace
{
struct object_cell_occupancy_data
{
	const mesh_cell *cells;
	int32 width, height, words_per_row;
	std::vector<uint64> bits;
};
object_cell_occupancy_data occupancy = {nullptr, 0, 0, 0, {}};
} // namespace

void rebuild_object_cell_occupancy(void)
{
	if (!mesh_ready())
	{
		occupancy.cells = nullptr;
		occupancy.width = occupancy.height = occupancy.words_per_row = 0;
		return;
	}
	occupancy.cells = mesh_globals->mesh_cells;
	occupancy.width = mesh_globals->mesh_width;
	occupancy.height = mesh_globals->mesh_height;
	occupancy.words_per_row = (occupancy.width + 63) >> 6;
	occupancy.bits.assign(static_cast<size_t>(occupancy.words_per_row) * static_cast<size_t>(MAX(occupancy.height, 0)), 0);
	for (int32 y = 0; y < occupancy.height; ++y)
	{
		for (int32 x = 0; x < occupancy.width; ++x)
		{
			if (occupancy.cells[y * occupancy.width + x].first_object_index != NONE)
			{
				occupancy.bits[static_cast<size_t>(y) * occupancy.words_per_row + (x >> 6)] |= uint64{1} << (x & 63);
			}
		}
	}
}

// Rebuilt from the heads when the mesh is not the one the bits describe.
static inline void check_object_cell_occupancy(void)
{
	if (occupancy.cells != mesh_globals->mesh_cells || occupancy.width != mesh_globals->mesh_width ||
		occupancy.height != mesh_globals->mesh_height)
	{
		rebuild_object_cell_occupancy();
	}
}

const uint64 *object_cell_occupancy_row(int32 y)
{
	check_object_cell_occupancy();
	return occupancy.bits.data() + static_cast<size_t>(y) * occupancy.words_per_row;
}

int32 object_cell_occupancy_missing_bits(int32 *stale_bits)
{
	int32 missing = 0, stale = 0;
	if (mesh_ready())
	{
		check_object_cell_occupancy();
		for (int32 y = 0; y < occupancy.height; ++y)
		{
			const uint64 *row = occupancy.bits.data() + static_cast<size_t>(y) * occupancy.words_per_row;
			for (int32 x = 0; x < occupancy.width; ++x)
			{
				const bool bit = (row[x >> 6] >> (x & 63)) & 1;
				const bool heads = occupancy.cells[y * occupancy.width + x].first_object_index != NONE;
				missing += heads && !bit;
				stale += bit && !heads;
			}
		}
	}
	if (stale_bits) *stale_bits = stale;
	return missing;
}

boolean object_cell_occupancy_matches_heads(void)
{
	int32 stale = 0;
	return object_cell_occupancy_missing_bits(&stale) == 0 && stale == 0;
}

static void mark_cell_occupancy(const mesh_cell *cell)
{
	check_object_cell_occupancy();
	const ptrdiff_t index = cell - occupancy.cells;
	if (index < 0 || index >= static_cast<ptrdiff_t>(occupancy.width) * occupancy.height) return;
	const int32 x = static_cast<int32>(index % occupancy.width), y = static_cast<int32>(index / occupancy.width);
	uint64 &word = occupancy.bits[static_cast<size_t>(y) * occupancy.words_per_row + (x >> 6)];
	const uint64 bit = uint64{1} << (x & 63);
	if (cell->first_object_index != NONE) word |= bit;
	else word &= ~bit;
}

static void link_object_at_head(int16 object_index, mesh_cell *cell)
{
	object_at(object_index)->next_object_index = cell->first_object_index;
	cell->first_object_index = object_index;
	mark_cell_occupancy(cell);
}

void disconnect_object_from_cell(int16 object_index, mesh_cell *cell, boolean update_parasites)
{
	int16 *link = &cell->first_object_index;
	int32 guard = object_array.maximum_count;
	while (*link != NONE && guard-- > 0)
	{
		object_data *member = object_at(*link);
		if (*link == object_index)
		{
			*link = member->next_object_index;
			member->next_object_index = NONE;
			if (cell->first_object_index == NONE) mark_cell_occupancy(cell);
			return;
		}
		if (update_parasites && member->parasitic_object_index == object_index)
		{
			member->parasitic_object_index = NONE;
			return;
		}
		link = &member->next_object_index;
	}
}

void disconnect_object_from_mesh(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || !mesh_ready()) return;
	disconnect_object_from_cell(object_index, cell_under(object->location.position.x, object->location.position.y), TRUE);
}

void reconnect_object_to_mesh(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || !mesh_ready()) return;
	link_object_at_head(object_index, cell_under(object->location.position.x, object->location.position.y));
}

void reconnect_objects_to_mesh(void)
{
	if (!mesh_ready()) return;
	for (int32 i = 0; i < mesh_globals->cell_count; ++i) mesh_globals->mesh_cells[i].first_object_index = NONE;
	rebuild_object_cell_occupancy();
	for (int16 i = 0; i < object_array.count; ++i)
	{
		if (get_object_data(i)) reconnect_object_to_mesh(i);
	}
}

// Whether the object is a member of the chain of the cell under it.
static bool object_is_chained(int16 object_index)
{
	const object_data *object = object_at(object_index);
	int32 guard = object_array.maximum_count;
	for (int16 i = cell_under(object->location.position.x, object->location.position.y)->first_object_index;
		 i != NONE && guard-- > 0; i = object_at(i)->next_object_index)
	{
		if (i == object_index) return true;
	}
	return false;
}

void start_object_cell_walk(object_cell_walk *walk, int32 x0, int32 y0, int32 x1, int32 y1)
{
	walk->next_object_index = NONE;
	if (!mesh_ready())
	{
		walk->x0 = walk->x = 0;
		walk->x1 = -1;
		walk->y = 1;
		walk->occupied = nullptr;
		walk->y1 = 0;
		return;
	}
	walk->x0 = PIN(x0, 0, mesh_globals->mesh_width - 1);
	walk->x1 = PIN(x1, 0, mesh_globals->mesh_width - 1);
	walk->y = PIN(y0, 0, mesh_globals->mesh_height - 1);
	walk->y1 = PIN(y1, 0, mesh_globals->mesh_height - 1);
	walk->x = walk->x0;
	walk->occupied = object_cell_occupancy_row(walk->y);
	if (walk->x <= walk->x1 && walk->y <= walk->y1)
	{
		walk->next_object_index = mesh_globals->mesh_cells[walk->y * mesh_globals->mesh_width + walk->x].first_object_index;
	}
}

boolean advance_object_cell_walk(object_cell_walk *walk)
{
	if (walk->next_object_index != NONE) return TRUE;
	if (walk->y > walk->y1) return FALSE;
	// Most cells of a scan are empty: only the cells whose bits are set are read.
	int32 x = walk->x, y = walk->y;
	const int32 x0 = walk->x0, x1 = walk->x1, y1 = walk->y1;
	const int32 width = mesh_globals->mesh_width;
	const uint64 *bits = walk->occupied;
	const mesh_cell *row = mesh_globals->mesh_cells + static_cast<size_t>(y) * width;
	for (;;)
	{
		x = next_occupied_cell(bits, x + 1, x1);
		if (x < 0)
		{
			if (++y > y1) break;
			x = x0 - 1;
			bits += occupancy.words_per_row;
			row += width;
			continue;
		}
		const int16 first = row[x].first_object_index;
		if (first != NONE)
		{
			walk->x = x;
			walk->y = y;
			walk->occupied = bits;
			walk->next_object_index = first;
			return TRUE;
		}
	}
	walk->x = x1;
	walk->y = y;
	return FALSE;
}

/* ---------- creation and deletion */

// The ground under a hovering object that has no true height there.
static world_distance probe_model_ground(world_distance x, world_distance y, world_distance fallback)
{
	const mesh_cell *cell = cell_under(x, y);
	if (cell->model_index == NONE) return fallback;
	world_point3d top = {x, y, OBJECT_MODEL_PROBE_HEIGHT};
	world_point3d bottom = {x, y, -OBJECT_MODEL_PROBE_HEIGHT};
	world_vector3d normal;
	if (object_hit_model_index(cell->model_index, &top, &bottom, &normal, 0)) return bottom.z;
	return fallback;
}

static bool point_is_in_media(const mesh_cell *cell, world_distance x, world_distance y)
{
	return (cell->flags & _mesh_cell_triangle_media_flags) && mesh_texture_pixel_is_media(x >> 6, y >> 6);
}

int16 new_object(new_object_data *data)
{
	const int16 object_index = new_datum(&object_array);
	if (object_index == NONE) return NONE;
	object_data *object = object_at(object_index);

	if (mesh_ready())
	{
		data->location.position.x = PIN(data->location.position.x, 0, mesh_globals->mesh_width * WORLD_ONE - 1);
		data->location.position.y = PIN(data->location.position.y, 0, mesh_globals->mesh_height * WORLD_ONE - 1);
	}

	const object_definition *definition = get_object_definition(data->type);
	if (!definition) definition = get_default_object_definition();
	object->type = data->type;
	object->tracking_priority = static_cast<uint8>(data->tracking_priority);
	object->owner = static_cast<int8>(data->owner);
	object->owner_index = data->owner_index;
	object->scale = data->scale;
	object->location = data->location;
	object->location.height = 0;
	object->parasitic_object_index = NONE;
	object->transparent_object_index = NONE;
	object->state = NONE;
	object->original_owner_unit_index = NONE;
	object->geometry_index = NONE;
	object->animating_scenery_index = NONE;
	object->shape_sequence_index = NO_SHAPE_INDEX;
	object->shape_collection_index = stored_shape_index(data->collection_index);
	object->color_table_index = static_cast<uint8>(data->color_table_index);
	object->color_table_permutation = 0;
	object->dormant_proj_flags = 0;
	object->extra_flags = 0;
	object->shape_ticks_per_frame = 1;
	object->transfer_period = 1;
	object->next_object_index = NONE;

	uint32 flags = 0;
	if (definition->flags & _object_definition_is_solid_flag) flags |= _object_is_solid_flag;
	if (data->flags & _new_object_on_ground_flag) flags |= _object_on_ground_flag;

	const world_point3d *p = &object->location.position;
	if (mesh_ready())
	{
		const mesh_cell *cell = cell_under(p->x, p->y);
		if (definition->flags & _maintains_constant_height_above_ground_flag)
		{
			world_distance ground = height_at(p->x, p->y, _true_height);
			if (ground == NONRENDERED_CELL_HEIGHT && (definition->flags & _object_cannot_be_deflected_flag) &&
				game_play_version >= 1301)
			{
				ground = cell->model_index != NONE ? probe_model_ground(p->x, p->y, ground) : p->z - OBJECT_NO_GROUND_DROP;
			}
			object->desired_height_above_ground = static_cast<short_world_distance>(p->z - ground);
		}
		if (p->z < cell->media_height && point_is_in_media(cell, p->x, p->y))
		{
			flags |= _object_partially_under_media_flag;
			if (p->z + object->height1 < cell->media_height) flags |= _object_wholly_under_media_flag;
		}
	}
	if (data->collection_index == NONE) flags |= _object_is_invisible_flag;
	object->flags = flags;

	if (mesh_ready()) link_object_at_head(object_index, cell_under(p->x, p->y));
	if (object->tracking_priority) add_tracking_object(object_index, NONE);

	// The one draw, and only when there is something to draw.
	object->maximum_vitality = static_cast<short_fixed>(definition->maximum_vitality +
		zerv_random_below(definition->maximum_vitality_delta));
	object->vitality = object->maximum_vitality;
	return object_index;
}

void delete_object(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object) return;
	disconnect_object_from_mesh(object_index);
	orphan_sounds(object_index);
	const int16 parasite = object->parasitic_object_index;
	object->parasitic_object_index = NONE;
	// The parasite leaves any chain it is in before it goes.
	if (parasite != NONE && parasite != object_index) delete_object(parasite);
	delete_datum(&object_array, object_index);
}

int16 duplicate_object(int16 object_index)
{
	object_data *source = get_object_data(object_index);
	if (!source) return NONE;
	const int16 copy_index = new_datum(&object_array);
	if (copy_index == NONE) return NONE;
	source = object_at(object_index);
	object_data *copy = object_at(copy_index);
	const int16 identifier = copy->identifier;
	*copy = *source;
	copy->identifier = identifier;
	copy->parasitic_object_index = NONE;
	copy->flags &= ~(_object_is_selected_flag | _object_is_attack_highlighted_flag | _object_is_mouseover_highlighted_flag);
	if (mesh_ready())
	{
		if (object_is_chained(object_index))
		{
			copy->next_object_index = source->next_object_index;
			source->next_object_index = copy_index;
		}
		else
		{
			link_object_at_head(copy_index, cell_under(copy->location.position.x, copy->location.position.y));
		}
	}
	else
	{
		copy->next_object_index = NONE;
	}
	return copy_index;
}

void replace_object(int16 old_object_index, int16 new_object_index)
{
	object_data *old_object = get_object_data(old_object_index);
	object_data *new_object_record = get_object_data(new_object_index);
	if (!old_object || !new_object_record || old_object_index == new_object_index) return;

	disconnect_object_from_mesh(old_object_index);
	disconnect_object_from_mesh(new_object_index);
	// Neither parasite survives: no freed or unreachable record may stay behind.
	const int16 old_parasite = old_object->parasitic_object_index;
	old_object->parasitic_object_index = NONE;
	if (old_parasite != NONE && old_parasite != new_object_index) delete_object(old_parasite);
	const int16 new_parasite = new_object_record->parasitic_object_index;
	new_object_record->parasitic_object_index = NONE;
	if (new_parasite != NONE && new_parasite != old_object_index) delete_object(new_parasite);

	const int16 identifier = old_object->identifier;
	*old_object = *new_object_record;
	old_object->identifier = identifier;
	old_object->parasitic_object_index = NONE;
	old_object->next_object_index = NONE;
	orphan_sounds(new_object_index);
	delete_datum(&object_array, new_object_index);
	reconnect_object_to_mesh(old_object_index);
}

void add_parasitic_object(int16 parent_object_index, int16 parasitic_object_index)
{
	object_data *parent = get_object_data(parent_object_index);
	object_data *parasite = get_object_data(parasitic_object_index);
	if (!parent || !parasite || parent_object_index == parasitic_object_index) return;
	if (parent->parasitic_object_index == parasitic_object_index) return;
	// A parent carries one parasite: the one it had would be left unreachable.
	if (parent->parasitic_object_index != NONE && get_object_data(parent->parasitic_object_index))
	{
		delete_object(parent->parasitic_object_index);
		parent = get_object_data(parent_object_index);
	}
	disconnect_object_from_mesh(parasitic_object_index);
	parent->parasitic_object_index = parasitic_object_index;
	parasite->flags |= _object_has_no_shadow_flag;
}

/* ---------- shape */

void _play_object_sound(int16 object_index, int16 sound_index)
{
	const object_data *object = get_object_data(object_index);
	if (!object) return;
	const uint16 flags = (object->flags & _object_wholly_under_media_flag) ? 0 : _play_sound_cannot_be_media_obstructed_flag;
	play_sound_with_flags(sound_index, object_index, &object->location, 256, flags);
}

static bool object_sounds_are_heard(const object_data *object)
{
	if (game && (game->option_flags & _game_option_uses_qel_flag)) return true;
	return get_cell_visibility(object->location.position.x >> WORLD_FRACTIONAL_BITS,
		object->location.position.y >> WORLD_FRACTIONAL_BITS) != 0;
}

static void play_sequence_sound(int16 object_index, const object_data *object, const sequence_data *sequence, int16 which)
{
	if (sequence->sound_indexes[which] == NONE || !object_sounds_are_heard(object)) return;
	_play_object_sound(object_index, sequence->sound_indexes[which]);
}

void animate_object(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (object) animate_object_record_inline(object_index, object);
}

void animate_object_record(int16 object_index, object_data *object)
{
	if (object->flags & _object_is_invisible_flag) return;
	// Asked even when the frame count stops the step: the lookup may build the
	// collection's side data on first use.
	animate_object_step(object_index, object, object_sequence(object));
}

void play_animation_step_sounds(int16 object_index, const object_data *object, const sequence_data *sequence,
	uint32 sounds)
{
	if (sounds & _animation_first_sound) play_sequence_sound(object_index, object, sequence, 0);
	if (sounds & _animation_last_frame_sound) play_sequence_sound(object_index, object, sequence, 2);
	if (sounds & _animation_key_frame_sound) play_sequence_sound(object_index, object, sequence, 1);
}

// zerv_random() mod n, the draw taken even when n is 0.
static int32 random_mod(int32 n)
{
	const int32 value = zerv_random();
	return n > 0 ? value % n : 0;
}

static int16 scaled_size(int32 size, short_fixed scale)
{
	return static_cast<int16>((static_cast<int64>(size) * scale) >> 8);
}

void set_object_shape(int16 object_index, int16 sequence_index, short_fixed animation_rate, int16 transfer_mode,
	int16 transfer_period, uint16 flags, boolean use_native)
{
	object_data *object = get_object_data(object_index);
	if (!object) return;
	const int16 collection = shape_index(object->shape_collection_index);
	sequence_data *sequence = sequence_index == NONE || collection == NONE ? nullptr : get_sequence(collection, sequence_index);
	if (!sequence)
	{
		object->flags |= _object_is_invisible_flag;
		return;
	}

	if (sequence_index != shape_index(object->shape_sequence_index) || (flags & _ignore_duplicate_sequences_flag))
	{
		object->shape_sequence_index = stored_shape_index(sequence_index);
		object->shape_view_index = static_cast<int8>((flags & _random_view_flag) ? random_mod(sequence->number_of_views) : 0);
		object->shape_ticks_per_frame =
			clamp_int8_period(MAX(1, (static_cast<int32>(sequence->ticks_per_frame) * animation_rate) >> 8));
		int32 frame = 0;
		if (flags & _loop_sequence_frame_flag) frame = sequence->loop_frame;
		else if (flags & _random_sequence_frame_flag) frame = random_mod(sequence->frames_per_view);
		object->shape_frame_index = static_cast<int8>(frame);
		const bool random_phase = (flags & _random_sequence_phase_flag) && sequence->ticks_per_frame != 0;
		object->shape_phase = static_cast<int8>(random_phase ? random_mod(sequence->ticks_per_frame) : 0);
		object->flags &= ~_object_animation_flags;
	}

	if (use_native)
	{
		object->radius = scaled_size(sequence->radius, object->scale);
		object->height0 = scaled_size(sequence->height0, object->scale);
		object->height1 = scaled_size(sequence->height1, object->scale);
	}
	else
	{
		object->radius = scaled_size(sequence->world_radius, object->scale);
		object->height0 = scaled_size(sequence->world_height0, object->scale);
		object->height1 = scaled_size(sequence->world_height1, object->scale);
	}

	if (transfer_mode == _transfer_mode_none)
	{
		transfer_mode = sequence->transfer_mode;
		transfer_period = static_cast<int16>(MAX(1, (static_cast<int32>(sequence->transfer_period) * animation_rate) >> 8));
	}
	if (object->transfer_mode != _transfer_mode_transparent_appearing &&
		object->transfer_mode != _transfer_mode_transparent_disappearing &&
		object->transfer_mode != _transfer_mode_transparent_cycle)
	{
		object->transfer_period = clamp_int8_period(transfer_period);
		object->transfer_mode = static_cast<int8>(transfer_mode);
		object->transfer_phase = static_cast<int8>((flags & _random_transfer_mode_phase_flag)
			? random_mod(object->transfer_period) : 0);
	}
	if (!(object->extra_flags & _object_is_being_carried_extra_flag)) object->flags &= ~_object_is_invisible_flag;
}

void get_object_render_data(object_render_data *data, const world_point3d *camera, int16 object_index)
{
	get_object_render_data_for_frame(data, camera, get_object_data(object_index), NONE, NONE);
}

void get_object_render_data_for_frame(object_render_data *data, const world_point3d *camera, const object_data *object,
	int16 sequence_override, int16 frame_override)
{
	data->bitmap_instance_index = NONE;
	data->shadow_map_index = NONE;
	data->transfer_mode = _transfer_mode_none;
	data->transfer_phase = 0;
	if (!object) return;
	const int16 collection = shape_index(object->shape_collection_index);
	const int16 sequence_index = sequence_override != NONE ? sequence_override : shape_index(object->shape_sequence_index);
	sequence_data *sequence = collection == NONE || sequence_index == NONE ? nullptr : get_sequence(collection, sequence_index);
	if (!sequence) return;
	const int16 frame_index = frame_override != NONE ? frame_override : static_cast<int16>(object->shape_frame_index);

	int32 view = object->shape_view_index;
	const int32 views = sequence->number_of_views;
	if (!(sequence->flags & _sequence_has_no_rotation_flag))
	{
		const angle bearing = arctangent(camera->x - object->location.position.x, camera->y - object->location.position.y);
		int32 relative = static_cast<int32>(bearing) - object->location.yaw;
		if (object->flags & _object_is_horizontally_mirrored_flag) relative = -relative;
		view = static_cast<int32>((static_cast<int64>(views) * (relative & 0xFFFF) + 32768) >> 16);
		if (view == views) view = 0;
	}
	const sequence_frame_data *frame = get_sequence_frame(sequence, collection, sequence_index, frame_index);
	if (frame && view >= 0 && view < views)
	{
		int16 instance;
		memcpy(&instance, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data) + 2 * view, sizeof(instance));
		data->bitmap_instance_index = instance;
		data->shadow_map_index = frame->shadow_map_index;
	}
	data->transfer_mode = object->transfer_mode;
	const int32 period = MAX(object->transfer_period, 1);
	const int32 phase = MAX(object->transfer_phase, 0);
	data->transfer_phase = static_cast<uint16>(MIN(phase * 65536 / period, 65535));
}

/* ---------- queries */

void get_object_point(int16 mode, int16 object_index, world_point3d *point)
{
	const object_data *object = get_object_data(object_index);
	if (!object) return;
	*point = object->location.position;
	if (mode == _object_point_center) point->z += (object->height0 + object->height1) / 2;
}

void get_object_key_point(int16 object_index, int16 sequence_index, int16 frame_index, angle yaw, world_point3d *point)
{
	const object_data *object = get_object_data(object_index);
	if (!object) return;
	*point = object->location.position;
	const int16 collection = shape_index(object->shape_collection_index);
	sequence_data *sequence = collection == NONE || sequence_index == NONE ? nullptr : get_sequence(collection, sequence_index);
	if (!sequence) return;
	const sequence_frame_data *frame = get_sequence_frame(sequence, collection, sequence_index,
		frame_index == NONE ? sequence->key_frame : frame_index);
	if (!frame) return;
	const int32 cosine = angle_cosine(yaw), sine = angle_sine(yaw);
	const int32 kx = frame->key_point.x, ky = frame->key_point.y, kz = frame->key_point.z;
	const int32 x = (kx * cosine - ky * sine) >> TRIG_SHIFT;
	const int32 y = (kx * sine + ky * cosine) >> TRIG_SHIFT;
	point->x += (x * object->scale) >> 8;
	point->y += (y * object->scale) >> 8;
	point->z += (kz * object->scale) >> 8;
}

int32 get_object_sequence_ticks(int16 object_index, int16 mode)
{
	const object_data *object = get_object_data(object_index);
	const sequence_data *sequence = object ? object_sequence(object) : nullptr;
	if (!sequence) return 0;
	switch (mode)
	{
	case _object_ticks_until_key_frame: return sequence->ticks_per_frame * sequence->key_frame;
	case _object_ticks_until_last_frame: return sequence->ticks_per_frame * (sequence->frames_per_view - 1);
	case _object_ticks_until_next_frame: return sequence->ticks_per_frame;
	default: return 0;
	}
}

static bool object_is_obstacle(const object_data *object)
{
	return (object->flags & (_object_is_solid_flag | _object_is_invisible_flag)) == _object_is_solid_flag;
}

int16 nearest_obstruction(int16 transparent_object_index, const world_point3d *origin, angle yaw, angle pitch,
	world_distance radius)
{
	if (!mesh_ready()) return NONE;
	const int32 tangent = tangent_table[ANGLE_TO_TRIG_INDEX(pitch)];
	if (tangent == TANGENT_INFINITY) return NONE;
	const int32 cx = PIN(origin->x >> WORLD_FRACTIONAL_BITS, 1, mesh_globals->mesh_width - 2);
	const int32 cy = PIN(origin->y >> WORLD_FRACTIONAL_BITS, 1, mesh_globals->mesh_height - 2);
	const int64 cosine = angle_cosine(yaw), sine = angle_sine(yaw);

	int16 best = NONE;
	int64 best_t = MAXIMUM_PARALLEL_OBSTRUCTION_DISTANCE;
	object_cell_walk walk;
	start_object_cell_walk(&walk, cx - 1, cy - 1, cx + 1, cy + 1);
	for (int16 i = next_object_in_cell_walk(&walk); i != NONE; i = next_object_in_cell_walk(&walk))
	{
		const object_data *object = object_at(i);
		if (i == transparent_object_index || !object_is_obstacle(object)) continue;
		const int64 dx = static_cast<int64>(object->location.position.x) - origin->x;
		const int64 dy = static_cast<int64>(object->location.position.y) - origin->y;
		const int64 t = (dx * cosine + dy * sine) >> TRIG_SHIFT;
		if (t < 1 || t >= best_t) continue;
		const int64 side = (dy * cosine - dx * sine) >> TRIG_SHIFT;
		const int64 reach = static_cast<int64>(object->radius) + radius + NEAREST_OBSTRUCTION_SLOP;
		if (side * side >= reach * reach) continue;
		const int64 z = origin->z + (((t - object->radius) * tangent) >> TRIG_SHIFT);
		const int64 bottom = static_cast<int64>(object->location.position.z) + object->height0 - NEAREST_OBSTRUCTION_SLOP;
		const int64 top = static_cast<int64>(object->location.position.z) + object->height1 + NEAREST_OBSTRUCTION_SLOP;
		if (z < bottom || z > top) continue;
		best_t = t;
		best = i;
	}
	return best;
}

int16 object_identifiers_to_object_indexes(const int16 *identifiers, int16 *indexes, int16 count)
{
	int16 found = 0;
	for (int16 n = 0; n < count; ++n)
	{
		for (int16 i = 0; i < object_array.count; ++i)
		{
			const object_data *object = get_object_data(i);
			if (object && object->identifier == identifiers[n] && !(object->flags & _object_is_invisible_flag))
			{
				indexes[found++] = i;
				break;
			}
		}
	}
	return found;
}

/* ---------- physics */

static void stop_at_old_point(object_data *object, const world_point3d *old_point)
{
	object->location.position = *old_point;
	object->location.position.z = height_at(old_point->x, old_point->y, _true_height);
	object->location.velocity = {0, 0, 0};
}

static int32 clamp_to_edge(world_distance *coordinate, short_world_distance *velocity, int32 cells)
{
	const world_distance limit = cells * WORLD_ONE - EDGE_OF_MESH_BUFFER;
	if (*coordinate < EDGE_OF_MESH_BUFFER) *coordinate = EDGE_OF_MESH_BUFFER;
	else if (*coordinate >= limit) *coordinate = limit - 1;
	else return 0;
	*velocity = static_cast<short_world_distance>(-*velocity);
	return _object_struck_edge_of_mesh_flag;
}

static inline int32 absolute(int32 value)
{
	return value < 0 ? -value : value;
}

uint32 move_object(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || !mesh_ready()) return 0;
	const object_definition *definition = object_definition_of(object);
	world_location3d *location = &object->location;
	const world_point3d old_point = location->position;
	const uint32 old_flags = object->flags;
	uint32 result = 0;

	// 1. The new point, held inside the edge of the mesh.
	world_point3d p = {old_point.x + location->velocity.i, old_point.y + location->velocity.j, old_point.z};
	result |= clamp_to_edge(&p.x, &location->velocity.i, mesh_globals->mesh_width);
	result |= clamp_to_edge(&p.y, &location->velocity.j, mesh_globals->mesh_height);

	// 2. The floor.
	// The map is ready (above): get_mesh_height's own answer, inline, and the
	// point's cell (cell_under's) with it.
	const world_point2d floor_point = {p.x, p.y};
	const mesh_cell *cell;
	world_distance floor = mesh_height_and_cell_of_type<_land_height>(&floor_point, &cell);
	const bool in_media = point_is_in_media(cell, p.x, p.y);
	const world_distance media_surface = in_media ? height_at(p.x, p.y, _media_height) : 0;
	bool floor_is_media = false;
	if (in_media && (object->flags & _object_floats_on_media_flag))
	{
		floor = media_surface;
		floor_is_media = true;
	}

	// 3. Hover or fall.
	if (definition->flags & _maintains_constant_height_above_ground_flag)
	{
		world_distance ground = height_at(p.x, p.y, _true_height);
		world_distance target = p.z;
		if (ground != NONRENDERED_CELL_HEIGHT) target = ground + object->desired_height_above_ground;
		else if (cell->model_index != NONE)
		{
			ground = probe_model_ground(p.x, p.y, NONRENDERED_CELL_HEIGHT);
			if (ground != NONRENDERED_CELL_HEIGHT) target = ground + object->desired_height_above_ground;
		}
		p.z += PIN(target - p.z, -MAXIMUM_OBJECT_HEIGHT_ADJUSTMENT_PER_TICK, MAXIMUM_OBJECT_HEIGHT_ADJUSTMENT_PER_TICK);
	}
	else
	{
		if (definition->terminal_velocity == 0 || definition->terminal_velocity < location->velocity.k)
		{
			location->velocity.k = static_cast<short_world_distance>(location->velocity.k + definition->gravity);
		}
		p.z += location->velocity.k;
	}

	// 4. Floor and ceiling.
	bool hit = false;
	world_vector3d normal = {0, 0, TRIG_MAGNITUDE};
	if (p.z >= floor)
	{
		const mesh_header *header = get_mesh_header();
		if (header && (header->flags & _mesh_is_indoor_map_flag) && p.z > header->ceiling_height)
		{
			p.z = header->ceiling_height;
			result |= _object_struck_ceiling_flag;
			normal = {0, 0, TRIG_MAGNITUDE};
			hit = true;
		}
	}
	else
	{
		const world_point2d p2 = {p.x, p.y};
		p.z = floor;
		result |= _object_struck_ground_flag;
		normal = floor_is_media ? world_vector3d{0, 0, -TRIG_MAGNITUDE} : *get_mesh_normal(&p2);
		hit = true;
	}

	// 5. Media.
	uint32 status = 0;
	if (in_media && media_surface > p.z)
	{
		status |= _object_partially_under_media_flag;
		if (p.z + object->height1 < media_surface) status |= _object_wholly_under_media_flag;
	}
	if ((status & _object_partially_under_media_flag) && !(old_flags & _object_partially_under_media_flag))
	{
		result |= _object_entered_media_flag;
	}
	if (!(status & _object_partially_under_media_flag) && (old_flags & _object_partially_under_media_flag))
	{
		result |= _object_exited_media_flag;
	}

	// 6. Whether models and objects are struck at all.
	bool collide = !(definition->flags & _ignore_model_and_object_collisions_flag) &&
		(p.x != old_point.x || p.y != old_point.y || p.z != old_point.z);
	if (collide && (object->flags & _object_cannot_be_accelerated_flag) && game_play_version != 1500 &&
		!(game_play_version >= 1301 && object->owner == _object_is_projectile &&
			object_projectile_passes_through_target(object_index)))
	{
		collide = false;
	}

	int16 struck_index = NONE;
	if (collide)
	{
		// 7. Models.
		int16 model_index;
		world_vector3d model_normal;
		// Without a model under either end the test answers no and writes nothing.
		if ((model_under(old_point.x, old_point.y) || model_under(p.x, p.y)) &&
			object_hit_model(&old_point, &p, &model_normal, &model_index, object->radius))
		{
			normal = model_normal;
			result |= _object_struck_ground_flag;
			hit = true;
			if (p.z < height_at(p.x, p.y, _land_height))
			{
				stop_at_old_point(object, &old_point);
				return result;
			}
		}
	}
	const short_world_distance height_above_floor = static_cast<short_world_distance>(p.z - floor);

	if (collide)
	{
		// 8. Objects in the four nearest cells.
		const world_point3d point_before_objects = p;
		const mesh_cell *cells[4];
		const int32 count = mesh_quarter_cells(p.x, p.y, cells);
		for (int32 c = 0; c < count; ++c)
		{
			// One cell's chain, as a walk of that cell hands it out.
			int16 next = cells[c]->first_object_index;
			for (int16 i = next; i != NONE; i = next)
			{
				const object_data *other = object_at(i);
				next = other->next_object_index;
				// The mover's own parasite rides with it and is never in its way.
				if (i == object_index || i == object->transparent_object_index || i == object->parasitic_object_index ||
					!object_is_obstacle(other))
				{
					continue;
				}
				const int64 reach = static_cast<int64>(object->radius) + other->radius;
				const int64 dx = static_cast<int64>(p.x) - other->location.position.x;
				const int64 dy = static_cast<int64>(p.y) - other->location.position.y;
				if (dx >= reach || -dx >= reach || dy >= reach || -dy >= reach || dx * dx + dy * dy >= reach * reach) continue;
				const world_distance other_z = other->location.position.z;
				if (!(p.z + object->height0 < other_z + other->height1 && other_z + other->height0 < p.z + object->height1))
				{
					continue;
				}

				if (struck_index != NONE)
				{
					result |= _object_struck_objects_flag;
					stop_at_old_point(object, &old_point);
					return result | (static_cast<uint32>(static_cast<uint16>(struck_index)) << 16);
				}
				if (old_point.z + object->height0 >= other_z + other->height1)
				{
					p.z = other_z + other->height1;
					normal = {0, 0, TRIG_MAGNITUDE};
				}
				else if (old_point.z + object->height1 <= other_z + other->height0)
				{
					p.z = other_z + other->height0;
					normal = {0, 0, -TRIG_MAGNITUDE};
				}
				else
				{
					int64 ux = dx, uy = dy;
					if (ux == 0 && uy == 0)
					{
						ux = static_cast<int64>(old_point.x) - other->location.position.x;
						uy = static_cast<int64>(old_point.y) - other->location.position.y;
						if (ux == 0 && uy == 0) ux = 1;
					}
					while (ux * ux + uy * uy > static_cast<int64>(0xFFFFFFFFu))
					{
						ux /= 2;
						uy /= 2;
					}
					const int64 magnitude = MAX(static_cast<int64>(isqrt(static_cast<uint32>(ux * ux + uy * uy))), 1);
					normal = {static_cast<short_world_distance>(ux * TRIG_MAGNITUDE / magnitude),
						static_cast<short_world_distance>(uy * TRIG_MAGNITUDE / magnitude), 0};
					const int64 distance = reach + RADIUS_OVERESTIMATION_AMOUNT;
					p.x = static_cast<world_distance>(other->location.position.x + ((normal.i * distance) >> TRIG_SHIFT));
					p.y = static_cast<world_distance>(other->location.position.y + ((normal.j * distance) >> TRIG_SHIFT));
				}
				result |= _object_struck_object_flag;
				struck_index = i;
				hit = true;
				if ((object->flags | other->flags) & _object_is_permeable_flag)
				{
					result |= _object_struck_object_softly_flag;
					if (game_play_version >= 1301 && (object->flags & _object_is_permeable_flag)) p = point_before_objects;
				}
				if (other->owner == _object_is_projectile)
				{
					stop_at_old_point(object, &old_point);
					return result | (static_cast<uint32>(static_cast<uint16>(struck_index)) << 16);
				}
			}
		}
	}

	// 9. Bounce.
	world_vector3d *velocity = &location->velocity;
	if (hit && !(result & _object_struck_object_softly_flag))
	{
		int32 elasticity = definition->elasticity;
		const int32 k = absolute(normal.k);
		if (struck_index == NONE && k < ZERO_FRICTION_MAGNITUDE && elasticity <= 191)
		{
			elasticity += ((192 - elasticity) * (ZERO_FRICTION_MAGNITUDE - k)) >> 11;
		}
		world_vector3d reflected;
		reflect_vector(velocity, &normal, &reflected);
		velocity->i = static_cast<short_world_distance>((reflected.i * elasticity) >> 8);
		velocity->j = static_cast<short_world_distance>((reflected.j * elasticity) >> 8);
		velocity->k = static_cast<short_world_distance>((reflected.k * elasticity) >> 8);
	}

	// 10. Rest.
	if ((result & _object_struck_ground_flag) &&
		absolute(velocity->i) + absolute(velocity->j) + absolute(velocity->k) < MINIMUM_OBJECT_VELOCITY)
	{
		*velocity = {0, 0, 0};
		status |= _object_on_ground_flag | _object_at_rest_flag;
		if (in_media && floor_is_media) status |= _object_on_media_flag;
	}

	// 11. Store.
	const int32 old_cell_x = old_point.x >> WORLD_FRACTIONAL_BITS, old_cell_y = old_point.y >> WORLD_FRACTIONAL_BITS;
	const int32 new_cell_x = p.x >> WORLD_FRACTIONAL_BITS, new_cell_y = p.y >> WORLD_FRACTIONAL_BITS;
	location->position = p;
	location->height = height_above_floor;

	// 12. The parasite rides along.
	object_data *parasite = get_object_data(object->parasitic_object_index);
	if (parasite && object->parasitic_object_index != object_index)
	{
		const int32 parasite_cell_x = parasite->location.position.x >> WORLD_FRACTIONAL_BITS;
		const int32 parasite_cell_y = parasite->location.position.y >> WORLD_FRACTIONAL_BITS;
		parasite->location = *location;
		if (game_play_version >= 1701 && (parasite_cell_x != new_cell_x || parasite_cell_y != new_cell_y))
		{
			disconnect_object_from_cell(object->parasitic_object_index, get_mesh_cell(old_cell_x, old_cell_y), FALSE);
			link_object_at_head(object->parasitic_object_index, get_mesh_cell(new_cell_x, new_cell_y));
		}
	}

	// 13. Status and chains.
	object->flags = (object->flags & ~_object_physics_status_flags) | status;
	if (old_cell_x != new_cell_x || old_cell_y != new_cell_y)
	{
		disconnect_object_from_cell(object_index, get_mesh_cell(old_cell_x, old_cell_y), FALSE);
		link_object_at_head(object_index, get_mesh_cell(new_cell_x, new_cell_y));
		result |= _object_changed_cells_flag;
	}
	if (struck_index != NONE) result |= static_cast<uint32>(static_cast<uint16>(struck_index)) << 16;
	return result;
}

/* ---------- damage */

// The modifiers a blow meets: the object's own, or a held artifact's bonus.
static const short_fixed *damage_modifiers_of(const object_data *object)
{
	const short_fixed *modifiers = object_definition_of(object)->effect_modifiers;
	if (object->owner != _object_is_monster) return modifiers;
	const monster_data *monster = get_monster_data(object->owner_index);
	const artifact_definition *artifact = monster ? get_artifact_definition(monster->artifact_index) : nullptr;
	if (artifact && (game_play_version <= 1600 ||
		!(artifact->flags & _artifact_does_not_override_monster_effect_modifiers_flag)))
	{
		modifiers = artifact->bonus_effect_modifiers;
	}
	return modifiers;
}

static boolean object_survives_as_remaining_projectile(const object_data *object)
{
	if (object->owner != _object_is_projectile) return FALSE;
	const projectile_data *projectile = get_projectile_data(object->owner_index);
	const projectile_definition *definition = projectile ? get_projectile_definition(projectile->type) : nullptr;
	return definition && (definition->flags & _projectile_remains_after_detonation_flag);
}

boolean damage_object(int16 object_index, const damage_definition *definition, int32 damage,
	uint16 absorbed_fraction, uint32 *result_flags, int32 *damage_applied)
{
	if (result_flags) *result_flags = 0;
	if (damage_applied) *damage_applied = 0;
	object_data *object = get_object_data(object_index);
	if (!object || !definition) return FALSE;
	const short_fixed *modifiers = damage_modifiers_of(object);
	const boolean paralysis = (definition->flags & _damage_can_cause_paralysis_flag) && modifiers[_effect_modifier_paralysis] != 0;
	const boolean confusion = (definition->flags & _damage_can_cause_confusion_flag) && modifiers[_effect_modifier_confusion] != 0;
	boolean absorbed = FALSE, charmed = FALSE;
	switch (definition->type)
	{
	case _damage_explosion:
		damage = (damage * modifiers[_effect_modifier_explosive_damage]) >> 8;
		break;
	case _damage_magical:
	case _damage_fire:
		damage = (damage * modifiers[_effect_modifier_magical_damage]) >> 8;
		break;
	case _damage_explosive_electricity:
		damage = (damage * modifiers[_effect_modifier_electrical_damage]) >> 8;
		break;
	case _damage_gas:
		damage = (damage * modifiers[_effect_modifier_gas_damage]) >> 8;
		break;
	case _damage_charm:
		damage = 0;
		charmed = modifiers[_effect_modifier_confusion] != 0;
		break;
	default:
		if (zerv_random() < absorbed_fraction) absorbed = TRUE;
		damage = (damage * modifiers[(definition->flags & _damage_is_long_range_flag) ?
			_effect_modifier_long_range_physical_damage : _effect_modifier_close_range_physical_damage]) >> 8;
		if (damage == 0) absorbed = TRUE;
		break;
	}
	if (damage >= 0 && damage <= object_definition_of(object)->minimum_damage) absorbed = TRUE;
	if (game_play_version >= 1691 && damage < 0 && object->owner == _object_is_monster)
	{
		const monster_data *monster = get_monster_data(object->owner_index);
		const monster_definition *kind = monster ? get_monster_definition(monster->type) : nullptr;
		if (kind && (kind->flags & _monster_cannot_be_healed_flag)) absorbed = TRUE;
	}
	boolean destroyed = FALSE;
	if (absorbed)
	{
		damage = 0;
	}
	else
	{
		damage = MIN(static_cast<int32>(object->vitality), damage);
		if (definition->flags & _damage_cannot_be_healed_flag)
		{
			object->maximum_vitality = static_cast<short_fixed>(PIN(object->maximum_vitality - damage, -32768, 32767));
		}
		const int32 vitality = MIN(static_cast<int32>(object->vitality) - damage, static_cast<int32>(object->maximum_vitality));
		object->vitality = static_cast<short_fixed>(PIN(vitality, -32768, 32767));
		destroyed = object->vitality < 1 && !object_survives_as_remaining_projectile(object);
	}
	if (result_flags)
	{
		*result_flags = (paralysis ? _damage_result_paralysis_flag : 0) | (absorbed ? _damage_result_absorbed_flag : 0) |
			(confusion ? _damage_result_confusion_flag : 0) |
			((definition->flags & _damage_can_stun_flag) ? _damage_result_stun_flag : 0) |
			(charmed ? _damage_result_charmed_flag : 0);
	}
	if (damage_applied) *damage_applied = damage;
	return destroyed;
}

/* ---------- digest */

void fold_objects_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&object_array));
	if (!object_array.data || object_array.count < 0) return;
	for (int16 i = 0; i < object_array.count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, object->identifier);
		zerv_digest_int16(digest, object->scale);
		zerv_digest_uint32(digest, object->flags & ~static_cast<uint32>(_object_local_flags));
		const world_location3d *l = &object->location;
		zerv_digest_int32(digest, l->position.x);
		zerv_digest_int32(digest, l->position.y);
		zerv_digest_int32(digest, l->position.z);
		zerv_digest_int16(digest, l->velocity.i);
		zerv_digest_int16(digest, l->velocity.j);
		zerv_digest_int16(digest, l->velocity.k);
		zerv_digest_int16(digest, l->height);
		zerv_digest_int16(digest, static_cast<int16>(l->yaw));
		zerv_digest_int16(digest, static_cast<int16>(l->pitch));
		zerv_digest_int16(digest, object->radius);
		zerv_digest_int16(digest, object->height0);
		zerv_digest_int16(digest, object->height1);
		zerv_digest_int16(digest, object->owner_index);
		zerv_digest_int8(digest, object->owner);
		zerv_digest_int8(digest, object->animating_scenery_index);
		zerv_digest_int8(digest, static_cast<int8>(object->shape_collection_index));
		zerv_digest_int8(digest, static_cast<int8>(object->shape_sequence_index));
		zerv_digest_int8(digest, static_cast<int8>(object->color_table_index));
		zerv_digest_int8(digest, static_cast<int8>(object->color_table_permutation));
		zerv_digest_int8(digest, object->shape_frame_index);
		zerv_digest_int8(digest, object->shape_phase);
		zerv_digest_int8(digest, object->shape_ticks_per_frame);
		zerv_digest_int8(digest, object->shape_view_index);
		zerv_digest_int8(digest, static_cast<int8>(object->tracking_priority));
		zerv_digest_int8(digest, object->transfer_mode);
		zerv_digest_int8(digest, object->transfer_phase);
		zerv_digest_int8(digest, object->transfer_period);
		zerv_digest_int16(digest, object->next_object_index);
		zerv_digest_int16(digest, object->parasitic_object_index);
		zerv_digest_int16(digest, object->transparent_object_index);
		zerv_digest_int8(digest, object->geometry_index);
		zerv_digest_int8(digest, static_cast<int8>(object->dormant_proj_flags));
		zerv_digest_int16(digest, object->state);
		zerv_digest_int16(digest, object->type);
		zerv_digest_int16(digest, object->vitality);
		zerv_digest_int16(digest, object->maximum_vitality);
		zerv_digest_int16(digest, object->desired_height_above_ground);
		zerv_digest_int16(digest, static_cast<int16>(object->extra_flags));
		zerv_digest_int16(digest, object->expiry);
		zerv_digest_int16(digest, object->original_owner_unit_index);
	}
}
