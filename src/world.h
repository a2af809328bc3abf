// World maths: trigonometric tables, fixed-point operations on points,
// vectors and matrices, distances, and the two random streams.
#ifndef WORLD_H
#define WORLD_H

#include <cmath>

#include "cseries.h"
#include "world_units.h"
#include "directions.h"

/* ---------- trigonometric tables */

#define NUMBER_OF_TRIG_TABLE_ENTRIES 1024
#define TRIG_TABLE_ANGLE_BITS 6 // 65536 angles over 1024 entries
// Tangent table entries where the cosine is 0.
#define TANGENT_INFINITY (static_cast<int32>(0x80000000u))

// The nearest of the 1024 entries.
constexpr int32 ANGLE_TO_TRIG_INDEX(uint32 a)
{
	return static_cast<int32>(((a + 32) & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS);
}

// Built once by initialize_world, read-only afterwards.
extern int16 *sine_table;
extern int16 *cosine_table;
extern int32 *tangent_table;

static inline int16 angle_sine(angle a) { return sine_table[ANGLE_TO_TRIG_INDEX(a)]; }
static inline int16 angle_cosine(angle a) { return cosine_table[ANGLE_TO_TRIG_INDEX(a)]; }

/* ---------- start-up and random streams */

void initialize_world(void);

// The synchronised stream: the simulation's only randomness.
void set_random_seed(uint32 seed);
uint32 get_random_seed(void);
uint16 zerv_random(void);
// (n * zerv_random()) >> 16; 0 without a draw when n <= 0.
int32 zerv_random_below(int32 n);

// The local stream, seeded from the clock: for what no other machine sees.
uint16 local_random(void);
int32 local_random_below(int32 n);

void start_recording_random_seed(void);
void stop_recording_random_seed(void);

// Test hooks: the number of zerv_random draws since start-up, and direct
// access to the local seed.
uint32 zerv_random_draw_count(void);
void set_local_random_seed(uint32 seed);
uint32 get_local_random_seed(void);

/* ---------- angles */

world_point2d *rotate_point2d(world_point2d *point, const world_point2d *origin, angle theta);
world_point2d *translate_point2d(world_point2d *point, world_distance distance, angle yaw);
short_world_point2d *translate_short_point2d(short_world_point2d *point, world_distance distance, angle yaw);
world_point3d *translate_point3d(world_point3d *point, world_distance distance, angle yaw, angle pitch);
world_vector3d *build_world_vector3d(world_vector3d *vector, world_distance magnitude, angle yaw, angle pitch);

matrix3x3 *build_rotation_matrix(matrix3x3 *m, angle yaw, angle pitch);
matrix3x3 *build_inverse_rotation_matrix(matrix3x3 *m, angle yaw, angle pitch);

// Values are scaled by 16384; out of range gives 0.
angle arccosine(int32 value);
int32 arcsine(int32 value); // -16384..16384
// arcsine by walking the sine table, which arcsine's own table is built from.
int32 walked_arcsine(int32 value);
angle arctangent(world_distance x, world_distance y);

// Coordinate sums and differences taken wide and pinned to 32 bits: points read
// from a script or a tag may lie anywhere in their range and must not wrap.
inline world_distance pinned_to_32_bits(int64 v)
{
	return static_cast<world_distance>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}
inline world_distance pinned_difference(world_distance a, world_distance b)
{
	return pinned_to_32_bits(static_cast<int64>(a) - b);
}
inline world_distance pinned_sum(world_distance a, world_distance b)
{
	return pinned_to_32_bits(static_cast<int64>(a) + b);
}

// The direction from one point toward another, for points of any range.
inline angle arctangent_toward(const world_point2d &from, const world_point2d &to)
{
	return arctangent(pinned_difference(to.x, from.x), pinned_difference(to.y, from.y));
}

// 0..32768
int32 angular_difference(angle angle1, angle angle2);
// -32767..32768, positive when turning from angle1 to angle2 counterclockwise.
int32 signed_angular_difference(angle angle1, angle angle2);

/* ---------- vectors and matrices */

int32 world_dot_product3d(const world_vector3d *a, const world_vector3d *b);
int32 trig_dot_product3d(const world_vector3d *a, const world_vector3d *b);
world_vector3d *world_cross_product3d(const world_vector3d *a, const world_vector3d *b, world_vector3d *result);
world_vector3d *trig_cross_product3d(const world_vector3d *a, const world_vector3d *b, world_vector3d *result);
short_world_distance world_magnitude3d(const world_vector3d *v);

world_vector3d *line_segment_to_vector(world_vector3d *vector, const world_point3d *p0, const world_point3d *p1,
	world_distance vector_magnitude);
world_vector3d *reflect_vector(const world_vector3d *incident, const world_vector3d *normal, world_vector3d *reflected);
world_vector3d *rotate_vector(world_vector3d *result, const matrix3x3 *m, const world_vector3d *source);
matrix3x3 *build_rotation_matrix3d(matrix3x3 *m, const world_vector3d *forward, const world_vector3d *up);
matrix3x3 *build_inverse_rotation_matrix3d(matrix3x3 *m, const world_vector3d *forward, const world_vector3d *up);

fixed_vector3d *normalize_fixed_vector3d(fixed_vector3d *a);
short_fixed_vector3d *normalize_short_fixed_vector3d(short_fixed_vector3d *a);

int32 point_in_plane_test(const world_vector3d *normal, int32 d, const world_point3d *p);
boolean point_in_polygon_test(const world_point2d *p, const world_point2d *points, int32 point_count,
	boolean closed_geometry);
boolean point_in_short_world_rectangle3d(const short_world_rectangle3d *rectangle, const world_point3d *p);

world_point2d *set_world_point2d(world_point2d *p, world_distance x, world_distance y);
world_point3d *set_world_point3d(world_point3d *p, world_distance x, world_distance y, world_distance z);
short_world_point2d *set_short_world_point2d(short_world_point2d *p, short_world_distance x, short_world_distance y);
short_world_point3d *set_short_world_point3d(short_world_point3d *p, short_world_distance x, short_world_distance y,
	short_world_distance z);
world_vector3d *set_world_vector3d(world_vector3d *v, short_world_distance i, short_world_distance j,
	short_world_distance k);

void dprintf_matrix(const char *message, const matrix3x3 *m);

/* ---------- distances */

// Saturate at 32767 when a delta lies outside -32767..32766.
world_distance distance2d(const world_point2d *p0, const world_point2d *p1);
world_distance distance3d(const world_point3d *p0, const world_point3d *p1); // up to 56754
world_distance guess_distance2d(const world_point3d *p0, const world_point3d *p1);

// Whether isqrt(x) < limit without taking the root: the rounded root of x is
// below limit exactly when x <= limit * (limit - 1), the rule distance2d_below uses.
inline boolean isqrt_below(uint32 x, int64 limit)
{
	return limit > 0 && static_cast<int64>(x) <= limit * (limit - 1);
}

// Whether distance2d(p0, p1) < limit, without its square root: the rounded
// root of s is below limit exactly when s <= limit * (limit - 1); offsets out
// of range give the capped distance, 32767.
inline boolean distance2d_below(const world_point2d *p0, const world_point2d *p1, int32 limit)
{
	const int64 dx = static_cast<int64>(p0->x) - p1->x, dy = static_cast<int64>(p0->y) - p1->y;
	if (limit <= 0) return FALSE;
	if (dx < -32767 || dx > 32766 || dy < -32767 || dy > 32766) return 32767 < limit;
	if (limit > 32767) return TRUE;
	return dx * dx + dy * dy <= static_cast<int64>(limit) * (limit - 1);
}

// One offset squared once for several comparisons against limits prepared
// once: offset_below(offset_of(p0, p1), limit_of(l)) == distance2d_below(p0, p1, l)
// and offset_distance(offset_of(p0, p1)) == distance2d(p0, p1).
struct distance2d_offset
{
	int64 square; // dx² + dy², or -1 when an offset is out of range
};
struct distance2d_limit
{
	int64 square; // the largest square below the limit
	boolean beyond; // the answer for offsets out of range
};
inline distance2d_offset distance2d_offset_of(const world_point2d *p0, const world_point2d *p1)
{
	const int64 dx = static_cast<int64>(p0->x) - p1->x, dy = static_cast<int64>(p0->y) - p1->y;
	if (dx < -32767 || dx > 32766 || dy < -32767 || dy > 32766) return {-1};
	return {dx * dx + dy * dy};
}
inline distance2d_limit distance2d_limit_of(int32 limit)
{
	if (limit <= 0) return {-1, FALSE};
	if (limit > 32767) return {static_cast<int64>(~0ull >> 1), TRUE};
	return {static_cast<int64>(limit) * (limit - 1), FALSE};
}
inline boolean distance2d_offset_below(distance2d_offset offset, distance2d_limit limit)
{
	return offset.square < 0 ? limit.beyond : offset.square <= limit.square;
}
// The square root rounded to the nearest integer (isqrt(0xFFFFFFFF) is 65536).
// The hardware root of the exact double truncates to the exact floor r for
// every 32-bit x: the double root of a square is exact, and below (r + 1)^2
// the true root stays under r + 1 by over 1 / 2^17, a million times the
// spacing of doubles there (checked over all 2^32 inputs, both builds). Then
// rounded as the bitwise method rounds: up when x - r^2 exceeds r.
inline uint32 isqrt(uint32 x)
{
	const uint32 root = static_cast<uint32>(std::sqrt(static_cast<double>(x)));
	return root < x - root * root ? root + 1 : root;
}
inline world_distance distance2d_of_offset(distance2d_offset offset)
{
	if (offset.square < 0) return 32767;
	const uint32 root = isqrt(static_cast<uint32>(offset.square));
	return static_cast<world_distance>(root < 32767u ? root : 32767u);
}

boolean closest_point_on_line_segment2d(const world_point2d *a, const world_point2d *b, const world_point2d *c,
	world_point2d *closest_point);
boolean closest_point_on_line_segment_from_point(const world_point2d *point, const world_point2d *line0,
	const world_point2d *line1, world_point2d *closest_point_on_line_reference,
	world_point2d *closest_point_on_line_segment_reference);
world_point2d *closest_point_on_circle2d(const world_point2d *target, world_distance radius, const world_point2d *p,
	world_point2d *closest_point);
world_point3d *closest_point_on_circle(const world_point2d *target, world_distance radius, const world_point3d *p,
	world_point3d *closest_point);

// The same rounding as isqrt over 64 bits (equal to isqrt below 2^32).
uint64 isqrt64(uint64 x);

#endif
