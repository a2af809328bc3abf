#include "world.h"

#include <cmath>

#include "error_manager.h"
#include "linux_utilities.h"
#include "memory.h"
#include "real_world.h"

/* ---------- constants */

// 2 pi as the double the tables were always built from; widened, never the float _2pi.
#define TRIG_TWO_PI 6.283185307179586
#define TRIG_TABLE_STEP 0.0009765625 // 1 / 1024

// Within this many radians of a quarter turn the rotation matrix snaps to exact values.
#define ROTATION_SNAP_EPSILON 1.5258789e-5f

#define RANDOM_MULTIPLIER 1664525u
#define RANDOM_INCREMENT 1013904223u

// Deltas outside this range make the distances saturate.
#define MINIMUM_DISTANCE_DELTA (-32767)
#define MAXIMUM_DISTANCE_DELTA 32766
#define MAXIMUM_DISTANCE 32767

enum
{
	_arccosine_start,
	_arccosine_increasing,
	_arccosine_decreasing,
	_arccosine_done
};

enum
{
	_arcsine_start,
	_arcsine_increasing,
	_arcsine_decreasing,
	_arcsine_done
};

/* ---------- globals */

int16 *sine_table = NULL;
int16 *cosine_table = NULL;
int32 *tangent_table = NULL;

// The arctangent's lower bound (the last position of the quadrant's row below
// t, 0 when none) at the first t of each span of 64 from -2^15 to 2^15, per
// quadrant; NONE where the span holds more than one row value, or before the
// tables are built. Within a span holding at most one, the bound is the span's
// or one more, as the next row value lies below t or not.
#define ARCTANGENT_SPAN_BITS 6
#define ARCTANGENT_SPAN_REACH (1 << 15)
#define ARCTANGENT_SPANS (2 * ARCTANGENT_SPAN_REACH >> ARCTANGENT_SPAN_BITS)
static int16 arctangent_spans[4][ARCTANGENT_SPANS];
static bool arctangent_spans_built = false;
static void build_arctangent_spans(void);

// The walk's answer for each value in range, kept once asked (the walk takes
// hundreds of steps for small values and aiming asks often): the index plus
// ARCSINE_MEMO_BIAS, zero while not yet asked.
#define ARCSINE_MEMO_BIAS 1024
static uint16 arcsine_memo[2 * TRIG_MAGNITUDE + 1];
static int32 walked_arcsine_index(int32 value);

struct world_globals_data
{
	uint32 random_seed;
	uint32 local_random_seed;
	uint32 random_draw_count;
};

static world_globals_data world_globals = {DEFAULT_RANDOM_SEED, DEFAULT_RANDOM_SEED, 0};

/* ---------- private helpers */

static inline bool delta_out_of_range(int64 delta)
{
	return delta < MINIMUM_DISTANCE_DELTA || delta > MAXIMUM_DISTANCE_DELTA;
}

static inline uint32 random_step(uint32 *seed)
{
	*seed = *seed * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
	return *seed >> 16;
}

// The rounded root (to nearest) by the bitwise method; one routine for the
// 32-bit isqrt and the 64-bit sums, which agree wherever a sum fits in 32 bits.
template <typename unsigned_type>
static unsigned_type rounded_square_root(unsigned_type x)
{
	unsigned_type root = 0;
	unsigned_type remainder = x;
	unsigned_type bit = static_cast<unsigned_type>(1) << (sizeof(unsigned_type) * 8 - 2);

	while (bit > remainder) bit >>= 2;
	while (bit)
	{
		if (remainder >= root + bit)
		{
			remainder -= root + bit;
			root = (root >> 1) + bit;
		}
		else
		{
			root >>= 1;
		}
		bit >>= 2;
	}
	// Round to nearest: the root goes up when x - r^2 exceeds r.
	if (root < remainder) root += 1;
	return root;
}

uint64 isqrt64(uint64 x)
{
	return rounded_square_root<uint64>(x);
}

