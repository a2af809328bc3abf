#include "lightning.h"

#include "collection_references.h"
#include "data.h"
#include "error_manager.h"
#include "media.h"
#include "mesh.h"
#include "objects.h"
#include "render/render.h"
#include "render/render_world_builders.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code lightning_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	DAMAGE_DEFINITION_BS_CODES,
	_2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(lightning_definition_bs_data) == sizeof(lightning_definition));

static const lightning_definition default_lightning_definition = {
	0, static_cast<file_tag>(NONE), 0, 0, 0, {NONE, NONE, NONE}, 1, 256, 0, 0, 0, 0, 0,
	{NONE, 0, 0, 0, 0, 0, 0, 0}, 1, NONE, NONE, NONE};

static void lightning_dependencies(void *definition, report_definition_dependency_proc report)
{
	lightning_definition *d = static_cast<lightning_definition *>(definition);
	report(COLLECTION_REFERENCE_GROUP_TAG, d->collection_reference_tag, &d->collection_reference_index);
}

static definition_globals lightning_definitions = {
	"lightning systems",
	LIGHTNING_GROUP_TAG,
	LIGHTNING_VERSION_NUMBER,
	MAXIMUM_LIGHTNING_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(lightning_definition)),
	lightning_dependencies,
	postprocess_lightning,
	nullptr,
	&default_lightning_definition,
	lightning_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static datum_globals lightning_array = {"lightning data", MAXIMUM_LIGHTNING_STRIKES_PER_MAP, sizeof(lightning_data), 0};

struct lightning_module_data
{
	lightning_globals_data globals;
	boolean ready;
};
static lightning_module_data lightning_module = {};

static lightning_test_hooks_data lightning_test_hooks = {};
lightning_test_hooks_data *get_lightning_test_hooks(void) { return &lightning_test_hooks; }
void reset_lightning_test_hooks(void) { lightning_test_hooks = {}; }

definition_globals *get_lightning_definitions(void) { return &lightning_definitions; }
const lightning_definition *get_default_lightning_definition(void) { return &default_lightning_definition; }

boolean postprocess_lightning(definition_globals *, int16, int32 tag_handle, void *definition)
{
	lightning_definition *d = static_cast<lightning_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index = definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "lightning %s has no collection reference '%s'.", name,
			tag_to_string(d->collection_reference_tag));
		return FALSE;
	}
	d->collection_index = reference->collection_index;
	d->color_table_index = reference->color_table_indexes[0];
	for (int16 i = 0; i < NUMBER_OF_LIGHTNING_SEQUENCES; ++i)
	{
		if (!verify_sequence_index(d->collection_index, d->sequence_indexes[i]))
		{
			error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "lightning %s has a bad sequence #%d.", name,
				static_cast<int>(d->sequence_indexes[i]));
			return FALSE;
		}
	}
	// The tip's travel time divides by the velocity.
	if (d->velocity <= 0)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "lightning %s has velocity #%d (must be positive).", name,
			static_cast<int>(d->velocity));
		return FALSE;
	}
	if (d->apparent_number_of_bolts < 0 || d->apparent_number_of_bolts > MAXIMUM_APPARENT_NUMBER_OF_BOLTS ||
		d->fork_segment_minimum < 0 || d->fork_segment_minimum > MAXIMUM_FORK_SEGMENTS || d->fork_segment_delta < 0 ||
		d->fork_segment_delta > MAXIMUM_FORK_SEGMENTS)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"lightning %s draws #%d bolts with forks of #%d + #%d segments (at most #%d and #%d).", name,
			static_cast<int>(d->apparent_number_of_bolts), static_cast<int>(d->fork_segment_minimum),
			static_cast<int>(d->fork_segment_delta), MAXIMUM_APPARENT_NUMBER_OF_BOLTS, MAXIMUM_FORK_SEGMENTS);
		return FALSE;
	}
	// An area explosion that never grows never reaches anyone and never ends.
	if (d->damage.type != NONE && (d->damage.flags & _damage_area_of_effect_flag) &&
		!(d->damage.flags & _damage_instantaneous_flag) && d->damage.rate_of_expansion <= 0)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"lightning %s has area damage with rate of expansion #%d (must be positive).", name,
			static_cast<int>(d->damage.rate_of_expansion));
		return FALSE;
	}
	return TRUE;
}

