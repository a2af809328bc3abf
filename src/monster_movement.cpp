// Unit movement: choosing where to go, turning and advancing every tick, and
// collision with terrain, models and other objects. Everything but the
// footprints is part of the synchronised simulation.
#include "monsters.h"

#include <cmath>
#include <cstring>

#include "alliances.h"
#include "artifact_definitions.h"
#include "cell_units.h"
#include "flags.h"
#include "local_projectiles.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "mesh_triangles.h"
#include "monster_commands.h"
#include "object_definitions.h"
#include "objects.h"
#include "path.h"
#include "pathfinding_radius.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "projectiles.h"
#include "render/render.h"
#include "scenery_definitions.h"
#include "world.h"
#include "zerv.h"

/* ---------- tables and counters */

// Per parity (odd, even), the neighbouring triangle behind each bit of
// cell_impassability_flags; entries 2 and 3 are unused.
const cell_impassability_offset cell_impassability_offsets[2][8] = {
	{{0, 0, 0}, {0, 0, 1}, {0, 0, NONE}, {0, 0, NONE}, {0, -1, 3}, {-1, 0, 3}, {0, 1, 2}, {1, 0, 2}},
	{{0, 0, 2}, {0, 0, 3}, {0, 0, NONE}, {0, 0, NONE}, {0, -1, 0}, {-1, 0, 0}, {0, 1, 1}, {1, 0, 1}}};

static monster_movement_counters movement_counters;

monster_movement_counters *get_monster_movement_counters(void)
{
	return &movement_counters;
}

void reset_monster_movement_counters(void)
{
	memset(&movement_counters, 0, sizeof(movement_counters));
}

/* ---------- helpers */

namespace
{

inline boolean mesh_present(void)
{
	return mesh_globals && mesh_globals->mesh_cells;
}

inline const mesh_cell *cell_at(int32 x, int32 y)
{
	return get_mesh_cell(x, y);
}

// The terrain type of one of a cell's triangles: odd numbers read the low
// nibble, even numbers the next.
inline int16 triangle_terrain(const mesh_cell *cell, int16 triangle)
{
	return (triangle & 1) ? (cell->flags & CELL_TERRAIN_TYPE_MASK) :
		((cell->flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK);
}

inline boolean terrain_in_mask(uint16 mask, int16 terrain)
{
	return terrain >= 0 && terrain < 16 && (mask & (1u << terrain));
}

// get_mesh_terrain_type with the cell and triangle found inline (the same
// cell rule, the same triangle split): movement asks several times a step.
inline int16 terrain_under(world_distance x, world_distance y)
{
	const mesh_cell *cell = get_mesh_cell(x >> WORLD_FRACTIONAL_BITS, y >> WORLD_FRACTIONAL_BITS);
	const int32 u = x & (WORLD_ONE - 1), v = y & (WORLD_ONE - 1);
	// The triangle picked without a branch (the side of a point is a coin toss
	// to the predictor): odd cells split on u + v < WORLD_ONE, even ones on v > u.
	const int32 odd = ((x >> WORLD_FRACTIONAL_BITS) ^ (y >> WORLD_FRACTIONAL_BITS)) & 1;
	const int32 first = (odd & static_cast<int32>(u + v < WORLD_ONE)) | ((odd ^ 1) & static_cast<int32>(v > u));
	return static_cast<int16>((cell->flags >> (first * CELL_TERRAIN_TYPE_BITS)) & CELL_TERRAIN_TYPE_MASK);
}

inline int64 square(int64 v)
{
	return v * v;
}

inline int64 square_distance(world_distance x0, world_distance y0, world_distance x1, world_distance y1)
{
	return square(static_cast<int64>(x1) - x0) + square(static_cast<int64>(y1) - y0);
}

boolean version_from(int16 version)
{
	return game_play_version >= version;
}

// get_monster_definition_for_monster with the record read inline.
inline __attribute__((always_inline)) monster_definition *definition_of(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	return monster ? get_monster_definition(monster->type) : NULL;
}

boolean has_sequence(const monster_definition *definition, int16 sequence)
{
	return definition && definition->sequence_indexes[sequence] != NONE;
}

// The test counters' record, a static of the units module whose address never
// changes: held so that the moving step, run for every unit every tick, counts
// without a call.
monsters_test_hooks_data *const moving_step_hooks = get_monsters_test_hooks();

object_data *object_of(const monster_data *monster)
{
	return monster ? get_object_data(monster->object_index) : NULL;
}

}

/* ---------- impassability */

uint8 build_cell_impassability_flags(uint16 terrain_impassability_flags, const world_point2d *position)
{
	if (!mesh_present() || mesh_globals->mesh_width < 3 || mesh_globals->mesh_height < 3) return 0;
	const int32 x = PIN(position->x >> WORLD_FRACTIONAL_BITS, 1, mesh_globals->mesh_width - 2);
	const int32 y = PIN(position->y >> WORLD_FRACTIONAL_BITS, 1, mesh_globals->mesh_height - 2);
	const cell_impassability_offset *offsets = cell_impassability_offsets[((x ^ y) & 1) ? 0 : 1];
	// x, y are pinned one cell inside the edges: every neighbour is on the grid.
	const int32 width = mesh_globals->mesh_width;
	const mesh_cell *centre = &mesh_globals->mesh_cells[y * width + x];
	uint32 flags = 0;
	for (int16 bit = 0; bit < 8; ++bit)
	{
		if (offsets[bit].triangle == NONE) continue;
		const mesh_cell *cell = centre + offsets[bit].dy * width + offsets[bit].dx;
		// A terrain is four bits, always inside the mask's sixteen.
		const uint32 terrain = static_cast<uint32>(triangle_terrain(cell, offsets[bit].triangle));
		flags |= ((static_cast<uint32>(terrain_impassability_flags) >> terrain) & 1u) << bit;
	}
	return static_cast<uint8>(flags);
}

void update_monster_impassability_for_cell(int32 x, int32 y)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->impassability_updates += 1;
	hooks->last_impassability_x = x;
	hooks->last_impassability_y = y;
	if (!mesh_present()) return;

	object_cell_walk walk;
	start_object_cell_walk(&walk, x - 1, y - 1, x + 1, y + 1);
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE;
		 object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *object = get_object_data(object_index);
		if (!object || object->owner != _object_is_monster) continue;
		monster_data *monster = get_monster_data(object->owner_index);
		if (!monster) continue;
		const world_point2d p = {object->location.position.x, object->location.position.y};
		monster->cell_impassability_flags = build_cell_impassability_flags(monster->terrain_impassability_flags, &p);
		monster->flags |= _monster_needs_new_path_flag;
	}
}

boolean indoor_cell_obstruction_proc(int32 x, int32 y, void *)
{
	const mesh_cell *cell = mesh_present() ? cell_at(x, y) : NULL;
	if (!cell) return FALSE;
	return triangle_terrain(cell, 0) == _terrain_flying_impassable || triangle_terrain(cell, 1) == _terrain_flying_impassable;
}

// Inline for the four neighbours each step clips against.
static inline __attribute__((always_inline)) void obstructed_cell_bounds(int32 x, int32 y,
	world_rectangle2d *rectangles, int16 *count, world_distance margin)
{
	if (!mesh_present() || x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) return;
	const mesh_cell *cell = &mesh_globals->mesh_cells[y * mesh_globals->mesh_width + x];
	if (cell->model_index == NONE) return;
	const int16 t0 = triangle_terrain(cell, 0), t1 = triangle_terrain(cell, 1);
	const boolean impassable = t0 == _terrain_walking_impassable || t0 == _terrain_flying_impassable ||
		t1 == _terrain_walking_impassable || t1 == _terrain_flying_impassable;
	if (!impassable) return;
	world_rectangle2d *r = &rectangles[(*count)++];
	r->x0 = x * WORLD_ONE - margin;
	r->y0 = y * WORLD_ONE - margin;
	r->x1 = MIN(x + 1, mesh_globals->mesh_width - 1) * WORLD_ONE + margin;
	r->y1 = MIN(y + 1, mesh_globals->mesh_height - 1) * WORLD_ONE + margin;
}

void report_obstructed_cell_bounds(int32 x, int32 y, world_rectangle2d *rectangles, int16 *count, world_distance margin)
{
	obstructed_cell_bounds(x, y, rectangles, count, margin);
}

/* ---------- heights and speed */

