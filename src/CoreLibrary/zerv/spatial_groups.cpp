// Spatial groups: built from the mesh cells' object chains (3 x 3 cells per
// member) into one fixed buffer; no allocation during play.
#include <algorithm>
#include <cstring>

#include "alliances.h"
#include "attack_ai.h"
#include "cell_units.h"
#include "crc.h"
#include "error_manager.h"
#include "memory.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "world.h"
#include "zerv.h"

struct spatial_groups_globals_data
{
	uint8 *buffer; // MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE bytes
	int32 first_group; // offsets; NONE when empty
	int32 first_supergroup;
	uint32 monster_used_flags[MONSTER_USED_FLAGS_SIZE];
};
static_assert(MONSTER_USED_FLAGS_SIZE * 32 >= MAXIMUM_MONSTERS_PER_MAP, "the used-unit bit set is too small");
static_assert(LAST_SPATIAL_GROUP_OFFSET == 23728, "a group must fit past the last start");
static_assert(sizeof(spatial_group) + 2 * MAXIMUM_MONSTERS_PER_MAP == MAXIMUM_SPATIAL_GROUP_SIZE,
	"the largest group holds every unit");

static spatial_groups_globals_data spatial_groups_globals = {nullptr, NONE, NONE, {}};

/* ---------- links */

static spatial_group *group_at(int32 offset)
{
	if (offset == NONE || !spatial_groups_globals.buffer) return nullptr;
	return reinterpret_cast<spatial_group *>(spatial_groups_globals.buffer + offset);
}

static spatial_supergroup *supergroup_at(int32 offset)
{
	if (offset == NONE || !spatial_groups_globals.buffer) return nullptr;
	return reinterpret_cast<spatial_supergroup *>(spatial_groups_globals.buffer + offset);
}

static int32 offset_of(const void *record)
{
	return static_cast<int32>(static_cast<const uint8 *>(record) - spatial_groups_globals.buffer);
}

static void build_noted_groups(void);
static bool noted_groups_pending(void);
static void noted_groups_dropped(void);
static void allocate_noted_cells(void);

// Whether the groups were read since the last pass: such a pass builds at
// once, the same groups as a note's without the note.
static bool groups_read_since_pass = false;
static uint32 spatial_groups_builds = 0;

spatial_group *first_spatial_group(void)
{
	groups_read_since_pass = true;
	if (noted_groups_pending()) build_noted_groups();
	return group_at(spatial_groups_globals.first_group);
}
spatial_group *next_spatial_group(const spatial_group *group) { return group_at(group->next_group); }
spatial_supergroup *first_spatial_supergroup(void)
{
	groups_read_since_pass = true;
	if (noted_groups_pending()) build_noted_groups();
	return supergroup_at(spatial_groups_globals.first_supergroup);
}
spatial_supergroup *next_spatial_supergroup(const spatial_supergroup *supergroup)
{
	return supergroup_at(supergroup->next);
}
spatial_supergroup *spatial_group_owner_supergroup(const spatial_group *group)
{
	return supergroup_at(group->owner_supergroup);
}

int16 *spatial_group_monster_indexes(spatial_group *group)
{
	return reinterpret_cast<int16 *>(reinterpret_cast<uint8 *>(group) + sizeof(spatial_group));
}

int16 spatial_group_monster_index(const spatial_group *group, int16 member)
{
	int16 index;
	memcpy(&index, reinterpret_cast<const uint8 *>(group) + sizeof(spatial_group) + 2 * member, sizeof(index));
	return index;
}

/* ---------- life cycle */

void initialize_spatial_groups(void)
{
	if (spatial_groups_globals.buffer) return;
	spatial_groups_globals.buffer = static_cast<uint8 *>(new_pointer(MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE));
	if (!spatial_groups_globals.buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
			"couldn't allocate #%d bytes for spatial groups buffer", MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE);
		return;
	}
	memset(spatial_groups_globals.buffer, 0, MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE);
	// Without the table every pass builds at once.
	allocate_noted_cells();
}

void initialize_spatial_groups_for_new_map(void)
{
	spatial_groups_globals.first_group = NONE;
	spatial_groups_globals.first_supergroup = NONE;
	noted_groups_dropped();
}

void dispose_spatial_groups_from_old_map(void)
{
	// The old map's last groups stay readable, as built at its last pass (a
	// noted pass cannot overflow: building it logs nothing).
	if (noted_groups_pending()) build_noted_groups();
}

/* ---------- what the build reads */

