#include "connectors.h"

#include <cstring>

#include "collection_references.h"
#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "render/render.h"
#include "scenery.h"
#include "shapes.h"
#include "bitmaps.h"
#include "error_manager.h"
#include "world.h"
#include "zerv.h"

datum_globals connector_array = {"connectors", MAXIMUM_CONNECTORS_PER_MAP, sizeof(connector_data), 0};

static connectors_test_hooks_data connectors_test_hooks = {};

connectors_test_hooks_data *get_connectors_test_hooks(void)
{
	return &connectors_test_hooks;
}

void reset_connectors_test_hooks(void)
{
	connectors_test_hooks = {};
}

static inline int32 abs_int32(int32 value)
{
	return value < 0 ? -value : value;
}

/* ---------- life cycle */

void initialize_connectors(void)
{
	connector_array.maximum_count = MAXIMUM_CONNECTORS_PER_MAP;
	initialize_data(&connector_array);
	initialize_connector_definitions();
}

boolean initialize_connectors_for_new_map(void)
{
	initialize_data_for_new_map(&connector_array);
	initialize_connector_definitions_for_new_map();
	return TRUE;
}

void dispose_connectors_from_old_map(void)
{
	dispose_data_from_old_map(&connector_array);
	dispose_connector_definitions_from_old_map();
}

connector_data *get_connector_data(int16 connector_index)
{
	return static_cast<connector_data *>(try_and_get_datum(&connector_array, connector_index));
}

static const object_data *post_object(const connector_object *post)
{
	const object_data *object = get_object_data(post->object_index);
	return object && object->identifier == post->object_identifier ? object : nullptr;
}

/* ---------- cells */

static void set_cell(int32 x, int32 y, uint8 terrain)
{
	if (set_cell_terrain_byte(x, y, terrain)) update_monster_impassability_for_cell(x, y);
}

void set_cells_between_points(const world_point2d *p0, const world_point2d *p1, boolean impassable)
{
	if (!p0 || !p1 || !mesh_globals || !mesh_globals->mesh_cells) return;
	const uint8 terrain = impassable ? BLOCKED_CELL_TERRAIN : FREE_CELL_TERRAIN;
	const int32 x0 = p0->x >> WORLD_FRACTIONAL_BITS, y0 = p0->y >> WORLD_FRACTIONAL_BITS;
	const int32 x1 = p1->x >> WORLD_FRACTIONAL_BITS, y1 = p1->y >> WORLD_FRACTIONAL_BITS;
	const int32 dx = x1 - x0, dy = y1 - y0;
	if (dx == 0)
	{
		const int32 step = dy < 0 ? -1 : 1;
		for (int32 y = y0;; y += step)
		{
			set_cell(x0, y, terrain);
			if (y == y1) break;
		}
		return;
	}
	if (dy == 0)
	{
		const int32 step = dx < 0 ? -1 : 1;
		for (int32 x = x0;; x += step)
		{
			set_cell(x, y0, terrain);
			if (x == x1) break;
		}
		return;
	}
	// Sloped: step along the longer axis, the shorter in 8.8 fixed point; the
	// cell entered on the shorter axis is marked too, so the span has no gaps.
	const boolean x_major = abs_int32(dx) >= abs_int32(dy);
	const int32 long0 = x_major ? x0 : y0, long1 = x_major ? x1 : y1;
	const int32 long_delta = x_major ? dx : dy, short_delta = x_major ? dy : dx;
	const int32 step = long_delta < 0 ? -1 : 1;
	const int32 slope = (short_delta * 256) / abs_int32(long_delta);
	int32 short_fixed_position = ((x_major ? y0 : x0) << 8) + 128;
	int32 previous_short = short_fixed_position >> 8;
	for (int32 l = long0;; l += step)
	{
		const int32 s = short_fixed_position >> 8;
		if (s != previous_short)
		{
			if (x_major) set_cell(l, previous_short, terrain);
			else set_cell(previous_short, l, terrain);
			previous_short = s;
		}
		if (x_major) set_cell(l, s, terrain);
		else set_cell(s, l, terrain);
		if (l == long1) break;
		short_fixed_position += slope;
	}
}

