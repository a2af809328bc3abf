// Pathfinding: a best-first cell search inside a 128 x 128 box around the
// start, smoothed into straight segments, and the bending of a unit's next
// waypoint around the solid objects just ahead of it. Runs inside the tick:
// integer arithmetic only, no random draws, no allocation after start-up.
#include "path.h"

#include <cstring>

#include "alliances.h"
#include "error_manager.h"
#include "fire.h"
#include "memory.h"
#include "mesh.h"
#include "models.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "object_definitions.h"
#include "objects.h"
#include "pathfinding_radius.h"
#include "scenery_definitions.h"
#include "world.h"
#include "zerv.h"

#define BOX_CELL_COUNT (PATH_BOX_WIDTH * PATH_BOX_WIDTH)
#define DIRECTION_BUFFER_SIZE 1028
#define MAXIMUM_CORNERS (MAXIMUM_TEMPORARY_WAYPOINTS - 1)
#define MAXIMUM_COST 32767

template <typename type>
static inline type ABS(type v) { return v < 0 ? -v : v; }

datum_globals path_array = {"path", MAXIMUM_PATHS, sizeof(postprocessed_path_data), 0};

static path_node *nodes = nullptr;
// The visited set: a cell of the box is visited when its stamp is the
// search's; the stamps are cleared only when the count wraps.
static uint8 *visited = nullptr;
static uint8 visited_stamp = 0;
static int8 *direction_buffer = nullptr;
// The open list's per-total heads and occupancy bits.
static int32 *open_heads = nullptr;
static uint64 *open_bits = nullptr;

static obstruction_avoidance_globals avoidance = {};
static int16 avoidance_step_count = 0;
static path_test_hooks_data path_test_hooks = {};

/* ---------- life cycle */

static void *allocate_or_fail(int32 size, const char *what)
{
	void *block = new_pointer(static_cast<size_t>(size));
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s.", size, what);
	}
	return block;
}

void initialize_pathfinding(void)
{
	if (!nodes) nodes = static_cast<path_node *>(allocate_or_fail(MAXIMUM_NODES * sizeof(path_node), "pathfinding nodes"));
	if (!visited)
	{
		visited = static_cast<uint8 *>(allocate_or_fail(BOX_CELL_COUNT, "pathfinding visited list"));
		if (visited) memset(visited, 0, BOX_CELL_COUNT);
		visited_stamp = 0;
	}
	if (!direction_buffer) direction_buffer = static_cast<int8 *>(allocate_or_fail(DIRECTION_BUFFER_SIZE, "path data"));
	if (!open_heads)
	{
		open_heads = static_cast<int32 *>(allocate_or_fail((MAXIMUM_COST + 1) * sizeof(int32), "path data"));
		if (open_heads)
		{
			for (int32 i = 0; i <= MAXIMUM_COST; ++i) open_heads[i] = NONE;
		}
	}
	if (!open_bits)
	{
		open_bits = static_cast<uint64 *>(new_pointer_z(((MAXIMUM_COST + 1) / 64 + 1) * sizeof(uint64)));
		if (!open_bits) error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for path data.",
			static_cast<int32>(((MAXIMUM_COST + 1) / 64 + 1) * sizeof(uint64)));
	}
	path_array.maximum_count = MAXIMUM_PATHS;
	if (!path_array.data) initialize_data(&path_array);
}

void initialize_pathfinding_for_new_map(void)
{
	initialize_data_for_new_map(&path_array);
}

void dispose_pathfinding_from_old_map(void)
{
	dispose_data_from_old_map(&path_array);
}

postprocessed_path_data *get_path_data(int16 path_index)
{
	if (!path_array.data || path_index < 0 || path_index >= path_array.maximum_count) return nullptr;
	return static_cast<postprocessed_path_data *>(try_and_get_datum(&path_array, path_index));
}

void delete_path(int16 *path_index)
{
	if (!path_index || *path_index == NONE) return;
	if (get_path_data(*path_index)) delete_datum(&path_array, *path_index);
	*path_index = NONE;
}

void fold_paths_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&path_array));
	if (!path_array.data) return;
	for (int16 i = 0; i < path_array.count; ++i)
	{
		const postprocessed_path_data *path = get_path_data(i);
		if (!path) continue;
		zerv_digest_int16(digest, path->identifier);
		zerv_digest_int16(digest, static_cast<int16>(path->flags));
		zerv_digest_int32(digest, path->waypoint.x);
		zerv_digest_int32(digest, path->waypoint.y);
		zerv_digest_int32(digest, path->monster_index);
	}
}

static void complete_obstacle_list(void);

const obstruction_avoidance_globals *get_obstruction_avoidance_globals(void)
{
	complete_obstacle_list();
	return &avoidance;
}

path_test_hooks_data *get_path_test_hooks(void)
{
	return &path_test_hooks;
}

void reset_path_test_hooks(void)
{
	path_test_hooks = {};
}

/* ---------- cells */

static inline int32 mesh_width(void) { return mesh_globals ? mesh_globals->mesh_width : 0; }
static inline int32 mesh_height(void) { return mesh_globals ? mesh_globals->mesh_height : 0; }

// The cell must lie inside the mesh.
static inline uint16 cell_flags(int32 x, int32 y)
{
	return mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x].flags;
}

static inline boolean terrain_blocks(uint16 flags, uint16 mask)
{
	// Either triangle's bit, without a branch (the search asks eight per node).
	return ((mask >> (flags & 15)) | (mask >> ((flags >> 4) & 15))) & 1;
}

// Which of a cell's triangles a mask blocks, by the cell's low flag byte
// (bit 0 the low triangle, bit 1 the high one): terrain_blocks is this byte
// being non-zero. A few masks' tables are kept, since every unit of a kind
// asks with its kind's mask.
#define KEPT_TRIANGLE_TABLES 4

struct triangle_block_table
{
	uint16 mask;
	boolean built;
	uint8 blocked[256];
};

static triangle_block_table triangle_block_tables[KEPT_TRIANGLE_TABLES];

static const uint8 *triangle_blocks_for(uint16 mask)
{
	triangle_block_table *table = &triangle_block_tables[(mask ^ (mask >> 2) ^ (mask >> 7)) & (KEPT_TRIANGLE_TABLES - 1)];
	if (!table->built || table->mask != mask)
	{
		for (int32 flags = 0; flags < 256; ++flags)
		{
			table->blocked[flags] = static_cast<uint8>(((mask >> (flags & 15)) & 1) | (((mask >> (flags >> 4)) & 1) << 1));
		}
		table->mask = mask;
		table->built = TRUE;
	}
	return table->blocked;
}

uint8 triangles_blocked_by_mask(uint16 flags, uint16 mask)
{
	return triangle_blocks_for(mask)[flags & 0xFF];
}

static inline boolean cell_is_burning(int32 x, int32 y, uint16 flags)
{
	return (flags & _mesh_cell_was_or_is_on_fire_flag) && cell_is_on_fire(x, y);
}

// The cell's own triangles cut the directions on their side of its diagonal.
static inline uint16 cut_by_own_triangles(uint16 valid, int32 x, int32 y, uint16 flags, uint16 mask)
{
	const boolean high_blocked = (mask >> ((flags >> 4) & 15)) & 1, low_blocked = (mask >> (flags & 15)) & 1;
	if ((x ^ y) & 1)
	{
		if (high_blocked) valid &= static_cast<uint16>(~196);
		if (low_blocked) valid &= static_cast<uint16>(~49);
	}
	else
	{
		if (high_blocked) valid &= static_cast<uint16>(~152);
		if (low_blocked) valid &= static_cast<uint16>(~98);
	}
	return valid;
}

uint16 get_valid_direction_flags(int32 x, int32 y, uint16 mask)
{
	const int32 width = mesh_width(), height = mesh_height();
	uint16 valid = 0;
	for (int16 i = 0; i < NUMBER_OF_DIRECTIONS; ++i)
	{
		const int32 nx = x + direction_delta_x[i], ny = y + direction_delta_y[i];
		if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
		if (!terrain_blocks(cell_flags(nx, ny), mask)) valid = static_cast<uint16>(valid | FLAG(i));
	}
	return cut_by_own_triangles(valid, x, y, cell_flags(x, y), mask);
}

// The same for the search's inner loop, from the mask's triangle table
// (blocked): cells off the mesh edge take the general path.
static inline uint16 valid_directions(int32 x, int32 y, uint16 mask, const uint8 *blocked)
{
	const int32 width = mesh_globals->mesh_width;
	if (x <= 0 || y <= 0 || x >= width - 1 || y >= mesh_globals->mesh_height - 1) return get_valid_direction_flags(x, y, mask);
	const mesh_cell *c = mesh_globals->mesh_cells + y * width + x;
	auto open = [blocked](const mesh_cell &cell, int16 bit) -> uint32 {
		return static_cast<uint32>(blocked[cell.flags & 0xFF] == 0) << bit;
	};
	uint32 valid = open(c[width + 1], _northeast) | open(c[1 - width], _southeast) | open(c[-width - 1], _southwest) |
		open(c[width - 1], _northwest) | open(c[width], _north) | open(c[1], _east) | open(c[-width], _south) |
		open(c[-1], _west);
	// The cell's own triangles, as cut_by_own_triangles.
	const uint8 own = blocked[c->flags & 0xFF];
	const boolean odd = (x ^ y) & 1;
	if (own & 2) valid &= odd ? ~196u : ~152u;
	if (own & 1) valid &= odd ? ~49u : ~98u;
	return static_cast<uint16>(valid);
}