// A scheduler pass notes what the build reads and the groups are built from
// that note when something first asks for them (an action, the attack AI, the
// digest), so a pass that nobody reads before the next one builds nothing.
// The build reads: of every unit, whether it may seed or join a group, its
// team, kind, place, velocity and facing; of every cell a member's 3 x 3 block
// can cover, the chain order of its visible units; the mesh's size and the
// play version. The note keeps all of them, and only the next pass or a new
// map replaces it, so a later build gives what a build at the pass gave
// (kinds' definitions are the map's tags and stay put while it is loaded).
struct live_units
{
	const monster_data *monster(int16 i) const { return get_monster_data(i); }
	int16 count() const { return monster_array.count; }
	int16 growth_limit() const
	{
		return game_play_version == 1300 ? MAXIMUM_SPATIAL_GROUP_GROWTH_13 : MAXIMUM_SPATIAL_GROUP_GROWTH;
	}
	bool may_seed(int16 i) const
	{
		const monster_data *seed = monster(i);
		if (!seed || (seed->extra_flags & _monster_cannot_be_autotargeted_extra_flag)) return false;
		const object_data *object = get_object_data(seed->object_index);
		if (!object || (object->flags & _object_is_invisible_flag)) return false;
		const monster_definition *definition = get_monster_definition(seed->type);
		return !(definition && definition->monster_class == _monster_class_ambient_life);
	}
	int16 team(int16 i) const { return monster(i)->owner_team_index; }
	int16 type(int16 i) const { return monster(i)->type; }
	const object_data *object(int16 i) const { return get_object_data(monster(i)->object_index); }
	bool placed(int16 i) const { return object(i) != nullptr; }
	world_point2d position(int16 i) const
	{
		const world_point3d &p = object(i)->location.position;
		return {p.x, p.y};
	}
	void motion(int16 i, world_distance *velocity_i, world_distance *velocity_j, angle *yaw) const
	{
		const object_data *o = object(i);
		*velocity_i = o->location.velocity.i;
		*velocity_j = o->location.velocity.j;
		*yaw = o->location.yaw;
	}
	bool has_cells() const { return mesh_globals && mesh_globals->mesh_cells; }
	int32 width() const { return mesh_globals->mesh_width; }
	int32 height() const { return mesh_globals->mesh_height; }
	// visit(monster_index) for every unit that may join a group, in chain order; false when visit stopped.
	template <typename Visit>
	bool for_each_joinable_unit_in_cell(int32 x, int32 y, Visit visit) const
	{
		return for_each_visible_unit_in_cell(mesh_globals, x, y,
			[&](const object_data *, int16 monster_index, const monster_data *unit) {
				return (unit->extra_flags & _monster_cannot_be_autotargeted_extra_flag) || visit(monster_index);
			});
	}
};

enum
{
	_noted_unit_may_seed_flag = 1,
	_noted_unit_joinable_flag = 2, // the unit exists and may be targeted automatically
	_noted_unit_placed_flag = 4, // it has an object
};
struct noted_unit
{
	uint8 flags;
	int16 team, type;
	angle yaw;
	world_point2d position;
	world_distance velocity_i, velocity_j;
};
// One per mesh cell; its units are noted at the pass whose stamp it holds.
struct noted_cell
{
	uint16 stamp;
	uint16 block_stamp; // the 3 x 3 block from this corner is noted
	uint16 first; // into the noted cell units
	uint16 count;
};
#define NOTED_CELL_UNITS 4096
// The largest mesh's cells; a larger one (none is loaded) is built at the pass.
#define NOTED_CELL_CAPACITY (MAXIMUM_SUBMESH_WIDTH * SUBMESH_WIDTH * MAXIMUM_SUBMESH_HEIGHT * SUBMESH_WIDTH)
static_assert(NOTED_CELL_UNITS <= 65535, "a cell's first unit and count are 16-bit");
struct noted_inputs_data
{
	bool pending; // noted at a pass, not built yet
	int16 count, growth_limit;
	bool has_cells;
	int32 width, height;
	uint16 stamp; // this pass's; never 0, the table's cleared value
	noted_unit units[MAXIMUM_MONSTERS_PER_MAP];
	noted_cell *cells; // NOTED_CELL_CAPACITY of them, allocated with the buffer
	int32 cell_unit_count;
	int16 cell_units[NOTED_CELL_UNITS];
};
static noted_inputs_data noted_inputs;

struct noted_units
{
	const noted_inputs_data &n = noted_inputs;
	int16 count() const { return n.count; }
	int16 growth_limit() const { return n.growth_limit; }
	bool may_seed(int16 i) const { return n.units[i].flags & _noted_unit_may_seed_flag; }
	int16 team(int16 i) const { return n.units[i].team; }
	int16 type(int16 i) const { return n.units[i].type; }
	bool placed(int16 i) const { return n.units[i].flags & _noted_unit_placed_flag; }
	world_point2d position(int16 i) const { return n.units[i].position; }
	void motion(int16 i, world_distance *velocity_i, world_distance *velocity_j, angle *yaw) const
	{
		*velocity_i = n.units[i].velocity_i;
		*velocity_j = n.units[i].velocity_j;
		*yaw = n.units[i].yaw;
	}
	bool has_cells() const { return n.has_cells; }
	int32 width() const { return n.width; }
	int32 height() const { return n.height; }
	template <typename Visit>
	bool for_each_joinable_unit_in_cell(int32 x, int32 y, Visit visit) const
	{
		// Every cell of a placed, joinable unit's block is noted at the pass.
		const noted_cell &cell = n.cells[y * n.width + x];
		for (int32 k = 0; k < cell.count; ++k)
		{
			const int16 monster_index = n.cell_units[cell.first + k];
			if ((n.units[monster_index].flags & _noted_unit_joinable_flag) && !visit(monster_index)) return false;
		}
		return true;
	}
};