void kill_cells_for_connector(int16 connector_index, boolean impassable)
{
	const connector_data *connector = get_connector_data(connector_index);
	if (!connector) return;
	const int16 count = static_cast<int16>(PIN(connector->connector_count, 0, MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS));
	for (int16 i = 0; i < count; ++i)
	{
		const connector_object *post = &connector->objects[i];
		if (!(post->flags & _connector_object_linked_to_next_object_flag)) continue;
		const connector_object *next = &connector->objects[(i + 1) % count];
		const object_data *a = post_object(post), *b = post_object(next);
		if (!a || !b) continue;
		const world_point2d pa = {a->location.position.x, a->location.position.y};
		const world_point2d pb = {b->location.position.x, b->location.position.y};
		set_cells_between_points(&pa, &pb, impassable);
	}
}

/* ---------- creation */

int16 new_connector(const new_connector_data *data)
{
	if (!data || data->type == NONE || !get_connector_definition(data->type)) return NONE;
	// Saved counts are refused above 31 on load; requests are clamped.
	const int16 count = static_cast<int16>(PIN(data->connector_count, 0, MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS));
	boolean any = FALSE;
	for (int16 i = 0; i < count; ++i) any |= data->object_id[i].object_index != NONE;
	if (!any) return NONE;
	const int16 connector_index = new_datum(&connector_array);
	if (connector_index == NONE) return NONE;
	connector_data *connector = get_connector_data(connector_index);
	const int16 identifier = connector->identifier;
	memset(connector, 0, sizeof(*connector));
	connector->identifier = identifier;
	connector->type = data->type;
	connector->connector_count = count;
	connector->color_table_index = get_connector_definition(data->type)->color_table_index;
	for (int16 i = 0; i < count; ++i)
	{
		connector_object *post = &connector->objects[i];
		post->object_index = data->object_id[i].object_index;
		post->object_identifier = data->object_id[i].object_identifier;
		const object_data *object = post_object(post);
		if (post->object_index == NONE || !object)
		{
			post->flags = 0;
			if (i > 0) connector->objects[i - 1].flags &= static_cast<uint16>(~_connector_object_linked_to_next_object_flag);
			continue;
		}
		post->location = {object->location.position.x, object->location.position.y};
		// The last post never links back to the first.
		post->flags = i + 1 < count ? static_cast<uint16>(_connector_object_linked_to_next_object_flag) : 0;
	}
	kill_cells_for_connector(connector_index, TRUE);
	return connector_index;
}

int16 new_connector_from_saved_data(int16 type, const saved_connector_data *saved)
{
	if (!saved) return NONE;
	new_connector_data request = {};
	request.type = type;
	request.connector_count = static_cast<int16>(PIN(saved->count, 0, MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS));
	for (int16 i = 0; i < request.connector_count; ++i)
	{
		const marker_data *marker = get_marker_by_identifier(_marker_scenery, saved->identifiers[i]);
		const object_data *object = marker ? get_object_data(marker->data_index) : nullptr;
		request.object_id[i].object_index = object ? marker->data_index : static_cast<int16>(NONE);
		request.object_id[i].object_identifier = object ? object->identifier : static_cast<int16>(NONE);
	}
	return new_connector(&request);
}

void create_connectors_for_new_map(void)
{
	if (!mesh_globals || !mesh_globals->header || !mesh_globals->connectors) return;
	const int16 type = mesh_globals->header->connector_type;
	if (type == NONE) return;
	for (int32 i = 0; i < mesh_globals->connector_count; ++i) new_connector_from_saved_data(type, &mesh_globals->connectors[i]);
}

void delete_connector(int16 connector_index)
{
	if (!get_connector_data(connector_index)) return;
	kill_cells_for_connector(connector_index, FALSE);
	delete_datum(&connector_array, connector_index);
}

/* ---------- update */

static void cut_span(connector_data *connector, int16 from)
{
	const int16 count = connector->connector_count;
	connector_object *post = &connector->objects[from];
	if (!(post->flags & _connector_object_linked_to_next_object_flag)) return;
	set_cells_between_points(&post->location, &connector->objects[(from + 1) % count].location, FALSE);
	post->flags &= static_cast<uint16>(~_connector_object_linked_to_next_object_flag);
}