int16 lightning_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&lightning_definitions, tag);
}

lightning_definition *get_lightning_definition(int16 type)
{
	return static_cast<lightning_definition *>(try_and_get_definition(&lightning_definitions, type));
}

lightning_data *get_lightning_data(int16 lightning_index)
{
	if (!lightning_module.ready) return nullptr;
	return static_cast<lightning_data *>(try_and_get_datum(&lightning_array, lightning_index));
}

/* ---------- life cycle */

void initialize_lightning(void)
{
	initialize_definitions(&lightning_definitions);
	initialize_data(&lightning_array);
	lightning_module = {};
}

boolean initialize_lightning_for_new_map(void)
{
	initialize_definitions_for_new_map(&lightning_definitions);
	initialize_data_for_new_map(&lightning_array);
	lightning_module.globals = {};
	lightning_module.ready = TRUE;
	return TRUE;
}

void dispose_lightning_from_old_map(void)
{
	if (!lightning_module.ready) return;
	lightning_module.ready = FALSE;
	dispose_data_from_old_map(&lightning_array);
	dispose_definitions_from_old_map(&lightning_definitions);
}

/* ---------- bolts */

static int32 points_for_distance(const lightning_definition *definition, int32 distance)
{
	return distance / (definition->fade_duration < 1 ? 128 : 341);
}

static void start_fading(lightning_data *bolt)
{
	// A dead target asks every tick; the fade starts once.
	if (bolt->state == _lightning_fading) return;
	bolt->state = _lightning_fading;
	bolt->ticks_elapsed_in_state = 0;
}

static boolean object_alive(int16 object_index, int16 object_identifier)
{
	const object_data *object = get_object_data(object_index);
	return object && object->identifier == object_identifier;
}

static void update_lightning_endpoints(lightning_data *bolt, const lightning_definition *definition)
{
	if (bolt->source_object_index != NONE && !object_alive(bolt->source_object_index, bolt->source_object_identifier))
	{
		start_fading(bolt);
	}
	if (bolt->target_object_index == NONE) return;
	if (!object_alive(bolt->target_object_index, bolt->target_object_identifier))
	{
		start_fading(bolt);
		return;
	}
	get_object_point(_object_point_center, bolt->target_object_index, &bolt->end);
	const int32 distance = distance3d(&bolt->start, &bolt->end);
	bolt->time_to_target = distance / definition->velocity;
	bolt->number_of_points = static_cast<int16>(points_for_distance(definition, distance));
}

static int16 object_identifier_or_none(int16 object_index)
{
	const object_data *object = get_object_data(object_index);
	return object ? object->identifier : static_cast<int16>(NONE);
}

static world_distance random_offset(int32 range, int32 bias)
{
	return zerv_random_below(range) - bias;
}

int16 new_lightning(const new_lightning_data *data)
{
	if (!lightning_module.ready || !data || data->type == NONE) return NONE;
	const lightning_definition *definition = get_lightning_definition(data->type);
	if (!definition || definition->velocity <= 0) return NONE;
	const int16 index = new_datum(&lightning_array);
	if (index == NONE) return NONE;
	lightning_data *bolt = get_lightning_data(index);
	bolt->type = data->type;
	bolt->color_table_index = definition->color_table_index;
	bolt->source_object_index = data->source_object_index;
	bolt->source_object_identifier = data->source_object_index != NONE ? object_identifier_or_none(data->source_object_index) : NONE;
	bolt->target_object_index = data->target_object_index;
	bolt->target_object_identifier = data->target_object_index != NONE ? object_identifier_or_none(data->target_object_index) : NONE;
	bolt->start = data->p0;
	bolt->end = data->p1;
	bolt->tip = data->p0;
	update_lightning_endpoints(bolt, definition);
	bolt->last_stained_location = bolt->start;

	const int32 d = distance3d(&bolt->start, &bolt->end), h = d >> 1, q = d >> 2;
	const world_vector3d v = {static_cast<short_world_distance>((bolt->end.x - bolt->start.x) / 4),
		static_cast<short_world_distance>((bolt->end.y - bolt->start.y) / 4),
		static_cast<short_world_distance>((bolt->end.z - bolt->start.z) / 4)};
	bolt->start_control_point.x = bolt->start.x + v.i + random_offset(h, q);
	bolt->start_control_point.y = bolt->start.y + v.j + random_offset(h, q);
	bolt->start_control_point.z = bolt->start.z + v.k + random_offset(q, 0);
	bolt->end_control_point.x = bolt->end.x - v.i + random_offset(h, q);
	bolt->end_control_point.y = bolt->end.y - v.j + random_offset(h, q);
	bolt->end_control_point.z = bolt->end.z - v.k + random_offset(q, 0);
	bolt->time_to_target = d / definition->velocity;
	bolt->number_of_points = static_cast<int16>(
		definition->fade_duration < 1 ? d / 128 : definition->fade_duration < 16 ? d / 160 : d / 341);
	bolt->ticks_elapsed = 0;
	if (bolt->state == _lightning_fading)
	{
		bolt->ticks_elapsed_in_state = 0;
		bolt->state = _lightning_on_way_to_target;
	}
	return index;
}