// One bit of valid_directions: the neighbour that way and the cell's own
// triangles' cut, as there.
static inline boolean direction_is_valid(int32 x, int32 y, int32 d, uint16 mask, const uint8 *blocked)
{
	const int32 width = mesh_globals->mesh_width;
	if (x <= 0 || y <= 0 || x >= width - 1 || y >= mesh_globals->mesh_height - 1)
	{
		return (get_valid_direction_flags(x, y, mask) >> d) & 1;
	}
	const mesh_cell *c = mesh_globals->mesh_cells + y * width + x;
	if (blocked[c[direction_delta_y[d] * width + direction_delta_x[d]].flags & 0xFF]) return FALSE;
	const uint8 own = blocked[c->flags & 0xFF];
	const boolean odd = (x ^ y) & 1;
	const uint32 cut = ((own & 2) ? (odd ? 196u : 152u) : 0u) | ((own & 1) ? (odd ? 49u : 98u) : 0u);
	return !((cut >> d) & 1);
}

static short_fixed get_magical_modifier(int16 monster_index)
{
	if (path_test_hooks.override_magical_modifier) return path_test_hooks.magical_modifier;
	if (game_play_version >= 1601)
	{
		const short_fixed *modifiers = get_monster_effect_modifiers(monster_index);
		return modifiers ? modifiers[_effect_modifier_magical_damage] : static_cast<short_fixed>(SHORT_FIXED_ONE);
	}
	const monster_definition *definition = get_monster_definition_for_monster(monster_index);
	const object_definition *object = definition ? get_object_definition(definition->object_type) : nullptr;
	return object ? object->effect_modifiers[_effect_modifier_magical_damage] : static_cast<short_fixed>(SHORT_FIXED_ONE);
}

/* ---------- the open list */

// Least total first, newest first among equal totals: a LIFO list per total
// (linked through next_node) and a bitmap of the totals that hold nodes. Both
// are empty between searches.
#define OPEN_BUCKET_COUNT (MAXIMUM_COST + 1)
#define OPEN_BUCKET_WORDS (OPEN_BUCKET_COUNT / 64 + 1)

static int32 open_count = 0;
static int32 open_lowest_word = OPEN_BUCKET_WORDS; // no set bit lies below this word
static int32 open_highest_word = -1;

static inline void open_push(int32 node)
{
	const int32 total = nodes[node].total_cost;
	nodes[node].next_node = open_heads[total];
	open_heads[total] = node;
	const int32 word = total >> 6;
	open_bits[word] |= static_cast<uint64>(1) << (total & 63);
	open_lowest_word = MIN(open_lowest_word, word);
	open_highest_word = MAX(open_highest_word, word);
	open_count += 1;
}

static inline int32 open_pop(void)
{
	while (!open_bits[open_lowest_word]) open_lowest_word += 1;
	const uint64 bits = open_bits[open_lowest_word];
	const int32 total = (open_lowest_word << 6) + __builtin_ctzll(bits);
	const int32 node = open_heads[total];
	open_heads[total] = nodes[node].next_node;
	if (open_heads[total] == NONE) open_bits[open_lowest_word] = bits & (bits - 1);
	open_count -= 1;
	return node;
}

// Leaves the lists empty for the next search.
static void open_clear(void)
{
	for (int32 word = MAX(open_lowest_word, 0); word <= open_highest_word; ++word)
	{
		for (uint64 bits = open_bits[word]; bits; bits &= bits - 1) open_heads[(word << 6) + __builtin_ctzll(bits)] = NONE;
		open_bits[word] = 0;
	}
	open_count = 0;
	open_lowest_word = OPEN_BUCKET_WORDS;
	open_highest_word = -1;
}

/* ---------- the search */

// The longer axis at COST_PER_CELL a cell and the shorter at half that:
// 16 max + 8 min = 8 (max + ax + ay), one product instead of two and a halving.
static inline int16 estimate_remaining_path_cost(int32 x, int32 y, int32 x1, int32 y1)
{
	static_assert(COST_PER_CELL == 16);
	const int32 ax = ABS(x - x1), ay = ABS(y - y1);
	return static_cast<int16>(MIN(8 * (MAX(ax, ay) + ax + ay), MAXIMUM_COST));
}

int16 path_cost_estimate(int32 x, int32 y, int32 x1, int32 y1)
{
	return estimate_remaining_path_cost(x, y, x1, y1);
}

static inline int16 saturate_cost(int32 cost)
{
	return static_cast<int16>(PIN(cost, 0, MAXIMUM_COST));
}

static int32 box_origin(int32 cell, int32 size)
{
	if (cell >= size - 63) return size - PATH_BOX_WIDTH;
	if (cell <= 63) return 0;
	return cell - 64;
}

static void clamp_point_into_mesh(world_point2d *p)
{
	p->x = PIN(p->x, 0, mesh_width() * WORLD_ONE - 1);
	p->y = PIN(p->y, 0, mesh_height() * WORLD_ONE - 1);
}

static void postprocess_path(int32 end_node, path_variables *variables, postprocessed_path_data *path,
	int16 monster_index, short_fixed modifier);
static void smooth_path(world_point2d *candidates, int32 candidate_count, int32 known_clear, path_variables *variables,
	postprocessed_path_data *path, int16 monster_index, short_fixed modifier);

// A box cell's neighbour in each direction, as an offset in the visited set
// (rows of PATH_BOX_WIDTH cells: a box cell's row is its index >> 7).
static_assert(PATH_BOX_WIDTH == 128);
static const int32 box_cell_offset[NUMBER_OF_DIRECTIONS] = {PATH_BOX_WIDTH + 1, 1 - PATH_BOX_WIDTH,
	-PATH_BOX_WIDTH - 1, PATH_BOX_WIDTH - 1, PATH_BOX_WIDTH, 1, -PATH_BOX_WIDTH, -1};

// The search's answer between two cells joined by the octile walk (diagonal
// steps toward the goal while both axes differ, then steps along the longer
// axis): its corners, without the open list; FALSE when the search must
// decide. The search returns this walk when every step is a valid direction
// of its cell, every cell expanded lies off the box's edge rows and columns,
// no cell walked through (the ends aside) burns or the modifier is 0, and the
// modifier is not negative:
// - the estimate 8 (max + ax + ay) falls by 24 on the diagonal step toward the
//   goal (all three terms fall) and by 16 at most on any other step (at most
//   two terms fall), by 16 only on the longer axis toward the goal.
// - a step costs 22 from a node reached diagonally (the start counts so) and
//   16 otherwise. On the diagonal leg each step lowers the total by 2 and the
//   node's other children total 6 more than it at least; the turn onto the
//   axis raises the total by 6 (the turning node's other children 14 at
//   least); along the axis the total stays and other children total 8 more.
// - so walk nodes total h0 - 2j after j diagonal steps and h0 - 2m + 6 along
//   the axis (m diagonal steps), and every other node opened totals strictly
//   more than every later walk node (h0 - 2j + 6 > h0 - 2m + 6 for j < m):
//   each pop takes the walk's newest node whatever the order among equal
//   totals. Fire only raises other nodes (modifier >= 0); totals stay under
//   the pin (h0 <= 8 * 3 * 127, 22 a step over fewer than 128 steps).
// - a walk cell lies two or more cells from every expanded cell but its
//   parent, so it is unvisited when reached, and the goal is a neighbour of
//   the last expanded cell alone; fewer than 8 * 127 + 1 nodes are made, under
//   the pool. The search's first path node to reach the goal is the walk's.
// Its corners, as postprocess_path finds them from the chain: the turning
// cell when there is a turn, then the goal.
struct octile_walk
{
	int32 diagonal_steps, steps;
};

static boolean direct_walk(int32 x0, int32 y0, int32 x1, int32 y1, int32 box_x0, int32 box_y0, uint16 mask,
	const uint8 *blocked, short_fixed modifier, octile_walk *walk)
{
	if (modifier < 0) return FALSE;
	const int32 dx = x1 - x0, dy = y1 - y0;
	const int32 ax = ABS(dx), ay = ABS(dy);
	const int32 diagonal_steps = MIN(ax, ay), steps = MAX(ax, ay);
	const int8 diagonal = static_cast<int8>(dx > 0 ? (dy > 0 ? _northeast : _southeast) : (dy > 0 ? _northwest : _southwest));
	const int8 axis = static_cast<int8>(ax > ay ? (dx > 0 ? _east : _west) : (dy > 0 ? _north : _south));
	int32 x = x0, y = y0;
	for (int32 i = 0; i < steps; ++i)
	{
		const int32 bx = x - box_x0, by = y - box_y0;
		if (static_cast<uint32>(bx - 1) >= static_cast<uint32>(PATH_BOX_WIDTH - 2) ||
			static_cast<uint32>(by - 1) >= static_cast<uint32>(PATH_BOX_WIDTH - 2))
		{
			return FALSE;
		}
		const int8 d = i < diagonal_steps ? diagonal : axis;
		if (!direction_is_valid(x, y, d, mask, blocked)) return FALSE;
		x += direction_delta_x[d];
		y += direction_delta_y[d];
		if (i + 1 < steps && modifier != 0 && cell_is_burning(x, y, cell_flags(x, y))) return FALSE;
		if (i < 64)
		{
			path_test_hooks.expanded_x[i] = static_cast<int8>(bx);
			path_test_hooks.expanded_y[i] = static_cast<int8>(by);
		}
	}
	path_test_hooks.nodes_expanded = steps;
	path_test_hooks.expanded_count = MIN(steps, 64);
	path_test_hooks.direct_walks += 1;
	walk->diagonal_steps = diagonal_steps;
	walk->steps = steps;
	return TRUE;
}