void update_connectors(void)
{
	for (int16 c = 0; c < connector_array.count; ++c)
	{
		connector_data *connector = get_connector_data(c);
		if (!connector) continue;
		connector->connector_count = static_cast<int16>(PIN(connector->connector_count, 0, MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS));
		for (int16 i = static_cast<int16>(connector->connector_count - 1); i >= 0; --i)
		{
			connector_object *post = &connector->objects[i];
			const object_data *object = post_object(post);
			if (object)
			{
				post->location = {object->location.position.x, object->location.position.y};
				continue;
			}
			const int16 count = connector->connector_count;
			cut_span(connector, static_cast<int16>((i + count - 1) % count));
			cut_span(connector, i);
			memmove(&connector->objects[i], &connector->objects[i + 1], sizeof(connector_object) * (count - i - 1));
			connector->connector_count -= 1;
		}
	}
}

/* ---------- drawing (the render least layer until the renderer lands) */

void build_connector_surface_list(view_data *view, const mesh_region *region)
{
	for (int16 c = 0; c < connector_array.count; ++c)
	{
		const connector_data *connector = get_connector_data(c);
		const connector_definition *definition = connector ? get_connector_definition(connector->type) : nullptr;
		if (!definition) continue;
		const int16 count = connector->connector_count;
		for (int16 i = 0; i < count; ++i)
		{
			if (!(connector->objects[i].flags & _connector_object_linked_to_next_object_flag)) continue;
			const object_data *a = post_object(&connector->objects[i]);
			const object_data *b = post_object(&connector->objects[(i + 1) % count]);
			if (!a || !b) continue;
			world_point3d ends[2] = {a->location.position, b->location.position};
			const object_data *posts[2] = {a, b};
			for (int32 e = 0; e < 2; ++e)
			{
				ends[e].z += (definition->origin_object_height_fraction * (posts[e]->height0 + posts[e]->height1)) >> 8;
			}
			const int32 pieces = MAX(1, distance3d(&ends[0], &ends[1]) / MAX(1, static_cast<int32>(definition->distance_between_interpolants)));
			for (int32 p = 0; p < pieces; ++p)
			{
				world_point3d p0, p1;
				p0.x = ends[0].x + (ends[1].x - ends[0].x) * p / pieces;
				p0.y = ends[0].y + (ends[1].y - ends[0].y) * p / pieces;
				p0.z = ends[0].z + (ends[1].z - ends[0].z) * p / pieces;
				p1.x = ends[0].x + (ends[1].x - ends[0].x) * (p + 1) / pieces;
				p1.y = ends[0].y + (ends[1].y - ends[0].y) * (p + 1) / pieces;
				p1.z = ends[0].z + (ends[1].z - ends[0].z) * (p + 1) / pieces;
				const world_point2d q0 = {p0.x, p0.y}, q1 = {p1.x, p1.y};
				if (region && !point_in_visible_mesh_region(&q0, region) && !point_in_visible_mesh_region(&q1, region)) continue;
				render_connector(view, &p0, &p1, definition->collection_index, definition->normal_sequence_index,
					connector->color_table_index, FALSE);
				const mesh_cell *c0 = get_mesh_cell(q0.x >> WORLD_FRACTIONAL_BITS, q0.y >> WORLD_FRACTIONAL_BITS);
				const mesh_cell *c1 = get_mesh_cell(q1.x >> WORLD_FRACTIONAL_BITS, q1.y >> WORLD_FRACTIONAL_BITS);
				if ((c0 && (c0->flags & _mesh_cell_has_reflection_flag)) || (c1 && (c1->flags & _mesh_cell_has_reflection_flag)))
				{
					render_connector(view, &p0, &p1, definition->collection_index, definition->normal_sequence_index,
						connector->color_table_index, TRUE);
				}
			}
		}
	}
}

// The first frame's first view of the normal sequence; NULL, with one line
// per bad sequence, when it has none.
static const bitmap_instance_data *connector_instance(int16 collection_index, int16 sequence_index)
{
	static int32 refused = NONE; // the last sequence refused, so that a bad fence logs once
	const bitmap_instance_data *instance = connector_first_frame_instance(collection_index, sequence_index);
	if (instance) return instance;
	const int32 key = (static_cast<int32>(collection_index) << 16) | static_cast<uint16>(sequence_index);
	if (key != refused)
	{
		log_message(MODULE_NAME, __LINE__, "connector sequence #%d of collection #%d has no drawable first frame.",
			sequence_index, collection_index);
		refused = key;
	}
	return nullptr;
}