// get_height_for_new_position with a map present, inline for the moving step.
static inline __attribute__((always_inline)) world_distance height_for_new_position(const world_point2d *point,
	boolean floats_on_media, boolean keeps_height_above_ground, short_world_distance height_over_mesh,
	boolean *in_media, const mesh_cell **cell_out = NULL)
{
	boolean media = FALSE;
	// A map is present here: get_mesh_height's own answer, inline, and the
	// point's cell (cell_at's) with it.
	const mesh_cell *cell;
	world_distance height = mesh_height_and_cell_of_type<_land_height>(point, &cell);
	if (cell_out) *cell_out = cell;
	if (cell && (cell->flags & _mesh_cell_triangle_media_flags))
	{
		media = mesh_texture_pixel_is_media(point->x >> 6, point->y >> 6);
		if (media && floats_on_media) height = mesh_height_of_type<_media_height>(point);
	}
	if (keeps_height_above_ground)
	{
		const world_distance ground = mesh_height_of_type<_true_height>(point);
		if (ground != NONRENDERED_CELL_HEIGHT) height = ground + height_over_mesh;
	}
	if (in_media) *in_media = media;
	return height;
}

world_distance get_height_for_new_position(const world_point2d *point, boolean floats_on_media,
	boolean keeps_height_above_ground, short_world_distance height_over_mesh, boolean *in_media)
{
	if (!mesh_present())
	{
		if (in_media) *in_media = FALSE;
		return 0;
	}
	return height_for_new_position(point, floats_on_media, keeps_height_above_ground, height_over_mesh, in_media);
}

static boolean object_keeps_height(const object_data *object)
{
	const object_definition *definition = get_object_definition(object->type);
	return definition && (definition->flags & _maintains_constant_height_above_ground_flag);
}

void update_monster_location_height(int16 monster_index)
{
	get_monsters_test_hooks()->location_height_updates += 1;
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = object_of(monster);
	if (!object) return;
	const world_point2d p = {object->location.position.x, object->location.position.y};
	object->location.position.z = get_height_for_new_position(&p, (object->flags & _object_floats_on_media_flag) != 0,
		object_keeps_height(object), monster->height_over_mesh, NULL);
}

void calculate_monster_speed(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || monster->held_object_count < 1) return;
	if (monster->carrying_object_index != NONE && monster->artifact_index != NONE)
	{
		const artifact_definition *active = get_artifact_definition(monster->artifact_index);
		if (active && (active->flags & _artifact_cannot_be_holstered_flag)) return;
	}
	for (int16 slot = 0; slot < MIN(monster->held_object_count, MAXIMUM_HELD_OBJECTS_PER_MONSTER); ++slot)
	{
		const object_data *object = get_object_data(monster->held_object_indexes[slot]);
		if (!object || object->owner != _object_is_dormant_projectile) continue;
		const projectile_definition *projectile = get_projectile_definition(object->owner_index);
		const artifact_definition *artifact =
			projectile && projectile->artifact_index != NONE ? get_artifact_definition(projectile->artifact_index) : NULL;
		const uint32 both = _artifact_overrides_owner_monster_flag | _artifact_always_slow_when_held_flag;
		if (!artifact || (artifact->flags & both) != both) continue;
		const monster_definition *override = get_monster_definition(artifact->monster_override_type);
		if (override && override->base_movement_speed < monster->base_movement_speed)
		{
			monster->base_movement_speed = override->base_movement_speed;
		}
	}
}

void find_monster_smooth_velocity(int16 object_index, world_vector3d *velocity)
{
	velocity->i = velocity->j = velocity->k = 0;
	const object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_monster) return;
	const monster_data *monster = get_monster_data(object->owner_index);
	const monster_definition *definition = definition_of(object->owner_index);
	if (!monster || !definition || monster->action != _monster_action_moving) return;
	const int16 terrain = terrain_under(object->location.position.x, object->location.position.y);
	const int32 modifier = terrain >= 0 && terrain < NUMBER_OF_MONSTER_TERRAIN_TYPES ?
		definition->movement_modifiers[terrain] : 255;
	const int32 speed = monster->base_movement_speed * (modifier + 1) / 256;
	velocity->i = static_cast<short_world_distance>(angle_cosine(object->location.yaw) * speed / 16384);
	velocity->j = static_cast<short_world_distance>(angle_sine(object->location.yaw) * speed / 16384);
}

int32 charging_speed_bonus(int32 speed, int8 percent)
{
	if (percent < 1) return speed / 5;
	// Extended precision, truncated: 900 at 13 gains 116, not 117.
	const long double fraction = static_cast<long double>(percent) / 100.0L;
	return static_cast<int32>(truncl(fraction * static_cast<long double>(speed)));
}

/* ---------- soft obstacles, retreat, obstruction queries */

boolean use_monster_pathfinding_radius(int16 monster_index, int16 other_monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_data *other = get_monster_data(other_monster_index);
	if (!monster || !other) return FALSE;
	return pathfinding_radius_applies(monster, get_monster_definition(monster->type), other, other_monster_index,
		get_monster_definition(other->type),
		[monster](int16 team) { return teams_are_allied(monster->owner_team_index, team); });
}

static void add_scaled(int64 *sx, int64 *sy, world_distance dx, world_distance dy, int32 scale)
{
	const angle a = arctangent(dx, dy);
	*sx += (static_cast<int64>(angle_cosine(a)) * scale) >> 14;
	*sy += (static_cast<int64>(angle_sine(a)) * scale) >> 14;
}

boolean generate_point_of_retreat(int16 monster_index, const world_point2d *from, world_point2d *point, angle *facing)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = object_of(monster);
	if (!object || !mesh_present()) return FALSE;
	const world_point2d position = {object->location.position.x, object->location.position.y};
	int64 sx = 0, sy = 0;
	boolean contributed = FALSE;
	const boolean has_from = from && (from->x != position.x || from->y != position.y);

	if (has_from)
	{
		add_scaled(&sx, &sy, position.x - from->x, position.y - from->y, 1024);
		contributed = TRUE;
	}
	const int32 cx = position.x >> WORLD_FRACTIONAL_BITS, cy = position.y >> WORLD_FRACTIONAL_BITS;
	object_cell_walk walk;
	start_object_cell_walk(&walk, cx - RETREAT_SCAN_RADIUS, cy - RETREAT_SCAN_RADIUS, cx + RETREAT_SCAN_RADIUS,
		cy + RETREAT_SCAN_RADIUS);
	for (int16 other_index = next_object_in_cell_walk(&walk); other_index != NONE;
		 other_index = next_object_in_cell_walk(&walk))
	{
		const object_data *other = get_object_data(other_index);
		if (!other || other->owner != _object_is_monster || !(other->flags & _object_is_solid_flag) ||
			(other->flags & _object_is_invisible_flag))
		{
			continue;
		}
		const world_distance dx = position.x - other->location.position.x;
		const world_distance dy = position.y - other->location.position.y;
		if (dx == 0 && dy == 0) continue;
		add_scaled(&sx, &sy, dx, dy, monsters_are_allied(monster_index, other->owner_index) ? 256 : 1024);
		contributed = TRUE;
	}

	if (sx == 0 && sy == 0) sx = 1;
	angle a = arctangent(static_cast<world_distance>(PIN(sx, INT32_MIN, INT32_MAX)),
		static_cast<world_distance>(PIN(sy, INT32_MIN, INT32_MAX)));
	if (has_from)
	{
		const angle away = arctangent(position.x - from->x, position.y - from->y);
		const int32 turn = PIN(signed_angular_difference(away, a), -10922, 10922);
		a = static_cast<angle>(away + turn);
	}
	point->x = static_cast<world_distance>(PIN(static_cast<int64>(position.x) + angle_cosine(a) / 4, 0,
		static_cast<int64>(mesh_globals->mesh_width - 1) * WORLD_ONE));
	point->y = static_cast<world_distance>(PIN(static_cast<int64>(position.y) + angle_sine(a) / 4, 0,
		static_cast<int64>(mesh_globals->mesh_height - 1) * WORLD_ONE));
	*facing = a;
	return contributed;
}