// How many of a walk's first straight-line tests (its corners, then the
// destination) are known to pass without walking them. A line from the start
// cell looks only at cells in the box of its end cells that the segment
// touches (each step moves toward the end cell; a corner tie looks at the two
// cells beside the corner point).
// - Along one axis: the line stays in the row (or column) between its end
//   cells, pieces included (their ends lie between the line's); every walk
//   step's cell is open (a valid direction's neighbour) and its inner cells do
//   not burn where the modifier counts: the start cell and the goal's fire
//   are the rest. Both tests pass.
// - Along a diagonal of m steps: for a line from the start cell to a point of
//   the diagonal's end cell, measured from the start cell's corner along the
//   walk's signs, |x - y| < 1 cell everywhere on it (both ends are so), so it
//   touches only cells (k, k), (k + 1, k), (k, k + 1), and a corner tie only
//   at a corner (k, k). With those 3m + 1 cells open and not burning the test
//   passes, when it is one piece: the pieces' rounded ends could step off the
//   band, and m < 59 keeps the line under MAXIMUM_STRAIGHT_LINE_DISTANCE.
//   That is the first corner of a walk that turns; both tests of one that
//   does not.
static int32 walk_lines_known_clear(const path_variables *variables, const octile_walk *walk, const uint8 *blocked,
	short_fixed modifier)
{
	const int32 x0 = variables->x0, y0 = variables->y0, x1 = variables->x1, y1 = variables->y1;
	auto open = [blocked, modifier](int32 x, int32 y) {
		const uint16 flags = cell_flags(x, y);
		return blocked[flags & 0xFF] == 0 && (modifier == 0 || !cell_is_burning(x, y, flags));
	};
	const int32 m = walk->diagonal_steps;
	if (m == 0)
	{
		if (!open(x0, y0) || (modifier != 0 && cell_is_burning(x1, y1, cell_flags(x1, y1)))) return 0;
		return 2;
	}
	if (m > 58) return 0;
	const int32 sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
	if (!open(x0, y0)) return 0;
	for (int32 k = 1; k <= m; ++k)
	{
		const int32 x = x0 + k * sx, y = y0 + k * sy;
		if (!open(x, y) || !open(x - sx, y) || !open(x, y - sy)) return 0;
	}
	return m == walk->steps ? 2 : 1;
}

int16 new_path(int16 monster_index, path_variables *variables)
{
	if (!mesh_globals || !mesh_globals->mesh_cells || !nodes || !open_heads || !open_bits || !variables) return NONE;
	clamp_point_into_mesh(&variables->p0);
	clamp_point_into_mesh(&variables->p1);
	const int32 x0 = variables->p0.x >> WORLD_FRACTIONAL_BITS, y0 = variables->p0.y >> WORLD_FRACTIONAL_BITS;
	const int32 x1 = variables->p1.x >> WORLD_FRACTIONAL_BITS, y1 = variables->p1.y >> WORLD_FRACTIONAL_BITS;
	variables->x0 = static_cast<int16>(x0);
	variables->y0 = static_cast<int16>(y0);
	variables->x1 = static_cast<int16>(x1);
	variables->y1 = static_cast<int16>(y1);
	if (path_test_hooks.forced_recomputes > 0)
	{
		path_test_hooks.forced_recomputes -= 1;
		variables->p1 = variables->p0;
		return PATH_MUST_BE_RECOMPUTED;
	}

	const int16 path_index = new_datum(&path_array);
	if (path_index == NONE) return NONE;
	postprocessed_path_data *path = get_path_data(path_index);
	path->monster_index = monster_index;
	path->flags = 0;
	path->waypoint = variables->p1;
	monster_data *monster = get_monster_data(monster_index);
	if (x0 == x1 && y0 == y1)
	{
		variables->flags = 0;
		if (monster) monster->path_destination = variables->p1;
		return path_index;
	}

	const int32 box_x0 = box_origin(x0, mesh_width()), box_y0 = box_origin(y0, mesh_height());
	const short_fixed modifier = get_magical_modifier(monster_index);
	const uint16 mask = variables->terrain_impassability_flags;
	const uint8 *blocked = triangle_blocks_for(mask);
	path_test_hooks.box_x0 = box_x0;
	path_test_hooks.box_y0 = box_y0;
	path_test_hooks.highest_cost = 0;
	path_test_hooks.lowest_cost = 0;
	path_test_hooks.expanded_count = 0;
	path_test_hooks.nodes_expanded = 0;

	octile_walk walk;
	if (!path_test_hooks.full_searches_only && direct_walk(x0, y0, x1, y1, box_x0, box_y0, mask, blocked, modifier, &walk))
	{
		path_test_hooks.nodes_used = walk.steps + 1;
		variables->flags = 0;
		path->flags = 0;
		world_point2d candidates[3];
		int32 count = 0;
		if (walk.diagonal_steps > 0 && walk.diagonal_steps < walk.steps)
		{
			const int32 m = walk.diagonal_steps;
			candidates[count++] = {(x0 + (x1 > x0 ? m : -m)) * WORLD_ONE + WORLD_ONE_HALF,
				(y0 + (y1 > y0 ? m : -m)) * WORLD_ONE + WORLD_ONE_HALF};
		}
		candidates[count++] = {x1 * WORLD_ONE + WORLD_ONE_HALF, y1 * WORLD_ONE + WORLD_ONE_HALF};
		smooth_path(candidates, count, walk_lines_known_clear(variables, &walk, blocked, modifier), variables, path,
			monster_index, modifier);
		if (monster) monster->path_destination = path->waypoint;
		return path_index;
	}

	if (++visited_stamp == 0)
	{
		memset(visited, 0, BOX_CELL_COUNT);
		visited_stamp = 1;
	}
	const uint8 stamp = visited_stamp;
	open_clear();
	int32 node_count = 1;
	path_node &start = nodes[0];
	start.next_node = NONE;
	start.parent_node = NONE;
	start.x = static_cast<int8>(x0 - box_x0);
	start.y = static_cast<int8>(y0 - box_y0);
	start.direction = -1;
	start.pad = 0;
	start.cost = 0;
	start.total_cost = estimate_remaining_path_cost(x0, y0, x1, y1);
	visited[start.y * PATH_BOX_WIDTH + start.x] = stamp;
	open_push(0);
	int32 best_node = 0;
	int16 best_estimate = start.total_cost;

	int32 end_node = NONE;
	boolean partial = FALSE;
	while (open_count > 0 && end_node == NONE)
	{
		const int32 current = open_pop();
		const path_node node = nodes[current];
		const int32 cx = node.x + box_x0, cy = node.y + box_y0;
		path_test_hooks.nodes_expanded += 1;
		if (path_test_hooks.expanded_count < 64)
		{
			path_test_hooks.expanded_x[path_test_hooks.expanded_count] = node.x;
			path_test_hooks.expanded_y[path_test_hooks.expanded_count] = node.y;
			path_test_hooks.expanded_count += 1;
		}
		const uint16 valid = valid_directions(cx, cy, mask, blocked);
		// The step cost follows how this node was reached.
		const boolean diagonal = node.direction < _north;
		const int32 step = diagonal ? 22 : COST_PER_CELL;
		const int32 fire_factor = diagonal ? 110 : 80;
		// Off the box's edge rows and columns no step leaves the box.
		const boolean inner = static_cast<uint32>(node.x - 1) < static_cast<uint32>(PATH_BOX_WIDTH - 2) &&
			static_cast<uint32>(node.y - 1) < static_cast<uint32>(PATH_BOX_WIDTH - 2);
		const int32 here = node.y * PATH_BOX_WIDTH + node.x;
		// The valid directions in increasing order.
		for (uint32 open = valid & 0xFF; open; open &= open - 1)
		{
			const int32 d = __builtin_ctz(open);
			if (!inner)
			{
				const int32 bx = node.x + direction_delta_x[d], by = node.y + direction_delta_y[d];
				if (bx < 0 || bx >= PATH_BOX_WIDTH || by < 0 || by >= PATH_BOX_WIDTH)
				{
					partial = TRUE;
					end_node = current;
					break;
				}
			}
			const int32 box_cell = here + box_cell_offset[d];
			uint8 &seen = visited[box_cell];
			if (seen == stamp) continue;
			const int32 bx = box_cell & (PATH_BOX_WIDTH - 1), by = box_cell >> 7;
			const int32 nx = bx + box_x0, ny = by + box_y0;
			int32 cost = step;
			if (cell_is_burning(nx, ny, cell_flags(nx, ny))) cost += (fire_factor * modifier) >> 8;
			seen = stamp;
			if (node_count >= MAXIMUM_NODES) continue;

			const int32 index = node_count++;
			path_node &next = nodes[index];
			const int16 estimate = estimate_remaining_path_cost(nx, ny, x1, y1);
			next.next_node = NONE;
			next.parent_node = current;
			next.x = static_cast<int8>(bx);
			next.y = static_cast<int8>(by);
			next.direction = static_cast<int8>(d);
			next.pad = 0;
			next.cost = saturate_cost(static_cast<int32>(node.cost) + cost);
			next.total_cost = saturate_cost(static_cast<int32>(next.cost) + estimate);
			// Costs are pinned at 0 and above, so the lowest stays 0.
			path_test_hooks.highest_cost = MAX(path_test_hooks.highest_cost, next.cost);
			if (estimate < best_estimate)
			{
				best_estimate = estimate;
				best_node = index;
			}
			if (nx == x1 && ny == y1)
			{
				end_node = index;
				break;
			}
			open_push(index);
		}
	}
	path_test_hooks.nodes_used = node_count;
	open_clear();

	if (end_node == NONE)
	{
		if (best_node == 0)
		{
			delete_datum(&path_array, path_index);
			variables->p1 = variables->p0;
			return PATH_MUST_BE_RECOMPUTED;
		}
		partial = TRUE;
		end_node = best_node;
	}
	variables->flags = partial ? static_cast<uint16>(_partial_path_flag) : static_cast<uint16>(0);
	postprocess_path(end_node, variables, path, monster_index, modifier);
	if (monster) monster->path_destination = path->waypoint;
	return path_index;
}