// Sine and cosine x16384 of an angle from the floating-point library: exact at
// the four quarter turns, otherwise truncated toward zero.
static void rotation_sine_and_cosine(angle theta, int16 *sine, int16 *cosine)
{
	const long double two_pi = static_cast<long double>(TRIG_TWO_PI);
	const long double radians = static_cast<long double>(theta) * two_pi / 65536.0L;
	const long double epsilon = static_cast<long double>(ROTATION_SNAP_EPSILON);

	if (fabsl(radians) < epsilon)
	{
		*sine = 0;
		*cosine = TRIG_MAGNITUDE;
	}
	else if (fabsl(radians - two_pi / 4.0L) < epsilon)
	{
		*sine = TRIG_MAGNITUDE;
		*cosine = 0;
	}
	else if (fabsl(radians - two_pi / 2.0L) < epsilon)
	{
		*sine = 0;
		*cosine = -TRIG_MAGNITUDE;
	}
	else if (fabsl(radians - two_pi * 3.0L / 4.0L) < epsilon)
	{
		*sine = -TRIG_MAGNITUDE;
		*cosine = 0;
	}
	else
	{
		*sine = static_cast<int16>(sinl(radians) * static_cast<long double>(TRIG_MAGNITUDE));
		*cosine = static_cast<int16>(cosl(radians) * static_cast<long double>(TRIG_MAGNITUDE));
	}
}

/* ---------- start-up and random streams */

void initialize_world(void)
{
	bool allocated = true;

	if (!sine_table) sine_table = static_cast<int16 *>(new_pointer(NUMBER_OF_TRIG_TABLE_ENTRIES * sizeof(int16)));
	if (!cosine_table) cosine_table = static_cast<int16 *>(new_pointer(NUMBER_OF_TRIG_TABLE_ENTRIES * sizeof(int16)));
	if (!tangent_table) tangent_table = static_cast<int32 *>(new_pointer(NUMBER_OF_TRIG_TABLE_ENTRIES * sizeof(int32)));
	if (!sine_table || !cosine_table || !tangent_table)
	{
		allocated = false;
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate trig tables.");
	}

	if (allocated)
	{
		const long double two_pi = static_cast<long double>(TRIG_TWO_PI);
		const long double step = static_cast<long double>(TRIG_TABLE_STEP);

		for (int32 i = 0; i < NUMBER_OF_TRIG_TABLE_ENTRIES; ++i)
		{
			const long double theta = static_cast<long double>(i) * two_pi * step;
			// Truncation toward zero after adding one half, as the tables always were.
			sine_table[i] = static_cast<int16>(sinl(theta) * 16384.0L + 0.5L);
			cosine_table[i] = static_cast<int16>(cosl(theta) * 16384.0L + 0.5L);
		}

		sine_table[0] = 0, cosine_table[0] = TRIG_MAGNITUDE;
		sine_table[NUMBER_OF_TRIG_TABLE_ENTRIES / 4] = TRIG_MAGNITUDE, cosine_table[NUMBER_OF_TRIG_TABLE_ENTRIES / 4] = 0;
		sine_table[NUMBER_OF_TRIG_TABLE_ENTRIES / 2] = 0, cosine_table[NUMBER_OF_TRIG_TABLE_ENTRIES / 2] = -TRIG_MAGNITUDE;
		sine_table[3 * NUMBER_OF_TRIG_TABLE_ENTRIES / 4] = -TRIG_MAGNITUDE;
		cosine_table[3 * NUMBER_OF_TRIG_TABLE_ENTRIES / 4] = 0;

		for (int32 i = 0; i < NUMBER_OF_TRIG_TABLE_ENTRIES; ++i)
		{
			tangent_table[i] = cosine_table[i]
				? (static_cast<int32>(sine_table[i]) * TRIG_MAGNITUDE) / cosine_table[i]
				: TANGENT_INFINITY;
		}
		build_arctangent_spans();
	}

	initialize_real_world();

	{
		const uint32 seed = machine_tick_count();
		world_globals.local_random_seed = seed ? seed : DEFAULT_RANDOM_SEED;
	}
}

void set_random_seed(uint32 seed)
{
	world_globals.random_seed = seed ? seed : DEFAULT_RANDOM_SEED;
}

uint32 get_random_seed(void)
{
	return world_globals.random_seed;
}

uint16 zerv_random(void)
{
	world_globals.random_draw_count += 1;
	return static_cast<uint16>(random_step(&world_globals.random_seed));
}

uint16 local_random(void)
{
	return static_cast<uint16>(random_step(&world_globals.local_random_seed));
}

// Scales a draw of either stream to [0, n); an empty range takes no draw.
static int32 random_below(int32 n, uint16 (*draw)(void))
{
	if (n <= 0) return 0;
	return static_cast<int32>((static_cast<int64>(n) * draw()) >> 16);
}

int32 zerv_random_below(int32 n)
{
	return random_below(n, zerv_random);
}

int32 local_random_below(int32 n)
{
	return random_below(n, local_random);
}

void start_recording_random_seed(void)
{
}

void stop_recording_random_seed(void)
{
}

uint32 zerv_random_draw_count(void)
{
	return world_globals.random_draw_count;
}