int16 check_for_object_obstruction(int16 object_index, const world_point3d *from, const world_point3d *to,
	world_distance check_distance, angle pitch, boolean test_height, boolean units_always_block, boolean wide)
{
	if (!mesh_present()) return NONE;
	const object_data *self = get_object_data(object_index);
	boolean flat = FALSE;
	if (self && self->owner == _object_is_monster)
	{
		const monster_definition *definition = definition_of(self->owner_index);
		flat = definition && (static_cast<uint16>(definition->hack_flags) & _hack_missile_attack_ignores_height_flag);
	}
	const world_point2d from2 = {from->x, from->y}, to2 = {to->x, to->y};
	const int64 dx = static_cast<int64>(to->x) - from->x, dy = static_cast<int64>(to->y) - from->y;
	const int64 dz = static_cast<int64>(to->z) - from->z;
	const int64 horizontal = static_cast<int64>(isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy, 0xFFFFFFFFll))));
	const int64 full = flat ? horizontal :
		static_cast<int64>(isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy + dz * dz, 0xFFFFFFFFll))));
	const int64 length = MIN(static_cast<int64>(check_distance), full);
	if (length <= 0) return NONE;
	(void)from2;
	(void)to2;

	// The covered cells, one cell of margin.
	const world_distance ex = static_cast<world_distance>(from->x + (horizontal ? dx * length / MAX(horizontal, 1) : 0));
	const world_distance ey = static_cast<world_distance>(from->y + (horizontal ? dy * length / MAX(horizontal, 1) : 0));
	int16 best = NONE;
	int64 best_distance = length;
	// The cell walk's objects in its order, without its state (the visit relinks nothing).
	for_each_object_in_cells((MIN(from->x, ex) >> WORLD_FRACTIONAL_BITS) - 1,
		(MIN(from->y, ey) >> WORLD_FRACTIONAL_BITS) - 1, (MAX(from->x, ex) >> WORLD_FRACTIONAL_BITS) + 1,
		(MAX(from->y, ey) >> WORLD_FRACTIONAL_BITS) + 1, [&](int16 other_index)
	{
		if (other_index == object_index) return;
		const object_data *other = get_object_data(other_index);
		if (!other || !(other->flags & _object_is_solid_flag) || (other->flags & _object_is_invisible_flag)) return;
		const int64 ox = static_cast<int64>(other->location.position.x) - from->x;
		const int64 oy = static_cast<int64>(other->location.position.y) - from->y;
		// Only an object nearer than the nearest so far (best_distance <= length).
		const uint32 square_d = static_cast<uint32>(MIN(ox * ox + oy * oy, 0xFFFFFFFFll));
		if (!isqrt_below(square_d, best_distance)) return;
		// Distance of the other from the segment's line. Every test here only
		// turns the object away, so the root waits until they have passed.
		const int64 reach = other->radius + (wide ? 512 : 256);
		if (horizontal > 0)
		{
			const int64 cross = ox * dy - oy * dx;
			if (square(cross) >= square(reach) * horizontal * horizontal) return;
			if (ox * dx + oy * dy < 0) return;
		}
		const int64 d = static_cast<int64>(isqrt(square_d));
		if (horizontal <= 0 && d >= reach) return;
		if (test_height && !(units_always_block && other->owner == _object_is_monster))
		{
			const int64 z = from->z + static_cast<int64>(angle_sine(pitch)) * d / 16384;
			if (z < other->location.position.z + other->height0 || z > other->location.position.z + other->height1) return;
		}
		best = other_index;
		best_distance = d;
	});
	return best;
}

boolean check_for_ground_obstruction(const world_point3d *from, const world_point3d *to, angle pitch,
	boolean *obstructed, const object_definition *projectile_object_definition)
{
	*obstructed = FALSE;
	if (!mesh_present()) return FALSE;
	const int64 dx = static_cast<int64>(to->x) - from->x, dy = static_cast<int64>(to->y) - from->y;
	const int64 dz = static_cast<int64>(to->z) - from->z;
	const int64 full = static_cast<int64>(isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy + dz * dz, 0xFFFFFFFFll))));
	int64 length;
	angle used_pitch;
	if (projectile_object_definition && projectile_object_definition->gravity >= 0)
	{
		length = MIN(full, static_cast<int64>(4096));
		used_pitch = pitch;
	}
	else
	{
		length = MIN(full, static_cast<int64>(2560));
		const int32 signed_pitch = static_cast<int16>(pitch);
		used_pitch = static_cast<angle>(signed_pitch == -32768 ? 16384 : signed_pitch / 2);
	}
	const int64 horizontal = static_cast<int64>(isqrt(static_cast<uint32>(MIN(dx * dx + dy * dy, 0xFFFFFFFFll))));
	const int64 c = angle_cosine(used_pitch), s = angle_sine(used_pitch);
	// At a vertical pitch only the start is tested.
	const int32 samples = (length == 0 || horizontal == 0 || c == 0) ? 1 : 15;
	for (int32 k = 0; k < samples; ++k)
	{
		const int64 along = length * k / 15;
		const world_point2d p = {static_cast<world_distance>(from->x + dx * along / MAX(horizontal, 1)),
			static_cast<world_distance>(from->y + dy * along / MAX(horizontal, 1))};
		const int64 z = from->z + (c ? along * s / c : 0);
		if (get_mesh_height(&p, _land_height) > z)
		{
			*obstructed = TRUE;
			return TRUE;
		}
	}
	return FALSE;
}

/* ---------- one tick of travel */

