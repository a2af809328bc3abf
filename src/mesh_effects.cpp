#include "mesh_effects.h"

#include "collection_references.h"
#include "data.h"
#include "error_manager.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "render/render.h"
#include "render/render_world_builders.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code mesh_effect_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _4byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(mesh_effect_definition_bs_data) == sizeof(mesh_effect_definition));

static const mesh_effect_definition default_mesh_effect_definition = {
	0, 0, 0, 0, 0, 0, NONE, static_cast<file_tag>(NONE), NONE, 0, 0, 0, NONE, NONE, NONE, 0};

static void mesh_effect_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	mesh_effect_definition *d = static_cast<mesh_effect_definition *>(definition);
	report(COLLECTION_REFERENCE_GROUP_TAG, d->collection_reference_tag, &d->collection_reference_index);
}

static definition_globals mesh_effect_definitions = {
	"mesh_effect",
	MESH_EFFECT_DEFINITION_GROUP_TAG,
	MESH_EFFECT_DEFINITION_VERSION_NUMBER,
	MAXIMUM_MESH_EFFECT_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(mesh_effect_definition)),
	mesh_effect_definition_dependencies,
	postprocess_mesh_effect_definition,
	nullptr,
	&default_mesh_effect_definition,
	mesh_effect_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static datum_globals mesh_effect_array = {"mesh effect", MAXIMUM_MESH_EFFECTS_PER_MAP, sizeof(mesh_effect_data), 0};

static mesh_effects_test_hooks_data mesh_effects_test_hooks = {};
mesh_effects_test_hooks_data *get_mesh_effects_test_hooks(void) { return &mesh_effects_test_hooks; }
void reset_mesh_effects_test_hooks(void) { mesh_effects_test_hooks = {}; }

definition_globals *get_mesh_effect_definitions(void) { return &mesh_effect_definitions; }
const mesh_effect_definition *get_default_mesh_effect_definition(void) { return &default_mesh_effect_definition; }
int32 get_mesh_effect_definition_tag_header_user_data(const mesh_effect_definition *) { return NONE; }

boolean postprocess_mesh_effect_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	mesh_effect_definition *d = static_cast<mesh_effect_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index =
		definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "mesh effect %s has no collection reference '%s'.", name,
			tag_to_string(d->collection_reference_tag));
		return FALSE;
	}
	d->collection_index = reference->collection_index;
	d->color_table_index = reference->color_table_indexes[0];
	if (!verify_sequence_index(d->collection_index, d->sequence_index))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "mesh effect %s has a bad sequence #%d.", name,
			static_cast<int>(d->sequence_index));
		return FALSE;
	}
	// The ring divides the circle by its point count and fills a fixed table.
	if ((d->flags & _mesh_effect_has_shockwave_flag) &&
		(d->number_of_radial_points < 1 || d->number_of_radial_points > MAXIMUM_RADIAL_POINTS))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "mesh effect %s has #%d radial points (1 to #%d).", name,
			static_cast<int>(d->number_of_radial_points), MAXIMUM_RADIAL_POINTS);
		return FALSE;
	}
	return TRUE;
}

int16 mesh_effect_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&mesh_effect_definitions, tag);
}

mesh_effect_definition *get_mesh_effect_definition(int16 type)
{
	return static_cast<mesh_effect_definition *>(try_and_get_definition(&mesh_effect_definitions, type));
}

mesh_effect_data *get_mesh_effect_data(int16 index)
{
	return static_cast<mesh_effect_data *>(try_and_get_datum(&mesh_effect_array, index));
}

/* ---------- life cycle */

void initialize_mesh_effects(void)
{
	initialize_data(&mesh_effect_array);
	initialize_definitions(&mesh_effect_definitions);
}

void initialize_mesh_effects_for_new_map(void)
{
	initialize_data_for_new_map(&mesh_effect_array);
	initialize_definitions_for_new_map(&mesh_effect_definitions);
}

