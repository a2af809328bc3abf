// World units: lengths, angles, fixed-point scales and the point, vector and
// matrix records the whole simulation shares.
#ifndef WORLD_UNITS_H
#define WORLD_UNITS_H

#include "cseries.h"
#include "byte_swapping.h"

/* ---------- units */

typedef int32 world_distance;       // 512 to a terrain cell
typedef int16 short_world_distance; // the same unit in 16 bits
typedef uint16 angle;               // 65536 to a turn
typedef float real;

#define WORLD_FRACTIONAL_BITS 9
#define WORLD_ONE 512
#define WORLD_ONE_HALF 256
#define WORLD_ONE_FOURTH 128
#define WORLD_THREE_FOURTHS 384

#define ANGULAR_BITS 16
#define NUMBER_OF_ANGLES 65536
#define FULL_CIRCLE 65536
#define HALF_CIRCLE 32768
#define QUARTER_CIRCLE 16384
#define THREE_QUARTER_CIRCLE 49152
#define EIGHTH_CIRCLE 8192
#define SIXTEENTH_CIRCLE 4096

// Sine and cosine are scaled so that 16384 is 1.0.
#define TRIG_MAGNITUDE 16384
#define TRIG_SHIFT 14
#define TRIG_BITS 14

#ifndef FIXED_ONE_QUARTER
#define FIXED_ONE_QUARTER (FIXED_ONE / 4)
#endif
#ifndef SHORT_FIXED_ONE_HALF
#define SHORT_FIXED_ONE_HALF (SHORT_FIXED_ONE / 2)
#endif
#ifndef SHORT_FIXED_ONE_QUARTER
#define SHORT_FIXED_ONE_QUARTER (SHORT_FIXED_ONE / 4)
#endif

#define TICKS_PER_SECOND 30
#define TICKS_PER_MINUTE (60 * TICKS_PER_SECOND)
#define TICKS_PER_HOUR (60 * TICKS_PER_MINUTE)
#define TICKS_PER_DAY (24 * TICKS_PER_HOUR)

#define DEFAULT_RANDOM_SEED 65005

/* ---------- conversions (shifts, never divisions: they differ for negatives) */

// Left shifts go through unsigned arithmetic so that negative values wrap
// the same way on every build and never trip the sanitizer.
constexpr world_distance INTEGER_TO_WORLD(int32 i)
{
	return static_cast<world_distance>(static_cast<uint32>(i) << WORLD_FRACTIONAL_BITS);
}
// Sums and products that wrap in 32 bits, as the arithmetic they reproduce did.
constexpr int32 int32_wrapping_add(int32 a, int32 b)
{
	return static_cast<int32>(static_cast<uint32>(a) + static_cast<uint32>(b));
}
constexpr int32 int32_wrapping_multiply(int32 a, int32 b)
{
	return static_cast<int32>(static_cast<uint32>(a) * static_cast<uint32>(b));
}

constexpr int32 WORLD_INTEGERAL_PART(world_distance d) { return d >> WORLD_FRACTIONAL_BITS; }
constexpr int32 WORLD_FRACTIONAL_PART(world_distance d) { return d & (WORLD_ONE - 1); }

constexpr fixed WORLD_TO_FIXED(world_distance d)
{
	return static_cast<fixed>(static_cast<uint32>(d) << (FIXED_FRACTIONAL_BITS - WORLD_FRACTIONAL_BITS));
}
constexpr world_distance FIXED_TO_WORLD(fixed f) { return f >> (FIXED_FRACTIONAL_BITS - WORLD_FRACTIONAL_BITS); }

constexpr short_fixed FIXED_TO_SHORT_FIXED(fixed f)
{
	return static_cast<short_fixed>(f >> (FIXED_FRACTIONAL_BITS - SHORT_FIXED_FRACTIONAL_BITS));
}
constexpr fixed SHORT_FIXED_TO_FIXED(short_fixed f)
{
	return static_cast<fixed>(static_cast<uint32>(static_cast<int32>(f)) << (FIXED_FRACTIONAL_BITS - SHORT_FIXED_FRACTIONAL_BITS));
}
constexpr int32 SHORT_FIXED_INTEGERAL_PART(short_fixed f) { return f >> SHORT_FIXED_FRACTIONAL_BITS; }
constexpr short_fixed INTEGER_TO_SHORT_FIXED(int32 i)
{
	return static_cast<short_fixed>(static_cast<uint32>(i) << SHORT_FIXED_FRACTIONAL_BITS);
}