/* ---------- postprocessing */

// Walks every cell the segment crosses with exact integer steps; a segment
// through a cell corner tests the cells on both sides of it.
static boolean segment_is_clear(const world_point2d *p0, const world_point2d *p1, const uint8 *triangles_blocked,
	short_fixed modifier)
{
	const int32 width = mesh_width(), height = mesh_height();
	int32 cx = p0->x >> WORLD_FRACTIONAL_BITS, cy = p0->y >> WORLD_FRACTIONAL_BITS;
	const int32 ex = p1->x >> WORLD_FRACTIONAL_BITS, ey = p1->y >> WORLD_FRACTIONAL_BITS;
	// Every cell looked at lies in the box of the two end cells (each step
	// moves towards the end cell): with both on the mesh, all are.
	const boolean on_mesh = cx >= 0 && cy >= 0 && cx < width && cy < height && ex >= 0 && ey >= 0 && ex < width &&
		ey < height;
	const boolean record = path_test_hooks.record_walks;
	auto blocked = [&](int32 x, int32 y) -> boolean {
		if (record && path_test_hooks.walked_count < 64)
		{
			path_test_hooks.walked_x[path_test_hooks.walked_count] = static_cast<int16>(x);
			path_test_hooks.walked_y[path_test_hooks.walked_count++] = static_cast<int16>(y);
		}
		if (!on_mesh && (x < 0 || y < 0 || x >= width || y >= height)) return TRUE;
		const uint16 flags = cell_flags(x, y);
		return triangles_blocked[flags & 0xFF] != 0 || (modifier != 0 && cell_is_burning(x, y, flags));
	};
	if (blocked(cx, cy)) return FALSE;
	const int64 dx = static_cast<int64>(p1->x) - p0->x, dy = static_cast<int64>(p1->y) - p0->y;
	const int32 sx = dx > 0 ? 1 : (dx < 0 ? -1 : 0), sy = dy > 0 ? 1 : (dy < 0 ? -1 : 0);
	const int64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
	// Distances to the next column and row boundary, compared as times along
	// the segment: |(cx + (sx > 0)) * WORLD_ONE - p0.x| * ady and the same for
	// y. The boundary lies ahead of p0 on each axis that moves, so each step of
	// the column or row adds WORLD_ONE to its distance.
	const int64 bx = static_cast<int64>(cx + (sx > 0)) * WORLD_ONE - p0->x;
	const int64 by = static_cast<int64>(cy + (sy > 0)) * WORLD_ONE - p0->y;
	int64 tx = (bx < 0 ? -bx : bx) * ady, ty = (by < 0 ? -by : by) * adx;
	const int64 tx_step = WORLD_ONE * ady, ty_step = WORLD_ONE * adx;
	int32 guard = ABS(ex - cx) + ABS(ey - cy) + 2;
	while ((cx != ex || cy != ey) && guard-- > 0)
	{
		if (sy == 0 || (cy == ey && sx != 0))
		{
			cx += sx;
			tx += tx_step;
		}
		else if (sx == 0 || cx == ex)
		{
			cy += sy;
			ty += ty_step;
		}
		else if (tx < ty)
		{
			cx += sx;
			tx += tx_step;
		}
		else if (ty < tx)
		{
			cy += sy;
			ty += ty_step;
		}
		else
		{
			if (blocked(cx + sx, cy) || blocked(cx, cy + sy)) return FALSE;
			cx += sx;
			cy += sy;
			tx += tx_step;
			ty += ty_step;
		}
		if (blocked(cx, cy)) return FALSE;
	}
	return TRUE;
}

boolean valid_straight_line_path(const world_point2d *p0, const world_point2d *p1, uint16 mask, short_fixed modifier)
{
	const int32 length = MAX(ABS(p1->x - p0->x), ABS(p1->y - p0->y));
	const int32 pieces = length > MAXIMUM_STRAIGHT_LINE_DISTANCE ? length / MAXIMUM_STRAIGHT_LINE_DISTANCE + 1 : 1;
	path_test_hooks.straight_line_pieces = pieces;
	path_test_hooks.walked_count = 0;
	const uint8 *blocked = triangle_blocks_for(mask);
	// One piece ends at p1 itself (p0 + (p1 - p0) * 1 / 1): no divisions.
	if (pieces == 1) return segment_is_clear(p0, p1, blocked, modifier);
	world_point2d from = *p0;
	for (int32 i = 1; i <= pieces; ++i)
	{
		world_point2d to;
		to.x = static_cast<world_distance>(p0->x + (static_cast<int64>(p1->x) - p0->x) * i / pieces);
		to.y = static_cast<world_distance>(p0->y + (static_cast<int64>(p1->y) - p0->y) * i / pieces);
		if (!segment_is_clear(&from, &to, blocked, modifier)) return FALSE;
		from = to;
	}
	return TRUE;
}

static void postprocess_path(int32 end_node, path_variables *variables, postprocessed_path_data *path,
	int16 monster_index, short_fixed modifier)
{
	path->flags = variables->flags;

	// The directions from the end back to the start.
	int32 count = 0;
	for (int32 n = end_node; n != NONE && nodes[n].parent_node != NONE && count < DIRECTION_BUFFER_SIZE;
		 n = nodes[n].parent_node)
	{
		direction_buffer[count++] = nodes[n].direction;
	}

	// Replayed from the start, each straight run keeps its last cell; the end
	// cell is always the last corner.
	world_point2d candidates[MAXIMUM_TEMPORARY_WAYPOINTS];
	int32 candidate_count = 0;
	int32 x = variables->x0, y = variables->y0;
	for (int32 i = count - 1; i >= 0; --i)
	{
		const int8 d = direction_buffer[i];
		x += direction_delta_x[d];
		y += direction_delta_y[d];
		const boolean last = i == 0;
		if (last || (direction_buffer[i - 1] != d && candidate_count < MAXIMUM_CORNERS - 1))
		{
			candidates[candidate_count].x = x * WORLD_ONE + WORLD_ONE_HALF;
			candidates[candidate_count].y = y * WORLD_ONE + WORLD_ONE_HALF;
			candidate_count += 1;
		}
	}
	smooth_path(candidates, candidate_count, 0, variables, path, monster_index, modifier);
}

// The corners (the end cell last), then the destination unless the path is
// partial; the straight lines from the start to the first known_clear of them
// are known to pass.
static void smooth_path(world_point2d *candidates, int32 candidate_count, int32 known_clear, path_variables *variables,
	postprocessed_path_data *path, int16 monster_index, short_fixed modifier)
{
	const boolean partial = (variables->flags & _partial_path_flag) != 0;
	path_test_hooks.corner_count = candidate_count;
	if (!partial) candidates[candidate_count++] = variables->p1;
	if (candidate_count == 0)
	{
		path->waypoint = variables->p1;
		return;
	}

	// Smoothing: only the first kept waypoint is needed. From the start, the
	// first candidate the straight line cannot reach keeps the one before it
	// (or itself, when it is the first).
	const uint16 mask = variables->terrain_impassability_flags;
	int32 kept = candidate_count - 1;
	for (int32 k = known_clear; k < candidate_count; ++k)
	{
		if (!valid_straight_line_path(&variables->p0, &candidates[k], mask, modifier))
		{
			kept = k == 0 ? 0 : k - 1;
			break;
		}
	}
	path->waypoint = candidates[kept];

	// A lone destination stops at the model cells beside it.
	if (!partial && kept == candidate_count - 1)
	{
		const monster_data *monster = get_monster_data(monster_index);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		const world_distance margin = object ? object->radius : 0;
		world_rectangle2d boxes[4];
		int16 box_count = 0;
		for (int16 d = _north; d <= _west; ++d)
		{
			report_obstructed_cell_bounds(variables->x1 + direction_delta_x[d], variables->y1 + direction_delta_y[d], boxes,
				&box_count, margin);
		}
		for (int16 i = 0; i < box_count; ++i)
		{
			world_point2d clipped;
			const world_point2d end = path->waypoint;
			if (clip_line_to_box(boxes[i].x0, boxes[i].x1, boxes[i].y0, boxes[i].y1, &variables->p0, &end, &clipped) != NONE)
			{
				path->waypoint = clipped;
			}
		}
	}
}