static int32 block_corner(int32 cell, int32 size);

static bool noted_groups_pending(void) { return noted_inputs.pending; }
static void allocate_noted_cells(void)
{
	if (noted_inputs.cells) return;
	noted_inputs.cells = static_cast<noted_cell *>(new_pointer_z(NOTED_CELL_CAPACITY * sizeof(noted_cell)));
	noted_inputs.stamp = 0;
}
static void noted_groups_dropped(void) { noted_inputs.pending = false; }
bool spatial_groups_pending(void) { return noted_inputs.pending; }

// Notes the build's inputs; false when they do not fit the note (the caller builds at once).
static bool note_build_inputs(void)
{
	noted_inputs_data *n = &noted_inputs;
	n->cell_unit_count = 0;
	const live_units live;
	if (live.count() < 0 || live.count() > MAXIMUM_MONSTERS_PER_MAP) return false;
	n->count = live.count();
	n->growth_limit = live.growth_limit();
	n->has_cells = live.has_cells();
	n->width = n->has_cells ? live.width() : 0;
	n->height = n->has_cells ? live.height() : 0;
	for (int16 i = 0; i < n->count; ++i)
	{
		noted_unit *unit = &n->units[i];
		unit->flags = 0;
		const monster_data *monster = live.monster(i);
		if (!monster) continue;
		if (!(monster->extra_flags & _monster_cannot_be_autotargeted_extra_flag)) unit->flags |= _noted_unit_joinable_flag;
		if (live.may_seed(i)) unit->flags |= _noted_unit_may_seed_flag;
		unit->team = monster->owner_team_index;
		unit->type = monster->type;
		if (!live.placed(i)) continue;
		unit->flags |= _noted_unit_placed_flag;
		unit->position = live.position(i);
		live.motion(i, &unit->velocity_i, &unit->velocity_j, &unit->yaw);
	}
	if (!n->has_cells || n->width < 1 || n->height < 1) return true;
	if (!n->cells || static_cast<int64>(n->width) * n->height > NOTED_CELL_CAPACITY) return false;
	if (++n->stamp == 0)
	{
		memset(n->cells, 0, NOTED_CELL_CAPACITY * sizeof(noted_cell));
		n->stamp = 1;
	}
	const uint16 stamp = n->stamp;
	// Only a unit that may join a group can be a member, and only a placed
	// member's block is scanned: those blocks' cells are noted.
	for (int16 i = 0; i < n->count; ++i)
	{
		const uint8 flags = n->units[i].flags;
		if (!(flags & _noted_unit_joinable_flag) || !(flags & _noted_unit_placed_flag)) continue;
		const int32 x0 = block_corner(WORLD_INTEGERAL_PART(n->units[i].position.x), n->width);
		const int32 y0 = block_corner(WORLD_INTEGERAL_PART(n->units[i].position.y), n->height);
		// Units standing in one cell share their block.
		noted_cell *corner = &n->cells[y0 * n->width + x0];
		if (corner->block_stamp == stamp) continue;
		corner->block_stamp = stamp;
		const int32 x1 = MIN(x0 + NEARBY_CELL_DIAMETER, n->width), y1 = MIN(y0 + NEARBY_CELL_DIAMETER, n->height);
		for (int32 y = y0; y < y1; ++y)
		{
			for (int32 x = x0; x < x1; ++x)
			{
				noted_cell *cell = &n->cells[y * n->width + x];
				if (cell->stamp == stamp) continue;
				cell->stamp = stamp;
				cell->first = static_cast<uint16>(n->cell_unit_count);
				bool fits = true;
				for_each_visible_unit_in_cell(mesh_globals, x, y, [&](const object_data *, int16 monster_index, const monster_data *) {
					if (n->cell_unit_count >= NOTED_CELL_UNITS || monster_index < 0 || monster_index >= n->count)
					{
						fits = false;
						return false;
					}
					n->cell_units[n->cell_unit_count++] = monster_index;
					return true;
				});
				if (!fits) return false;
				cell->count = static_cast<uint16>(n->cell_unit_count - cell->first);
			}
		}
	}
	return true;
}

/* ---------- building */

static int16 saturate16(int64 value)
{
	return static_cast<int16>(value > 32767 ? 32767 : value < -32767 ? -32767 : value);
}

static bool monster_used(int16 monster_index)
{
	return (spatial_groups_globals.monster_used_flags[monster_index >> 5] >> (monster_index & 31)) & 1;
}

static void mark_monster_used(int16 monster_index)
{
	spatial_groups_globals.monster_used_flags[monster_index >> 5] |= 1u << (monster_index & 31);
}

// The 3 x 3 block's lower corner: clamped so the block stays on the map, at 0
// on maps under three cells.
static int32 block_corner(int32 cell, int32 size)
{
	int32 corner = cell - NEARBY_CELL_RADIUS;
	if (corner > size - NEARBY_CELL_DIAMETER) corner = size - NEARBY_CELL_DIAMETER;
	return corner < 0 ? 0 : corner;
}