namespace
{

// Refuses a move: the object stays where it was.
struct travel_state
{
	world_point3d old_point;
	world_point3d point;
	uint32 result;
	int16 contacts;
	boolean refused;
	boolean inside;
	// The last impassability flags built, for the unit's own mask, and their
	// cell (they depend on nothing else).
	boolean flags_built;
	int32 flags_x, flags_y;
	uint8 flags;
};

uint8 travel_impassability_flags(travel_state *travel, uint16 mask)
{
	const int32 x = travel->point.x >> WORLD_FRACTIONAL_BITS, y = travel->point.y >> WORLD_FRACTIONAL_BITS;
	if (!travel->flags_built || travel->flags_x != x || travel->flags_y != y)
	{
		travel->flags_built = TRUE;
		const world_point2d p = {travel->point.x, travel->point.y};
		travel->flags = build_cell_impassability_flags(mask, &p);
		travel->flags_x = x;
		travel->flags_y = y;
	}
	return travel->flags;
}

// The largest pathfinding radius (as a magnitude) of any kind a unit can
// have: every kind get_monster_definition can answer lies in the group's
// 0..count - 1. Kept while the definitions do not change (the generation,
// which every load, addition, removal and postprocess moves, and the group's
// records and count).
struct widest_kind_radius_data
{
	boolean built;
	uint32 generation;
	const void *records;
	int16 count;
	int64 radius;
};
widest_kind_radius_data widest_kind_radius;

inline int64 widest_pathfinding_radius_of_any_kind(void)
{
	widest_kind_radius_data *kept = &widest_kind_radius;
	if (!kept->built || kept->generation != definitions_generation || kept->records != monster_definitions.definitions ||
		kept->count != monster_definitions.count)
	{
		int64 widest = 0;
		for (int16 kind = 0; kind < monster_definitions.count; ++kind)
		{
			const monster_definition *d = static_cast<const monster_definition *>(try_and_get_definition(&monster_definitions, kind));
			if (!d) continue;
			const int64 radius = d->pathfinding_radius < 0 ? -static_cast<int64>(d->pathfinding_radius) : d->pathfinding_radius;
			widest = MAX(widest, radius);
		}
		kept->built = TRUE;
		kept->generation = definitions_generation;
		kept->records = monster_definitions.definitions;
		kept->count = monster_definitions.count;
		kept->radius = widest;
	}
	return kept->radius;
}

// other is other_index's record, in use.
// most_reach bounds the pathfinding reach of the unit and any other: its own
// radius's magnitude plus the widest of any kind.
inline __attribute__((always_inline)) void test_object_contact(int16 object_index, const object_data *object,
	monster_data *monster, int16 monster_index, const monster_definition *definition, int16 other_index,
	const object_data *other, travel_state *travel, int64 most_reach)
{
	if (other_index == object_index || other_index == object->transparent_object_index) return;
	if (!(other->flags & _object_is_solid_flag) || (other->flags & _object_is_invisible_flag)) return;

	// Cheap rejections first: nothing more than the largest reach away.
	const world_distance ox = other->location.position.x, oy = other->location.position.y;
	int64 r = static_cast<int64>(object->radius) + other->radius + 85;

	if (other->owner == _object_is_monster)
	{
		// The test below before the other's kind is looked up, with the widest
		// reach any kind can have: with its kind found the reach and its span are
		// at most most_reach, so the test below would return; without one, the
		// point is r or more off on an axis and the box test further down returns.
		// Either way nothing is written.
		{
			const int64 widest = MAX(r, most_reach);
			const int64 nx = static_cast<int64>(travel->point.x) - ox, ny = static_cast<int64>(travel->point.y) - oy;
			const int64 ox0 = static_cast<int64>(travel->old_point.x) - ox, oy0 = static_cast<int64>(travel->old_point.y) - oy;
			if ((nx >= widest || nx <= -widest || ny >= widest || ny <= -widest) &&
				(ox0 > most_reach || ox0 < -most_reach || oy0 > most_reach || oy0 < -most_reach))
			{
				return;
			}
		}
		const monster_definition *other_definition = definition_of(other->owner_index);
		if (definition && other_definition)
		{
			// Nothing below can touch a unit beyond both its widest reach from
			// the new point and its pathfinding reach from the old one.
			const int64 reach = definition->pathfinding_radius + other_definition->pathfinding_radius;
			const int64 widest = MAX(r, reach), span = reach < 0 ? -reach : reach;
			const int64 nx = static_cast<int64>(travel->point.x) - ox, ny = static_cast<int64>(travel->point.y) - oy;
			const int64 ox0 = static_cast<int64>(travel->old_point.x) - ox, oy0 = static_cast<int64>(travel->old_point.y) - oy;
			if ((nx >= widest || nx <= -widest || ny >= widest || ny <= -widest) &&
				(ox0 > span || ox0 < -span || oy0 > span || oy0 < -span))
			{
				return;
			}
			if ((definition->size >= 1) != (other_definition->size >= 1)) r = 0;
			else if (use_monster_pathfinding_radius(monster_index, other->owner_index))
			{
				r = definition->pathfinding_radius + other_definition->pathfinding_radius;
			}
			const uint32 targeting = _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
			if (version_from(1301) && (monster->extra_flags & _monster_inside_object_allowed_extra_flag) &&
				!(monster->flags & targeting))
			{
				if (square_distance(travel->old_point.x, travel->old_point.y, ox, oy) <= reach * reach)
				{
					travel->inside = TRUE;
					return;
				}
			}
		}
	}
	else if (other->owner == _object_is_projectile || other->owner == _object_is_dormant_projectile)
	{
		if (game_play_version > 1300)
		{
			if ((monster->flags & _monster_wants_to_pick_up_object_flag) && monster->pick_up_object_index == other_index)
			{
				return;
			}
			const int64 near = static_cast<int64>(object->radius) + other->radius + 170;
			if (square_distance(travel->old_point.x, travel->old_point.y, ox, oy) < near * near) return;
		}
	}
	else if (other->owner == _object_is_scenery)
	{
		const scenery_definition *scenery = get_scenery_definition(other->owner_index);
		if (scenery && (scenery->flags & _scenery_marks_terrain_impassable_flag)) return;
	}
	else if (other->owner == _object_is_flag && game_play_version > 1300)
	{
		r = 0;
	}

	if (r <= 0) return;
	if (travel->contacts >= 1 && game_play_version > 1300)
	{
		if (game_play_version < 1701)
		{
			// As plain numbers, unwrapped.
			int32 d = static_cast<int32>(arctangent(ox - travel->point.x, oy - travel->point.y)) -
				static_cast<int32>(object->location.yaw);
			int32 limit = 32768;
			if (game_play_version > 1600)
			{
				if (d > 32768) d = 65536 - d;
				limit = 20480;
			}
			if (d > limit) r -= r / 3;
		}
		else
		{
			const int64 along = static_cast<int64>(object->location.velocity.i) * (ox - travel->old_point.x) +
				static_cast<int64>(object->location.velocity.j) * (oy - travel->old_point.y);
			if (along < 0) return;
		}
	}

	const int64 dx = static_cast<int64>(travel->point.x) - ox, dy = static_cast<int64>(travel->point.y) - oy;
	if (dx >= r || dx <= -r || dy >= r || dy <= -r) return;
	const int64 bottom = travel->point.z + object->height0, top = travel->point.z + object->height1;
	const int64 other_bottom = static_cast<int64>(other->location.position.z) + other->height0;
	const int64 other_top = static_cast<int64>(other->location.position.z) + other->height1;
	if (top < other_bottom || other_top < bottom) return;
	if (dx * dx + dy * dy >= r * r) return;

	movement_counters.contacts += 1;
	travel->contacts += 1;
	if (travel->contacts > 1)
	{
		travel->result |= _object_struck_objects_flag;
		travel->refused = TRUE;
		return;
	}
	travel->result |= _object_struck_object_flag | (static_cast<uint32>(static_cast<uint16>(other_index)) << 16);
	if ((object->flags & _object_is_permeable_flag) || (other->flags & _object_is_permeable_flag))
	{
		travel->result |= _object_struck_object_softly_flag;
	}
	if (other->owner == _object_is_projectile)
	{
		travel->refused = TRUE;
		return;
	}

	const angle a = arctangent(static_cast<world_distance>(dx), static_cast<world_distance>(dy));
	world_point3d pushed = travel->point;
	pushed.x = static_cast<world_distance>(ox + ((static_cast<int64>(angle_cosine(a)) * r) >> 14));
	pushed.y = static_cast<world_distance>(oy + ((static_cast<int64>(angle_sine(a)) * r) >> 14));

	if (version_from(1301) && definition && !travel->inside &&
		(static_cast<uint8>(definition->more_hack_flags) & _hack_walks_around_blockage_flag))
	{
		const int64 old_d = square_distance(travel->old_point.x, travel->old_point.y, ox, oy);
		const int64 pushed_d = square_distance(pushed.x, pushed.y, ox, oy);
		const int64 new_d = dx * dx + dy * dy;
		const int64 near = r < 171 ? r - r / 20 : r - r / 40;
		boolean back = pushed_d < old_d && pushed_d < near * near && new_d <= old_d;
		const mesh_cell *cell = cell_at(pushed.x >> WORLD_FRACTIONAL_BITS, pushed.y >> WORLD_FRACTIONAL_BITS);
		if (cell && terrain_in_mask(definition->terrain_impassability_flags, triangle_terrain(cell, 0))) back = TRUE;
		if (back)
		{
			pushed.x = travel->old_point.x;
			pushed.y = travel->old_point.y;
		}
	}
	travel->point.x = pushed.x;
	travel->point.y = pushed.y;
}

void clip_to_model_cells(const object_data *object, travel_state *travel)
{
	world_rectangle2d rectangles[4];
	int16 count = 0;
	const int32 cx = travel->point.x >> WORLD_FRACTIONAL_BITS, cy = travel->point.y >> WORLD_FRACTIONAL_BITS;
	// A neighbour without a model gives no rectangle: where none of the four on
	// the grid holds one, nothing below can clip (models are rare on a map).
	const int32 width = mesh_globals->mesh_width;
	if (cx >= 1 && cy >= 1 && cx < width - 1 && cy < mesh_globals->mesh_height - 1)
	{
		const mesh_cell *centre = &mesh_globals->mesh_cells[cy * width + cx];
		if (centre[-1].model_index == NONE && centre[1].model_index == NONE && centre[-width].model_index == NONE &&
			centre[width].model_index == NONE)
		{
			return;
		}
	}
	obstructed_cell_bounds(cx - 1, cy, rectangles, &count, object->radius);
	obstructed_cell_bounds(cx + 1, cy, rectangles, &count, object->radius);
	obstructed_cell_bounds(cx, cy - 1, rectangles, &count, object->radius);
	obstructed_cell_bounds(cx, cy + 1, rectangles, &count, object->radius);
	for (int16 i = 0; i < count; ++i)
	{
		const world_rectangle2d *r = &rectangles[i];
		if (travel->point.x <= r->x0 || travel->point.x >= r->x1 || travel->point.y <= r->y0 || travel->point.y >= r->y1)
		{
			continue;
		}
		// Slide along the edge that the travel crossed.
		if (travel->old_point.x <= r->x0) travel->point.x = r->x0;
		else if (travel->old_point.x >= r->x1) travel->point.x = r->x1;
		else if (travel->old_point.y <= r->y0) travel->point.y = r->y0;
		else if (travel->old_point.y >= r->y1) travel->point.y = r->y1;
		travel->result |= _object_struck_cell_flag;
	}
}

void apply_terrain(monster_data *monster, const monster_definition *definition, travel_state *travel)
{
	const uint8 flags = monster->cell_impassability_flags;
	const uint16 mask = monster->terrain_impassability_flags;
	const int32 ox = travel->old_point.x >> WORLD_FRACTIONAL_BITS, oy = travel->old_point.y >> WORLD_FRACTIONAL_BITS;
	int32 nx = travel->point.x >> WORLD_FRACTIONAL_BITS, ny = travel->point.y >> WORLD_FRACTIONAL_BITS;

	if (flags)
	{
		const boolean barred_x = (nx < ox && (flags & 32)) || (nx > ox && (flags & 128));
		const boolean barred_y = (ny < oy && (flags & 16)) || (ny > oy && (flags & 64));
		if (barred_x && barred_y)
		{
			if (terrain_in_mask(mask, terrain_under(travel->point.x, travel->point.y)))
			{
				travel->point.x = travel->old_point.x;
				travel->point.y = travel->old_point.y;
				travel->result |= _object_struck_cell_flag;
			}
		}
		else if (barred_x || barred_y)
		{
			if (barred_x) travel->point.x = travel->old_point.x;
			if (barred_y) travel->point.y = travel->old_point.y;
			travel->result |= _object_struck_cell_flag;
		}
	}

	nx = travel->point.x >> WORLD_FRACTIONAL_BITS;
	ny = travel->point.y >> WORLD_FRACTIONAL_BITS;
	if (nx != ox || ny != oy)
	{
		const uint8 f = travel_impassability_flags(travel, mask);
		const boolean even = ((nx ^ ny) & 1) == 0;
		if ((f & 3) == 3 || (f & 240) == 240 || (even && ((f & 145) == 145 || (f & 98) == 98)))
		{
			travel->refused = TRUE;
			travel->result |= _object_struck_cell_flag;
			return;
		}
	}
	else if (flags)
	{
		const int32 fx = travel->point.x & (WORLD_ONE - 1), fy = travel->point.y & (WORLD_ONE - 1);
		const boolean even = ((nx ^ ny) & 1) == 0;
		const int32 t = even ? fy : 511 - fy;
		const boolean first = t > fx;
		if (flags & (first ? 1 : 2))
		{
			travel->result |= _object_struck_cell_flag;
			if (version_from(1301) && !(static_cast<uint16>(definition->hack_flags) & _hack_turns_in_a_curve_flag))
			{
				// Onto the diagonal, then one unit into the other triangle.
				travel->point.x = nx * WORLD_ONE + t;
				if (even)
				{
					if (first)
					{
						if (t > 255) travel->point.y -= 1;
						else travel->point.x += 1;
					}
					else if (t <= 256) travel->point.y += 1;
					else travel->point.x -= 1;
				}
				else
				{
					if (first)
					{
						if (t <= 255) travel->point.x += 1;
						else travel->point.y += 1;
					}
					else if (t <= 256) travel->point.y -= 1;
					else travel->point.x -= 1;
				}
			}
			else
			{
				travel->point.x = nx * WORLD_ONE + fy;
			}
		}
	}

	if (version_from(1301))
	{
		// The old point's terrain only when the new one is barred (both queries are pure).
		if (terrain_in_mask(mask, terrain_under(travel->point.x, travel->point.y)) &&
			!terrain_in_mask(mask, terrain_under(travel->old_point.x, travel->old_point.y)))
		{
			travel->result |= _object_struck_cell_flag;
			const boolean a_barred = terrain_in_mask(mask, terrain_under(travel->old_point.x, travel->point.y));
			const boolean b_barred = terrain_in_mask(mask, terrain_under(travel->point.x, travel->old_point.y));
			if (a_barred && b_barred)
			{
				monster->flags |= _monster_needs_new_path_flag;
				travel->refused = TRUE;
			}
			else if (b_barred)
			{
				travel->point.x = travel->old_point.x; // A = (old x, new y)
			}
			else if (a_barred)
			{
				travel->point.y = travel->old_point.y; // B = (new x, old y)
			}
			else if (game_play_version < 1501)
			{
				travel->point.x = travel->old_point.x;
				travel->point.y = travel->old_point.y;
			}
			else
			{
				travel->point.x = travel->old_point.x;
			}
		}
	}
}

}

