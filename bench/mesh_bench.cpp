// Terrain queries, segment walks, precalculation and loading on a 256 x 256
// cell map built in memory like the benchmark map 'bnch'. Points come from a
// fixed local generator, never from the simulation's stream. Each query is
// measured per item, so it reads as a ratio to the plain array read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "bench_generator.h"
#include "markers.h"
#include "mesh.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "world.h"

namespace {

const int32 query_point_count = 1000000;
const int32 short_segment_count = 100000;
const int32 long_segment_count = 10000;
const int16 benchmark_submeshes = 8;


// Rolling terrain with a lake, markers and LOD, stored as the tag holds it.
const std::vector<uint8> &benchmark_map_tag_data(void)
{
	static std::vector<uint8> bytes;
	if (!bytes.empty()) return bytes;

	const int32 width = benchmark_submeshes * SUBMESH_WIDTH, height = width;
	std::vector<mesh_cell> cells(static_cast<size_t>(width * height));
	bench_generator generator = {0xB0C4u};
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			mesh_cell &cell = cells[static_cast<size_t>(y * width + x)];
			const int32 dx = x - 90, dy = y - 150;
			cell.height = static_cast<int16>(((x * 37) % 400) + ((y * 53) % 300) + generator.below(64));
			cell.media_height = 350;
			cell.flags = static_cast<uint16>((_terrain_grass + (x + y) % 5) << 4 | (_terrain_grass + (x * y) % 5));
			if (dx * dx + dy * dy < 900) cell.flags |= _mesh_cell_triangle_media_flags;
			if (x % 17 == 0 && y % 13 == 0) cell.flags = static_cast<uint16>((cell.flags & ~CELL_TERRAIN_MASK) | 0xEE);
			cell.first_object_index = NONE;
			cell.model_index = NONE;
		}
	}
	std::vector<marker_palette_entry> palette(64);
	for (int32 i = 0; i < 64; ++i)
	{
		palette[i] = {};
		palette[i].type = static_cast<int16>(i < 16 ? _marker_monster : _marker_scenery);
		palette[i].tag = TAG("bnch") + static_cast<file_tag>(i);
		palette[i].team_index = static_cast<int16>(i < 16 ? i % 8 : NONE);
		palette[i].extra_flags = 0xFFFF;
		palette[i].tag_index = NONE;
	}
	std::vector<marker_data> markers(1500);
	for (int32 i = 0; i < 1500; ++i)
	{
		markers[i] = {};
		markers[i].type = static_cast<int16>(i % 3 == 0 ? _marker_monster : _marker_scenery);
		markers[i].palette_index = static_cast<int16>(i % 16);
		markers[i].location.position = {generator.below(width * 512), generator.below(height * 512), 0};
		markers[i].data_index = NONE;
		markers[i].data_identifier = NONE;
	}
	std::vector<uint16> coverage(static_cast<size_t>(height * 8 * 8));
	const int32 coverage_words = build_media_coverage_from_cells(cells.data(), width, height, coverage.data(),
		static_cast<int32>(coverage.size()));
	std::vector<uint16> LOD(static_cast<size_t>((width / 2) * (height / 2)), 0);

	mesh_tag_contents contents = {};
	initialize_mesh_header(&contents.header, benchmark_submeshes, benchmark_submeshes);
	contents.cells = cells.data();
	contents.palette = palette.data();
	contents.palette_count = static_cast<int32>(palette.size());
	contents.markers = markers.data();
	contents.marker_count = static_cast<int32>(markers.size());
	contents.media_coverage_region = coverage.data();
	contents.media_coverage_region_words = coverage_words;
	contents.LOD_data = LOD.data();
	contents.LOD_data_words = static_cast<int32>(LOD.size());
	int32 size = 0;
	uint8 *data = build_mesh_tag_data(&contents, &size);
	if (data) bytes.assign(data, data + size);
	dispose_pointer(data);
	return bytes;
}

void load_benchmark_map(void)
{
	static bool initialized = false;
	if (!initialized)
	{
		initialize_world();
		initialize_mesh();
		initialize_markers();
		initialized = true;
	}
	const std::vector<uint8> &bytes = benchmark_map_tag_data();
	if (!load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), MESH_VERSION_NUMBER, "bnch"))
	{
		std::abort();
	}
	precalculate_mesh_normals(0, 0, mesh_globals->mesh_width, mesh_globals->mesh_height);
	recalculate_LOD_for_cell_region(0, 0, mesh_globals->mesh_width - 1, mesh_globals->mesh_height - 1);
}

// 5% of the points lie off the map, some far away.
const std::vector<world_point2d> &query_points(void)
{
	static std::vector<world_point2d> points;
	if (!points.empty()) return points;
	bench_generator generator = {0x51DEu};
	const int32 extent = benchmark_submeshes * SUBMESH_WIDTH * WORLD_ONE;
	points.resize(query_point_count);
	for (world_point2d &p : points)
	{
		if (generator.below(20) == 0)
		{
			p.x = generator.below(6 * extent) - 3 * extent;
			p.y = -generator.below(extent) - 1;
			if (generator.below(2)) std::swap(p.x, p.y);
		}
		else
		{
			p.x = generator.below(extent);
			p.y = generator.below(extent);
		}
	}
	return points;
}