// The cells a group has already scanned, in a square around its seed's cell:
// a cell's chain and the units' team, kind and flags stay put while the
// groups are built, and a unit once taken stays taken, so scanning a cell
// again for the same group adds nobody. Cells outside the square are simply
// scanned again.
#define SCANNED_CELLS_SIDE 32
struct scanned_cells_data
{
	int32 x0, y0; // the square's lower corner
	uint32 rows[SCANNED_CELLS_SIDE];
};
static scanned_cells_data scanned_cells;

static void reset_scanned_cells(const world_point2d *seed)
{
	scanned_cells.x0 = WORLD_INTEGERAL_PART(seed->x) - SCANNED_CELLS_SIDE / 2;
	scanned_cells.y0 = WORLD_INTEGERAL_PART(seed->y) - SCANNED_CELLS_SIDE / 2;
	memset(scanned_cells.rows, 0, sizeof(scanned_cells.rows));
}

// The cells of row y from x0 (width of them, at most 3) not yet scanned, as
// bits from x0 up; marks them scanned (when the row lies in the square).
static uint32 cells_to_scan(int32 x0, int32 y, int32 width)
{
	const uint32 row = (1u << width) - 1u;
	const uint32 dx = static_cast<uint32>(x0 - scanned_cells.x0), dy = static_cast<uint32>(y - scanned_cells.y0);
	if (dy >= SCANNED_CELLS_SIDE || dx > static_cast<uint32>(SCANNED_CELLS_SIDE - width)) return row;
	const uint32 pending = row & ~(scanned_cells.rows[dy] >> dx);
	scanned_cells.rows[dy] |= pending << dx;
	return pending;
}

// Appends every unit of the seed's team and kind in the block around the point.
template <typename Units>
static void scan_block_around(const Units &units, spatial_group *group, world_point2d point)
{
	if (!units.has_cells()) return;
	const int32 x0 = block_corner(WORLD_INTEGERAL_PART(point.x), units.width());
	const int32 y0 = block_corner(WORLD_INTEGERAL_PART(point.y), units.height());
	const int32 x1 = MIN(x0 + NEARBY_CELL_DIAMETER, units.width());
	const int32 y1 = MIN(y0 + NEARBY_CELL_DIAMETER, units.height());
	if (x1 <= x0) return;
	int16 *members = spatial_group_monster_indexes(group);
	for (int32 y = y0; y < y1; ++y)
	{
		for (uint32 pending = cells_to_scan(x0, y, x1 - x0); pending; pending &= pending - 1)
		{
			const int32 x = x0 + __builtin_ctz(pending);
			const bool room = units.for_each_joinable_unit_in_cell(x, y, [&](int16 monster_index) {
					if (monster_used(monster_index) || units.team(monster_index) != group->team_index ||
						units.type(monster_index) != group->monster_type)
					{
						return true;
					}
					if (group->monster_count >= MAXIMUM_MONSTERS_PER_MAP) return false;
					members[group->monster_count++] = monster_index;
					mark_monster_used(monster_index);
					return true;
				});
			// A full group takes nobody more: the rest of the block need not be looked at.
			if (!room) return;
		}
	}
}

// Each grouped unit's position, noted as its group is summed up, for the
// contact test between groups (nothing moves while the groups are built).
static world_point2d grouped_unit_positions[MAXIMUM_MONSTERS_PER_MAP];

template <typename Units>
static void summarise_group(const Units &units, spatial_group *group)
{
	const int16 *members = spatial_group_monster_indexes(group);
	int64 sum_x = 0, sum_y = 0, sum_i = 0, sum_j = 0;
	int32 sum_cosine = 0, sum_sine = 0;
	world_distance min_x = 0, min_y = 0, max_x = 0, max_y = 0;
	for (int16 i = 0; i < group->monster_count; ++i)
	{
		const world_point2d p = units.position(members[i]);
		world_distance velocity_i, velocity_j;
		angle yaw;
		units.motion(members[i], &velocity_i, &velocity_j, &yaw);
		grouped_unit_positions[members[i]] = p;
		sum_x += p.x;
		sum_y += p.y;
		sum_i += velocity_i;
		sum_j += velocity_j;
		sum_cosine += angle_cosine(yaw);
		sum_sine += angle_sine(yaw);
		if (i == 0 || p.x < min_x) min_x = p.x;
		if (i == 0 || p.y < min_y) min_y = p.y;
		if (i == 0 || p.x > max_x) max_x = p.x;
		if (i == 0 || p.y > max_y) max_y = p.y;
	}
	const int16 count = group->monster_count;
	world_point2d center = {static_cast<world_distance>(sum_x / count), static_cast<world_distance>(sum_y / count)};
	group->center.x = center.x;
	group->center.y = center.y;
	int64 radius = max_x - center.x;
	if (max_y - center.y > radius) radius = max_y - center.y;
	if (center.x - min_x > radius) radius = center.x - min_x;
	if (center.y - min_y > radius) radius = center.y - min_y;
	group->radius = saturate16(radius);
	world_vector2d velocity = {saturate16(sum_i / count), saturate16(sum_j / count)};
	group->velocity = velocity;
	group->facing = arctangent(sum_cosine, sum_sine);
	const monster_definition *definition = get_monster_definition(group->monster_type);
	group->power = saturate16(definition ? static_cast<int64>(definition->combined_power) * count : 0);
	group->range = definition ? definition->longest_range : 0;
}