void dispose_mesh_effects_from_old_map(void)
{
	if (mesh_effect_array.data) dispose_data_from_old_map(&mesh_effect_array);
	if (mesh_effect_definitions.definitions) dispose_definitions_from_old_map(&mesh_effect_definitions);
}

static int32 affected_cell_radius(const mesh_effect_definition *definition)
{
	return (static_cast<int32>(definition->cutoff_radius) + 511) >> 9;
}

static void clamped_region(int32 cx, int32 cy, int32 r, int32 *x0, int32 *y0, int32 *x1, int32 *y1)
{
	*x0 = MAX(0, cx - r);
	*y0 = MAX(0, cy - r);
	*x1 = MIN(mesh_globals->mesh_width - 1, cx + r);
	*y1 = MIN(mesh_globals->mesh_height - 1, cy + r);
}

int16 new_mesh_effect(const new_mesh_effect_data *data)
{
	if (!data || data->type == NONE) return NONE;
	const mesh_effect_definition *definition = get_mesh_effect_definition(data->type);
	if (!definition || !mesh_globals || !mesh_globals->mesh_cells) return NONE;
	const int16 index = new_datum(&mesh_effect_array);
	if (index == NONE) return NONE;
	mesh_effect_data *effect = get_mesh_effect_data(index);
	effect->flags = data->flags;
	effect->type = data->type;
	const sequence_data *sequence = get_sequence(definition->collection_index, definition->sequence_index);
	effect->sequence_ticks_per_frame = sequence ? sequence->ticks_per_frame : 1;
	effect->cell_origin_x = static_cast<int16>((data->origin.x + 256) >> WORLD_FRACTIONAL_BITS);
	effect->cell_origin_y = static_cast<int16>((data->origin.y + 256) >> WORLD_FRACTIONAL_BITS);
	effect->initial_origin_height = get_mesh_height(&data->origin, _true_height);
	effect->elapsed_time = 0;
	effect->current_frame = effect->ticks_per_frame = 0;
	// The camera shake is the observer's, still a least layer.
	if (definition->cutoff_radius >= 1)
	{
		int32 x0, y0, x1, y1;
		clamped_region(effect->cell_origin_x, effect->cell_origin_y, affected_cell_radius(definition) + 1, &x0, &y0, &x1, &y1);
		make_cell_region_high_LOD(x0, y0, x1, y1);
	}
	return index;
}

static int64 crest_height(const mesh_effect_definition *definition, int64 radius)
{
	const int64 fall = 65536 - (radius << 16) / definition->cutoff_radius;
	return (static_cast<int64>(definition->amplitude) * MAX(static_cast<int64>(0), fall)) >> 16;
}

static int64 bump_height(const mesh_effect_definition *definition, int64 crest, int64 radius, int64 d)
{
	const int64 away = radius - d;
	const int64 bump = crest - ((((away * away) >> 9) * definition->dissipation) >> 8);
	return MAX(static_cast<int64>(0), bump);
}

static int16 saturated_height(int32 height, int64 change)
{
	const int64 value = height + change;
	return static_cast<int16>(value > INT16_MAX ? INT16_MAX : value < INT16_MIN ? INT16_MIN : value);
}

static void reseat_objects_in_cell(const mesh_cell *cell)
{
	for (int16 object_index = cell->first_object_index; object_index != NONE;)
	{
		object_data *object = get_object_data(object_index);
		if (!object) break;
		const int16 next = object->next_object_index;
		boolean flies = FALSE;
		if (object->owner == _object_is_monster)
		{
			const monster_definition *kind = get_monster_definition_for_monster(object->owner_index);
			flies = kind && (kind->flags & _monster_flies_flag);
		}
		if ((object->flags & _object_on_ground_flag) && !(object->flags & _object_is_invisible_flag) && !flies)
		{
			const world_point2d p = {object->location.position.x, object->location.position.y};
			const boolean floats = (cell->flags & _mesh_cell_triangle_media_flags) && (object->flags & _object_floats_on_media_flag);
			object->location.position.z = get_mesh_height(&p, floats ? _media_height : _land_height);
		}
		object_index = next;
	}
}