// The cubic through start, the two control points and end at f/256, per axis.
static world_distance cubic_axis(int64 p0, int64 p1, int64 p2, int64 p3, int64 f)
{
	const int64 c = 3 * (p1 - p0), b = 3 * (p0 - 2 * p1 + p2), a = 3 * (p1 - p2) + p3 - p0;
	const int64 value = ((((((a * f) >> 8) + b) * f) >> 8) + c) * f >> 8;
	return static_cast<world_distance>(value + p0);
}

static world_point3d point_on_bolt(const lightning_data *bolt, int64 f)
{
	return {cubic_axis(bolt->start.x, bolt->start_control_point.x, bolt->end_control_point.x, bolt->end.x, f),
		cubic_axis(bolt->start.y, bolt->start_control_point.y, bolt->end_control_point.y, bolt->end.y, f),
		cubic_axis(bolt->start.z, bolt->start_control_point.z, bolt->end_control_point.z, bolt->end.z, f)};
}

static void sweep_bolt(lightning_data *bolt, const lightning_definition *definition)
{
	const world_point3d last = bolt->last_stained_location, tip = bolt->tip;
	if (last.x == tip.x && last.y == tip.y && last.z == tip.z) return;
	const int32 n = distance3d(&last, &tip) / 128;
	if (n > 0)
	{
		const int64 step_x = (static_cast<int64>(tip.x - last.x) * 65536) / n;
		const int64 step_y = (static_cast<int64>(tip.y - last.y) * 65536) / n;
		const int64 step_z = (static_cast<int64>(tip.z - last.z) * 65536) / n;
		for (int32 k = 0; k < n; ++k)
		{
			const world_point3d p = {static_cast<world_distance>(last.x + ((k * step_x) >> 16)),
				static_cast<world_distance>(last.y + ((k * step_y) >> 16)),
				static_cast<world_distance>(last.z + ((k * step_z) >> 16))};
			if (definition->flags & _lightning_moves_objects_flag)
			{
				damage_data damage = {};
				damage.owner_unit_index = damage.owner_monster_index = damage.owner_monster_identifier = NONE;
				damage.detonation_projectile_group_type = NONE;
				damage.epicenter = p;
				cause_damage(NONE, &definition->damage, &damage);
			}
			if (definition->flags & _lightning_scars_ground_flag)
			{
				const world_point2d q = {p.x, p.y};
				stain_mesh(definition->collection_index, definition->sequence_indexes[_lightning_sequence_stain], &q);
			}
		}
	}
	bolt->last_stained_location = tip;
}