// Builds groups into the buffer; false when it overflowed.
template <typename Units>
static bool build_groups(const Units &units)
{
	const int16 growth_limit = units.growth_limit();
	int32 offset = 0;
	spatial_group *last = nullptr;
	for (int16 monster_index = 0; monster_index < units.count(); ++monster_index)
	{
		if (monster_used(monster_index) || !units.may_seed(monster_index)) continue;

		if (offset > LAST_SPATIAL_GROUP_OFFSET)
		{
			log_message(MODULE_NAME, __LINE__, "### spatial groups overflowed internal buffer");
			return false;
		}
		spatial_group *group = reinterpret_cast<spatial_group *>(spatial_groups_globals.buffer + offset);
		memset(group, 0, sizeof(*group));
		group->team_index = units.team(monster_index);
		group->monster_type = units.type(monster_index);
		group->next_group = NONE;
		group->first_attacker = NONE;
		group->owner_supergroup = NONE;
		int16 *members = spatial_group_monster_indexes(group);
		members[0] = monster_index;
		group->monster_count = 1;
		mark_monster_used(monster_index);
		const world_point2d seed_position = units.position(monster_index);
		reset_scanned_cells(&seed_position);

		for (int16 member = 0; member < group->monster_count && group->monster_count < growth_limit; ++member)
		{
			if (units.placed(members[member])) scan_block_around(units, group, units.position(members[member]));
		}
		summarise_group(units, group);

		if (last) last->next_group = offset;
		else spatial_groups_globals.first_group = offset;
		last = group;
		offset += static_cast<int32>(sizeof(spatial_group)) + 2 * group->monster_count;
	}
	return true;
}

static int32 approximate_distance(world_distance dx, world_distance dy)
{
	const int32 ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
	return ax > ay ? ax + ay / 2 : ay + ax / 2;
}

static bool groups_touch(const spatial_group *a, const spatial_group *b)
{
	// Every member of b lies within b's half-box around its centre (when the
	// half-box was not clipped to 16 bits), and the contact distance is at
	// least the larger axis offset: a member of a that far past the box on
	// either axis meets none of b's members.
	const bool boxed = b->radius < 32767;
	const int64 reach = static_cast<int64>(b->radius) + SUPERGROUP_UNIT_CONTACT_DISTANCE;
	for (int16 i = 0; i < a->monster_count; ++i)
	{
		const world_point2d p = grouped_unit_positions[spatial_group_monster_index(a, i)];
		if (boxed)
		{
			const int64 dx = static_cast<int64>(p.x) - b->center.x, dy = static_cast<int64>(p.y) - b->center.y;
			if (dx >= reach || -dx >= reach || dy >= reach || -dy >= reach) continue;
		}
		for (int16 j = 0; j < b->monster_count; ++j)
		{
			const world_point2d q = grouped_unit_positions[spatial_group_monster_index(b, j)];
			if (approximate_distance(p.x - q.x, p.y - q.y) < SUPERGROUP_UNIT_CONTACT_DISTANCE) return true;
		}
	}
	return false;
}

static bool groups_can_combine(const spatial_group *a, const spatial_group *b)
{
	const int64 dx = static_cast<int64>(a->center.x) - b->center.x, dy = static_cast<int64>(a->center.y) - b->center.y;
	const int64 reach = static_cast<int64>(MAXIMUM_SUPERGROUP_GAP) + a->radius + b->radius;
	// The distance is at least the larger offset: most pairs end here without a root.
	if ((dx < 0 ? -dx : dx) > reach || (dy < 0 ? -dy : dy) > reach) return false;
	const world_point2d p = {a->center.x, a->center.y}, q = {b->center.x, b->center.y};
	if (static_cast<int64>(distance2d(&p, &q)) - a->radius - b->radius > MAXIMUM_SUPERGROUP_GAP) return false;
	return groups_touch(a, b);
}

// arctangent of 64-bit sums: halved together until both fit its 32-bit arguments.
static angle wide_arctangent(int64 x, int64 y)
{
	while (x > INT32_MAX / 2 || x < -(INT32_MAX / 2) || y > INT32_MAX / 2 || y < -(INT32_MAX / 2))
	{
		x /= 2;
		y /= 2;
	}
	return arctangent(static_cast<world_distance>(x), static_cast<world_distance>(y));
}