/* ---------- obstacle avoidance */

static boolean is_look_ahead_mover(const monster_data *monster)
{
	if (game_play_version < 1601 || (monster->flags & _monster_ignores_user_commands_flag)) return FALSE;
	return !(game && (game->option_flags & _game_option_cooperative_flag) && monster->owner_team_index != 0);
}

void get_obstacle_scan_origin(int32 cell_x, int32 cell_y, angle desired_yaw, int32 *x0, int32 *y0)
{
	const uint32 s = (static_cast<uint32>(desired_yaw) + EIGHTH_CIRCLE) & 0xFFFF;
	const int32 q = static_cast<int32>(s >> 14), r = static_cast<int32>(s & 16383);
	const int32 a = (2 * r + 16384) >> 12, b = (49152 - 2 * r) >> 12;
	static const int32 fixed_offset = 4;
	int32 ox, oy;
	switch (q)
	{
	case 0: ox = fixed_offset, oy = b; break;
	case 1: ox = a, oy = fixed_offset; break;
	case 2: ox = 12, oy = a; break;
	default: ox = b, oy = 12; break;
	}
	*x0 = MIN(MAX(cell_x - ox, 0), mesh_width() - FIND_POSSIBLE_OBSTACLES_BOX_WIDTH);
	*y0 = MIN(MAX(cell_y - oy, 0), mesh_height() - FIND_POSSIBLE_OBSTACLES_BOX_WIDTH);
}

// angular_difference's arithmetic, inline: the search asks it of most units in its box.
static inline boolean facings_within_quarter(const object_data *a, const object_data *b)
{
	const int32 d = (static_cast<int32>(a->location.yaw) - b->location.yaw) & 0xFFFF;
	return (d < HALF_CIRCLE ? d : FULL_CIRCLE - d) <= 16383;
}

// Whether the ground distance between two objects is below limit.
static inline __attribute__((always_inline)) boolean objects_nearer_than(const object_data *a, const object_data *b, int32 limit)
{
	const world_point2d pa = {a->location.position.x, a->location.position.y};
	const world_point2d pb = {b->location.position.x, b->location.position.y};
	return distance2d_below(&pa, &pb, limit);
}

// Whether the unit C (owner of other) is an obstacle for U; sets flags and radius.
// The last kind looked up by one obstacle search (neighbours are mostly of one kind).
// Its size and flight tests against the searcher's kind are kept with it:
// they read only the two kinds and the game version.
struct kind_lookup
{
	int16 type;
	const monster_definition *definition;
	boolean can_block; // the kind is loaded and passes the size and flight tests
	boolean ambient; // the kind is ambient life, never anyone's ally
};

static boolean kinds_can_block(const monster_definition *definition, const monster_definition *dc)
{
	if (!dc) return FALSE;
	if ((definition->size == 0 && dc->size >= 1) || (dc->size == 0 && definition->size >= 1)) return FALSE;
	if (game_play_version >= 1301 && ((definition->flags & _monster_flies_flag) != 0) != ((dc->flags & _monster_flies_flag) != 0))
	{
		return FALSE;
	}
	return TRUE;
}

static inline void look_up_kind(kind_lookup *lookup, const monster_definition *definition, int16 type)
{
	lookup->type = type;
	lookup->definition = get_monster_definition(type);
	lookup->can_block = kinds_can_block(definition, lookup->definition);
	lookup->ambient = lookup->definition && lookup->definition->monster_class == _monster_class_ambient_life;
}

// The searching unit's alliance with each team met by one obstacle search
// (alliances do not change during it): -1 not yet asked.
struct team_alliance_lookup
{
	int8 allied[MAXIMUM_TEAMS_PER_MAP];
};

// teams_are_allied of the searcher's team and team.
static inline boolean searcher_allied_with_team(team_alliance_lookup *lookup, const monster_data *a, int16 team)
{
	if (team < 0 || team >= MAXIMUM_TEAMS_PER_MAP) return teams_are_allied(a->owner_team_index, team);
	if (lookup->allied[team] < 0) lookup->allied[team] = teams_are_allied(a->owner_team_index, team) ? 1 : 0;
	return lookup->allied[team] != 0;
}


// What one obstacle search asks of every unit in its box and that does not
// change during it (nothing moves or changes side while it runs).
struct obstacle_search
{
	const monster_data *monster;
	const monster_definition *definition;
	const object_data *object;
	boolean look_ahead;
	boolean walks_around;
	// A look-ahead mover (by the game's version) passes over moving units
	// facing its way, and over every moving unit while it faces this way.
	boolean skips_moving_units_facing_its_way;
	boolean skips_every_moving_unit;
	int32 target_type; // the kind of the searcher's target unit; outside int16 for none
	kind_lookup kinds;
	team_alliance_lookup alliances;
	// Ambient life or berserk: allied with nobody.
	boolean searcher_never_allied;
	const monster_data *monsters; // the unit array, never null
};

// monsters_are_allied for two live units whose kinds are at hand (a unit
// without a kind has no class, so it is not ambient life): the searcher's
// part is asked once per search.
static inline boolean searcher_is_allied(obstacle_search *search, const monster_data *b)
{
	if (search->searcher_never_allied || search->kinds.ambient) return FALSE;
	if (b->extra_flags & _monster_is_berserk_extra_flag) return FALSE;
	return searcher_allied_with_team(&search->alliances, search->monster, b->owner_team_index);
}

static inline boolean unit_is_obstacle(obstacle_search *search, const monster_data *monster,
	const monster_definition *definition, const object_data *object, boolean look_ahead, const object_data *other,
	uint16 *flags, int16 *radius)
{
	// Every test up to the radius only turns the unit away, and none has side
	// effects: the cheapest go first, a unit pausing for another before its
	// record is read, the ones that need no alliance before the alliance.
	if (other->flags & _object_pausing_for_obstacle_to_move_flag) return FALSE;
	const int16 other_index = other->owner_index;
	// get_monster_data's checks, the array's address taken once per search.
	if (static_cast<uint32>(static_cast<uint16>(other_index)) >= static_cast<uint32>(MAXIMUM_MONSTERS_PER_MAP)) return FALSE;
	const monster_data *c = search->monsters + other_index;
	if (c->identifier == 0) return FALSE;
	const boolean moving = c->action == _monster_action_moving;
	// For a look-ahead mover a moving unit facing its way is never an obstacle.
	if (moving && search->skips_moving_units_facing_its_way &&
		(search->skips_every_moving_unit || facings_within_quarter(object, other)))
	{
		return FALSE;
	}
	if (c->type != search->kinds.type) look_up_kind(&search->kinds, definition, c->type);
	if (!search->kinds.can_block) return FALSE;
	const monster_definition *dc = search->kinds.definition;
	const boolean walks_around = search->walks_around;
	if (c->extra_flags & _monster_is_invisible_extra_flag) return FALSE;
	if (c->action == _monster_action_idle && (c->flags & _monster_needs_new_path_flag)) return FALSE;
	// A far unit ahead of a look-ahead mover counts only for one that walks around blockages.
	if (look_ahead && !walks_around &&
		!objects_nearer_than(object, other, 1537 + definition->pathfinding_radius + dc->pathfinding_radius))
	{
		return FALSE;
	}
	const boolean allied = searcher_is_allied(search, c);
	if (moving && facings_within_quarter(object, other) && allied)
	{
		if (!(monster->base_movement_speed > c->base_movement_speed &&
				objects_nearer_than(object, other, DISTANCE_TO_AVOID_SLOWPOKES + 1)))
		{
			return FALSE;
		}
	}
	// A look-ahead mover's case was answered above.
	if (game_play_version >= 1501 && moving && !look_ahead && walks_around && allied)
	{
		if (object->location.yaw < 32768 || facings_within_quarter(object, other)) return FALSE;
	}
	if (search->target_type == c->type && !allied) return FALSE;
	// The costlier tests wait until the unit is known to be an obstacle.
	team_alliance_lookup *alliances = &search->alliances;
	if (pathfinding_radius_applies(monster, definition, c, other_index, dc,
			[alliances, monster](int16 team) { return searcher_allied_with_team(alliances, monster, team); }))
	{
		*flags = _obstacle_is_friendly_monster_flag;
		*radius = dc->pathfinding_radius;
	}
	else
	{
		*flags = 0;
		*radius = other->radius;
	}
	if (moving || c->action == _monster_action_turning || (c->flags & _monster_needs_new_path_flag))
	{
		*flags = static_cast<uint16>(*flags | _obstacle_is_temporary_flag);
	}
	return TRUE;
}