void set_local_random_seed(uint32 seed)
{
	world_globals.local_random_seed = seed;
}

uint32 get_local_random_seed(void)
{
	return world_globals.local_random_seed;
}

/* ---------- angles */

world_point2d *rotate_point2d(world_point2d *point, const world_point2d *origin, angle theta)
{
	const int64 c = angle_cosine(theta);
	const int64 s = angle_sine(theta);
	const int64 dx = static_cast<int64>(point->x) - origin->x;
	const int64 dy = static_cast<int64>(point->y) - origin->y;

	point->x = static_cast<world_distance>(origin->x + ((c * dx + s * dy) >> TRIG_SHIFT));
	point->y = static_cast<world_distance>(origin->y + ((c * dy - s * dx) >> TRIG_SHIFT));
	return point;
}

world_point2d *translate_point2d(world_point2d *point, world_distance distance, angle yaw)
{
	point->x = static_cast<world_distance>(point->x + ((static_cast<int64>(angle_cosine(yaw)) * distance) >> TRIG_SHIFT));
	point->y = static_cast<world_distance>(point->y + ((static_cast<int64>(angle_sine(yaw)) * distance) >> TRIG_SHIFT));
	return point;
}

short_world_point2d *translate_short_point2d(short_world_point2d *point, world_distance distance, angle yaw)
{
	point->x = static_cast<short_world_distance>(point->x + ((static_cast<int64>(angle_cosine(yaw)) * distance) >> TRIG_SHIFT));
	point->y = static_cast<short_world_distance>(point->y + ((static_cast<int64>(angle_sine(yaw)) * distance) >> TRIG_SHIFT));
	return point;
}

world_point3d *translate_point3d(world_point3d *point, world_distance distance, angle yaw, angle pitch)
{
	const int64 h = (static_cast<int64>(angle_cosine(pitch)) * distance) >> TRIG_SHIFT;

	point->x = static_cast<world_distance>(point->x + ((angle_cosine(yaw) * h) >> TRIG_SHIFT));
	point->y = static_cast<world_distance>(point->y + ((angle_sine(yaw) * h) >> TRIG_SHIFT));
	point->z = static_cast<world_distance>(point->z + ((static_cast<int64>(angle_sine(pitch)) * distance) >> TRIG_SHIFT));
	return point;
}

world_vector3d *build_world_vector3d(world_vector3d *vector, world_distance magnitude, angle yaw, angle pitch)
{
	const int64 h = (static_cast<int64>(angle_cosine(pitch)) * magnitude) >> TRIG_SHIFT;

	vector->i = static_cast<short_world_distance>((angle_cosine(yaw) * h) >> TRIG_SHIFT);
	vector->j = static_cast<short_world_distance>((angle_sine(yaw) * h) >> TRIG_SHIFT);
	vector->k = static_cast<short_world_distance>((static_cast<int64>(angle_sine(pitch)) * magnitude) >> TRIG_SHIFT);
	return vector;
}

matrix3x3 *build_rotation_matrix(matrix3x3 *m, angle yaw, angle pitch)
{
	int16 sy, cy, sp, cp;

	rotation_sine_and_cosine(yaw, &sy, &cy);
	rotation_sine_and_cosine(pitch, &sp, &cp);

	m->n[0][0] = sy;
	m->n[0][1] = static_cast<int16>((-(cy * sp)) >> TRIG_SHIFT);
	m->n[0][2] = static_cast<int16>((-(cy * cp)) >> TRIG_SHIFT);
	m->n[1][0] = static_cast<int16>(-cy);
	m->n[1][1] = static_cast<int16>((-(sp * sy)) >> TRIG_SHIFT);
	m->n[1][2] = static_cast<int16>((-(sy * cp)) >> TRIG_SHIFT);
	m->n[2][0] = 0;
	m->n[2][1] = cp;
	m->n[2][2] = static_cast<int16>(-sp);
	return m;
}

matrix3x3 *build_inverse_rotation_matrix(matrix3x3 *m, angle yaw, angle pitch)
{
	matrix3x3 forward;

	build_rotation_matrix(&forward, yaw, pitch);
	for (int32 row = 0; row < 3; ++row)
	{
		for (int32 column = 0; column < 3; ++column) m->n[row][column] = forward.n[column][row];
	}
	return m;
}