static void apply_mesh_effect(mesh_effect_data *effect, const mesh_effect_definition *definition, int64 radius)
{
	const int64 crest = crest_height(definition, radius);
	int64 previous_radius = radius, previous_crest = 0;
	if (effect->elapsed_time != 0)
	{
		previous_radius = radius - definition->velocity;
		previous_crest = crest_height(definition, previous_radius);
	}
	int32 x0, y0, x1, y1;
	clamped_region(effect->cell_origin_x, effect->cell_origin_y, affected_cell_radius(definition), &x0, &y0, &x1, &y1);
	for (int32 y = y0; y <= y1; ++y)
	{
		for (int32 x = x0; x <= x1; ++x)
		{
			const int64 dx = static_cast<int64>(x - effect->cell_origin_x) << 9, dy = static_cast<int64>(y - effect->cell_origin_y) << 9;
			const int64 d = isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy, static_cast<int64>(UINT32_MAX))));
			int64 change = bump_height(definition, crest, radius, d) - bump_height(definition, previous_crest, previous_radius, d);
			if (definition->flags & _mesh_effect_is_inverted_flag) change = -change;
			mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
			if (change != 0)
			{
				if (cell->flags & _mesh_cell_triangle_media_flags) cell->media_height = saturated_height(cell->media_height, change);
				else cell->height = saturated_height(cell->height, change);
			}
			reseat_objects_in_cell(cell);
		}
	}
	effect->elapsed_time += 1;
}

void update_mesh_effects(void)
{
	if (!mesh_effect_array.data || !mesh_globals || !mesh_globals->mesh_cells) return;
	for (int16 index = 0; index < mesh_effect_array.count; ++index)
	{
		mesh_effect_data *effect = get_mesh_effect_data(index);
		if (!effect) continue;
		const mesh_effect_definition *definition = get_mesh_effect_definition(effect->type);
		if (!definition || definition->cutoff_radius < 1)
		{
			delete_datum(&mesh_effect_array, index);
			continue;
		}
		const int64 radius = static_cast<int64>(definition->velocity) * effect->elapsed_time + definition->epicenter_offset;
		if (radius > definition->cutoff_radius)
		{
			int32 x0, y0, x1, y1;
			clamped_region(effect->cell_origin_x, effect->cell_origin_y, affected_cell_radius(definition) + 1, &x0, &y0, &x1, &y1);
			recalculate_LOD_for_cell_region(x0, y0, x1, y1);
			delete_datum(&mesh_effect_array, index);
			continue;
		}
		apply_mesh_effect(effect, definition, radius);
		if (definition->flags & _mesh_effect_has_shockwave_flag)
		{
			if (effect->ticks_per_frame >= effect->sequence_ticks_per_frame)
			{
				const sequence_data *sequence = get_sequence(definition->collection_index, definition->sequence_index);
				const int16 frames = sequence ? sequence->frames_per_view : 1;
				effect->current_frame = static_cast<int16>(frames > 1 ? (effect->current_frame + 1) % frames : 0);
				effect->ticks_per_frame = 0;
			}
			else
			{
				effect->ticks_per_frame += 1;
			}
		}
	}
}

/* ---------- drawing */

int32 shockwave_transparency(world_distance radius, short_world_distance cutoff_radius)
{
	if (cutoff_radius < 1) return 65535;
	const int16 fraction = static_cast<int16>((static_cast<int64>(radius) * 256) / cutoff_radius);
	return PIN(static_cast<int32>(fraction) * 128 + 32768, 0, 65535);
}

// The ring's picture is the ring seen from above. Each quad takes its radial
// cross-section, a narrow strip down the middle of the picture's upper half
// from the rim (outer edge) to the ring's inner edge, so the quads join into
// one ring instead of each showing the whole picture. Without a plain 8-bit
// picture to measure, the strip runs from the rim to the centre.
struct ring_texture_strip
{
	uint16 u_back, u_front, v_inner, v_outer;
};

