// Arbitrary bytes as a 'mesh' tag's data: the header is converted (the first
// editor-data byte picks a stored version 5..11, 0 meaning 11), the data
// block checked and decoded, then everything that rests on it is
// precalculated (normals over windows) and queried.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "markers.h"
#include "mesh.h"
#include "world.h"

static const int32 NORMAL_WINDOW = 8;

static void check(bool condition)
{
	if (!condition) std::abort();
}

static int16 version_of(const uint8_t *data, size_t size)
{
	const size_t selector = offsetof(mesh_header, editor_data);
	if (size <= selector) return MESH_VERSION_NUMBER;
	return static_cast<int16>(MESH_VERSION_NUMBER - data[selector] % 7);
}

static boolean never_obstructed(int32, int32, const world_point2d *, const world_point2d *)
{
	return FALSE;
}

static boolean always_obstructed(int32, int32, const world_point2d *, const world_point2d *)
{
	return TRUE;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static bool initialized = false;
	if (!initialized)
	{
		initialize_world();
		initialize_mesh();
		initialize_markers();
		initialized = true;
	}
	if (size > 64 * 1024 * 1024) return 0;

	if (load_mesh_from_tag_data(data, static_cast<int32>(size), version_of(data, size), "fuzz"))
	{
		const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
		check(width >= SUBMESH_WIDTH && height >= SUBMESH_WIDTH);
		// Normals cost a search per triangle: two windows, one where the
		// input says and one at the far corner (where neighbours run out),
		// keep an input's work bounded whatever the map's size.
		const int32 window_x = static_cast<int32>(size % static_cast<size_t>(width));
		const int32 window_y = static_cast<int32>((size / 7) % static_cast<size_t>(height));
		precalculate_mesh_normals(window_x, window_y, window_x + NORMAL_WINDOW, window_y + NORMAL_WINDOW);
		precalculate_mesh_normals(width - NORMAL_WINDOW, height - NORMAL_WINDOW, width, height);
		precalculate_mesh_flags(0, 0, width, height);
		recalculate_LOD_for_cell_region(0, 0, width - 1, height - 1);
		make_cell_region_high_LOD(width / 2, height / 2, width / 2 + 3, height / 2 + 3);
		initialize_markers_for_new_map();

		// Every off-map point maps inside the array.
		for (int32 t = -3; t < width + height + 3; t += 5)
		{
			check(get_mesh_cell_index(t, -7) < mesh_globals->cell_count);
			check(get_mesh_cell_index(-7, t) < mesh_globals->cell_count);
			check(get_mesh_cell_index(t, height + 9) < mesh_globals->cell_count);
			check(get_mesh_cell_index(width + 9, t) < mesh_globals->cell_count);
		}
		// Heights interpolate between vertices; those past the array count as 0.
		const int32 lowest = mesh_globals->min_cell_height < 0 ? mesh_globals->min_cell_height : 0;
		const int32 highest = mesh_globals->max_cell_height > 0 ? mesh_globals->max_cell_height : 0;
		const precalculated_normal_data *normals = get_precalculated_normal(0);
		for (int32 i = 0; i < 64; ++i)
		{
			const world_point2d p = {static_cast<world_distance>((i * 7919) % (width * 600)) - 512,
				static_cast<world_distance>((i * 104729) % (height * 600)) - 512};
			const short_world_distance ground = get_mesh_height(&p, _true_height);
			check(ground == NONRENDERED_CELL_HEIGHT || (ground >= lowest && ground <= highest));
			for (int16 type = 0; type < NUMBER_OF_MESH_HEIGHT_TYPES; ++type) (void)get_mesh_height(&p, type);
			const int16 terrain = get_mesh_terrain_type(&p);
			check(terrain >= 0 && terrain < NUMBER_OF_TERRAIN_TYPES);
			const world_vector3d *normal = get_mesh_normal(&p);
			check(normal >= &normals[0].normal && normal <= &normals[NUMBER_OF_PRECALCULATED_NORMALS - 1].normal);
			const world_point2d q = {p.y, p.x};
			check(!obstruction_in_cells_crossed_by_segment(&p, &q, never_obstructed));
			check(obstruction_in_cells_crossed_by_segment(&p, &q, always_obstructed));
		}

		// The markers scan without leaving the list.
		scan_markers_state state;
		new_scan_markers_state(&state, NONE, NONE, NONE);
		int32 seen = 0;
		while (scan_markers(&state)) seen += 1;
		check(seen == mesh_globals->marker_count);
		for (int16 type = 0; type < NUMBER_OF_MARKER_TYPES; ++type) (void)get_marker_palette_entry(type, 0);
	}
	dispose_mesh_from_old_map();
	return 0;
}