// Walks a table from a linear guess towards value; of the last two entries
// the nearer wins, a tie going to the one reached last. ascending says which
// way the table runs around the guess.
static int32 walk_trig_table(const int16 *table, int32 index, int32 value, bool ascending)
{
	int32 previous_index = index;
	int32 state = _arccosine_start;

	for (;;)
	{
		const int32 table_value = table[index & (NUMBER_OF_TRIG_TABLE_ENTRIES - 1)];

		if (table_value == value) return index;

		// Towards larger table values is up the index when ascending.
		const bool below = table_value < value;
		const int32 wanted = (below == ascending) ? _arccosine_increasing : _arccosine_decreasing;

		if (state == _arccosine_start)
		{
			state = wanted;
		}
		else if (state != wanted)
		{
			// Passed the value: take the nearer of the last two.
			const int32 previous_value = table[previous_index & (NUMBER_OF_TRIG_TABLE_ENTRIES - 1)];
			const int32 here = table_value > value ? table_value - value : value - table_value;
			const int32 there = previous_value > value ? previous_value - value : value - previous_value;
			return there < here ? previous_index : index;
		}

		previous_index = index;
		index += state == _arccosine_increasing ? 1 : -1;
	}
}

// The sine rises from a quarter turn back to a quarter turn ahead.
static int32 walked_arcsine_index(int32 value)
{
	return walk_trig_table(sine_table, value >> TRIG_TABLE_ANGLE_BITS, value, true);
}

angle arccosine(int32 value)
{
	if (value < -TRIG_MAGNITUDE || value > TRIG_MAGNITUDE) return 0;

	// The cosine falls over the first half turn.
	const int32 index = walk_trig_table(cosine_table, (TRIG_MAGNITUDE - value) >> TRIG_TABLE_ANGLE_BITS, value, false);
	return static_cast<angle>(index << TRIG_TABLE_ANGLE_BITS);
}

int32 arcsine(int32 value)
{
	if (value < -TRIG_MAGNITUDE || value > TRIG_MAGNITUDE) return 0;
	// The sine table is built the same at every start, so a kept answer holds.
	uint16 *kept = &arcsine_memo[value + TRIG_MAGNITUDE];
	if (!*kept) *kept = static_cast<uint16>(walked_arcsine_index(value) + ARCSINE_MEMO_BIAS);
	return (static_cast<int32>(*kept) - ARCSINE_MEMO_BIAS) * (1 << TRIG_TABLE_ANGLE_BITS);
}

int32 walked_arcsine(int32 value)
{
	if (value < -TRIG_MAGNITUDE || value > TRIG_MAGNITUDE) return 0;
	return walked_arcsine_index(value) * (1 << TRIG_TABLE_ANGLE_BITS);
}

// Lower bound over positions 1..255 of a quadrant's row (256 past them): the
// tangents rise through each quadrant's positions, so the last position
// below t is found in eight fixed halvings without a hard-to-guess branch.
static inline int32 tangent_lower_bound(const int32 *row, int64 t)
{
	int32 below_t = 0;
	for (int32 step = 128; step > 0; step >>= 1)
	{
		below_t += row[below_t + step] < t ? step : 0;
	}
	return below_t;
}

static void build_arctangent_spans(void)
{
	for (int32 q = 0; q < 4; ++q)
	{
		const int32 *row = tangent_table + 256 * q;
		for (int32 span = 0; span < ARCTANGENT_SPANS; ++span)
		{
			const int64 first = static_cast<int64>(span << ARCTANGENT_SPAN_BITS) - ARCTANGENT_SPAN_REACH;
			const int32 low = tangent_lower_bound(row, first);
			const int32 high = tangent_lower_bound(row, first + (1 << ARCTANGENT_SPAN_BITS) - 1);
			arctangent_spans[q][span] = static_cast<int16>(high - low <= 1 ? low : NONE);
		}
	}
	arctangent_spans_built = true;
}

angle arctangent(world_distance x, world_distance y)
{
	if (x == 0) return y < 0 ? THREE_QUARTER_CIRCLE : QUARTER_CIRCLE;

	// y << 14 overflows 32 bits from |y| = 131072 on: formed wide there (the
	// same quotient, truncated toward zero either way).
	const int64 t = (y > -131072 && y < 131072) ? static_cast<int64>((y * (1 << TRIG_SHIFT)) / x) :
		static_cast<int64>(static_cast<uint64>(static_cast<int64>(y)) << TRIG_SHIFT) / x;
	if (t == 0) return x < 0 ? HALF_CIRCLE : 0;

	const int32 quadrant = (y <= 0 ? 512 : 0) + (t < 0 ? 256 : 0);
	const int32 *row = tangent_table + quadrant;
	int32 below_t;
	const int16 span_bound = (t >= -ARCTANGENT_SPAN_REACH && t < ARCTANGENT_SPAN_REACH && arctangent_spans_built) ?
		arctangent_spans[quadrant >> 8][(t + ARCTANGENT_SPAN_REACH) >> ARCTANGENT_SPAN_BITS] : static_cast<int16>(NONE);
	if (span_bound == NONE) below_t = tangent_lower_bound(row, t);
	else below_t = span_bound + (span_bound < 255 && row[span_bound + 1] < t ? 1 : 0);

	int32 i = below_t + 1;
	if (i < 256)
	{
		const int64 above = static_cast<int64>(tangent_table[quadrant + i]) - t;
		const int64 below = t - static_cast<int64>(tangent_table[quadrant + i - 1]);
		if (above > below) i -= 1;
	}
	return static_cast<angle>(((quadrant + i) << TRIG_TABLE_ANGLE_BITS) & 0xFFFF);
}