static void find_possible_obstacles(const monster_data *monster, const monster_definition *definition,
	const object_data *object)
{
	const boolean look_ahead = is_look_ahead_mover(monster);
	const uint32 options = game ? game->option_flags : 0;
	int32 x0, y0;
	get_obstacle_scan_origin(object->location.position.x >> WORLD_FRACTIONAL_BITS,
		object->location.position.y >> WORLD_FRACTIONAL_BITS, monster->desired_yaw, &x0, &y0);
	const int32 x_end = MIN(x0 + FIND_POSSIBLE_OBSTACLES_BOX_WIDTH, mesh_width());
	const int32 y_end = MIN(y0 + FIND_POSSIBLE_OBSTACLES_BOX_WIDTH, mesh_height());
	obstacle_search search;
	search.monster = monster;
	search.definition = definition;
	search.object = object;
	search.look_ahead = look_ahead;
	search.walks_around = (definition->more_hack_flags & _hack_walks_around_blockage_flag) != 0;
	search.skips_moving_units_facing_its_way = look_ahead && game_play_version >= 1501;
	search.skips_every_moving_unit = object->location.yaw < 32768;
	search.target_type = 1 << 16;
	if (monster->flags & _monster_has_valid_target_index_flag)
	{
		const monster_data *target = get_monster_data(monster->target_monster_index);
		if (target) search.target_type = target->type;
	}
	// Not null: the searcher was found in it.
	search.monsters = static_cast<const monster_data *>(monster_array.data);
	look_up_kind(&search.kinds, definition, NONE);
	search.searcher_never_allied = definition->monster_class == _monster_class_ambient_life ||
		(monster->extra_flags & _monster_is_berserk_extra_flag);
	memset(search.alliances.allied, -1, sizeof(search.alliances.allied));
	// The box is clipped to the mesh, so its cells are read straight from the array.
	const mesh_cell *cells = mesh_globals->mesh_cells;
	const int32 width = mesh_globals->mesh_width;
	const int32 x_start = MAX(x0, 0);
	const int32 y_start = MAX(y0, 0);
	if (y_start >= y_end) return;
	// Nothing is made or freed during the search: get_object_data's checks
	// against the array's address and size hold for the whole walk.
	const object_data *objects = static_cast<const object_data *>(object_array.data);
	if (!objects) return;
	const int32 object_count = MAX(static_cast<int32>(object_array.maximum_count), 0);
	// The occupancy rows lie one after another, each in whole words.
	const uint64 *occupied = object_cell_occupancy_row(y_start);
	const int32 words_per_row = (width + 63) >> 6;
	// The box's columns of each row as one window of bits from x_start (a
	// box is never wider than a word): its cells in the same order, each
	// found by one bit scan.
	static_assert(FIND_POSSIBLE_OBSTACLES_BOX_WIDTH <= 64);
	if (x_start >= x_end) return;
	const int32 word = x_start >> 6, shift = x_start & 63;
	const boolean straddles = shift != 0 && word + 1 < words_per_row;
	const uint64 columns = ~uint64{0} >> (63 - (x_end - 1 - x_start));
	const mesh_cell *row = cells + static_cast<size_t>(y_start) * width;
	for (int32 y = y_start; y < y_end; ++y, occupied += words_per_row, row += width)
	{
		// Only the cells heading a chain: an empty cell adds nothing.
		uint64 window = occupied[word] >> shift;
		if (straddles) window |= occupied[word + 1] << (64 - shift);
		for (window &= columns; window != 0; window &= window - 1)
		{
			const int32 x = x_start + __builtin_ctzll(window);
			int16 guard = 0;
			for (int16 index = row[x].first_object_index; index != NONE && guard < 32767; ++guard)
			{
				if (static_cast<uint32>(static_cast<uint16>(index)) >= static_cast<uint32>(object_count)) break;
				const object_data *other = objects + index;
				if (other->identifier == 0) break;
				const int16 other_index = index;
				index = other->next_object_index;
				if (!(other->flags & _object_is_solid_flag) || (other->flags & _object_is_invisible_flag)) continue;
				if (other_index == monster->object_index) continue;
				if (avoidance.obstacle_count >= MAXIMUM_OBSTACLES_TO_CONSIDER) return;

				uint16 flags = 0;
				int16 radius = other->radius;
				if (other->owner != _object_is_monster)
				{
					if ((monster->flags & _monster_wants_to_pick_up_object_flag) && other_index == monster->pick_up_object_index &&
						other->identifier == monster->pick_up_object_identifier)
					{
						continue;
					}
					if ((options & _game_option_uses_qel_flag) && (other->flags & _object_is_flag_flag) &&
						(game_play_version < 1601 || (object->flags & _object_floats_on_media_flag)))
					{
						continue;
					}
					if (game_play_version >= 1510 && (definition->flags & _monster_flies_flag) &&
						(other->owner == _object_is_scenery || other->owner == _object_is_projectile ||
							other->owner == _object_is_dormant_projectile) &&
						other->height1 - other->height0 < monster->height_over_mesh)
					{
						continue;
					}
				}
				else if (!unit_is_obstacle(&search, monster, definition, object, look_ahead, other, &flags, &radius))
				{
					continue;
				}
				obstacle &entry = avoidance.obstacles[avoidance.obstacle_count++];
				entry.flags = flags;
				entry.center.x = other->location.position.x;
				entry.center.y = other->location.position.y;
				entry.radius = radius;
				entry.object_index = other_index;
			}
		}
	}
}

static inline int16 avoid_radius_for(const obstacle *o)
{
	return (o->flags & _obstacle_is_friendly_monster_flag) ? avoidance.friendly_monster_radius : avoidance.monster_radius;
}

// Whether the pull-back circle of an obstacle is halved.
static boolean pull_back_circle_is_halved(const obstacle *o)
{
	if (game_play_version < 1301) return FALSE;
	const object_data *object = get_object_data(o->object_index);
	if (!object) return FALSE;
	auto scenery_lacks_netgame_flag = [](int16 owner_index) {
		// An index beyond the loaded definitions counts as lacking the flag.
		const scenery_definition *scenery = get_scenery_definition(owner_index);
		return !scenery || !(scenery->flags & _scenery_is_netgame_flag_flag);
	};
	switch (object->owner)
	{
	case _object_is_scenery: return scenery_lacks_netgame_flag(object->owner_index);
	case _object_is_projectile:
		if (game_play_version == 1500) return scenery_lacks_netgame_flag(object->owner_index);
		return !(object->flags & _object_is_flag_flag);
	case _object_is_dormant_projectile:
		if (game_play_version == 1500) return scenery_lacks_netgame_flag(object->owner_index);
		return TRUE;
	default: return FALSE;
	}
}

static boolean point_inside_pull_back_circle(const world_point2d *p)
{
	for (int16 i = 0; i < avoidance.obstacle_count; ++i)
	{
		const obstacle *o = &avoidance.obstacles[i];
		if (o->flags & _obstacle_is_temporary_flag) continue;
		int32 circle = o->radius + avoid_radius_for(o) + 95;
		// Outside the whole circle is outside the halved one too.
		if (!distance2d_below(p, &o->center, circle)) continue;
		if (pull_back_circle_is_halved(o)) circle /= 2;
		if (distance2d_below(p, &o->center, circle)) return TRUE;
	}
	return FALSE;
}

static inline int64 square(int64 v) { return v * v; }

static world_point2d point_at(const world_point2d *origin, angle direction, int64 length)
{
	world_point2d p;
	p.x = static_cast<world_distance>(origin->x + ((angle_cosine(direction) * length) >> TRIG_SHIFT));
	p.y = static_cast<world_distance>(origin->y + ((angle_sine(direction) * length) >> TRIG_SHIFT));
	return p;
}

// The segment's stretch factor for circles of big_r (m > 0).
static inline int64 segment_stretch(int32 m, int32 big_r)
{
	return ((static_cast<int64>(big_r) + m) << 16) / m;
}

// A step's segment from start, lengthened for circles of one size: its end
// and the projection's divisor, shared by every obstacle of that size.
struct stretched_segment
{
	int64 ex, ey, length;
};

static inline void stretch_segment(const world_point2d *start, const world_point2d *point, int32 m, int64 k,
	stretched_segment *segment)
{
	world_point2d end = *start;
	if (m != 0)
	{
		end.x = static_cast<world_distance>(start->x + ((static_cast<int64>(point->x - start->x) * k) >> 16));
		end.y = static_cast<world_distance>(start->y + ((static_cast<int64>(point->y - start->y) * k) >> 16));
	}
	segment->ex = static_cast<int64>(end.x) - start->x;
	segment->ey = static_cast<int64>(end.y) - start->y;
	segment->length = (segment->ex * segment->ex + segment->ey * segment->ey) >> WORLD_FRACTIONAL_BITS;
}

// closest_point_on_line_segment2d's arithmetic: only a closest point inside
// the segment can meet.
static inline boolean stretched_segment_meets_circle(const world_point2d *start, const stretched_segment *segment,
	const world_point2d *center, int32 big_r)
{
	if (segment->length == 0) return FALSE;
	const int64 ax = static_cast<int64>(center->x) - start->x, ay = static_cast<int64>(center->y) - start->y;
	const int64 t = (ax * segment->ex + ay * segment->ey) / segment->length;
	if (t < 0 || t > WORLD_ONE) return FALSE;
	const world_point2d closest = {static_cast<world_distance>(start->x + ((segment->ex * t) >> WORLD_FRACTIONAL_BITS)),
		static_cast<world_distance>(start->y + ((segment->ey * t) >> WORLD_FRACTIONAL_BITS))};
	return distance2d_below(&closest, center, big_r);
}

boolean avoidance_segment_meets_circle(const world_point2d *start, const world_point2d *point, int32 m,
	const world_point2d *center, int32 big_r)
{
	stretched_segment segment;
	stretch_segment(start, point, m, m != 0 ? segment_stretch(m, big_r) : 0, &segment);
	return stretched_segment_meets_circle(start, &segment, center, big_r);
}