uint32 move_monster_object(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_monster || !mesh_present()) return 0;
	const int16 monster_index = object->owner_index;
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : NULL;
	if (!monster || !definition) return 0;

	monster->extra_flags &= ~_monster_actually_moved_extra_flag;
	if ((object->flags & _object_pausing_for_obstacle_to_move_flag) ||
		(object->location.velocity.i == 0 && object->location.velocity.j == 0))
	{
		monster->extra_flags &= ~_monster_inside_object_allowed_extra_flag;
		return 0;
	}
	movement_counters.moves += 1;

	travel_state travel;
	travel.old_point = object->location.position;
	travel.result = 0;
	travel.contacts = 0;
	travel.refused = FALSE;
	travel.inside = FALSE;
	travel.flags_built = FALSE;
	travel.flags_x = travel.flags_y = 0;
	travel.flags = 0;

	const int64 high_x = static_cast<int64>(mesh_globals->mesh_width) * WORLD_ONE - 993;
	const int64 high_y = static_cast<int64>(mesh_globals->mesh_height) * WORLD_ONE - 993;
	int64 x = static_cast<int64>(travel.old_point.x) + object->location.velocity.i;
	int64 y = static_cast<int64>(travel.old_point.y) + object->location.velocity.j;
	if (x < 992 || x > high_x || y < 992 || y > high_y) travel.result |= _object_struck_edge_of_mesh_flag;
	travel.point.x = static_cast<world_distance>(PIN(x, 992, MAX(high_x, 992)));
	travel.point.y = static_cast<world_distance>(PIN(y, 992, MAX(high_y, 992)));
	short_world_distance height_over = monster->height_over_mesh;
	if (game_play_version == 1300)
	{
		const world_point2d old2 = {travel.old_point.x, travel.old_point.y};
		height_over = static_cast<short_world_distance>(travel.old_point.z - get_mesh_height(&old2, _land_height));
	}
	const boolean floats = (object->flags & _object_floats_on_media_flag) != 0;
	const boolean keeps = object_keeps_height(object) || game_play_version == 1300;
	const world_point2d candidate = {travel.point.x, travel.point.y};
	const mesh_cell *candidate_cell;
	travel.point.z = height_for_new_position(&candidate, floats, keeps, height_over, NULL, &candidate_cell);

	// Objects: the new cell, then its x, y and diagonal neighbours towards the
	// quarter the point lies in.
	{
		const mesh_cell *cells[4];
		const int32 count = mesh_quarter_cells(travel.point.x, travel.point.y, cells);
		const int64 own_radius = definition->pathfinding_radius;
		const int64 most_reach = (own_radius < 0 ? -own_radius : own_radius) + widest_pathfinding_radius_of_any_kind();
		for (int32 c = 0; c < count && !travel.refused; ++c)
		{
			// Each record is read once for its test and its link (the test writes no object).
			int32 guard = object_array.maximum_count;
			for (int16 other = cells[c]->first_object_index; other != NONE && !travel.refused && guard-- > 0;)
			{
				// The unit itself: in use, and the test passes it over at once.
				if (other == object_index)
				{
					other = object->next_object_index;
					continue;
				}
				const object_data *record = get_object_data(other);
				if (!record) break;
				test_object_contact(object_index, object, monster, monster_index, definition, other, record, &travel,
					most_reach);
				other = record->next_object_index;
			}
		}
	}
	if (travel.result & _object_struck_object_flag) movement_counters.struck_object_moves += 1;

	if (!travel.refused && !(definition->flags & _monster_flies_flag)) clip_to_model_cells(object, &travel);
	if (!travel.refused) apply_terrain(monster, definition, &travel);
	if (travel.refused) travel.point = travel.old_point;

	{
		const world_point2d p = {travel.point.x, travel.point.y};
		// Nothing above changes z or the mesh: where the point was kept, its height
		// (and its cell) stands.
		const mesh_cell *cell;
		if (travel.point.x == candidate.x && travel.point.y == candidate.y)
		{
			cell = candidate_cell;
		}
		else if (travel.point.x != travel.old_point.x || travel.point.y != travel.old_point.y)
		{
			travel.point.z = height_for_new_position(&p, floats, keeps, height_over, NULL, &cell);
		}
		else
		{
			cell = cell_at(p.x >> WORLD_FRACTIONAL_BITS, p.y >> WORLD_FRACTIONAL_BITS);
		}
		// Media.
		boolean in_media = FALSE;
		world_distance surface = 0;
		if (cell && (cell->flags & _mesh_cell_triangle_media_flags) && mesh_texture_pixel_is_media(p.x >> 6, p.y >> 6))
		{
			surface = get_mesh_height(&p, _media_height);
			in_media = travel.point.z < surface;
		}
		const boolean was_in_media = (object->flags & _object_partially_under_media_flag) != 0;
		object->flags &= ~(_object_partially_under_media_flag | _object_wholly_under_media_flag);
		if (in_media)
		{
			object->flags |= _object_partially_under_media_flag;
			if (travel.point.z + object->height1 < surface) object->flags |= _object_wholly_under_media_flag;
			if (!was_in_media) travel.result |= _object_entered_media_flag;
		}
		else if (was_in_media)
		{
			travel.result |= _object_exited_media_flag;
		}
	}

	const boolean moved = travel.point.x != travel.old_point.x || travel.point.y != travel.old_point.y ||
		travel.point.z != travel.old_point.z;
	if (moved) monster->extra_flags |= _monster_actually_moved_extra_flag;
	const boolean changed_cells = (travel.point.x >> WORLD_FRACTIONAL_BITS) != (travel.old_point.x >> WORLD_FRACTIONAL_BITS) ||
		(travel.point.y >> WORLD_FRACTIONAL_BITS) != (travel.old_point.y >> WORLD_FRACTIONAL_BITS);
	if (changed_cells)
	{
		disconnect_object_from_mesh(object_index);
		object->location.position = travel.point;
		reconnect_object_to_mesh(object_index);
		travel.result |= _object_changed_cells_flag;
		monster->cell_impassability_flags = travel_impassability_flags(&travel, monster->terrain_impassability_flags);
	}
	else
	{
		object->location.position = travel.point;
	}
	object_data *carried = monster->carrying_object_index == NONE ? NULL : get_object_data(monster->carrying_object_index);
	if (carried) carried->location.position = travel.point;
	if (travel.inside) monster->extra_flags |= _monster_inside_object_allowed_extra_flag;
	else monster->extra_flags &= ~_monster_inside_object_allowed_extra_flag;
	return travel.result;
}