int32 angular_difference(angle angle1, angle angle2)
{
	const int32 d = (static_cast<int32>(angle1) - angle2) & 0xFFFF;
	return d < HALF_CIRCLE ? d : FULL_CIRCLE - d;
}

int32 signed_angular_difference(angle angle1, angle angle2)
{
	int32 d = static_cast<int32>(angle2) - angle1;
	if (d >= HALF_CIRCLE) d -= FULL_CIRCLE;
	if (d < -(HALF_CIRCLE - 1)) d += FULL_CIRCLE;
	return d;
}

/* ---------- vectors and matrices */

// Sums of three 16-bit products reach 3 * 2^30, so they are formed in 64 bits.
static inline int64 vector_dot(const world_vector3d *a, const world_vector3d *b)
{
	return static_cast<int64>(a->i) * b->i + static_cast<int64>(a->j) * b->j + static_cast<int64>(a->k) * b->k;
}

static world_vector3d *vector_cross(const world_vector3d *a, const world_vector3d *b, world_vector3d *result,
	int32 shift)
{
	const int64 i = static_cast<int64>(a->j) * b->k - static_cast<int64>(a->k) * b->j;
	const int64 j = static_cast<int64>(a->k) * b->i - static_cast<int64>(a->i) * b->k;
	const int64 k = static_cast<int64>(a->i) * b->j - static_cast<int64>(a->j) * b->i;

	result->i = static_cast<short_world_distance>(i >> shift);
	result->j = static_cast<short_world_distance>(j >> shift);
	result->k = static_cast<short_world_distance>(k >> shift);
	return result;
}

int32 world_dot_product3d(const world_vector3d *a, const world_vector3d *b)
{
	return static_cast<int32>(vector_dot(a, b) >> WORLD_FRACTIONAL_BITS);
}

int32 trig_dot_product3d(const world_vector3d *a, const world_vector3d *b)
{
	return static_cast<int32>(vector_dot(a, b) >> TRIG_SHIFT);
}

world_vector3d *world_cross_product3d(const world_vector3d *a, const world_vector3d *b, world_vector3d *result)
{
	return vector_cross(a, b, result, WORLD_FRACTIONAL_BITS);
}

world_vector3d *trig_cross_product3d(const world_vector3d *a, const world_vector3d *b, world_vector3d *result)
{
	return vector_cross(a, b, result, TRIG_SHIFT);
}

short_world_distance world_magnitude3d(const world_vector3d *v)
{
	// The sum fits in 32 bits; the root (up to 56755) does not fit the result.
	const uint32 sum = static_cast<uint32>(static_cast<int32>(v->i) * v->i) + static_cast<uint32>(static_cast<int32>(v->j) * v->j) +
		static_cast<uint32>(static_cast<int32>(v->k) * v->k);
	const uint32 root = isqrt(sum);
	return static_cast<short_world_distance>(MIN(root, static_cast<uint32>(MAXIMUM_DISTANCE)));
}

world_vector3d *line_segment_to_vector(world_vector3d *vector, const world_point3d *p0, const world_point3d *p1,
	world_distance vector_magnitude)
{
	const int64 dx = static_cast<int64>(p0->x) - p1->x;
	const int64 dy = static_cast<int64>(p0->y) - p1->y;
	const int64 dz = static_cast<int64>(p0->z) - p1->z;
	int64 length = static_cast<int64>(isqrt64(static_cast<uint64>(dx * dx) + static_cast<uint64>(dy * dy) + static_cast<uint64>(dz * dz)));

	if (length == 0) length = 1;
	vector->i = static_cast<short_world_distance>(dx * vector_magnitude / length);
	vector->j = static_cast<short_world_distance>(dy * vector_magnitude / length);
	vector->k = static_cast<short_world_distance>(dz * vector_magnitude / length);
	return vector;
}