void update_lightning(void)
{
	if (!lightning_module.ready) return;
	for (int16 index = 0; index < lightning_array.count; ++index)
	{
		lightning_data *bolt = get_lightning_data(index);
		if (!bolt) continue;
		const lightning_definition *definition = get_lightning_definition(bolt->type);
		if (!definition)
		{
			delete_datum(&lightning_array, index);
			continue;
		}
		const int64 travelled = static_cast<int64>(definition->velocity) * bolt->ticks_elapsed;
		const int32 D = distance3d(&bolt->start, &bolt->end);
		update_lightning_endpoints(bolt, definition);
		bolt->ticks_elapsed += 1;
		bolt->ticks_elapsed_in_state += 1;
		if (((definition->flags & _lightning_duration_based_on_length_flag) && travelled > static_cast<int64>(D) + definition->bolt_length) ||
			(bolt->state == _lightning_fading && bolt->ticks_elapsed_in_state > definition->fade_duration))
		{
			delete_datum(&lightning_array, index);
			continue;
		}
		if (bolt->state == _lightning_on_way_to_target && bolt->ticks_elapsed_in_state > bolt->time_to_target)
		{
			bolt->state = _lightning_shocking_target;
			bolt->ticks_elapsed_in_state = 0;
		}
		else if (bolt->state == _lightning_shocking_target && bolt->ticks_elapsed_in_state > definition->shock_duration)
		{
			bolt->state = _lightning_fading;
			bolt->ticks_elapsed_in_state = 0;
		}
		if (D == 0)
		{
			bolt->tip = bolt->end;
		}
		else
		{
			const int64 f = (travelled << 8) / D;
			if (f < 0) continue;
			bolt->tip = f >= 256 ? bolt->end : point_on_bolt(bolt, f);
		}
		sweep_bolt(bolt, definition);
	}
}

void change_lightning_endpoints(int16 lightning_index, const world_point3d *start, const world_point3d *end)
{
	lightning_data *bolt = get_lightning_data(lightning_index);
	const lightning_definition *definition = bolt ? get_lightning_definition(bolt->type) : nullptr;
	if (!definition) return;
	if (start) bolt->start = *start;
	if (end) bolt->end = *end;
	const int32 distance = distance3d(&bolt->start, &bolt->end);
	bolt->time_to_target = distance / definition->velocity;
	bolt->number_of_points = static_cast<int16>(points_for_distance(definition, distance));
}

void set_lightning_target(int16 lightning_index, int16 object_index, const world_point3d *end)
{
	lightning_data *bolt = get_lightning_data(lightning_index);
	if (!bolt) return;
	bolt->target_object_index = object_index;
	bolt->target_object_identifier = object_index != NONE ? object_identifier_or_none(object_index) : NONE;
	if (bolt->target_object_identifier == NONE) bolt->target_object_index = NONE;
	change_lightning_endpoints(lightning_index, nullptr, end);
}

void stop_lightning(int16 lightning_index)
{
	lightning_data *bolt = get_lightning_data(lightning_index);
	if (bolt) start_fading(bolt);
}

int16 get_lightning_state(int16 lightning_index)
{
	const lightning_data *bolt = get_lightning_data(lightning_index);
	return bolt ? bolt->state : static_cast<int16>(NONE);
}

boolean get_lightning_follow_state(int16 lightning_index, int16 lightning_identifier, lightning_state_data *state)
{
	const lightning_data *bolt = get_lightning_data(lightning_index);
	if (!bolt || bolt->identifier != lightning_identifier) return FALSE;
	const lightning_definition *definition = get_lightning_definition(bolt->type);
	if (state)
	{
		state->state = bolt->state;
		state->tip = bolt->tip;
		state->end = bolt->end;
		state->target_object_index = bolt->target_object_index;
		state->definition_flags = definition ? definition->flags : 0;
	}
	return TRUE;
}

/* ---------- drawing (local stream only) */

int32 lightning_ground_intensity(int32 h, boolean light_map)
{
	const int16 height = static_cast<int16>(h);
	if (height <= ZERO_REFRACTION_DENSITY_HEIGHT) return 0;
	if (height < 0) return 65536 + 128 * height;
	if (height <= 1024) return 65535;
	int32 intensity;
	if (light_map)
	{
		if (height >= 5120) return 0;
		intensity = 65536 - (((height - 1024) >> 2) * 65536) / 1024;
	}
	else
	{
		if (height >= ZERO_SHADOW_DENSITY_HEIGHT) return 0;
		intensity = 65536 - (static_cast<int32>(height) << 16) / ZERO_SHADOW_DENSITY_HEIGHT;
	}
	// 65536 would wrap the 16-bit intensity to nothing.
	return PIN(intensity, 0, 65535);
}

static int32 lightning_segments_this_frame = 0;