/* ---------- choosing what to do */

static world_distance distance_between(const world_point2d *a, const world_point2d *b)
{
	const int64 d = square_distance(a->x, a->y, b->x, b->y);
	return static_cast<world_distance>(isqrt(static_cast<uint32>(MIN(d, 0xFFFFFFFFll))));
}

static boolean charge_is_limited(const monster_definition *definition)
{
	if (game_play_version >= 1710) return (definition->flags & _monster_has_limited_charge_duration_flag) != 0;
	if (game_play_version >= 1601) return !(definition->flags & _monster_can_extend_charge_duration_flag);
	return FALSE;
}

void monster_needs_new_path(int16 monster_index)
{
	get_monsters_test_hooks()->monster_needs_new_path_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = object_of(monster);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : NULL;
	if (!monster || !object || !definition) return;

	monster->extra_flags &= ~_monster_has_deferred_movement_command_extra_flag;
	const world_distance enemy_distance = linear_distance_to_enemy(monster_index);
	const world_point2d position = {object->location.position.x, object->location.position.y};
	const boolean can_turn = has_sequence(definition, _monster_sequence_turning);
	const int16 monster_class = definition->monster_class;
	int16 action = NONE;
	int16 permutation = _monster_action_permutation_walking;
	world_point2d destination = position;
	boolean move = FALSE;

	if (monster->flags & _monster_wants_to_pick_up_object_flag)
	{
		const object_data *item = get_object_data(monster->pick_up_object_index);
		if (item && monster_could_pick_up_object(monster_index, monster->pick_up_object_index,
			monster->pick_up_object_identifier))
		{
			destination.x = item->location.position.x;
			destination.y = item->location.position.y;
			move = TRUE;
		}
		else
		{
			monster->flags &= ~(_monster_wants_to_pick_up_object_flag | _monster_needs_new_path_flag);
			set_most_appropriate_monster_action(monster_index);
			return;
		}
	}
	else if (monster->flags & _monster_has_valid_target_flag)
	{
		const world_distance d = linear_distance_to_best_point_of_attack(monster_index);
		const monster_data *target = get_monster_data(monster->target_monster_index);
		const object_data *target_object = object_of(target);
		const boolean to_location = (monster->flags & _monster_has_valid_target_location_flag) != 0;
		if (to_location)
		{
			destination = monster->target_location;
		}
		else if (target_object)
		{
			destination.x = target_object->location.position.x;
			destination.y = target_object->location.position.y;
			world_point2d intercept;
			if (!(game->option_flags & _game_option_uses_qel_flag) &&
				aim_monster(monster_index, monster->target_monster_index, &intercept))
			{
				destination = intercept;
			}
		}

		if (d < 0)
		{
			world_point2d point;
			angle facing;
			if (generate_point_of_retreat(monster_index, &destination, &point, &facing)) destination = point;
			move = TRUE;
			monster->flags |= _monster_is_retreating_flag;
		}
		else
		{
			const boolean self = !to_location && monster->target_monster_index == monster_index;
			const boolean here = destination.x == position.x && destination.y == position.y;
			if (!(self && game_play_version != 1300) && !(here && game_play_version > 1709))
			{
				monster->desired_yaw = arctangent(destination.x - position.x, destination.y - position.y);
			}
			const boolean missile = monster_class == _monster_class_missile;
			const uint16 hacks = static_cast<uint16>(definition->hack_flags);
			boolean walking_away = FALSE;
			if (target && target->action == _monster_action_moving)
			{
				walking_away = angular_difference(target->desired_yaw, monster->desired_yaw) < 16384;
			}
			if (d == 0 && missile && (!walking_away || !(monster->flags & _monster_did_not_get_targeting_solution_flag)))
			{
				action = _monster_action_holding_for_attack;
			}
			else if (missile && !(monster->flags & _monster_responding_to_target_command_flag) &&
				!(game_play_version != 1300 && enemy_distance <= definition->critical_distance &&
					(hacks & _hack_extra_aggressive_missile_flag)))
			{
				action = _monster_action_holding_for_attack;
			}
			else if (monster_class == _monster_class_melee && (hacks & _hack_mixes_missile_melee_behaviour_flag) &&
				enemy_distance >= definition->activation_distance &&
				!(monster->flags & _monster_responding_to_target_command_flag))
			{
				action = _monster_action_holding_for_attack;
			}
			else
			{
				move = TRUE;
			}
		}

		if (monster->flags & _monster_needs_to_retreat_flag)
		{
			monster->flags &= ~(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
				_monster_has_valid_target_location_flag);
			world_point2d point;
			angle facing;
			if (generate_point_of_retreat(monster_index, &destination, &point, &facing)) destination = point;
			action = NONE;
			move = TRUE;
			if (game_play_version < 1711) monster->flags &= ~_monster_has_looped_waypoints_flag;
			else
			{
				monster->extra_flags &= ~(_monster_ignores_model_collisions_extra_flag |
					_monster_will_use_old_collision_detection_extra_flag);
			}
			// A unit too near its target keeps retreating until an attack goes ahead.
			monster->flags &= ~(_monster_is_retreating_flag | _monster_needs_to_retreat_flag);
		}
	}
	else if (monster->waypoint_count > 0 && monster->waypoint_index >= 0 &&
		monster->waypoint_index < MAXIMUM_WAYPOINTS_PER_MONSTER)
	{
		destination = monster->waypoints[monster->waypoint_index];
		move = TRUE;
	}
	else if (monster->flags & _monster_has_final_desired_yaw_flag)
	{
		monster->flags &= ~_monster_has_final_desired_yaw_flag;
		monster->desired_yaw = monster->final_desired_yaw;
		if (can_turn) action = _monster_action_turning;
		else
		{
			move = TRUE;
			destination = position;
		}
	}
	else
	{
		monster->flags &= ~_monster_needs_new_path_flag;
		set_most_appropriate_monster_action(monster_index);
		return;
	}

	if (static_cast<uint16>(definition->hack_flags) & _hack_unit_can_charge_flag)
	{
		if (monster_wants_to_charge(monster_index, enemy_distance)) monster->extra_flags |= _monster_wants_to_run_extra_flag;
		else if (monster->action != _monster_action_being_propelled && monster->action != _monster_action_taking_damage)
		{
			monster->extra_flags &= ~_monster_wants_to_run_extra_flag;
		}
	}
	if (move && game_play_version > 1300 && (monster->extra_flags & _monster_wants_to_run_extra_flag))
	{
		permutation = _monster_action_permutation_running;
	}
	// A charger whose charge is limited runs once: when it re-plans while
	// running, it walks on.
	if (move && (static_cast<uint16>(definition->hack_flags) & _hack_unit_can_charge_flag) &&
		monster->action_permutation == _monster_action_permutation_running && charge_is_limited(definition))
	{
		monster->extra_flags &= ~_monster_wants_to_run_extra_flag;
		permutation = _monster_action_permutation_walking;
	}

	monster->flags &= ~_monster_needs_new_path_flag;
	if (!move)
	{
		if (action != NONE) set_monster_action(monster_index, action, NONE);
		return;
	}

	monster->path_destination = destination;
	delete_path(&monster->path_index);
	path_variables request;
	memset(&request, 0, sizeof(request));
	request.terrain_impassability_flags = monster->terrain_impassability_flags;
	request.owner_object_index = monster->object_index;
	request.p0 = position;
	request.p1 = destination;
	// A sound pathfinder answers at the second call; the bound keeps a faulty
	// one from stalling the tick.
	for (int32 attempt = 0; attempt < 16; ++attempt)
	{
		movement_counters.path_requests += 1;
		monster->path_index = new_path(monster_index, &request);
		if (monster->path_index != PATH_MUST_BE_RECOMPUTED) break;
	}
	if (monster->path_index == PATH_MUST_BE_RECOMPUTED) monster->path_index = NONE;
	adjust_path_destination_for_obstacles(monster_index);
	monster->path_segment_length = static_cast<short_world_distance>(
		MIN(distance_between(&position, &monster->path_destination), 32767));
	monster->desired_yaw = arctangent(monster->path_destination.x - position.x, monster->path_destination.y - position.y);

	if (monster->path_segment_length < MINIMUM_DISTANCE_FROM_PATH_DESTINATION &&
		!(monster->flags & _monster_has_obstructed_path_flag))
	{
		monster->flags &= ~_monster_is_evading_obstacle_to_attack_flag;
		if (monster->flags & _monster_wants_to_pick_up_object_flag)
		{
			const object_data *item = get_object_data(monster->pick_up_object_index);
			if (item && monster_could_pick_up_object(monster_index, monster->pick_up_object_index,
				monster->pick_up_object_identifier) &&
				square_distance(position.x, position.y, item->location.position.x, item->location.position.y) <=
					square(MINIMUM_PICK_UP_DISTANCE))
			{
				set_monster_action(monster_index, _monster_action_picking_up, NONE);
			}
			else
			{
				set_most_appropriate_monster_action(monster_index);
			}
			return;
		}
		if (monster->flags & _monster_has_valid_target_index_flag)
		{
			monster->flags |= _monster_has_valid_target_flag;
			monster->flags &= ~_monster_has_obstructed_path_flag;
			set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
			return;
		}
		if (monster->waypoint_count > 0)
		{
			if (monster->flags & _monster_looping_back_through_waypoints_flag)
			{
				monster->waypoint_index -= 1;
				if (monster->waypoint_index < 0)
				{
					monster->waypoint_index = 1;
					monster->flags &= ~_monster_looping_back_through_waypoints_flag;
				}
				monster->flags |= _monster_needs_new_path_flag;
			}
			else
			{
				monster->waypoint_index += 1;
				if (monster->waypoint_index >= monster->waypoint_count)
				{
					if (monster->flags & _monster_has_back_and_forth_looped_waypoints_flag)
					{
						monster->flags |= _monster_looping_back_through_waypoints_flag | _monster_needs_new_path_flag;
						monster->waypoint_index = static_cast<int8>(MAX(monster->waypoint_count - 2, 0));
					}
					else if (monster->flags & _monster_has_looped_waypoints_flag)
					{
						monster->waypoint_index = 0;
						monster->flags |= _monster_needs_new_path_flag;
					}
					else
					{
						monster->waypoint_count = 0;
						// Scripted orders carry their action's identifier (negative as int16).
						const int16 ordering_action = monster->internal_command_identifier == -1 ||
								monster->internal_command_identifier == -2 ?
							static_cast<int16>(NONE) :
							action_identifier_to_action_index(monster->internal_command_identifier);
						if (ordering_action != NONE) set_map_action_success(ordering_action);
						if (monster->flags & _monster_has_final_desired_yaw_flag)
						{
							monster->desired_yaw = monster->final_desired_yaw;
							if (can_turn) set_monster_action(monster_index, _monster_action_turning, NONE);
							else set_most_appropriate_monster_action(monster_index);
						}
						else
						{
							set_most_appropriate_monster_action(monster_index);
						}
						monster->flags &= ~(_monster_responding_to_command_flag | _monster_has_final_desired_yaw_flag);
						return;
					}
				}
				else
				{
					monster->flags |= _monster_needs_new_path_flag;
				}
			}
		}
	}

	set_monster_action(monster_index, action == NONE ? static_cast<int16>(_monster_action_moving) : action, permutation);
}