world_vector3d *reflect_vector(const world_vector3d *incident, const world_vector3d *normal, world_vector3d *reflected)
{
	const int64 t = vector_dot(incident, normal) >> TRIG_SHIFT;
	const world_vector3d n = *normal;
	const world_vector3d v = *incident;

	reflected->i = static_cast<short_world_distance>(v.i - ((n.i * t) >> (TRIG_SHIFT - 1)));
	reflected->j = static_cast<short_world_distance>(v.j - ((n.j * t) >> (TRIG_SHIFT - 1)));
	reflected->k = static_cast<short_world_distance>(v.k - ((n.k * t) >> (TRIG_SHIFT - 1)));
	return reflected;
}

world_vector3d *rotate_vector(world_vector3d *result, const matrix3x3 *m, const world_vector3d *source)
{
	const world_vector3d s = *source;
	int64 component[3];

	for (int32 c = 0; c < 3; ++c)
	{
		component[c] = (static_cast<int64>(m->n[0][c]) * s.i + static_cast<int64>(m->n[1][c]) * s.j +
			static_cast<int64>(m->n[2][c]) * s.k) >> TRIG_SHIFT;
	}
	result->i = static_cast<short_world_distance>(component[0]);
	result->j = static_cast<short_world_distance>(component[1]);
	result->k = static_cast<short_world_distance>(component[2]);
	return result;
}

static void rotation_matrix3d_vectors(const world_vector3d *forward, const world_vector3d *up, world_vector3d vectors[3])
{
	vectors[0] = *forward;
	trig_cross_product3d(up, forward, &vectors[1]);
	vectors[2] = *up;
}

matrix3x3 *build_rotation_matrix3d(matrix3x3 *m, const world_vector3d *forward, const world_vector3d *up)
{
	world_vector3d vectors[3];

	rotation_matrix3d_vectors(forward, up, vectors);
	for (int32 c = 0; c < 3; ++c)
	{
		m->n[0][c] = vectors[c].i;
		m->n[1][c] = vectors[c].j;
		m->n[2][c] = vectors[c].k;
	}
	return m;
}

matrix3x3 *build_inverse_rotation_matrix3d(matrix3x3 *m, const world_vector3d *forward, const world_vector3d *up)
{
	world_vector3d vectors[3];

	rotation_matrix3d_vectors(forward, up, vectors);
	for (int32 r = 0; r < 3; ++r)
	{
		m->n[r][0] = vectors[r].i;
		m->n[r][1] = vectors[r].j;
		m->n[r][2] = vectors[r].k;
	}
	return m;
}

fixed_vector3d *normalize_fixed_vector3d(fixed_vector3d *a)
{
	const int32 i = static_cast<int16>(a->i >> 8);
	const int32 j = static_cast<int16>(a->j >> 8);
	const int32 k = static_cast<int16>(a->k >> 8);
	const uint32 magnitude = isqrt(static_cast<uint32>(i * i) + static_cast<uint32>(j * j) + static_cast<uint32>(k * k));

	// A zero vector has no direction: leave it as it is.
	if (magnitude == 0) return a;

	const long double scale = static_cast<long double>(magnitude) / 256.0L;
	fixed *components[3] = {&a->i, &a->j, &a->k};
	for (int32 c = 0; c < 3; ++c)
	{
		const long double value = (static_cast<long double>(*components[c]) / 65536.0L) / scale * 65536.0L;
		// Components whose high bits wrapped in the 16-bit magnitude can exceed 32 bits here.
		if (value >= 2147483648.0L) *components[c] = INT32_MAX;
		else if (value <= -2147483649.0L) *components[c] = INT32_MIN;
		else *components[c] = static_cast<fixed>(value);
	}
	return a;
}

short_fixed_vector3d *normalize_short_fixed_vector3d(short_fixed_vector3d *a)
{
	const int32 i = a->i, j = a->j, k = a->k;
	const uint32 magnitude = isqrt(static_cast<uint32>(i * i) + static_cast<uint32>(j * j) + static_cast<uint32>(k * k));

	if (magnitude == 0) return a;

	const int32 m = static_cast<int32>(magnitude);
	a->i = static_cast<short_fixed>((i * SHORT_FIXED_ONE) / m);
	a->j = static_cast<short_fixed>((j * SHORT_FIXED_ONE) / m);
	a->k = static_cast<short_fixed>((k * SHORT_FIXED_ONE) / m);
	return a;
}