static boolean take_segment_budget(void)
{
	const int32 budget = lightning_test_hooks.segment_budget > 0 ? lightning_test_hooks.segment_budget : MAXIMUM_LIGHTNING_SEGMENTS_PER_FRAME;
	if (lightning_segments_this_frame >= budget) return FALSE;
	lightning_segments_this_frame += 1;
	return TRUE;
}

static void checksum_point(const world_point3d *p)
{
	uint32 c = lightning_test_hooks.surface_checksum;
	const int32 values[] = {p->x, p->y, p->z};
	for (int32 value : values) c = (c ^ static_cast<uint32>(value)) * 16777619u;
	lightning_test_hooks.surface_checksum = c;
}

void render_lightning_shadow(view_data *view, const world_point3d *point, int16 collection_index, int16 sequence_index)
{
	sequence_data *sequence = get_sequence(collection_index, sequence_index);
	const sequence_frame_data *frame = sequence ? get_sequence_frame(sequence, collection_index, sequence_index, 0) : nullptr;
	if (!frame || frame->shadow_map_index == NONE) return;
	const shadow_map_data *shadow = get_shadow_map(collection_index, frame->shadow_map_index);
	if (!shadow) return;
	const boolean light_map = (shadow->flags & _shadow_is_light_map_flag) != 0;
	const world_point2d p = {point->x, point->y};
	const int32 h = static_cast<int16>(point->z - get_mesh_height(&p, _true_height));
	const int32 intensity = lightning_ground_intensity(h, light_map);
	if (intensity <= 0) return;
	if (light_map) lightning_test_hooks.light_maps_drawn += 1;
	else lightning_test_hooks.shadows_drawn += 1;
	if (!view || !view->region || shadow->bitmap_index == NONE) return;
	// A high bolt's shadow falls away from it; its light stays under it.
	const int64 shift = !light_map && h > 1024 ? MIN(h / 2, MAXIMUM_SHADOW_SHIFT) : 0;
	const int64 x0 = shift + point->x -
		((static_cast<int64>(view->region->x0) << WORLD_FRACTIONAL_BITS) + (shadow->registration_point.x >> 10));
	const int64 y0 = shift + point->y -
		((static_cast<int64>(view->region->y0) << WORLD_FRACTIONAL_BITS) + (shadow->registration_point.y >> 10));
	// A corner beyond 16 bits would wrap onto another part of the map.
	if (x0 < -32768 || x0 > 32767 || y0 < -32768 || y0 > 32767) return;
	render_map_overlay *overlay = static_cast<render_map_overlay *>(render_malloc(sizeof(render_map_overlay)));
	memset(overlay, 0, sizeof(*overlay));
	overlay->x0 = static_cast<short_world_distance>(x0);
	overlay->y0 = static_cast<short_world_distance>(y0);
	overlay->collection_index = static_cast<uint8>(collection_index);
	overlay->bitmap_index = static_cast<uint16>(shadow->bitmap_index);
	overlay->density = static_cast<fixed_fraction>(intensity);
	render_map_overlay **list = light_map ? &view->light_map_overlays : &view->shadow_map_overlays;
	overlay->next_map_overlay = *list;
	*list = overlay;
}