/* ---------- moving */

// A pausing unit shows its kind's pausing sequence (no draws: the pause is
// not an action of its own, so the walking action stays).
static void start_pausing(int16 monster_index, monster_data *monster, object_data *object, int16 ticks)
{
	monster->attack_timer = ticks;
	object->flags |= _object_pausing_for_obstacle_to_move_flag;
	const monster_definition *definition = get_monster_definition(monster->type);
	const int16 sequence = definition ? definition->sequence_indexes[_monster_sequence_pausing_for_obstacle] : NONE;
	if (sequence != NONE) set_object_shape(monster->object_index, sequence, 256, _transfer_mode_none, 0, 0, FALSE);
	(void)monster_index;
}

// A melee blow at a unit squaring up to the attacker may be blocked: the
// target raises its guard for as long as the blow takes to land.
static void let_target_block(int16 monster_index, const monster_data *monster, int16 attack_index)
{
	if (!(monster->flags & _monster_has_valid_target_index_flag)) return;
	const monster_attack_definition *attack = get_monster_attack_definition(monster_index, attack_index);
	if (!attack || (attack->flags & _monster_attack_is_reflexive_flag)) return;
	const projectile_definition *projectile = get_projectile_definition(attack->projectile_type);
	if (!projectile || !(projectile->flags & _projectile_is_melee_attack_flag)) return;

	const int16 target_index = monster->target_monster_index;
	if (target_index == monster_index) return;
	monster_data *target = get_monster_data(target_index);
	const monster_definition *target_definition = target ? definition_of(target_index) : NULL;
	if (!target || !target_definition || !has_sequence(target_definition, _monster_sequence_blocking)) return;
	if (target->action != _monster_action_holding_for_attack || target->target_monster_index != monster_index ||
		!(target->flags & _monster_has_valid_target_index_flag))
	{
		return;
	}

	const int32 ticks = get_object_sequence_ticks(monster->object_index, _object_ticks_until_key_frame) + 4;
	if (ticks < 5 || ticks > 29 || target->attack_timer > 9) return;
	int32 guard = 30;
	if (static_cast<uint16>(target_definition->hack_flags) & _hack_increased_chance_to_block_flag)
	{
		guard += MAX(static_cast<int32>(static_cast<int8>(target_definition->terrain_costs[5])), -29);
	}
	target->attack_timer = static_cast<int16>(target->attack_timer + guard);
	set_monster_action(target_index, _monster_action_blocking, static_cast<int16>(ticks));
}

void monster_moving(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = object_of(monster);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : NULL;
	if (!monster || !object || !definition)
	{
		moving_step_hooks->monster_moving_calls += 1;
		return;
	}
	monster_moving_with_records(monster_index, monster, object, definition);
}