// The groups in list order, laid out for the candidate scan (every later
// group for every work-list group): no allocation.
#define MAXIMUM_LAID_OUT_GROUPS (LAST_SPATIAL_GROUP_OFFSET / (sizeof(spatial_group) + 2) + 1)
struct laid_out_groups_data
{
	int32 count;
	spatial_group *groups[MAXIMUM_LAID_OUT_GROUPS];
	int16 team[MAXIMUM_LAID_OUT_GROUPS];
	int16 type[MAXIMUM_LAID_OUT_GROUPS];
	int16 radius[MAXIMUM_LAID_OUT_GROUPS];
	bool taken[MAXIMUM_LAID_OUT_GROUPS];
	world_point2d center[MAXIMUM_LAID_OUT_GROUPS];
	int16 largest_radius;
	// Positions ordered by team, then centre x, then position, so that a
	// scan looks only at the groups of its team near a work-list group.
	int16 by_x[MAXIMUM_LAID_OUT_GROUPS];
	uint64 keys[MAXIMUM_LAID_OUT_GROUPS];
	// The sorted place of each position, and for each sorted place a later (or
	// the same) place still to look at: taken groups are stepped over.
	int16 place[MAXIMUM_LAID_OUT_GROUPS];
	int16 skip[MAXIMUM_LAID_OUT_GROUPS + 1];
	// What the scan reads, in sorted order.
	world_point2d sorted_center[MAXIMUM_LAID_OUT_GROUPS];
	int16 sorted_team[MAXIMUM_LAID_OUT_GROUPS], sorted_type[MAXIMUM_LAID_OUT_GROUPS], sorted_radius[MAXIMUM_LAID_OUT_GROUPS];
	int16 found[MAXIMUM_LAID_OUT_GROUPS];
};
static laid_out_groups_data laid_out_groups;
static_assert(MAXIMUM_LAID_OUT_GROUPS <= 0x8000, "a position must fit the sort key's low 16 bits and an int16");

static void sort_laid_out_groups_by_x(laid_out_groups_data *l)
{
	// Team, then centre x, then position, in one key: no two keys are equal,
	// so any sort gives the stable order.
	uint64 *keys = l->keys;
	for (int32 i = 0; i < l->count; ++i)
	{
		keys[i] = (static_cast<uint64>(static_cast<uint16>(l->team[i] ^ 0x8000)) << 48) |
			(static_cast<uint64>(static_cast<uint32>(l->center[i].x) ^ 0x80000000u) << 16) | static_cast<uint64>(i);
	}
	std::sort(keys, keys + l->count);
	for (int32 k = 0; k < l->count; ++k) l->by_x[k] = static_cast<int16>(keys[k] & 0xffff);
	for (int32 k = 0; k < l->count; ++k)
	{
		const int32 p = l->by_x[k];
		l->place[p] = static_cast<int16>(k);
		l->skip[k] = static_cast<int16>(k);
		l->sorted_center[k] = l->center[p];
		l->sorted_team[k] = l->team[p];
		l->sorted_type[k] = l->type[p];
		l->sorted_radius[k] = l->radius[p];
	}
	l->skip[l->count] = static_cast<int16>(l->count);
}

static void take_laid_out_group(laid_out_groups_data *l, int32 p)
{
	l->taken[p] = true;
	const int32 k = l->place[p];
	l->skip[k] = static_cast<int16>(k + 1);
}

// The first sorted place at or after k whose group is not taken (the end when none).
static int32 next_untaken_place(laid_out_groups_data *l, int32 k)
{
	int32 root = k;
	while (l->skip[root] != root) root = l->skip[root];
	while (l->skip[k] != root)
	{
		const int32 next = l->skip[k];
		l->skip[k] = static_cast<int16>(root);
		k = next;
	}
	return root;
}

// The positions after p, in list order, that may join p's supergroup as far as
// team, kind and the box around p's reach tell.
static int32 nearby_candidates(laid_out_groups_data *l, int32 p, int32 seed)
{
	const world_point2d here = l->center[p];
	const int16 team = l->team[seed], type = l->type[seed];
	const int64 here_reach = static_cast<int64>(MAXIMUM_SUPERGROUP_GAP) + l->radius[p];
	const int64 window = here_reach + l->largest_radius;
	const int64 lowest_x = here.x - window, highest_x = here.x + window;
	int32 low = 0, high = l->count;
	while (low < high)
	{
		const int32 middle = (low + high) / 2;
		if (l->sorted_team[middle] < team || (l->sorted_team[middle] == team && l->sorted_center[middle].x < lowest_x)) low = middle + 1;
		else high = middle;
	}
	int32 found = 0;
	// The places returned hold groups not taken.
	for (int32 k = next_untaken_place(l, low); k < l->count; k = next_untaken_place(l, k + 1))
	{
		if (l->sorted_team[k] != team || l->sorted_center[k].x > highest_x) break;
		const int32 c = l->by_x[k];
		if (c <= p || l->sorted_type[k] == type) continue;
		const int64 reach = here_reach + l->sorted_radius[k];
		const int64 dx = static_cast<int64>(l->sorted_center[k].x) - here.x, dy = static_cast<int64>(l->sorted_center[k].y) - here.y;
		if (dx > reach || -dx > reach || dy > reach || -dy > reach) continue;
		// Insertion keeps list order: few groups stand this close.
		int32 at = found++;
		while (at > 0 && l->found[at - 1] > c)
		{
			l->found[at] = l->found[at - 1];
			--at;
		}
		l->found[at] = static_cast<int16>(c);
	}
	return found;
}