void render_connector(view_data *view, const world_point3d *p0, const world_point3d *p1, int16 collection_index,
	int16 sequence_index, int16 color_table_index, boolean reflective)
{
	connectors_test_hooks.pieces_rendered += 1;
	if (reflective) connectors_test_hooks.reflections_rendered += 1;
	if (!view || !p0 || !p1 || !view->main_surface_list) return;
	const bitmap_instance_data *instance = connector_instance(collection_index, sequence_index);
	if (!instance) return;

	// A, B at p0 (top, bottom), C, D at p1 (bottom, top), between the bitmap's world heights.
	const world_point3d world[4] = {{p0->x, p0->y, p0->z + instance->world_top},
		{p0->x, p0->y, p0->z + instance->world_bottom}, {p1->x, p1->y, p1->z + instance->world_bottom},
		{p1->x, p1->y, p1->z + instance->world_top}};
	short_world_point3d corners[4];
	for (int32 i = 0; i < 4; ++i)
	{
		transform_world_point_to_viewer_space(view, &world[i], &corners[i], reflective);
		if (corners[i].z >= -MINIMUM_VIEW_DISTANCE) return;
	}

	// Depth correction: the piece is cut into strips, each exact in texture at
	// its edges, as many as the far end's depth is a multiple of the near's.
	const int32 near_depth = MIN(-corners[0].z, -corners[3].z), far_depth = MAX(-corners[0].z, -corners[3].z);
	const int32 strips = PIN(far_depth / MAX(near_depth, 1), 1, 8);
	// Sorted by the piece's nearer end, as an object by its foot, so the ground beneath draws first.
	const world_distance surface_z = MAX(MAX(corners[0].z, corners[1].z), MAX(corners[2].z, corners[3].z));
	render_vertex *previous[2] = {nullptr, nullptr};
	for (int32 k = 0; k <= strips; ++k)
	{
		render_vertex *column[2];
		for (int32 e = 0; e < 2; ++e)
		{
			const short_world_point3d &a = corners[e == 0 ? 0 : 1], &b = corners[e == 0 ? 3 : 2];
			render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
			memset(vertex, 0, sizeof(*vertex));
			vertex->p.x = static_cast<short_world_distance>(a.x + (b.x - a.x) * k / strips);
			vertex->p.y = static_cast<short_world_distance>(a.y + (b.y - a.y) * k / strips);
			vertex->p.z = static_cast<short_world_distance>(a.z + (b.z - a.z) * k / strips);
			column[e] = vertex;
		}
		if (k > 0)
		{
			render_quad_data quad;
			memset(&quad, 0, sizeof(quad));
			quad.vertices[0] = previous[0];
			quad.vertices[1] = previous[1];
			quad.vertices[2] = column[1];
			quad.vertices[3] = column[0];
			quad.flags = static_cast<uint16>(reflective ? _surface_reflection_flag : 0);
			quad.collection_index = collection_index;
			quad.color_table_index = color_table_index;
			quad.instance = instance;
			quad.surface_z = static_cast<short_world_distance>(surface_z);
			quad.u_back = static_cast<uint16>((65535 * (k - 1)) / strips);
			quad.u_front = static_cast<uint16>((65535 * k) / strips);
			// Row 0 at the top; a reflection is drawn upside down already.
			quad.v_top = 0;
			quad.v_bottom = 65535;
			quad_into_triangles(view, &quad, view->main_surface_list);
		}
		previous[0] = column[0];
		previous[1] = column[1];
	}
}

/* ---------- digest */

void fold_connectors_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&connector_array));
	if (!connector_array.data) return;
	for (int16 c = 0; c < connector_array.count; ++c)
	{
		const connector_data *connector = get_connector_data(c);
		if (!connector) continue;
		const int16 words[] = {c, connector->identifier, connector->type, connector->color_table_index, connector->connector_count};
		for (int16 word : words) zerv_digest_int16(digest, word);
		for (int16 i = 0; i < PIN(connector->connector_count, 0, MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS); ++i)
		{
			const connector_object *post = &connector->objects[i];
			zerv_digest_int16(digest, static_cast<int16>(post->flags));
			zerv_digest_int16(digest, post->object_index);
			zerv_digest_int16(digest, post->object_identifier);
			zerv_digest_int32(digest, post->location.x);
			zerv_digest_int32(digest, post->location.y);
		}
	}
}