void monster_moving_with_records(int16 monster_index, monster_data *monster, object_data *object,
	const monster_definition *definition)
{
	moving_step_hooks->monster_moving_calls += 1;

	// 1. A target that left the mesh, or flies beyond a melee unit's reach, is dropped.
	const uint32 target_bits = _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	if ((monster->flags & target_bits) == target_bits)
	{
		const monster_data *target = get_monster_data(monster->target_monster_index);
		boolean drop = target && (target->flags & _monster_has_left_the_mesh_flag);
		// The target's kind matters only to a melee unit.
		const monster_definition *target_definition =
			target && !drop && definition->monster_class == _monster_class_melee ? get_monster_definition(target->type) : NULL;
		if (!drop && target_definition && definition->monster_class == _monster_class_melee &&
			(target_definition->flags & _monster_flies_flag) &&
			(game_play_version == 1300 || !(static_cast<uint8>(definition->more_hack_flags) & _hack_can_target_flying_flag)))
		{
			drop = TRUE;
		}
		if (drop)
		{
			monster->flags &= ~(target_bits | _monster_has_valid_target_location_flag);
			set_monster_action(monster_index, _monster_action_idle, NONE);
			return;
		}
	}

	// 2. An attack when ready.
	if ((monster->action == _monster_action_moving || monster->action == _monster_action_holding_for_attack) &&
		(monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag)) &&
		monster->attack_timer < 1 && !(monster->flags & _monster_needs_to_retreat_flag))
	{
		if (try_monster_attack(monster_index)) return;
	}

	// 3. Ticks of travel this tick.
	const boolean continuous = (definition->flags & _monster_translates_continuously_flag) ||
		monster->action_permutation == _monster_action_permutation_gliding;
	int32 ticks = 1;
	if (!continuous)
	{
		// Without a branch: whether a unit's frame turned this tick follows no pattern
		// the predictor can learn, and the step below tests ticks anyway.
		const int32 new_frame = (object->flags & _object_animation_new_frame_flag) ? 1 : 0;
		ticks = new_frame * MAX(static_cast<int32>(object->shape_ticks_per_frame), 1);
	}
	if (monster->action == _monster_action_moving && monster->path_segment_length < 1)
	{
		monster->flags |= _monster_needs_new_path_flag;
	}

	// 4. Re-aim at the path destination now and then.
	monster->ticks_until_updating -= 1;
	if (monster->ticks_until_updating <= 0)
	{
		monster->ticks_until_updating = TICKS_UNTIL_UPDATING_MONSTER_YAW;
		if (monster->action == _monster_action_moving)
		{
			const world_distance dx = monster->path_destination.x - object->location.position.x;
			const world_distance dy = monster->path_destination.y - object->location.position.y;
			const boolean aim = game_play_version < 1710 ? (dx != 0 && dy != 0) : (dx != 0 || dy != 0);
			if (aim) monster->desired_yaw = arctangent(dx, dy);
		}
	}

	// 5. Turning.
	const boolean at_self = monster->target_monster_index == monster_index &&
		(monster->flags & _monster_has_valid_target_index_flag) &&
		object->location.position.x == monster->path_destination.x &&
		object->location.position.y == monster->path_destination.y;
	int32 turn = 0;
	if (!(game_play_version > 1600 && at_self))
	{
		// signed_angular_difference's arithmetic, inline: every unit turns every tick.
		int32 difference = static_cast<int32>(monster->desired_yaw) - object->location.yaw;
		if (difference >= HALF_CIRCLE) difference -= FULL_CIRCLE;
		if (difference < -(HALF_CIRCLE - 1)) difference += FULL_CIRCLE;
		// Facing the desired way already (most ticks): the rate is never negative
		// (an unsigned speed times at least 1), so the turn would be 0.
		int32 remaining = 0;
		if (difference != 0)
		{
			const int32 rate = static_cast<int32>(definition->turning_speed) * MAX(continuous ? 1 : ticks, 1);
			turn = PIN(difference, -rate, rate);
			object->location.yaw = static_cast<angle>(object->location.yaw + turn);
			remaining = difference - turn;
		}
		if (remaining == 0)
		{
			if (monster->action == _monster_action_turning) set_most_appropriate_monster_action(monster_index);
			else if (monster->action == _monster_action_aiming_attack)
			{
				if (monster->flags & _monster_will_use_special_ability_flag)
				{
					monster->flags |= _monster_is_using_special_ability_flag;
				}
				// Aiming keeps the chosen attack in the permutation.
				const int16 attack_index = monster->action_permutation;
				set_monster_action(monster_index, _monster_action_attacking, attack_index);
				let_target_block(monster_index, monster, attack_index);
			}
		}
		else if ((static_cast<uint16>(definition->hack_flags) & _hack_turns_in_a_curve_flag) &&
			monster->path_segment_length > 767)
		{
			if (monster->action == _monster_action_holding_for_attack)
			{
				set_monster_action(monster_index, _monster_action_turning, NONE);
			}
		}
		// Aiming keeps its chosen attack in the permutation, which turning would lose.
		else if ((remaining > STATIONARY_TURN_ANGULAR_CUTOFF || remaining < -STATIONARY_TURN_ANGULAR_CUTOFF) &&
			has_sequence(definition, _monster_sequence_turning) &&
			(monster->action == _monster_action_moving || monster->action == _monster_action_holding_for_attack))
		{
			set_monster_action(monster_index, _monster_action_turning, NONE);
		}
	}

	// 6. Only a moving unit goes on.
	if (monster->action != _monster_action_moving) return;
	if (object->flags & _object_pausing_for_obstacle_to_move_flag)
	{
		monster->attack_timer -= 1;
		if (monster->attack_timer < 0)
		{
			// Walking on brings the walking sequence back.
			object->flags &= ~_object_pausing_for_obstacle_to_move_flag;
			set_monster_action(monster_index, _monster_action_moving, monster->action_permutation);
		}
		return;
	}
	if (!(monster->flags & _monster_has_obstructed_path_flag) && turn != 0 && monster->path_segment_length < 1 &&
		!(game_play_version > 1300 && (monster->extra_flags & _monster_wants_to_run_extra_flag) &&
			monster->action_permutation != _monster_action_permutation_running))
	{
		return;
	}
	if (ticks == 0) return;

	const int16 terrain = terrain_under(object->location.position.x, object->location.position.y);
	const int32 modifier = terrain >= 0 && terrain < NUMBER_OF_MONSTER_TERRAIN_TYPES ?
		definition->movement_modifiers[terrain] : 255;
	int32 speed = monster->base_movement_speed * (modifier + 1);
	if (monster->action_permutation == _monster_action_permutation_running &&
		has_sequence(definition, _monster_sequence_running))
	{
		if (static_cast<uint16>(definition->hack_flags) & _hack_unit_can_charge_flag)
		{
			speed += charging_speed_bonus(speed, definition->terrain_costs[8]);
		}
		else
		{
			speed *= 2;
		}
	}
	int32 step = speed / 256 * (continuous ? 1 : ticks);
	if (step < 0) step = 0;

	const int32 remaining = monster->path_segment_length;
	if (remaining < step)
	{
		object->location.velocity.i = static_cast<short_world_distance>(monster->path_destination.x - object->location.position.x);
		object->location.velocity.j = static_cast<short_world_distance>(monster->path_destination.y - object->location.position.y);
		monster->path_segment_length = 0;
	}
	else
	{
		object->location.velocity.i = static_cast<short_world_distance>(angle_cosine(object->location.yaw) * step / 16384);
		object->location.velocity.j = static_cast<short_world_distance>(angle_sine(object->location.yaw) * step / 16384);
		monster->path_segment_length = static_cast<short_world_distance>(remaining - step);
	}
	object->location.velocity.k = 0;
	const uint32 result = move_monster_object(monster->object_index);

	// 7. Footprints: a splash where a walker's foot lands in media, a darker
	// texel where it lands on soft ground. Cosmetic and machine-local (a local
	// projectile group, the local random stream), so nothing synchronised.
	if (!(definition->flags & (_monster_flies_flag | _monster_floats_flag)) &&
		!(result & (_object_struck_object_flag | _object_struck_cell_flag)))
	{
		const angle side = static_cast<angle>(object->location.yaw + ((object->shape_frame_index & 1) ? 16384 : 49152));
		world_point3d foot = object->location.position;
		foot.x += angle_cosine(side) * (object->radius / 2) / 16384;
		foot.y += angle_sine(side) * (object->radius / 2) / 16384;
		if (object->flags & _object_partially_under_media_flag)
		{
			// The media names a projectile group: only its visual part splashes here.
			const projectile_group_definition *splash = get_projectile_group_definition(get_mesh_media_projectile_group_type(6));
			if (splash && splash->local_projectile_group_type != NONE)
			{
				new_local_projectile_group(splash->local_projectile_group_type, &foot, monster->object_index);
			}
		}
		else
		{
			const int16 ground = terrain_under(foot.x, foot.y);
			if (ground == 7 || ground == 9 || ground == 10)
			{
				const world_point2d print = {foot.x, foot.y};
				darken_mesh_footprint(&print);
			}
		}
	}

	// 8. Bumping.
	if (result & _object_struck_object_flag)
	{
		const int16 struck_index = static_cast<int16>(result >> 16);
		const object_data *struck = get_object_data(struck_index);
		if (struck && struck->owner == _object_is_flag)
		{
			monster_bumped_flag(struck_index, monster_index, 2 * speed / 256);
			return;
		}
		if (struck && struck->owner == _object_is_monster)
		{
			const int16 other_index = struck->owner_index;
			const monster_data *other = get_monster_data(other_index);
			const boolean enemy = !monsters_are_allied(monster_index, other_index);
			if (enemy || (monster->flags & _monster_has_valid_target_index_flag))
			{
				uint16 switch_flags = _switch_target_close_range_flag;
				if ((result & _object_struck_objects_flag) &&
					angular_difference(object->location.yaw, monster->desired_yaw) < 8192)
				{
					switch_flags |= _switch_target_command_override_flag;
				}
				if (enemy)
				{
					set_monster_magical_invisibility(monster_index, FALSE);
					set_monster_magical_invisibility(other_index, FALSE);
				}
				if (try_and_switch_target_indexes(monster_index, other_index, switch_flags))
				{
					monster->action_permutation = _monster_action_permutation_walking;
					if (definition->monster_class != _monster_class_missile)
					{
						set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
					}
					return;
				}
			}
			if (!enemy && other && other->action == _monster_action_moving &&
				!(struck->flags & _object_pausing_for_obstacle_to_move_flag))
			{
				start_pausing(monster_index, monster, object, MINIMUM_PAUSING_TIME);
				return;
			}
		}
		monster->repeated_obstruction_count += 1;
		if (monster->repeated_obstruction_count >= MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING &&
			!(monster->flags & _monster_has_valid_target_index_flag))
		{
			start_pausing(monster_index, monster, object, MAXIMUM_REPEATED_OBSTRUCTIONS_BEFORE_STOPPING);
			monster->repeated_obstruction_count = 0;
		}
	}
	else
	{
		monster->repeated_obstruction_count = 0;
	}

	// 9. Off the map.
	if (result & _object_struck_edge_of_mesh_flag)
	{
		object->flags |= _object_is_invisible_flag;
		monster->flags |= _monster_has_left_the_mesh_flag;
		if (game_play_version > 1700)
		{
			monster->flags &= ~(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
				_monster_has_valid_target_location_flag);
			monster->target_monster_index = NONE;
			monster->aggressor_monster_index = NONE;
			monster->deferred_target_index = NONE;
		}
		call_monster_died_procs(monster_index, 2);
		return;
	}

	// 10. Contrails: a copy of the object left behind on each new frame, fading out.
	if ((definition->flags & _monster_leaves_contrail_flag) && (object->flags & _object_animation_new_frame_flag))
	{
		const int16 copy = duplicate_object(monster->object_index);
		if (copy != NONE && fade_object(TRUE, copy, 0, MONSTER_CONTRAIL_FADE_OUT_TIME) == NONE &&
			game_play_version > 1300)
		{
			delete_object(copy);
		}
	}
}