static void build_supergroups(int32 offset)
{
	laid_out_groups_data *l = &laid_out_groups;
	l->count = 0;
	l->largest_radius = 0;
	for (spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		const int32 i = l->count++;
		l->groups[i] = group;
		l->team[i] = group->team_index;
		l->type[i] = group->monster_type;
		l->radius[i] = group->radius;
		l->taken[i] = false;
		l->center[i] = {group->center.x, group->center.y}; // field by field: the record is packed
		if (l->radius[i] > l->largest_radius) l->largest_radius = l->radius[i];
	}
	sort_laid_out_groups_by_x(l);
	spatial_supergroup *last = nullptr;
	spatial_group *work[MAXIMUM_COMBINED_GROUPS];
	int32 work_position[MAXIMUM_COMBINED_GROUPS];
	for (int32 seed = 0; seed < l->count; ++seed)
	{
		if (l->taken[seed]) continue;
		spatial_group *group = l->groups[seed];
		if (offset + static_cast<int32>(sizeof(spatial_supergroup)) > MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE)
		{
			log_message(MODULE_NAME, __LINE__, "### spatial supergroups overflowed internal buffer");
			return;
		}
		spatial_supergroup *supergroup = reinterpret_cast<spatial_supergroup *>(spatial_groups_globals.buffer + offset);
		memset(supergroup, 0, sizeof(*supergroup));
		supergroup->next = NONE;
		supergroup->team_index = group->team_index;
		supergroup->monster_index = spatial_group_monster_index(group, 0);
		group->flags |= _spatial_group_in_supergroup_flag;
		group->owner_supergroup = offset;
		take_laid_out_group(l, seed);
		int32 work_count = 0;
		work_position[work_count] = seed;
		work[work_count++] = group;

		int64 power = 0, monster_count = 0, sum_x = 0, sum_y = 0, sum_i = 0, sum_j = 0, sum_cosine = 0, sum_sine = 0;
		for (int32 w = 0; w < work_count; ++w)
		{
			const spatial_group *current = work[w];
			monster_count += current->monster_count;
			power += current->power;
			sum_x += static_cast<int64>(current->center.x) * current->power;
			sum_y += static_cast<int64>(current->center.y) * current->power;
			sum_i += static_cast<int64>(current->velocity.i) * current->power;
			sum_j += static_cast<int64>(current->velocity.j) * current->power;
			sum_cosine += static_cast<int64>(angle_cosine(current->facing)) * current->power;
			sum_sine += static_cast<int64>(angle_sine(current->facing)) * current->power;
			const int32 found = nearby_candidates(l, work_position[w], seed);
			for (int32 f = 0; f < found; ++f)
			{
				const int32 c = l->found[f];
				spatial_group *candidate = l->groups[c];
				if (!groups_can_combine(current, candidate)) continue;
				take_laid_out_group(l, c);
				candidate->flags |= _spatial_group_in_supergroup_flag;
				candidate->owner_supergroup = offset;
				// A group found once the list is full belongs here but adds nothing.
				if (work_count < MAXIMUM_COMBINED_GROUPS)
				{
					work_position[work_count] = c;
					work[work_count++] = candidate;
				}
			}
		}
		supergroup->monster_count = saturate16(monster_count);
		supergroup->power = saturate16(power);
		if (power != 0)
		{
			const world_point2d center = {static_cast<world_distance>(sum_x / power), static_cast<world_distance>(sum_y / power)};
			supergroup->center.x = center.x;
			supergroup->center.y = center.y;
			const world_vector2d velocity = {saturate16(sum_i / power), saturate16(sum_j / power)};
			supergroup->velocity = velocity;
			supergroup->facing = wide_arctangent(sum_cosine, sum_sine);
			int64 radius = 0, range = 0;
			for (int32 w = 0; w < work_count; ++w)
			{
				const world_point2d member_center = {work[w]->center.x, work[w]->center.y};
				const int64 distance = distance2d(&center, &member_center);
				if (distance + work[w]->radius > radius) radius = distance + work[w]->radius;
				if (distance + work[w]->range > range) range = distance + work[w]->range;
			}
			supergroup->radius = saturate16(radius);
			supergroup->range = saturate16(range);
		}
		if (last) last->next = offset;
		else spatial_groups_globals.first_supergroup = offset;
		last = supergroup;
		offset += static_cast<int32>(sizeof(spatial_supergroup));
	}
}

template <typename Units>
static void build_from(const Units &units)
{
	memset(spatial_groups_globals.monster_used_flags, 0, sizeof(spatial_groups_globals.monster_used_flags));
	if (!build_groups(units)) return;
	int32 offset = 0;
	for (const spatial_group *group = first_spatial_group(); group; group = next_spatial_group(group))
	{
		offset = offset_of(group) + static_cast<int32>(sizeof(spatial_group)) + 2 * group->monster_count;
	}
	build_supergroups(offset);
}