int32 point_in_plane_test(const world_vector3d *normal, int32 d, const world_point3d *p)
{
	// A 32-bit value that wraps for far points: the model hit test uses its
	// magnitude as well as its sign, so it must be this exact value.
	int32 value = int32_wrapping_multiply(normal->i, p->x);
	value = int32_wrapping_add(value, int32_wrapping_multiply(normal->j, p->y));
	value = int32_wrapping_add(value, int32_wrapping_multiply(normal->k, p->z));
	return int32_wrapping_add(value, d);
}

boolean point_in_polygon_test(const world_point2d *p, const world_point2d *points, int32 point_count,
	boolean closed_geometry)
{
	if (point_count < 2) return TRUE;

	const int32 edge_count = closed_geometry ? point_count : point_count - 1;
	for (int32 edge = 1; edge <= edge_count; ++edge)
	{
		const world_point2d *from = &points[edge - 1];
		const world_point2d *to = &points[edge == point_count ? 0 : edge];
		int64 ax = static_cast<int64>(p->x) - from->x;
		int64 ay = static_cast<int64>(p->y) - from->y;
		int64 ex = static_cast<int64>(to->x) - from->x;
		int64 ey = static_cast<int64>(to->y) - from->y;

		if (delta_out_of_range(ax) || delta_out_of_range(ay)) ax >>= WORLD_FRACTIONAL_BITS, ay >>= WORLD_FRACTIONAL_BITS;
		if (delta_out_of_range(ex) || delta_out_of_range(ey)) ex >>= WORLD_FRACTIONAL_BITS, ey >>= WORLD_FRACTIONAL_BITS;
		if (ax * ey - ay * ex < 0) return FALSE;
	}
	return TRUE;
}

boolean point_in_short_world_rectangle3d(const short_world_rectangle3d *rectangle, const world_point3d *p)
{
	return p->x >= rectangle->minimum_corner.x && p->x < rectangle->maximum_corner.x &&
		p->y >= rectangle->minimum_corner.y && p->y < rectangle->maximum_corner.y &&
		p->z >= rectangle->minimum_corner.z && p->z < rectangle->maximum_corner.z;
}

world_point2d *set_world_point2d(world_point2d *p, world_distance x, world_distance y)
{
	p->x = x, p->y = y;
	return p;
}

world_point3d *set_world_point3d(world_point3d *p, world_distance x, world_distance y, world_distance z)
{
	p->x = x, p->y = y, p->z = z;
	return p;
}

short_world_point2d *set_short_world_point2d(short_world_point2d *p, short_world_distance x, short_world_distance y)
{
	p->x = x, p->y = y;
	return p;
}

short_world_point3d *set_short_world_point3d(short_world_point3d *p, short_world_distance x, short_world_distance y,
	short_world_distance z)
{
	p->x = x, p->y = y, p->z = z;
	return p;
}

world_vector3d *set_world_vector3d(world_vector3d *v, short_world_distance i, short_world_distance j,
	short_world_distance k)
{
	v->i = i, v->j = j, v->k = k;
	return v;
}

void dprintf_matrix(const char *message, const matrix3x3 *m)
{
	log_message(NULL, -1, "%s;g", message ? message : "");
	log_message(NULL, -1, "[ %d %d %d];g", m->n[0][0], m->n[0][1], m->n[0][2]);
	log_message(NULL, -1, "[ %d %d %d];g", m->n[1][0], m->n[1][1], m->n[1][2]);
	log_message(NULL, -1, "[ %d %d %d]", m->n[2][0], m->n[2][1], m->n[2][2]);
}

/* ---------- distances */

world_distance distance2d(const world_point2d *p0, const world_point2d *p1)
{
	const int64 dx = static_cast<int64>(p0->x) - p1->x;
	const int64 dy = static_cast<int64>(p0->y) - p1->y;

	if (delta_out_of_range(dx) || delta_out_of_range(dy)) return MAXIMUM_DISTANCE;

	const uint32 root = isqrt(static_cast<uint32>(dx * dx) + static_cast<uint32>(dy * dy));
	return static_cast<world_distance>(MIN(root, static_cast<uint32>(MAXIMUM_DISTANCE)));
}

world_distance distance3d(const world_point3d *p0, const world_point3d *p1)
{
	const int64 dx = static_cast<int64>(p0->x) - p1->x;
	const int64 dy = static_cast<int64>(p0->y) - p1->y;
	const int64 dz = static_cast<int64>(p0->z) - p1->z;

	if (delta_out_of_range(dx) || delta_out_of_range(dy) || delta_out_of_range(dz)) return MAXIMUM_DISTANCE;

	// At most 3 * 32767^2, which fits in 32 bits.
	return static_cast<world_distance>(isqrt(static_cast<uint32>(dx * dx) + static_cast<uint32>(dy * dy) +
		static_cast<uint32>(dz * dz)));
}