static ring_texture_strip ring_strip_of(const bitmap_data *bitmap)
{
	ring_texture_strip strip = {32768 - 2048, 32768 + 2048, 32767, 0};
	if (!bitmap || bitmap->width < 4 || bitmap->height < 2) return strip;
	const int32 width = bitmap->width, height = bitmap->height, column = width / 2;
	strip.u_back = static_cast<uint16>(((column - 1) * 65536) / width);
	strip.u_front = static_cast<uint16>(((column + 1) * 65536) / width);
	const int32 encoded = _1bit_transparency_encoded_flag | _4bit_light_mask_encoded_flag | _4bit_transparency_encoded_flag |
		_no_row_address_table_flag | _bitmap_extended_encoding_flag;
	if ((static_cast<uint16>(bitmap->flags) & encoded) || bitmap->logical_bit_depth != _8bit || !bitmap->row_addresses[0]) return strip;
	int32 first = NONE, last = NONE;
	for (int32 row = 0; row < height / 2; ++row)
	{
		if (!bitmap->row_addresses[row][column]) continue;
		if (first == NONE) first = row;
		last = row;
	}
	if (first == NONE) return strip;
	strip.v_outer = static_cast<uint16>((first * 65536) / height);
	strip.v_inner = static_cast<uint16>(((last + 1) * 65536) / height - 1);
	return strip;
}

// One quad of the ring in viewer space, textured with the ring's current frame.
static void add_ring_quad(view_data *view, const world_point3d *a, const world_point3d *b, const world_point3d *c,
	const world_point3d *d, const bitmap_instance_data *instance, const ring_texture_strip *strip,
	const mesh_effect_definition *definition, int32 transparency)
{
	const world_point3d *points[4] = {a, b, c, d};
	render_quad_data quad;
	memset(&quad, 0, sizeof(quad));
	for (int32 i = 0; i < 4; ++i)
	{
		short_world_point3d t;
		transform_world_point_to_viewer_space(view, points[i], &t, FALSE);
		if (t.z >= -34) return; // at or behind the near plane
		render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(vertex, 0, sizeof(*vertex));
		vertex->p = t;
		quad.vertices[i] = vertex;
		quad.surface_z = static_cast<short_world_distance>(i ? MAX(quad.surface_z, t.z) : t.z);
	}
	quad.flags = _surface_transparent_flag;
	quad.transparency = static_cast<fixed_fraction>(PIN(transparency, 0, 65535));
	quad.collection_index = definition->collection_index;
	quad.color_table_index = definition->color_table_index;
	quad.instance = instance;
	// a, d inner and b, c outer; a, b at the first direction.
	quad.u_back = strip->u_back;
	quad.u_front = strip->u_front;
	quad.v_top = strip->v_inner;
	quad.v_bottom = strip->v_outer;
	quad_into_triangles(view, &quad, view->main_surface_list);
	mesh_effects_test_hooks.quads_added += 1;
}