void BM_plain_array_read(benchmark::State &state)
{
	load_benchmark_map();
	const std::vector<world_point2d> &points = query_points();
	const int32 mask = mesh_globals->cell_count - 1;
	for (auto _ : state)
	{
		int32 sum = 0;
		for (const world_point2d &p : points) sum += mesh_globals->mesh_cells[(p.x ^ p.y) & mask].height;
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(state.iterations() * query_point_count);
}
BENCHMARK(BM_plain_array_read);

void BM_mesh_queries(benchmark::State &state)
{
	load_benchmark_map();
	const std::vector<world_point2d> &points = query_points();
	const int32 query = static_cast<int32>(state.range(0));
	for (auto _ : state)
	{
		int32 sum = 0;
		for (const world_point2d &p : points)
		{
			switch (query)
			{
			case 0: sum += get_mesh_height(&p, _true_height); break;
			case 1: sum += get_mesh_height(&p, _land_height); break;
			case 2: sum += get_mesh_height(&p, _media_height); break;
			case 3: sum += get_mesh_cell(p.x >> WORLD_FRACTIONAL_BITS, p.y >> WORLD_FRACTIONAL_BITS)->flags; break;
			case 4: sum += get_mesh_terrain_type(&p); break;
			default: sum += get_mesh_normal(&p)->k; break;
			}
		}
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(state.iterations() * query_point_count);
	static const char *const labels[] = {"true height", "land height", "media height", "cell", "terrain type",
		"normal"};
	state.SetLabel(labels[query]);
}
BENCHMARK(BM_mesh_queries)->DenseRange(0, 5);

int32 walked;

boolean count_cell(int32, int32, const world_point2d *, const world_point2d *)
{
	walked += 1;
	return FALSE;
}

void BM_segment_walks(benchmark::State &state)
{
	load_benchmark_map();
	const bool long_segments = state.range(0) != 0;
	const int32 count = long_segments ? long_segment_count : short_segment_count;
	std::vector<std::pair<world_point2d, world_point2d>> segments(static_cast<size_t>(count));
	bench_generator generator = {0x5E6u};
	const int32 extent = benchmark_submeshes * SUBMESH_WIDTH * WORLD_ONE;
	for (auto &segment : segments)
	{
		const int32 length = (long_segments ? 64 + generator.below(193) : 1 + generator.below(16)) * WORLD_ONE;
		segment.first = {generator.below(extent), generator.below(extent)};
		const int32 dx = generator.below(2 * length + 1) - length;
		const int32 dy = (generator.below(2) ? 1 : -1) * (length - (dx < 0 ? -dx : dx));
		segment.second = {segment.first.x + dx, segment.first.y + dy};
	}
	for (auto _ : state)
	{
		walked = 0;
		for (const auto &segment : segments)
		{
			obstruction_in_cells_crossed_by_segment(&segment.first, &segment.second, count_cell);
		}
		benchmark::DoNotOptimize(walked);
	}
	state.SetItemsProcessed(state.iterations() * count);
	state.SetLabel(long_segments ? "64-256 cells" : "1-16 cells");
}
BENCHMARK(BM_segment_walks)->Arg(0)->Arg(1);

void BM_mesh_precalculation(benchmark::State &state)
{
	load_benchmark_map();
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	for (auto _ : state)
	{
		switch (state.range(0))
		{
		case 0: precalculate_mesh_flags(0, 0, width, height); break;
		case 1: precalculate_mesh_normals(0, 0, width, height); break;
		default: recalculate_LOD_for_cell_region(0, 0, width - 1, height - 1); break;
		}
	}
	state.SetItemsProcessed(state.iterations() * width * height);
	static const char *const labels[] = {"flags", "normals", "LOD"};
	state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_mesh_precalculation)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_mesh_load(benchmark::State &state)
{
	load_benchmark_map();
	const std::vector<uint8> &bytes = benchmark_map_tag_data();
	for (auto _ : state)
	{
		load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), MESH_VERSION_NUMBER, "bnch");
		dispose_mesh_from_old_map();
	}
	load_benchmark_map();
	state.SetLabel("in-memory block");
}
BENCHMARK(BM_mesh_load)->Unit(benchmark::kMillisecond);

// The generated 'bnch' through the definition loader, with its collection,
// media and description, from the tag set in the working directory.
void BM_mesh_load_from_tag_set(benchmark::State &state)
{
	load_benchmark_map();
	dispose_mesh_from_old_map();
	// Other benchmarks of this program open tag sets of their own in other
	// folders, so the generated set of the build tree is opened each time.
	char previous_directory[4096];
	if (!getcwd(previous_directory, sizeof(previous_directory)) || chdir(ZERV_BINARY_DIR) != 0)
	{
		state.SkipWithError("no build directory");
		return;
	}
	initialize_shapes();
	initialize_string_definitions();
	initialize_media_definitions();
	tag_files_initialize();
	const bool opened = tag_files_open(FALSE, nullptr, 0, NONE) && tag_file_exists(MESH_DEFINITION_GROUP_TAG, TAG("bnch"));
	if (chdir(previous_directory) != 0) fprintf(stderr, "couldn't go back to %s\n", previous_directory);
	if (!opened)
	{
		state.SkipWithError("no generated tag set in the build directory");
		return;
	}
	for (auto _ : state)
	{
		initialize_shapes_for_new_map(FALSE);
		initialize_string_definitions_for_new_map();
		initialize_media_definitions_for_new_map();
		if (!initialize_mesh_for_new_map(TAG("bnch")))
		{
			state.SkipWithError("'bnch' did not load");
			break;
		}
		dispose_mesh_from_old_map();
		dispose_media_definitions_from_old_map();
		dispose_string_definitions_from_old_map();
		dispose_shapes_from_old_map();
	}
	load_benchmark_map();
	state.SetLabel("tag set");
}
BENCHMARK(BM_mesh_load_from_tag_set)->Unit(benchmark::kMillisecond);

} // namespace