// The closest point lies in the box of start and end, and end is at most
// big_r beyond point on each axis (one more below, for the floor) while
// no axis of point - start exceeds m; a meeting needs each axis of the
// centre within big_r - 1 of the closest point. The box of start and point
// is reckoned once per step; each circle's centre, widened by twice its
// big_r, is reckoned once per adjustment: centre + 2 big_r > box low and
// centre - 2 big_r < box high on both axes. A box that bounds nothing (m
// out of range) spans everything; a circle of big_r <= 0 meets nothing and
// one of big_r > 32766 is always tested.
#define SPANS_EVERYTHING (static_cast<int64>(1) << 61)
#define BEYOND_EVERYTHING (static_cast<int64>(1) << 62)

struct segment_box
{
	int64 x_low, x_high, y_low, y_high;
};

static inline void make_segment_box(const world_point2d *start, const world_point2d *point, int32 m, segment_box *box)
{
	const int64 dx = static_cast<int64>(point->x) - start->x, dy = static_cast<int64>(point->y) - start->y;
	if (!(m > 0 && ABS(dx) <= m && ABS(dy) <= m))
	{
		box->x_low = box->y_low = -SPANS_EVERYTHING;
		box->x_high = box->y_high = SPANS_EVERYTHING;
		return;
	}
	box->x_low = start->x + MIN(dx, static_cast<int64>(0)) - 1;
	box->x_high = start->x + MAX(dx, static_cast<int64>(0));
	box->y_low = start->y + MIN(dy, static_cast<int64>(0)) - 1;
	box->y_high = start->y + MAX(dy, static_cast<int64>(0));
}

// An obstacle's circle as the step's box test and the turn need it.
struct obstacle_reach
{
	int64 x_low, x_high, y_low, y_high; // the centre widened by twice big_r
	int32 r, rho, big_r;
	// Distance and direction from the start, reckoned when first needed.
	int32 d;
	angle theta;
	boolean placed;
};

static obstacle_reach obstacle_reaches[MAXIMUM_OBSTACLES_TO_CONSIDER];

static inline void set_circle_reach(obstacle_reach *reach, const world_point2d *center, int32 big_r)
{
	if (big_r <= 0)
	{
		reach->x_low = reach->y_low = BEYOND_EVERYTHING;
		reach->x_high = reach->y_high = -BEYOND_EVERYTHING;
	}
	else if (big_r > 32766)
	{
		reach->x_low = reach->y_low = -BEYOND_EVERYTHING;
		reach->x_high = reach->y_high = BEYOND_EVERYTHING;
	}
	else
	{
		const int64 twice = 2 * static_cast<int64>(big_r);
		reach->x_low = center->x - twice;
		reach->x_high = center->x + twice;
		reach->y_low = center->y - twice;
		reach->y_high = center->y + twice;
	}
}

static inline boolean reach_may_meet_box(const obstacle_reach *reach, const segment_box *box)
{
	return reach->x_high > box->x_low && reach->x_low < box->x_high && reach->y_high > box->y_low &&
		reach->y_low < box->y_high;
}

boolean avoidance_segment_may_meet_circle(const world_point2d *start, const world_point2d *point, int32 m,
	const world_point2d *center, int32 big_r)
{
	segment_box box;
	make_segment_box(start, point, m, &box);
	obstacle_reach reach;
	set_circle_reach(&reach, center, big_r);
	return reach_may_meet_box(&reach, &box);
}

static inline void set_obstacle_reach(int16 index)
{
	const obstacle *o = &avoidance.obstacles[index];
	obstacle_reach *reach = &obstacle_reaches[index];
	reach->rho = avoid_radius_for(o);
	reach->r = reach->rho + o->radius;
	reach->big_r = reach->r + MINIMUM_AVOID_RADIUS;
	set_circle_reach(reach, &o->center, reach->big_r);
}

// Before the runs: every obstacle's reach; distances are reckoned when asked.
static void set_obstacle_reaches(void)
{
	for (int16 i = 0; i < avoidance.obstacle_count; ++i)
	{
		set_obstacle_reach(i);
		obstacle_reaches[i].placed = FALSE;
	}
}

// The right run's first step asks what the left run's first step asked (the
// same point against the same list) unless a step in between shrank an
// obstacle it stood inside: the left's answer is kept for it.
struct kept_first_step
{
	boolean valid;
	boolean plus_is_left;
	world_point2d plus, minus;
	int16 object_index;
};
static kept_first_step first_step = {};
// The adjustments are made as first written (no gather left out, no step kept).
static boolean as_first_written = FALSE;

// One step of an avoidance run from point; false when nothing is in the way.
static boolean find_avoidance_point(world_point2d *point, int16 side, const monster_data *monster,
	const monster_definition *definition, const object_data *object, boolean look_ahead)
{
	const world_point2d &start = avoidance.start;
	const int32 m = distance2d(&start, point);
	int16 best = NONE;
	int32 best_turn = 0;
	boolean inside = FALSE;
	int32 best_r = 0, best_rho = 0, best_d = 0;
	angle best_theta = 0;
	segment_box box;
	make_segment_box(&start, point, m, &box);
	// Neighbours are mostly of a few sizes: the stretch is divided out once per size.
	int32 stretched_big_r = 0;
	boolean stretch_known = FALSE;
	stretched_segment segment;
	stretch_segment(&start, point, 0, 0, &segment);
	for (int16 i = 0; i < avoidance.obstacle_count; ++i)
	{
		obstacle_reach *reach = &obstacle_reaches[i];
		if (!reach_may_meet_box(reach, &box)) continue;
		const obstacle *o = &avoidance.obstacles[i];
		const int32 rho = reach->rho, r = reach->r, big_r = reach->big_r;
		if (m != 0 && (!stretch_known || big_r != stretched_big_r))
		{
			stretch_segment(&start, point, m, segment_stretch(m, big_r), &segment);
			stretched_big_r = big_r;
			stretch_known = TRUE;
		}
		if (!stretched_segment_meets_circle(&start, &segment, &o->center, big_r)) continue;
		if (!reach->placed)
		{
			reach->d = distance2d(&start, &o->center);
			reach->theta = arctangent(o->center.x - start.x, o->center.y - start.y);
			reach->placed = TRUE;
		}
		const int32 d = reach->d;
		const angle theta = reach->theta;
		int32 turn;
		boolean is_inside = FALSE;
		if (d >= r + TRUE_AVOID_RADIUS)
		{
			turn = arcsine(static_cast<int32>(((static_cast<int64>(r) + TRUE_AVOID_RADIUS) << 14) / d));
		}
		else if (d <= r + 94)
		{
			turn = QUARTER_CIRCLE;
			is_inside = TRUE;
		}
		else
		{
			turn = arcsine(static_cast<int32>(((static_cast<int64>(r) + 95) << 14) / d));
		}
		if (is_inside || turn > best_turn)
		{
			best = i;
			best_turn = turn;
			best_r = r;
			best_rho = rho;
			best_d = d;
			best_theta = theta;
			inside = is_inside;
			if (is_inside) break;
		}
	}
	if (best == NONE)
	{
		if (side == _finding_leftmost) avoidance.leftmost_point = *point;
		else avoidance.rightmost_point = *point;
		return FALSE;
	}

	int64 length;
	if (best_d <= best_r + MINIMUM_AVOID_RADIUS)
	{
		length = best_rho + OVERSHOOT_DISTANCE;
	}
	else if (best_d < best_r + TRUE_AVOID_RADIUS)
	{
		length = isqrt(static_cast<uint32>(square(best_d) - square(best_r + MINIMUM_AVOID_RADIUS))) + OVERSHOOT_DISTANCE;
	}
	else
	{
		length = isqrt(static_cast<uint32>(square(best_d) - square(best_r + TRUE_AVOID_RADIUS))) + OVERSHOOT_DISTANCE;
	}
	const world_point2d plus = point_at(&start, static_cast<angle>(best_theta + best_turn), length);
	const world_point2d minus = point_at(&start, static_cast<angle>(best_theta - best_turn), length);
	obstacle *chosen = &avoidance.obstacles[best];
	if (inside)
	{
		chosen->radius = 0;
		set_obstacle_reach(best);
	}

	if (game_play_version >= 1301 && monster->avoiding_object_index != NONE &&
		chosen->object_index == monster->avoiding_object_index && (look_ahead || definition->pathfinding_radius >= 100))
	{
		const boolean walks_around = (definition->more_hack_flags & _hack_walks_around_blockage_flag) != 0;
		boolean close = FALSE;
		if (look_ahead)
		{
			const object_data *other = get_object_data(chosen->object_index);
			close = other && objects_nearer_than(object, other, chosen->radius + definition->pathfinding_radius + 512);
		}
		if (walks_around || close) avoidance.avoiding_same_object_again = TRUE;
	}

	const int64 cross = static_cast<int64>(point->x - start.x) * (plus.y - start.y) -
		static_cast<int64>(point->y - start.y) * (plus.x - start.x);
	const boolean plus_is_left = cross >= 0;
	if (side == _finding_leftmost && avoidance_step_count == 1)
	{
		first_step = {!inside && !as_first_written, plus_is_left, plus, minus, chosen->object_index};
	}
	else if (inside)
	{
		first_step.valid = FALSE;
	}
	if (side == _finding_leftmost)
	{
		avoidance.leftmost_object_index = chosen->object_index;
		*point = plus_is_left ? plus : minus;
	}
	else
	{
		avoidance.rightmost_object_index = chosen->object_index;
		*point = plus_is_left ? minus : plus;
	}
	return TRUE;
}