world_distance guess_distance2d(const world_point3d *p0, const world_point3d *p1)
{
	int64 a = static_cast<int64>(p0->x) - p1->x;
	int64 b = static_cast<int64>(p0->y) - p1->y;

	if (a < 0) a = -a;
	if (b < 0) b = -b;

	const int64 guess = a <= b ? (a >> 1) + b : a + (b >> 1);
	return static_cast<world_distance>(MIN(guess, static_cast<int64>(MAXIMUM_DISTANCE)));
}

// The projection of a on the segment from b to c, with 512 standing for the
// whole segment; FALSE when the segment has no length.
static bool project_on_segment(const world_point2d *a, const world_point2d *b, const world_point2d *c, int64 *t)
{
	const int64 ex = static_cast<int64>(c->x) - b->x;
	const int64 ey = static_cast<int64>(c->y) - b->y;
	const int64 length = (ex * ex + ey * ey) >> WORLD_FRACTIONAL_BITS;

	if (length == 0) return false;

	const int64 ax = static_cast<int64>(a->x) - b->x;
	const int64 ay = static_cast<int64>(a->y) - b->y;
	*t = (ax * ex + ay * ey) / length;
	return true;
}

static void point_along_segment(const world_point2d *b, const world_point2d *c, int64 t, world_point2d *result)
{
	const int64 ex = static_cast<int64>(c->x) - b->x;
	const int64 ey = static_cast<int64>(c->y) - b->y;

	result->x = static_cast<world_distance>(b->x + ((ex * t) >> WORLD_FRACTIONAL_BITS));
	result->y = static_cast<world_distance>(b->y + ((ey * t) >> WORLD_FRACTIONAL_BITS));
}

boolean closest_point_on_line_segment2d(const world_point2d *a, const world_point2d *b, const world_point2d *c,
	world_point2d *closest_point)
{
	int64 t = 0;
	world_point2d result;
	boolean on_segment = FALSE;

	if (!project_on_segment(a, b, c, &t)) result = *c;
	else if (t < 0) result = *b;
	else if (t > WORLD_ONE) result = *c;
	else
	{
		point_along_segment(b, c, t, &result);
		on_segment = TRUE;
	}

	if (closest_point) *closest_point = result;
	return on_segment;
}

boolean closest_point_on_line_segment_from_point(const world_point2d *point, const world_point2d *line0,
	const world_point2d *line1, world_point2d *closest_point_on_line_reference,
	world_point2d *closest_point_on_line_segment_reference)
{
	int64 t = 0;

	if (!project_on_segment(point, line0, line1, &t))
	{
		if (closest_point_on_line_reference) *closest_point_on_line_reference = *line1;
		if (closest_point_on_line_segment_reference) *closest_point_on_line_segment_reference = *line1;
		return FALSE;
	}

	world_point2d foot;
	point_along_segment(line0, line1, t, &foot);
	if (closest_point_on_line_reference) *closest_point_on_line_reference = foot;
	if (closest_point_on_line_segment_reference)
	{
		*closest_point_on_line_segment_reference = t < 0 ? *line0 : (t > WORLD_ONE ? *line1 : foot);
	}
	return t >= 0 && t <= WORLD_ONE;
}

world_point2d *closest_point_on_circle2d(const world_point2d *target, world_distance radius, const world_point2d *p,
	world_point2d *closest_point)
{
	const int64 dx = static_cast<int64>(p->x) - target->x;
	const int64 dy = static_cast<int64>(p->y) - target->y;
	const int64 n = static_cast<int64>(isqrt64(static_cast<uint64>(dx * dx) + static_cast<uint64>(dy * dy)));

	if (n == 0)
	{
		*closest_point = *p;
	}
	else
	{
		closest_point->x = static_cast<world_distance>(target->x + dx * radius / n);
		closest_point->y = static_cast<world_distance>(target->y + dy * radius / n);
	}
	return closest_point;
}

world_point3d *closest_point_on_circle(const world_point2d *target, world_distance radius, const world_point3d *p,
	world_point3d *closest_point)
{
	const world_point2d flat = {p->x, p->y};
	world_point2d result;
	const world_distance z = p->z;

	closest_point_on_circle2d(target, radius, &flat, &result);
	closest_point->x = result.x;
	closest_point->y = result.y;
	closest_point->z = z;
	return closest_point;
}