// The segment as a picture stretched from p0 to p1 (the picture's width goes
// across), mirrored below the media surface for a reflection.
static void add_segment_sprite(view_data *view, const world_point3d *p0, const world_point3d *p1,
	const lightning_definition *definition, int16 sequence_index, boolean fork, boolean reflection)
{
	render_surface_list *surfaces = view ? view->main_surface_list : nullptr;
	if (!surfaces) return;
	sequence_data *sequence = get_sequence(definition->collection_index, sequence_index);
	if (!sequence || sequence->number_of_views <= 0) return;
	const sequence_frame_data *frame = get_sequence_frame(sequence, definition->collection_index, sequence_index, 0);
	if (!frame) return;
	int16 instance_index;
	memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data), sizeof(instance_index));
	const bitmap_instance_data *instance = get_bitmap_instance(definition->collection_index, instance_index);
	if (!instance) return;
	short_world_point3d t0, t1;
	transform_world_point_to_viewer_space(view, p0, &t0, reflection);
	transform_world_point_to_viewer_space(view, p1, &t1, reflection);
	if (t0.z >= -34) return; // the start at or behind the near plane
	const int64 sx = view->xk - static_cast<int64>(t0.x) * view->world_to_screen_x / t0.z;
	const int64 sy = view->yk + static_cast<int64>(t0.y) * view->world_to_screen_y / t0.z;
	const int64 ex = t1.z < -34 ? view->xk - static_cast<int64>(t1.x) * view->world_to_screen_x / t1.z : sx;
	const int64 ey = t1.z < -34 ? view->yk + static_cast<int64>(t1.y) * view->world_to_screen_y / t1.z : sy;
	if (MAX(sx, ex) < 0 || MIN(sx, ex) >= view->screen_width || MAX(sy, ey) < 0 || MIN(sy, ey) >= view->screen_height) return;
	const world_vector3d direction = {static_cast<int16>(p1->x - p0->x), static_cast<int16>(p1->y - p0->y),
		static_cast<int16>(p1->z - p0->z)};
	if (!direction.i && !direction.j && !direction.k) return;
	const int16 scale = definition->scale > 0 ? definition->scale : static_cast<int16>(256);
	extended_bitmap_surface_data data;
	memset(&data, 0, sizeof(data));
	data.flags = reflection ? 1 : 0;
	data.collection_index = definition->collection_index;
	data.color_table_index = definition->color_table_index;
	if (reflection)
	{
		const media_definition *media = mesh_globals ? get_media_definition(mesh_globals->media_type) : nullptr;
		data.transparency = media ? media->reflection_transparency : 0;
	}
	data.overlap_amount = fork ? definition->fork_overlap_amount : definition->main_bolt_overlap_amount;
	data.world_top = instance->world_right;
	data.world_bottom = instance->world_left;
	data.horizontal_scale = scale;
	data.vertical_scale = static_cast<int16>((static_cast<int32>(scale) * (fork ? 256 : 128)) >> 8);
	// The quad reaches back from its position along the direction: p1 back to p0.
	build_extended_bitmap_surface_triangles(instance, &t1, &direction, view, surfaces, &data);
	lightning_test_hooks.sprites_added += 1;
}

static void draw_bolt_segment(view_data *view, const world_point3d *p0, const world_point3d *p1,
	const lightning_definition *definition, int16 sequence, boolean fork)
{
	if (!take_segment_budget()) return;
	if (fork) lightning_test_hooks.fork_segments_drawn += 1;
	else lightning_test_hooks.segments_drawn += 1;
	checksum_point(p0);
	checksum_point(p1);
	add_segment_sprite(view, p0, p1, definition, sequence, fork, FALSE);
	const mesh_cell *c0 = get_mesh_cell(p0->x >> WORLD_FRACTIONAL_BITS, p0->y >> WORLD_FRACTIONAL_BITS);
	const mesh_cell *c1 = get_mesh_cell(p1->x >> WORLD_FRACTIONAL_BITS, p1->y >> WORLD_FRACTIONAL_BITS);
	if (((c0 && (c0->flags & _mesh_cell_has_reflection_flag)) || (c1 && (c1->flags & _mesh_cell_has_reflection_flag))) &&
		take_segment_budget())
	{
		lightning_test_hooks.reflections_drawn += 1;
		add_segment_sprite(view, p0, p1, definition, sequence, fork, TRUE);
	}
	render_lightning_shadow(view, p1, definition->collection_index, sequence);
}

static int32 abs_distance(int32 value)
{
	return value < 0 ? -value : value;
}

static int32 jitter(int32 J)
{
	if (J < 1) return 0;
	return local_random_below(J) - J / 2;
}

static void draw_fork(view_data *view, const world_point3d *from, const world_point3d *to, const lightning_definition *definition)
{
	const int32 segments = definition->fork_segment_minimum + local_random_below(definition->fork_segment_delta);
	// Each level piece is half as long as the main segment, however steep that is.
	const int32 length = distance3d(from, to) / 2;
	angle direction = arctangent(to->x - from->x, to->y - from->y);
	world_point3d p = *to;
	for (int32 s = 0; s < segments; ++s)
	{
		const int32 turn = local_random_below(2 * static_cast<int32>(definition->angular_limit) + 1) - definition->angular_limit;
		direction = static_cast<angle>(direction + turn);
		world_point3d q = p;
		q.x += (length * angle_cosine(direction)) >> TRIG_SHIFT;
		q.y += (length * angle_sine(direction)) >> TRIG_SHIFT;
		draw_bolt_segment(view, &p, &q, definition, definition->sequence_indexes[_lightning_sequence_fork], TRUE);
		p = q;
	}
}