// Whether the groups and supergroups of the units as they are now could pass
// the buffer's end: each seed makes at most one group and one supergroup, and
// each member takes its two bytes once.
static bool build_may_overflow(void)
{
	if (!spatial_groups_globals.buffer || !monster_array.data) return false;
	const live_units live;
	int64 seeds = 0, members = 0;
	for (int16 i = 0; i < live.count(); ++i)
	{
		const monster_data *monster = live.monster(i);
		if (!monster || !live.placed(i)) continue;
		members += !(monster->extra_flags & _monster_cannot_be_autotargeted_extra_flag);
		seeds += live.may_seed(i);
	}
	const int64 groups_end = seeds * static_cast<int64>(sizeof(spatial_group)) + 2 * members;
	return groups_end > LAST_SPATIAL_GROUP_OFFSET ||
		groups_end + seeds * static_cast<int64>(sizeof(spatial_supergroup)) > MAXIMUM_SPATIAL_GROUPS_BUFFER_SIZE;
}

void build_spatial_groups(void)
{
	// A pass that may overflow builds at once: its lines are logged at the pass
	// whether or not its groups are read, and never again when they are.
	if (groups_read_since_pass || build_may_overflow() || !note_spatial_groups()) build_spatial_groups_from_live_units();
	groups_read_since_pass = false;
}

bool note_spatial_groups(void)
{
	spatial_groups_globals.first_group = NONE;
	spatial_groups_globals.first_supergroup = NONE;
	noted_inputs.pending = false;
	spatial_groups_builds += 1;
	if (!spatial_groups_globals.buffer || !monster_array.data) return true;
	if (!note_build_inputs()) return false;
	noted_inputs.pending = true;
	return true;
}

void build_spatial_groups_from_live_units(void)
{
	spatial_groups_globals.first_group = NONE;
	spatial_groups_globals.first_supergroup = NONE;
	noted_inputs.pending = false;
	spatial_groups_builds += 1;
	if (!spatial_groups_globals.buffer || !monster_array.data) return;
	build_from(live_units());
}

uint32 spatial_groups_build_count(void) { return spatial_groups_builds; }

static void build_noted_groups(void)
{
	noted_inputs.pending = false;
	build_from(noted_units());
}

/* ---------- queries */

spatial_group *obstructing_group(world_point2d point, const spatial_group *group, int16 team_index)
{
	const world_distance dx = point.x - group->center.x, dy = point.y - group->center.y;
	const int64 d0 = static_cast<int64>(dx) * dx + static_cast<int64>(dy) * dy;
	const angle a0 = arctangent(dx, dy);
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		if (g == group || g->team_index == team_index || teams_are_allied(g->team_index, team_index) ||
			g->team_index != group->team_index)
		{
			continue;
		}
		const monster_definition *definition = get_monster_definition(g->monster_type);
		if (!definition || definition->monster_class != _monster_class_melee) continue;
		const int64 gx = static_cast<int64>(point.x) - g->center.x, gy = static_cast<int64>(point.y) - g->center.y;
		if (gx * gx + gy * gy - g->radius >= d0) continue;
		const angle toward = arctangent(static_cast<world_distance>(gx), static_cast<world_distance>(gy));
		if (angular_difference(a0, toward) < MINIMUM_OBSTRUCTION_ANGLE) return g;
	}
	return nullptr;
}

/* ---------- digest */

// The fields groups and supergroups share, in the slot's order (read by value: the records are packed).
template <typename group_type>
static void digest_placement(zerv_digest *digest, const group_type *g)
{
	zerv_digest_int32(digest, g->center.x);
	zerv_digest_int32(digest, g->center.y);
	zerv_digest_int16(digest, g->radius);
	zerv_digest_int16(digest, static_cast<int16>(g->facing));
	zerv_digest_int16(digest, g->power);
}

template <typename group_type>
static void digest_motion(zerv_digest *digest, const group_type *g)
{
	zerv_digest_int16(digest, g->range);
	zerv_digest_int16(digest, g->velocity.i);
	zerv_digest_int16(digest, g->velocity.j);
}

void spatial_groups_fold_digest(zerv_digest *digest)
{
	for (const spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		// Supergroups lie packed after the groups: the ordinal is the offset's.
		const int32 ordinal = g->owner_supergroup == NONE ? NONE :
			(g->owner_supergroup - spatial_groups_globals.first_supergroup) / static_cast<int32>(sizeof(spatial_supergroup));
		zerv_digest_int16(digest, static_cast<int16>(g->flags));
		zerv_digest_int16(digest, g->team_index);
		zerv_digest_int16(digest, g->monster_type);
		zerv_digest_int16(digest, g->monster_count);
		digest_placement(digest, g);
		digest_motion(digest, g);
		zerv_digest_int16(digest, g->attacker_power);
		zerv_digest_int32(digest, g->power_ratio);
		zerv_digest_int32(digest, ordinal);
		zerv_digest_int32(digest, g->first_attacker);
		for (int16 i = 0; i < g->monster_count; ++i) zerv_digest_int16(digest, spatial_group_monster_index(g, i));
	}
	for (const spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		zerv_digest_int16(digest, s->team_index);
		zerv_digest_int16(digest, s->monster_index);
		digest_placement(digest, s);
		zerv_digest_int16(digest, s->monster_count);
		digest_motion(digest, s);
	}
	attack_ai_fold_digest(digest);
}