void render_shockwave(view_data *view, const world_point2d *epicenter, world_distance radius, world_distance height,
	int32 transparency, const mesh_effect_data *effect)
{
	const mesh_effect_definition *definition = effect ? get_mesh_effect_definition(effect->type) : nullptr;
	if (!definition || !mesh_globals || !mesh_globals->mesh_cells) return;
	const int16 n = definition->number_of_radial_points;
	if (n < 1 || n > MAXIMUM_RADIAL_POINTS) return;
	const world_distance x_limit = mesh_globals->mesh_width * WORLD_ONE - 1, y_limit = mesh_globals->mesh_height * WORLD_ONE - 1;
	world_point3d inner[MAXIMUM_RADIAL_POINTS], outer[MAXIMUM_RADIAL_POINTS];
	for (int16 i = 0; i < n; ++i)
	{
		const angle a = static_cast<angle>((static_cast<int32>(i) * 65536) / n);
		const int32 c = angle_cosine(a), s = angle_sine(a);
		const int64 r0 = radius, r1 = static_cast<int64>(radius) + definition->shockwave_thickness;
		inner[i] = {static_cast<world_distance>(PIN(epicenter->x + ((r0 * c) >> TRIG_SHIFT), 0, x_limit)),
			static_cast<world_distance>(PIN(epicenter->y + ((r0 * s) >> TRIG_SHIFT), 0, y_limit)), height};
		outer[i] = {static_cast<world_distance>(PIN(epicenter->x + ((r1 * c) >> TRIG_SHIFT), 0, x_limit)),
			static_cast<world_distance>(PIN(epicenter->y + ((r1 * s) >> TRIG_SHIFT), 0, y_limit)), height};
		mesh_effects_test_hooks.last_outer_points[i] = {outer[i].x, outer[i].y};
	}
	mesh_effects_test_hooks.rings_rendered += 1;
	mesh_effects_test_hooks.quads_rendered += n;
	mesh_effects_test_hooks.last_transparency = transparency;
	mesh_effects_test_hooks.last_point_count = n;
	if (!view || !view->main_surface_list) return;
	// Consecutive directions make the ring's quads, in the sequence's current frame.
	sequence_data *sequence = get_sequence(definition->collection_index, definition->sequence_index);
	if (!sequence || sequence->number_of_views <= 0) return;
	const sequence_frame_data *frame =
		get_sequence_frame(sequence, definition->collection_index, definition->sequence_index, effect->current_frame);
	if (!frame) return;
	int16 instance_index;
	memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data), sizeof(instance_index));
	const bitmap_instance_data *instance = get_bitmap_instance(definition->collection_index, instance_index);
	if (!instance) return;
	const ring_texture_strip strip = ring_strip_of(get_bitmap(definition->collection_index, instance->bitmap_index));
	for (int16 i = 0; i < n; ++i)
	{
		const int16 j = static_cast<int16>((i + 1) % n);
		add_ring_quad(view, &inner[i], &outer[i], &outer[j], &inner[j], instance, &strip, definition, transparency);
	}
}

void build_mesh_effect_surface_list(view_data *view, mesh_region *region)
{
	if (!mesh_effect_array.data) return;
	for (int16 index = 0; index < mesh_effect_array.count; ++index)
	{
		const mesh_effect_data *effect = get_mesh_effect_data(index);
		const mesh_effect_definition *definition = effect ? get_mesh_effect_definition(effect->type) : nullptr;
		if (!definition || !(definition->flags & _mesh_effect_has_shockwave_flag) || definition->cutoff_radius < 1) continue;
		const world_point2d epicenter = {effect->cell_origin_x * WORLD_ONE, effect->cell_origin_y * WORLD_ONE};
		if (region && !point_in_visible_mesh_region(&epicenter, region)) continue;
		const world_distance radius = static_cast<world_distance>(
			static_cast<int64>(definition->velocity) * effect->elapsed_time + definition->epicenter_offset);
		render_shockwave(view, &epicenter, radius, definition->shockwave_height_offset + effect->initial_origin_height,
			shockwave_transparency(radius, definition->cutoff_radius), effect);
	}
}

/* ---------- digest */

void fold_mesh_effects_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&mesh_effect_array));
	if (!mesh_effect_array.data) return;
	for (int16 index = 0; index < mesh_effect_array.count; ++index)
	{
		const mesh_effect_data *effect = get_mesh_effect_data(index);
		if (!effect) continue;
		const int16 words[] = {index, effect->identifier, static_cast<int16>(effect->flags), effect->type,
			effect->sequence_ticks_per_frame, effect->cell_origin_x, effect->cell_origin_y, effect->current_frame,
			effect->ticks_per_frame};
		for (int16 word : words) zerv_digest_int16(digest, word);
		zerv_digest_int32(digest, effect->initial_origin_height);
		zerv_digest_int32(digest, effect->elapsed_time);
	}
}