static void draw_bolt(view_data *view, const mesh_region *region, const lightning_data *bolt, const lightning_definition *definition)
{
	const int64 head = static_cast<int64>(definition->velocity) * bolt->ticks_elapsed;
	const int64 tail = (definition->flags & _lightning_duration_based_on_length_flag) ? head - definition->bolt_length : 0;
	const int32 D = distance3d(&bolt->start, &bolt->end);
	const int32 n = bolt->number_of_points;
	const int32 largest = MAX(MAX(abs_distance(bolt->end.x - bolt->start.x), abs_distance(bolt->end.y - bolt->start.y)),
		abs_distance(bolt->end.z - bolt->start.z));
	const int32 J = static_cast<int32>((static_cast<int64>(largest) << 8) / n / 384);
	const int16 main_sequence = definition->sequence_indexes[_lightning_sequence_main_bolt];
	for (int16 stroke = 0; stroke < definition->apparent_number_of_bolts; ++stroke)
	{
		(void)local_random(); // the stroke's own value, for the sprite
		world_point3d previous = bolt->start;
		for (int32 k = 1; k < n; ++k)
		{
			world_point3d p = point_on_bolt(bolt, (static_cast<int64>(k) << 8) / n);
			p.x += jitter(J), p.y += jitter(J), p.z += jitter(J);
			const int32 along = distance3d(&bolt->start, &p);
			const world_point2d q = {p.x, p.y};
			if (along > tail && along < head && (!region || point_in_visible_mesh_region(&q, region)))
			{
				draw_bolt_segment(view, &previous, &p, definition, main_sequence, FALSE);
				if (local_random() < 16384) draw_fork(view, &previous, &p, definition);
			}
			previous = p;
		}
		if (head >= D && tail < D) draw_bolt_segment(view, &previous, &bolt->end, definition, main_sequence, FALSE);
	}
}

void build_lightning_surface_list(view_data *view, mesh_region *region)
{
	lightning_segments_this_frame = 0;
	if (!lightning_module.ready) return;
	for (int16 index = 0; index < lightning_array.count; ++index)
	{
		const lightning_data *bolt = get_lightning_data(index);
		const lightning_definition *definition = bolt ? get_lightning_definition(bolt->type) : nullptr;
		if (!definition || bolt->number_of_points <= 0) continue;
		draw_bolt(view, region, bolt, definition);
	}
}

/* ---------- digest */

void fold_lightning_digest(zerv_digest *digest)
{
	zerv_digest_int32(digest, lightning_module.globals.ticks_until_next_strike);
	if (lightning_array.data && lightning_module.ready)
	{
		for (int16 index = 0; index < lightning_array.count; ++index)
		{
			const lightning_data *bolt = get_lightning_data(index);
			if (!bolt) continue;
			const int16 words[] = {index, bolt->identifier, bolt->type, bolt->color_table_index, bolt->source_object_index,
				bolt->source_object_identifier, bolt->target_object_index, bolt->target_object_identifier,
				bolt->number_of_points, bolt->state};
			for (int16 word : words) zerv_digest_int16(digest, word);
			const world_point3d *points[] = {&bolt->start, &bolt->end, &bolt->start_control_point, &bolt->end_control_point,
				&bolt->last_stained_location, &bolt->tip};
			for (const world_point3d *p : points)
			{
				zerv_digest_int32(digest, p->x);
				zerv_digest_int32(digest, p->y);
				zerv_digest_int32(digest, p->z);
			}
			zerv_digest_int32(digest, bolt->ticks_elapsed);
			zerv_digest_int32(digest, bolt->ticks_elapsed_in_state);
			zerv_digest_int32(digest, bolt->time_to_target);
		}
	}
	zerv_digest_uint32(digest, datum_globals_digest(&lightning_array));
}