/* ---------- records */

struct world_point2d
{
	world_distance x, y;
};

struct world_point3d
{
	world_distance x, y, z;
};

struct short_world_point2d
{
	short_world_distance x, y;
};

struct short_world_point3d
{
	short_world_distance x, y, z;
};

struct world_vector2d
{
	short_world_distance i, j;
};

// Also carries unit normals scaled by 16384.
struct world_vector3d
{
	short_world_distance i, j, k;
};

struct fixed_vector3d
{
	fixed i, j, k;
};

struct short_fixed_vector3d
{
	short_fixed i, j, k;
};

struct world_location3d
{
	world_point3d position;
	world_vector3d velocity;
	short_world_distance height;
	angle yaw, pitch;
};

struct short_world_rectangle3d
{
	short_world_point3d minimum_corner, maximum_corner;
};

// Row-major, 16384 = 1.0.
struct matrix3x3
{
	int16 n[3][3];
};

struct real_point3d
{
	real x, y, z;
};

// k is carried along and ignored by the 2D operations.
struct real_vector2d
{
	real i, j, k;
};

struct real_vector3d
{
	real i, j, k;
};

struct real_matrix3x3
{
	real n[3][3];
};

STORED_SIZE(world_point2d, 8);
STORED_SIZE(world_point3d, 12);
STORED_SIZE(short_world_point2d, 4);
STORED_SIZE(short_world_point3d, 6);
STORED_SIZE(world_vector2d, 4);
STORED_SIZE(world_vector3d, 6);
STORED_SIZE(fixed_vector3d, 12);
STORED_SIZE(short_fixed_vector3d, 6);
STORED_SIZE(world_location3d, 24);
STORED_SIZE(short_world_rectangle3d, 12);
STORED_SIZE(matrix3x3, 18);
STORED_SIZE(real_point3d, 12);
STORED_SIZE(real_vector2d, 12);
STORED_SIZE(real_vector3d, 12);
STORED_SIZE(real_matrix3x3, 36);

/* ---------- byte-swap descriptors of the records that stored records embed */

inline constexpr byte_swap_code world_point2d_byte_swapping_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _end_bs_array};
inline constexpr byte_swap_code world_point3d_byte_swapping_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _end_bs_array};
inline constexpr byte_swap_code short_world_point2d_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
inline constexpr byte_swap_code short_world_point3d_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _end_bs_array};
inline constexpr byte_swap_code world_vector2d_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _end_bs_array};
inline constexpr byte_swap_code world_vector3d_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _end_bs_array};
inline constexpr byte_swap_code fixed_vector3d_byte_swapping_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _end_bs_array};
inline constexpr byte_swap_code short_fixed_vector3d_byte_swapping_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _end_bs_array};
inline constexpr byte_swap_code world_location3d_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, // position
	_2byte, _2byte, _2byte, // velocity
	_2byte, // height
	_2byte, _2byte, // yaw, pitch
	_end_bs_array};
inline constexpr byte_swap_code short_world_rectangle3d_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_begin_bs_array, 2, _2byte, _2byte, _2byte, _end_bs_array,
	_end_bs_array};
inline constexpr byte_swap_code matrix3x3_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_begin_bs_array, 9, _2byte, _end_bs_array,
	_end_bs_array};

#define WORLD_UNITS_DESCRIPTOR_MATCHES(type) \
	static_assert(get_byte_swap_struct_size(type##_byte_swapping_data) == sizeof(type), #type " descriptor does not match")

WORLD_UNITS_DESCRIPTOR_MATCHES(world_point2d);
WORLD_UNITS_DESCRIPTOR_MATCHES(world_point3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(short_world_point2d);
WORLD_UNITS_DESCRIPTOR_MATCHES(short_world_point3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(world_vector2d);
WORLD_UNITS_DESCRIPTOR_MATCHES(world_vector3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(fixed_vector3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(short_fixed_vector3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(world_location3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(short_world_rectangle3d);
WORLD_UNITS_DESCRIPTOR_MATCHES(matrix3x3);

#undef WORLD_UNITS_DESCRIPTOR_MATCHES

#endif