// A run from the destination; true when it met an obstacle.
static boolean run_avoidance(int16 side, const world_point2d *destination, const monster_data *monster,
	const monster_definition *definition, const object_data *object, boolean look_ahead)
{
	world_point2d point = *destination;
	boolean met = FALSE;
	avoidance_step_count = 1;
	if (side == _finding_leftmost)
	{
		first_step.valid = FALSE;
	}
	else if (first_step.valid)
	{
		avoidance.rightmost_object_index = first_step.object_index;
		point = first_step.plus_is_left ? first_step.minus : first_step.plus;
		met = TRUE;
		avoidance_step_count = 2;
		path_test_hooks.first_steps_kept += 1;
	}
	for (; avoidance_step_count <= ITERATION_CUTOFF + 1; ++avoidance_step_count)
	{
		if (!find_avoidance_point(&point, side, monster, definition, object, look_ahead)) break;
		met = TRUE;
	}
	return met;
}

static boolean point_is_recorded(const world_point2d *p)
{
	return p->x != -1 && p->y != -1;
}

// The gather was left out (a unit with a target close to its waypoint reads
// no obstacle); the list is made when asked for.
static boolean gather_left_out = FALSE;

static void adjust_for_obstacles(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	if (!object || !definition || !mesh_globals || !mesh_globals->mesh_cells) return;
	const world_point2d position = {object->location.position.x, object->location.position.y};

	const postprocessed_path_data *path = get_path_data(monster->path_index);
	if (monster->path_index == NONE || !path)
	{
		monster->path_destination = position;
		return;
	}
	world_point2d destination = path->waypoint;
	monster->path_destination = destination;

	const uint32 options = game ? game->option_flags : 0;
	if (game_play_version == 1500)
	{
		avoidance.monster_radius = static_cast<int16>(definition->pathfinding_radius + 21);
	}
	else if ((options & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag)) ||
		(game_play_version >= 1501 && (definition->more_hack_flags & _hack_walks_around_blockage_flag)))
	{
		avoidance.monster_radius = MAX(object->radius, definition->pathfinding_radius);
	}
	else
	{
		avoidance.monster_radius = object->radius;
	}
	avoidance.friendly_monster_radius = definition->pathfinding_radius;
	avoidance.monster_index = monster_index;
	avoidance.obstacle_count = 0;
	const boolean has_target_index = (monster->flags & _monster_has_valid_target_index_flag) != 0;
	const int32 near = has_target_index ? ATTACK_ADJUST_RADIUS : MINIMUM_ADJUST_RADIUS;
	// With a target the destination is not pulled back, and a waypoint this
	// close is kept below whatever the box holds: the gather is left out.
	gather_left_out = has_target_index && !as_first_written && ABS(destination.x - position.x) < near &&
		ABS(destination.y - position.y) < near;
	if (gather_left_out)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
		return;
	}
	find_possible_obstacles(monster, definition, object);

	// Pull the destination back towards the unit out of any solid circle.
	if (!has_target_index)
	{
		const int32 offset_x = destination.x - position.x, offset_y = destination.y - position.y;
		for (int32 n = 9; n >= 0 && point_inside_pull_back_circle(&destination); --n)
		{
			destination.x = position.x + offset_x * n / 10;
			destination.y = position.y + offset_y * n / 10;
		}
	}

	int32 dx = destination.x - position.x, dy = destination.y - position.y;
	if (ABS(dx) < near && ABS(dy) < near)
	{
		monster->path_destination = destination;
		monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
		return;
	}
	const uint32 d = isqrt(static_cast<uint32>(MIN(square(dx) + square(dy), static_cast<int64>(0xFFFFFFFF))));
	if (d > MAXIMUM_PATH_SEGMENT_DISTANCE)
	{
		destination.x = position.x + static_cast<world_distance>(static_cast<int64>(dx) * MAXIMUM_PATH_SEGMENT_DISTANCE / d);
		destination.y = position.y + static_cast<world_distance>(static_cast<int64>(dy) * MAXIMUM_PATH_SEGMENT_DISTANCE / d);
		dx = destination.x - position.x;
		dy = destination.y - position.y;
	}
	monster->path_destination = destination;

	avoidance.start = position;
	avoidance.leftmost_point = {-1, -1};
	avoidance.rightmost_point = {-1, -1};
	avoidance.leftmost_object_index = NONE;
	avoidance.rightmost_object_index = NONE;
	avoidance.avoiding_same_object_again = FALSE;
	if (avoidance.obstacle_count == 0) return;
	set_obstacle_reaches();
	const boolean look_ahead = is_look_ahead_mover(monster);
	if (!run_avoidance(_finding_leftmost, &destination, monster, definition, object, look_ahead)) return;
	const boolean right_met = run_avoidance(_finding_rightmost, &destination, monster, definition, object, look_ahead);
	if (!point_is_recorded(&avoidance.leftmost_point) || !point_is_recorded(&avoidance.rightmost_point)) return;

	world_point2d left = avoidance.leftmost_point, right = avoidance.rightmost_point;
	clamp_point_into_mesh(&left);
	clamp_point_into_mesh(&right);
	const uint16 mask = definition->terrain_impassability_flags;
	const boolean left_usable = !terrain_blocks(cell_flags(left.x >> WORLD_FRACTIONAL_BITS, left.y >> WORLD_FRACTIONAL_BITS), mask);
	const boolean right_usable =
		!terrain_blocks(cell_flags(right.x >> WORLD_FRACTIONAL_BITS, right.y >> WORLD_FRACTIONAL_BITS), mask);
	if (!left_usable && !right_usable)
	{
		monster->flags |= _monster_has_obstructed_path_flag;
		return;
	}
	boolean take_left;
	if (left_usable != right_usable)
	{
		take_left = left_usable;
	}
	else
	{
		const angle to_destination = arctangent(dx, dy);
		const int32 left_difference = angular_difference(arctangent(left.x - position.x, left.y - position.y), to_destination);
		const int32 right_difference =
			angular_difference(arctangent(right.x - position.x, right.y - position.y), to_destination);
		take_left = left_difference < right_difference;
	}
	if (game_play_version >= 1301 && right_met && avoidance.avoiding_same_object_again &&
		(look_ahead || (definition->pathfinding_radius >= 100 && (definition->more_hack_flags & _hack_walks_around_blockage_flag))))
	{
		take_left = (monster->extra_flags & _monster_deviating_left_extra_flag) != 0;
	}

	monster->path_destination = take_left ? left : right;
	if (take_left) monster->extra_flags |= _monster_deviating_left_extra_flag;
	else monster->extra_flags &= ~static_cast<uint32>(_monster_deviating_left_extra_flag);
	monster->avoiding_object_index = take_left ? avoidance.leftmost_object_index : avoidance.rightmost_object_index;
	if (right_met)
	{
		monster->flags |= _monster_has_obstructed_path_flag;
	}
	else
	{
		monster->avoiding_object_index = NONE;
		monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
	}
}

// The list the last adjustment left, with a gather it left out made now.
// Valid right after the adjustment (the world as it saw it).
static void complete_obstacle_list(void)
{
	if (!gather_left_out) return;
	gather_left_out = FALSE;
	const monster_data *monster = get_monster_data(avoidance.monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	avoidance.obstacle_count = 0;
	if (object && definition) find_possible_obstacles(monster, definition, object);
}

void adjust_path_destination_for_obstacles(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!path_test_hooks.compare_obstacle_adjustments || !monster)
	{
		adjust_for_obstacles(monster_index);
		return;
	}
	// Made as first written (the box always gathered, every step taken), then
	// again from the same unit record as it is made: the unit and the whole
	// list must agree.
	alignas(monster_data) unsigned char before[sizeof(monster_data)], expected[sizeof(monster_data)];
	memcpy(before, monster, sizeof(monster_data));
	as_first_written = TRUE;
	adjust_for_obstacles(monster_index);
	as_first_written = FALSE;
	const obstruction_avoidance_globals expected_list = avoidance;
	memcpy(expected, monster, sizeof(monster_data));
	memcpy(monster, before, sizeof(monster_data));
	adjust_for_obstacles(monster_index);
	path_test_hooks.gathers_left_out += gather_left_out ? 1 : 0;
	complete_obstacle_list();
	boolean same = memcmp(expected, monster, sizeof(monster_data)) == 0 &&
		expected_list.obstacle_count == avoidance.obstacle_count &&
		expected_list.avoiding_same_object_again == avoidance.avoiding_same_object_again &&
		expected_list.leftmost_object_index == avoidance.leftmost_object_index &&
		expected_list.rightmost_object_index == avoidance.rightmost_object_index;
	for (int16 i = 0; same && i < avoidance.obstacle_count; ++i)
	{
		const obstacle &a = expected_list.obstacles[i], &b = avoidance.obstacles[i];
		same = a.flags == b.flags && a.center.x == b.center.x && a.center.y == b.center.y && a.radius == b.radius &&
			a.object_index == b.object_index;
	}
	path_test_hooks.adjustments_compared += 1;
	path_test_hooks.adjustments_differing += same ? 0 : 1;
}
