#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "byte_swapping.h"
#include "crc.h"
#include "error_manager.h"
#include "support/test_directory.h"
#include "test_hooks.h"
#include "world.h"

namespace {

class WorldMaths : public ::testing::Test
{
protected:
	void SetUp() override { initialize_world(); }
};

// CRC of 16-bit values laid out big-endian, as they would be stored.
uint32 big_endian_crc16(std::vector<int16> values)
{
	byte_swap_memory("test", values.data(), static_cast<int32>(values.size()), _2byte);
	return calculate_data_crc(values.data(), static_cast<int32>(values.size() * sizeof(int16)));
}

TEST_F(WorldMaths, TrigTables)
{
	std::vector<int16> both(sine_table, sine_table + NUMBER_OF_TRIG_TABLE_ENTRIES);
	both.insert(both.end(), cosine_table, cosine_table + NUMBER_OF_TRIG_TABLE_ENTRIES);
	byte_swap_memory("test", both.data(), static_cast<int32>(both.size()), _2byte);
	std::vector<int32> tangents(tangent_table, tangent_table + NUMBER_OF_TRIG_TABLE_ENTRIES);
	byte_swap_memory("test", tangents.data(), static_cast<int32>(tangents.size()), _4byte);

	std::vector<uint8> bytes(both.size() * 2 + tangents.size() * 4);
	memcpy(bytes.data(), both.data(), both.size() * 2);
	memcpy(bytes.data() + both.size() * 2, tangents.data(), tangents.size() * 4);
	EXPECT_EQ(calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size())), 0xF63EB1C9u);

	// Forced entries.
	EXPECT_EQ(sine_table[0], 0);
	EXPECT_EQ(cosine_table[0], 16384);
	EXPECT_EQ(sine_table[256], 16384);
	EXPECT_EQ(cosine_table[256], 0);
	EXPECT_EQ(sine_table[512], 0);
	EXPECT_EQ(cosine_table[512], -16384);
	EXPECT_EQ(sine_table[768], -16384);
	EXPECT_EQ(cosine_table[768], 0);
	EXPECT_EQ(static_cast<uint32>(tangent_table[256]), 0x80000000u);
	EXPECT_EQ(static_cast<uint32>(tangent_table[768]), 0x80000000u);

	// Truncation after adding one half, not rounding.
	EXPECT_EQ(sine_table[1], 101);
	EXPECT_EQ(sine_table[128], 11585);
	EXPECT_EQ(cosine_table[128], 11585);
	EXPECT_EQ(sine_table[513], -100);
	EXPECT_EQ(tangent_table[128], 16384);

	EXPECT_EQ(ANGLE_TO_TRIG_INDEX(65535), 0);
	EXPECT_EQ(ANGLE_TO_TRIG_INDEX(32), 1);
	EXPECT_EQ(ANGLE_TO_TRIG_INDEX(31), 0);
	EXPECT_EQ(angle_sine(65535), 0);
	EXPECT_EQ(angle_sine(32), 101);

	// A second start-up builds the same tables.
	const int16 before = sine_table[77];
	initialize_world();
	EXPECT_EQ(sine_table[77], before);
}

TEST_F(WorldMaths, RotationMatrix)
{
	// sy and cy of every yaw read back from a matrix with pitch 0.
	std::vector<int16> pairs;
	pairs.reserve(2 * 65536);
	for (uint32 yaw = 0; yaw < 65536; ++yaw)
	{
		matrix3x3 m;
		build_rotation_matrix(&m, static_cast<angle>(yaw), 0);
		pairs.push_back(m.n[0][0]);
		pairs.push_back(static_cast<int16>(-m.n[1][0]));
	}
	EXPECT_EQ(big_endian_crc16(pairs), 0xE07C9662u);

	matrix3x3 m;
	build_rotation_matrix(&m, 5461, 0);
	EXPECT_EQ(m.n[0][0], 8191);
	EXPECT_EQ(m.n[1][0], -14189);
	EXPECT_EQ(m.n[2][0], 0);
	EXPECT_EQ(m.n[2][1], 16384); // cp
	EXPECT_EQ(m.n[2][2], 0);     // -sp

	// Quarter turns are exact.
	build_rotation_matrix(&m, QUARTER_CIRCLE, HALF_CIRCLE);
	EXPECT_EQ(m.n[0][0], 16384);
	EXPECT_EQ(m.n[1][0], 0);
	EXPECT_EQ(m.n[2][1], -16384);
	EXPECT_EQ(m.n[2][2], 0);
	EXPECT_EQ(m.n[1][2], 16384); // -(sy * cp) >> 14

	for (angle yaw : {0, 1234, 20000, 49152, 65535})
	{
		for (angle pitch : {0, 777, 16384, 40000})
		{
			matrix3x3 forward, inverse;
			build_rotation_matrix(&forward, yaw, pitch);
			build_inverse_rotation_matrix(&inverse, yaw, pitch);
			for (int r = 0; r < 3; ++r)
			{
				for (int c = 0; c < 3; ++c) EXPECT_EQ(inverse.n[r][c], forward.n[c][r]);
			}
		}
	}
}

TEST_F(WorldMaths, RandomStreams)
{
	set_random_seed(0);
	EXPECT_EQ(get_random_seed(), 65005u);
	const uint16 expected[] = {28109, 31248, 18401, 60079, 1518};
	for (uint16 value : expected) EXPECT_EQ(zerv_random(), value);

	set_random_seed(1);
	EXPECT_EQ(zerv_random(), 15496);
	uint16 last = 0;
	for (int i = 2; i <= 1000; ++i) last = zerv_random();
	EXPECT_EQ(last, 9849);
	EXPECT_EQ(get_random_seed(), 0x26799AA9u);

	// The local stream is separate from the synchronised one and is never counted.
	const uint32 seed = get_random_seed();
	const uint32 draws = zerv_random_draw_count();
	set_local_random_seed(1);
	EXPECT_EQ(local_random(), 15496);
	for (int i = 0; i < 100; ++i) local_random();
	EXPECT_LT(local_random_below(10), 10);
	EXPECT_EQ(get_random_seed(), seed);
	EXPECT_EQ(zerv_random_draw_count(), draws);

	// Below n: no draw at all for n <= 0.
	EXPECT_EQ(zerv_random_below(0), 0);
	EXPECT_EQ(zerv_random_below(-5), 0);
	EXPECT_EQ(zerv_random_below(INT32_MIN), 0);
	EXPECT_EQ(get_random_seed(), seed);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	const uint32 local_seed = get_local_random_seed();
	EXPECT_EQ(local_random_below(0), 0);
	EXPECT_EQ(get_local_random_seed(), local_seed);

	// (n * draw) >> 16, formed without overflow for large n.
	set_random_seed(1);
	EXPECT_EQ(zerv_random_below(100), (100 * 15496) >> 16);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	set_random_seed(1);
	EXPECT_EQ(zerv_random_below(INT32_MAX), static_cast<int32>((static_cast<int64>(INT32_MAX) * 15496) >> 16));
	for (int i = 0; i < 1000; ++i)
	{
		const int32 value = zerv_random_below(7);
		ASSERT_GE(value, 0);
		ASSERT_LT(value, 7);
	}

	start_recording_random_seed();
	stop_recording_random_seed();
	EXPECT_EQ(zerv_random_draw_count(), draws + 1002);
}

TEST_F(WorldMaths, LocalSeedComesFromTheClock)
{
	test_set_manual_clock(true);
	test_set_manual_clock_time(1);
	initialize_world();
	EXPECT_EQ(get_local_random_seed(), 1u);
	EXPECT_EQ(local_random(), 15496);

	// A clock at zero still gives a working seed.
	test_set_manual_clock_time(0);
	initialize_world();
	EXPECT_EQ(get_local_random_seed(), static_cast<uint32>(DEFAULT_RANDOM_SEED));
	reset_test_hooks_test_hooks();
}

// The arctangent as first written: the quotient formed wide, the last
// position below it found by halving each time.
angle halving_arctangent(world_distance x, world_distance y)
{
	if (x == 0) return y < 0 ? THREE_QUARTER_CIRCLE : QUARTER_CIRCLE;
	const int64 t = static_cast<int64>(static_cast<uint64>(static_cast<int64>(y)) << TRIG_SHIFT) / x;
	if (t == 0) return x < 0 ? HALF_CIRCLE : 0;
	const int32 quadrant = (y <= 0 ? 512 : 0) + (t < 0 ? 256 : 0);
	const int32 *row = tangent_table + quadrant;
	int32 below_t = 0;
	for (int32 step = 128; step > 0; step >>= 1) below_t += row[below_t + step] < t ? step : 0;
	int32 i = below_t + 1;
	if (i < 256 && static_cast<int64>(row[i]) - t > t - static_cast<int64>(row[i - 1])) i -= 1;
	return static_cast<angle>(((quadrant + i) << TRIG_TABLE_ANGLE_BITS) & 0xFFFF);
}

// The answer depends on the quadrant and the quotient t alone; with x = ±16384
// the quotient is ±y, so every t of the spans' reach (and past it) is tried in
// all four quadrants, then the 32-bit quotient against the wide one.
TEST_F(WorldMaths, ArctangentBySpansAgreesWithTheHalvingSearch)
{
	for (const world_distance x : {16384, -16384})
	{
		for (world_distance y = -33500; y <= 33500; ++y) ASSERT_EQ(arctangent(x, y), halving_arctangent(x, y)) << x << " " << y;
	}
	const world_distance edges[] = {0, 1, -1, 2, -2, 16383, 16384, -16384, 131071, 131072, -131071, -131072, -131073,
		32767, -32768, 1 << 20, -(1 << 20), INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1};
	for (const world_distance x : edges)
	{
		for (const world_distance y : edges) ASSERT_EQ(arctangent(x, y), halving_arctangent(x, y)) << x << " " << y;
	}
	uint32 seed = 7;
	for (int32 i = 0; i < 3000000; ++i)
	{
		seed = seed * 1664525u + 1013904223u;
		const world_distance x = static_cast<world_distance>(seed) >> (seed & 31);
		seed = seed * 1664525u + 1013904223u;
		const world_distance y = static_cast<world_distance>(seed) >> (seed & 31);
		ASSERT_EQ(arctangent(x, y), halving_arctangent(x, y)) << x << " " << y;
	}
}

TEST_F(WorldMaths, InverseTrigonometry)
{
	EXPECT_EQ(arctangent(0, 0), 16384);
	EXPECT_EQ(arctangent(5, 0), 0);
	EXPECT_EQ(arctangent(-5, 0), 32768);
	EXPECT_EQ(arctangent(0, -1), 49152);
	EXPECT_EQ(arctangent(0, 1), 16384);
	EXPECT_EQ(arctangent(1, 1), 8192);
	EXPECT_EQ(arctangent(3, -4), 55872);
	EXPECT_EQ(arctangent(-1, 1), 24576);
	EXPECT_EQ(arctangent(-1, -1), 40960);
	EXPECT_EQ(arctangent(1, -1), 57344);
	// y << 14 no longer fits 32 bits here.
	EXPECT_EQ(arctangent(200000, 200000), 8192);
	EXPECT_EQ(arctangent(-200000, -200000), 40960);
	EXPECT_EQ(arctangent(1, INT32_MAX), 16384);
	EXPECT_EQ(arctangent(1, INT32_MIN), 49152);
	EXPECT_EQ(arctangent(INT32_MIN, 1), 32768);

	// Round trips stay within one table step.
	for (uint32 a = 0; a < 65536; a += 97)
	{
		const angle theta = static_cast<angle>(a);
		const angle back = arctangent(angle_cosine(theta) * 4, angle_sine(theta) * 4);
		EXPECT_LE(angular_difference(back, theta), 64) << a;
	}

	EXPECT_EQ(arccosine(8192), 10944);
	EXPECT_EQ(arccosine(16384), 0);
	EXPECT_EQ(arccosine(-16384), 32768);
	EXPECT_EQ(arccosine(0), 16384);
	EXPECT_EQ(arccosine(16385), 0);
	EXPECT_EQ(arccosine(-16385), 0);
	EXPECT_EQ(arcsine(8192), 5440);
	EXPECT_EQ(arcsine(-8192), -5440);
	EXPECT_EQ(arcsine(16384), 16384);
	EXPECT_EQ(arcsine(-16384), -16384);
	EXPECT_EQ(arcsine(0), 0);
	EXPECT_EQ(arcsine(16385), 0);
	EXPECT_EQ(arcsine(-16385), 0);
	for (int32 value = -16384; value <= 16384; value += 61)
	{
		const int32 c = arccosine(value);
		ASSERT_GE(c, 0);
		ASSERT_LE(c, 32768);
		EXPECT_LE(std::abs(cosine_table[c >> 6] - value), 51) << value;
		const int32 s = arcsine(value);
		ASSERT_GE(s, -16384);
		ASSERT_LE(s, 16384);
		EXPECT_LE(std::abs(sine_table[(s >> 6) & 1023] - value), 51) << value;
	}

	// The looked-up arcsine is the walk's answer over the whole range and past it.
	for (int32 value = -16400; value <= 16400; ++value)
	{
		ASSERT_EQ(arcsine(value), walked_arcsine(value)) << value;
	}

	EXPECT_EQ(angular_difference(0, 65535), 1);
	EXPECT_EQ(angular_difference(65535, 0), 1);
	EXPECT_EQ(angular_difference(0, 32768), 32768);
	EXPECT_EQ(angular_difference(100, 40000), 25636);
	EXPECT_EQ(signed_angular_difference(0, 32768), 32768);
	EXPECT_EQ(signed_angular_difference(32768, 0), 32768);
	EXPECT_EQ(signed_angular_difference(0, 65535), -1);
	EXPECT_EQ(signed_angular_difference(65535, 0), 1);
	EXPECT_EQ(signed_angular_difference(0, 32767), 32767);
	EXPECT_EQ(signed_angular_difference(0, 32769), -32767);
}

// The bisecting search the fixed halvings replaced, over the same table.
angle bisecting_arctangent(world_distance x, world_distance y)
{
	if (x == 0) return y < 0 ? THREE_QUARTER_CIRCLE : QUARTER_CIRCLE;
	const int64 t = static_cast<int64>(static_cast<uint64>(static_cast<int64>(y)) << TRIG_SHIFT) / x;
	if (t == 0) return x < 0 ? HALF_CIRCLE : 0;
	const int32 quadrant = (y <= 0 ? 512 : 0) + (t < 0 ? 256 : 0);
	int32 low = 1, high = 256;
	while (low < high)
	{
		const int32 middle = (low + high) >> 1;
		if (tangent_table[quadrant + middle] < t) low = middle + 1;
		else high = middle;
	}
	int32 i = low;
	if (i < 256 && static_cast<int64>(tangent_table[quadrant + i]) - t > t - tangent_table[quadrant + i - 1]) i -= 1;
	return static_cast<angle>(((quadrant + i) << TRIG_TABLE_ANGLE_BITS) & 0xFFFF);
}

TEST_F(WorldMaths, ArctangentAgreesWithTheBisectingSearch)
{
	// The halvings rely on the tangents never falling within a quadrant's positions.
	for (int32 quadrant = 0; quadrant < 1024; quadrant += 256)
	{
		for (int32 i = 2; i < 256; ++i) ASSERT_LE(tangent_table[quadrant + i - 1], tangent_table[quadrant + i]) << quadrant + i;
	}
	uint32 seed = 7;
	const auto next = [&seed]() {
		seed = seed * 1664525u + 1013904223u;
		return seed;
	};
	for (int32 i = 0; i < 4000000; ++i)
	{
		// Every magnitude from a cell's fraction to the full range, both signs.
		const world_distance x = static_cast<world_distance>(static_cast<int32>(next()) >> (next() & 31));
		const world_distance y = static_cast<world_distance>(static_cast<int32>(next()) >> (next() & 31));
		ASSERT_EQ(arctangent(x, y), bisecting_arctangent(x, y)) << x << " " << y;
	}
	for (world_distance x = -300; x <= 300; ++x)
	{
		for (world_distance y = -300; y <= 300; ++y) ASSERT_EQ(arctangent(x, y), bisecting_arctangent(x, y)) << x << " " << y;
	}
}

// The bitwise rounded root the hardware root replaced: the two agree at every
// integer boundary and on millions of spread inputs.
uint32 bitwise_rounded_root(uint32 x)
{
	uint32 root = 0, remainder = x, bit = 1u << 30;
	while (bit > remainder) bit >>= 2;
	for (; bit; bit >>= 2)
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
	}
	return root < remainder ? root + 1 : root;
}

TEST_F(WorldMaths, RootAgreesWithTheBitwiseMethod)
{
	for (uint32 r = 0; r < 65536; ++r)
	{
		for (uint32 x : {r * r - 1, r * r, r * r + 1, r * r + r, r * r + r + 1, r * r + 2 * r})
		{
			ASSERT_EQ(isqrt(x), bitwise_rounded_root(x)) << x;
		}
	}
	uint32 seed = 1;
	for (int32 i = 0; i < 4000000; ++i)
	{
		seed = seed * 1664525u + 1013904223u;
		const uint32 x = seed >> (i & 31); // every magnitude
		ASSERT_EQ(isqrt(x), bitwise_rounded_root(x)) << x;
	}
}

TEST_F(WorldMaths, Distances)
{
	EXPECT_EQ(isqrt(0), 0u);
	EXPECT_EQ(isqrt(2), 1u);
	EXPECT_EQ(isqrt(3), 2u);
	EXPECT_EQ(isqrt(6), 2u);
	EXPECT_EQ(isqrt(7), 3u);
	EXPECT_EQ(isqrt(0xFFFFFFFFu), 65536u);
	for (uint32 r = 0; r < 65536; r += 7)
	{
		ASSERT_EQ(isqrt(r * r), r);
		ASSERT_EQ(isqrt(r * r + r), r);       // just below r + 1/2
		ASSERT_EQ(isqrt(r * r + r + 1), r + 1); // just above
	}

	const world_point2d origin = {0, 0};
	world_point2d p = {40000, 0};
	EXPECT_EQ(distance2d(&origin, &p), 32767);
	p = {30000, 30000};
	EXPECT_EQ(distance2d(&origin, &p), 32767);
	p = {-32767, 0};
	EXPECT_EQ(distance2d(&origin, &p), 32767);
	p = {32766, 0};
	EXPECT_EQ(distance2d(&p, &origin), 32766);
	p = {3, -4};
	EXPECT_EQ(distance2d(&origin, &p), 5);
	world_point2d far_away = {INT32_MIN, INT32_MAX};
	EXPECT_EQ(distance2d(&far_away, &p), 32767);

	const world_point3d origin3 = {0, 0, 0};
	world_point3d q = {30000, 30000, 30000};
	EXPECT_EQ(distance3d(&origin3, &q), 51962);
	q = {32767, 32767, 32767};
	EXPECT_EQ(distance3d(&origin3, &q), 56754); // deltas of -32767
	EXPECT_EQ(distance3d(&q, &origin3), 32767); // deltas of 32767 are out of range
	q = {INT32_MAX, 0, 0};
	world_point3d r = {INT32_MIN, 0, 0};
	EXPECT_EQ(distance3d(&q, &r), 32767);

	q = {100, -40, 7};
	EXPECT_EQ(guess_distance2d(&origin3, &q), 120);
	q = {-40, 100, 7};
	EXPECT_EQ(guess_distance2d(&origin3, &q), 120);
	q = {INT32_MIN, INT32_MAX, 0};
	EXPECT_EQ(guess_distance2d(&q, &origin3), 32767);

	// Degenerate segments.
	const world_point2d b = {10, 10};
	world_point2d a = {500, -300}, closest = {1, 1};
	EXPECT_FALSE(closest_point_on_line_segment2d(&a, &b, &b, &closest));
	EXPECT_EQ(closest.x, 10);
	EXPECT_EQ(closest.y, 10);
	world_point2d on_line = {1, 1}, on_segment = {2, 2};
	EXPECT_FALSE(closest_point_on_line_segment_from_point(&a, &origin, &origin, &on_line, &on_segment));
	EXPECT_EQ(on_line.x, 0);
	EXPECT_EQ(on_segment.y, 0);
	EXPECT_FALSE(closest_point_on_line_segment2d(&a, &b, &b, NULL));

	// Projection onto a segment, before it, and past its end.
	const world_point2d c = {1034, 10};
	a = {522, 400};
	EXPECT_TRUE(closest_point_on_line_segment2d(&a, &b, &c, &closest));
	EXPECT_EQ(closest.x, 522);
	EXPECT_EQ(closest.y, 10);
	a = {-100, 400};
	EXPECT_FALSE(closest_point_on_line_segment2d(&a, &b, &c, &closest));
	EXPECT_EQ(closest.x, 10);
	a = {5000, 400};
	EXPECT_FALSE(closest_point_on_line_segment2d(&a, &b, &c, &closest));
	EXPECT_EQ(closest.x, 1034);
	EXPECT_FALSE(closest_point_on_line_segment_from_point(&a, &b, &c, &on_line, &on_segment));
	EXPECT_EQ(on_line.x, 5000);
	EXPECT_EQ(on_line.y, 10);
	EXPECT_EQ(on_segment.x, 1034);
	a = {266, -9};
	EXPECT_TRUE(closest_point_on_line_segment_from_point(&a, &b, &c, NULL, &on_segment));
	EXPECT_EQ(on_segment.x, 266);
	// Far-apart points are projected without overflow.
	const world_point2d wide0 = {-1000000, 0}, wide1 = {1000000, 0};
	a = {500000, 70000};
	EXPECT_TRUE(closest_point_on_line_segment2d(&a, &wide0, &wide1, &closest));
	EXPECT_EQ(closest.x, 500000);
	EXPECT_EQ(closest.y, 0);

	// Circles.
	p = {0, 0};
	const world_point2d target = {100, 0};
	EXPECT_EQ(closest_point_on_circle2d(&target, 50, &p, &closest), &closest);
	EXPECT_EQ(closest.x, 50);
	EXPECT_EQ(closest.y, 0);
	EXPECT_EQ(closest_point_on_circle2d(&target, 50, &target, &closest)->x, 100);
	world_point3d q3 = {100, 300, 77}, closest3;
	closest_point_on_circle(&target, 100, &q3, &closest3);
	EXPECT_EQ(closest3.x, 100);
	EXPECT_EQ(closest3.y, 100);
	EXPECT_EQ(closest3.z, 77);
	p = {100 + 3000000, 4000000};
	closest_point_on_circle2d(&target, 500, &p, &closest);
	EXPECT_EQ(closest.x, 400);
	EXPECT_EQ(closest.y, 400);

	// Half-open rectangles.
	short_world_rectangle3d rectangle = {{0, 0, 0}, {10, 10, 10}};
	world_point3d inside = {0, 0, 0};
	EXPECT_TRUE(point_in_short_world_rectangle3d(&rectangle, &inside));
	inside = {9, 9, 9};
	EXPECT_TRUE(point_in_short_world_rectangle3d(&rectangle, &inside));
	inside = {10, 10, 10};
	EXPECT_FALSE(point_in_short_world_rectangle3d(&rectangle, &inside));
	inside = {5, 5, 10};
	EXPECT_FALSE(point_in_short_world_rectangle3d(&rectangle, &inside));
	inside = {5, -1, 5};
	EXPECT_FALSE(point_in_short_world_rectangle3d(&rectangle, &inside));
}

// The root-free test answers as the rounded root does: on both sides of every
// limit's edge over the whole range of the root, and at random.
TEST_F(WorldMaths, RootBelowAgreesWithTheRoot)
{
	for (int64 limit = -2; limit <= 65538; ++limit)
	{
		const int64 edge = limit * (limit - 1);
		for (int64 x : {edge - 1, edge, edge + 1, int64{0}, int64{0xFFFFFFFF}})
		{
			if (x < 0 || x > 0xFFFFFFFFll) continue;
			ASSERT_EQ(isqrt_below(static_cast<uint32>(x), limit) != 0,
				static_cast<int64>(isqrt(static_cast<uint32>(x))) < limit) << x << " " << limit;
		}
	}
	uint32 seed = 7;
	for (int32 i = 0; i < 2000000; ++i)
	{
		seed = seed * 1664525u + 1013904223u;
		const uint32 x = seed >> (i & 31);
		seed = seed * 1664525u + 1013904223u;
		const int64 limit = static_cast<int64>(seed >> (15 + (i & 15))) - 2;
		ASSERT_EQ(isqrt_below(x, limit) != 0, static_cast<int64>(isqrt(x)) < limit) << x << " " << limit;
	}
}

// The square-root-free comparison the hot loops use answers as the rounded
// distance does, around each limit and where the distance saturates.
TEST_F(WorldMaths, DistanceBelowAgreesWithTheRoundedDistance)
{
	const int32 offsets[] = {0, 1, 2, 7, 99, 100, 101, 724, 1023, 1024, 1025, 23169, 23170, 32765, 32766, 32767,
		32768, 40000, 65535};
	const int32 limits[] = {-1, 0, 1, 2, 100, 101, 1024, 1025, 32766, 32767, 32768, 70000};
	const world_point2d origin = {0, 0};
	for (int32 x : offsets)
	{
		for (int32 y : offsets)
		{
			for (int32 sign : {1, -1})
			{
				const world_point2d p = {static_cast<world_distance>(sign * x), static_cast<world_distance>(y)};
				const world_distance d = distance2d(&origin, &p);
				for (int32 limit : limits)
				{
					ASSERT_EQ(distance2d_below(&origin, &p, limit) != 0, d < limit) << x << " " << y << " " << limit;
				}
			}
		}
	}
}

// An offset squared once answers every limit and gives the distance as the
// plain functions do: the edges of the range, then two million random pairs
// (points anywhere in 32 bits, limits around each distance and anywhere).
TEST_F(WorldMaths, OffsetSquaredOnceAgreesWithTheDistanceAndItsComparison)
{
	const int32 edges[] = {0, 1, 2, 100, 23170, 23171, 32765, 32766, 32767, 32768, 65535, 1 << 30};
	const int32 limits[] = {-70000, -1, 0, 1, 2, 100, 101, 32766, 32767, 32768, 70000, 2560000};
	const world_point2d origin = {0, 0};
	const auto check = [](const world_point2d &a, const world_point2d &b, int32 limit) {
		const distance2d_offset offset = distance2d_offset_of(&a, &b);
		ASSERT_EQ(distance2d_of_offset(offset), distance2d(&a, &b)) << a.x << " " << a.y << " " << b.x << " " << b.y;
		ASSERT_EQ(distance2d_offset_below(offset, distance2d_limit_of(limit)) != 0, distance2d_below(&a, &b, limit) != 0)
			<< a.x << " " << a.y << " " << b.x << " " << b.y << " " << limit;
	};
	for (int32 x : edges)
	{
		for (int32 y : edges)
		{
			for (int32 limit : limits)
			{
				check(world_point2d{x, y}, origin, limit);
				check(origin, world_point2d{x, y}, limit);
				check(world_point2d{-x, y}, origin, limit);
			}
		}
	}
	uint64 state = 0x9E3779B97F4A7C15ull;
	const auto next = [&state]() {
		state ^= state << 13;
		state ^= state >> 7;
		state ^= state << 17;
		return static_cast<uint32>(state >> 16);
	};
	for (int32 i = 0; i < 2000000; ++i)
	{
		const uint32 shape = next();
		// Mostly offsets inside the range, some anywhere.
		const int32 spread = (shape & 7) == 0 ? 0 : ((shape & 7) < 4 ? 0x7FFF : 0xFFFF);
		const world_point2d a = {static_cast<int32>(next()), static_cast<int32>(next())};
		world_point2d b = a;
		if (spread == 0) b = world_point2d{static_cast<int32>(next()), static_cast<int32>(next())};
		else
		{
			b.x = static_cast<int32>(static_cast<int64>(a.x) - static_cast<int32>(next() % (2 * spread + 1)) + spread);
			b.y = static_cast<int32>(static_cast<int64>(a.y) - static_cast<int32>(next() % (2 * spread + 1)) + spread);
		}
		const world_distance d = distance2d(&a, &b);
		const int32 limit = (shape >> 3) & 1 ? d + static_cast<int32>((shape >> 4) % 3) - 1 :
			static_cast<int32>(next() % 80000) - 1000;
		check(a, b, limit);
		if (HasFatalFailure()) return;
	}
}

TEST_F(WorldMaths, PointsAndAngles)
{
	world_point2d p = {1, 0};
	const world_point2d origin = {0, 0};
	rotate_point2d(&p, &origin, QUARTER_CIRCLE);
	EXPECT_EQ(p.x, 0);
	EXPECT_EQ(p.y, -1);
	p = {1000, 2000};
	const world_point2d centre = {500, 500};
	rotate_point2d(&p, &centre, HALF_CIRCLE);
	EXPECT_EQ(p.x, 0);
	EXPECT_EQ(p.y, -1000);
	// Products beyond 32 bits are formed wide.
	p = {1000000, 0};
	rotate_point2d(&p, &origin, HALF_CIRCLE);
	EXPECT_EQ(p.x, -1000000);
	EXPECT_EQ(p.y, 0);

	p = {0, 0};
	translate_point2d(&p, 1000, QUARTER_CIRCLE);
	EXPECT_EQ(p.x, 0);
	EXPECT_EQ(p.y, 1000);
	translate_point2d(&p, 1000000, HALF_CIRCLE);
	EXPECT_EQ(p.x, -1000000);
	// Each product is shifted on its own, arithmetically.
	p = {0, 0};
	translate_point2d(&p, -1, 0);
	EXPECT_EQ(p.x, -1);

	short_world_point2d s = {10, 10};
	translate_short_point2d(&s, 100, THREE_QUARTER_CIRCLE);
	EXPECT_EQ(s.x, 10);
	EXPECT_EQ(s.y, -90);

	world_point3d q = {0, 0, 0};
	translate_point3d(&q, 1024, HALF_CIRCLE, QUARTER_CIRCLE);
	EXPECT_EQ(q.x, 0);
	EXPECT_EQ(q.y, 0);
	EXPECT_EQ(q.z, 1024);
	q = {0, 0, 0};
	translate_point3d(&q, 1024, QUARTER_CIRCLE, EIGHTH_CIRCLE);
	EXPECT_EQ(q.x, 0);
	EXPECT_EQ(q.y, 724);
	EXPECT_EQ(q.z, 724);

	world_vector3d v;
	build_world_vector3d(&v, 16384, 0, 0);
	EXPECT_EQ(v.i, 16384);
	EXPECT_EQ(v.j, 0);
	EXPECT_EQ(v.k, 0);
	build_world_vector3d(&v, 512, HALF_CIRCLE, THREE_QUARTER_CIRCLE);
	EXPECT_EQ(v.i, 0);
	EXPECT_EQ(v.k, -512);
}

TEST_F(WorldMaths, VectorsAndMatrices)
{
	const world_vector3d big = {-32768, -32768, -32768};
	// 3 * 2^30 would overflow a 32-bit sum.
	EXPECT_EQ(world_dot_product3d(&big, &big), 3 << 21);
	EXPECT_EQ(trig_dot_product3d(&big, &big), 3 << 16);
	const world_vector3d x = {16384, 0, 0}, y = {0, 16384, 0};
	world_vector3d r;
	trig_cross_product3d(&x, &y, &r);
	EXPECT_EQ(r.i, 0);
	EXPECT_EQ(r.j, 0);
	EXPECT_EQ(r.k, 16384);
	const world_vector3d a = {512, 0, 0}, b = {0, 1024, 0};
	world_cross_product3d(&a, &b, &r);
	EXPECT_EQ(r.k, 1024);
	world_cross_product3d(&b, &a, &r);
	EXPECT_EQ(r.k, -1024);

	world_vector3d v = {3, 4, 12};
	EXPECT_EQ(world_magnitude3d(&v), 13);
	EXPECT_EQ(world_magnitude3d(&big), 32767); // saturates instead of wrapping
	v = {-32768, 0, 0};
	EXPECT_EQ(world_magnitude3d(&v), 32767);

	world_point3d p0 = {100, 0, 0}, p1 = {0, 0, 0};
	line_segment_to_vector(&v, &p0, &p1, 512);
	EXPECT_EQ(v.i, 512);
	EXPECT_EQ(v.j, 0);
	line_segment_to_vector(&v, &p1, &p0, 512);
	EXPECT_EQ(v.i, -512); // points from p1 towards p0
	line_segment_to_vector(&v, &p0, &p0, 512);
	EXPECT_EQ(v.i, 0);
	p0 = {3000000, 4000000, 0};
	line_segment_to_vector(&v, &p0, &p1, 5000);
	EXPECT_EQ(v.i, 3000);
	EXPECT_EQ(v.j, 4000);

	// Reflection about the floor flips the vertical component.
	const world_vector3d up = {0, 0, 16384};
	const world_vector3d incident = {300, -200, -700};
	world_vector3d reflected;
	reflect_vector(&incident, &up, &reflected);
	EXPECT_EQ(reflected.i, 300);
	EXPECT_EQ(reflected.j, -200);
	EXPECT_EQ(reflected.k, 700);

	// Rotation by a matrix: the source is a row vector.
	matrix3x3 m;
	build_rotation_matrix3d(&m, &x, &up);
	EXPECT_EQ(m.n[0][0], 16384);
	EXPECT_EQ(m.n[1][1], 16384); // up x forward
	EXPECT_EQ(m.n[2][2], 16384);
	EXPECT_EQ(m.n[0][1], 0);
	const world_vector3d source = {100, 200, 300};
	rotate_vector(&r, &m, &source);
	EXPECT_EQ(r.i, 100);
	EXPECT_EQ(r.j, 200);
	EXPECT_EQ(r.k, 300);
	build_rotation_matrix3d(&m, &y, &up);
	rotate_vector(&r, &m, &source);
	EXPECT_EQ(r.i, 200);  // column 0 is forward: s . (0, 1, 0)
	EXPECT_EQ(r.j, -100); // column 1 is up x forward = (-1, 0, 0)
	EXPECT_EQ(r.k, 300);
	matrix3x3 inverse;
	build_inverse_rotation_matrix3d(&inverse, &y, &up);
	for (int row = 0; row < 3; ++row)
	{
		for (int c = 0; c < 3; ++c) EXPECT_EQ(inverse.n[row][c], m.n[c][row]);
	}
	// In place.
	r = source;
	rotate_vector(&r, &m, &r);
	EXPECT_EQ(r.i, 200);

	fixed_vector3d f = {3 * FIXED_ONE, 4 * FIXED_ONE, 0};
	normalize_fixed_vector3d(&f);
	EXPECT_EQ(f.i, 39321); // 0.6 truncated
	EXPECT_EQ(f.j, 52428);
	EXPECT_EQ(f.k, 0);
	f = {-FIXED_ONE, 0, 0};
	normalize_fixed_vector3d(&f);
	EXPECT_EQ(f.i, -FIXED_ONE);
	f = {0, 0, 0};
	normalize_fixed_vector3d(&f);
	EXPECT_EQ(f.i, 0);
	EXPECT_EQ(f.j, 0);
	f = {100, 200, 255}; // below the magnitude's resolution
	normalize_fixed_vector3d(&f);
	EXPECT_EQ(f.i, 100);
	EXPECT_EQ(f.j, 200);
	f = {0x7F000000, 256, 0}; // the first component wraps to 0 in 16 bits
	normalize_fixed_vector3d(&f);
	EXPECT_EQ(f.i, INT32_MAX);
	EXPECT_EQ(f.j, FIXED_ONE);

	short_fixed_vector3d sf = {3 * 256, 4 * 256, 0};
	normalize_short_fixed_vector3d(&sf);
	EXPECT_EQ(sf.i, 153);
	EXPECT_EQ(sf.j, 204);
	sf = {0, 0, 0};
	normalize_short_fixed_vector3d(&sf);
	EXPECT_EQ(sf.i, 0);
	sf = {-100, 0, 0};
	normalize_short_fixed_vector3d(&sf);
	EXPECT_EQ(sf.i, -256);

	const world_point3d above = {0, 0, 10}, below = {0, 0, -10};
	EXPECT_GT(point_in_plane_test(&up, 0, &above), 0);
	EXPECT_LT(point_in_plane_test(&up, 0, &below), 0);
	EXPECT_EQ(point_in_plane_test(&up, -163840, &above), 0);
	const world_point3d high = {0, 0, 1000000};
	// 16384 x 1000000 wraps in 32 bits, and so does the sum with d.
	EXPECT_EQ(point_in_plane_test(&up, 0, &high), -795869184);
	EXPECT_EQ(point_in_plane_test(&up, INT32_MAX, &above), INT32_MIN + 163839);
}

TEST_F(WorldMaths, PointInPolygon)
{
	// Clockwise square: the inside is on the right of every edge.
	const world_point2d square[4] = {{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}};
	world_point2d p = {500, 500};
	EXPECT_TRUE(point_in_polygon_test(&p, square, 4, TRUE));
	p = {0, 500};
	EXPECT_TRUE(point_in_polygon_test(&p, square, 4, TRUE)); // on an edge
	p = {-1, 500};
	EXPECT_FALSE(point_in_polygon_test(&p, square, 4, TRUE));
	p = {500, -1};
	EXPECT_FALSE(point_in_polygon_test(&p, square, 4, TRUE));
	EXPECT_TRUE(point_in_polygon_test(&p, square, 4, FALSE)); // only the closing edge fails
	p = {500, 1001};
	EXPECT_FALSE(point_in_polygon_test(&p, square, 4, FALSE));

	EXPECT_TRUE(point_in_polygon_test(&p, square, 1, TRUE));
	EXPECT_TRUE(point_in_polygon_test(&p, square, 0, TRUE));
	EXPECT_TRUE(point_in_polygon_test(&p, NULL, 0, TRUE));
	p = {-1, 500};
	EXPECT_FALSE(point_in_polygon_test(&p, square, 2, FALSE));
	p = {1, 500};
	EXPECT_TRUE(point_in_polygon_test(&p, square, 2, FALSE));
	EXPECT_FALSE(point_in_polygon_test(&p, square, 2, TRUE)); // the two opposite edges
	p = {0, 500};
	EXPECT_TRUE(point_in_polygon_test(&p, square, 2, TRUE));

	// Large polygons scale their deltas down instead of overflowing.
	const world_point2d huge[3] = {{-2000000000, -2000000000}, {0, 2000000000}, {2000000000, -2000000000}};
	p = {0, 0};
	EXPECT_TRUE(point_in_polygon_test(&p, huge, 3, TRUE));
	p = {0, 2100000000};
	EXPECT_FALSE(point_in_polygon_test(&p, huge, 3, TRUE));
}

TEST_F(WorldMaths, RecordsAndDescriptors)
{
	world_point2d p2;
	EXPECT_EQ(set_world_point2d(&p2, 1, -2)->y, -2);
	world_point3d p3;
	EXPECT_EQ(set_world_point3d(&p3, 1, 2, 3)->z, 3);
	short_world_point2d s2;
	EXPECT_EQ(set_short_world_point2d(&s2, 4, 5)->x, 4);
	short_world_point3d s3;
	EXPECT_EQ(set_short_world_point3d(&s3, 4, 5, 6)->z, 6);
	world_vector3d v;
	EXPECT_EQ(set_world_vector3d(&v, 7, 8, 9)->j, 8);

#define CHECK_DESCRIPTOR(type) \
	EXPECT_TRUE(byte_swap_descriptor_is_valid(type##_byte_swapping_data, NUMBEROF(type##_byte_swapping_data))) << #type; \
	EXPECT_EQ(get_byte_swap_struct_size(type##_byte_swapping_data), static_cast<int32>(sizeof(type))) << #type
	CHECK_DESCRIPTOR(world_point2d);
	CHECK_DESCRIPTOR(world_point3d);
	CHECK_DESCRIPTOR(short_world_point2d);
	CHECK_DESCRIPTOR(short_world_point3d);
	CHECK_DESCRIPTOR(world_vector2d);
	CHECK_DESCRIPTOR(world_vector3d);
	CHECK_DESCRIPTOR(fixed_vector3d);
	CHECK_DESCRIPTOR(short_fixed_vector3d);
	CHECK_DESCRIPTOR(world_location3d);
	CHECK_DESCRIPTOR(short_world_rectangle3d);
	CHECK_DESCRIPTOR(matrix3x3);
#undef CHECK_DESCRIPTOR

	// A stored location comes out big-endian field by field, and swaps back.
	world_location3d location = {{0x01020304, -2, 3}, {0x0506, -7, 8}, 0x090A, 0xBEEF, 0x1234};
	world_location3d stored;
	byte_swap_move("location", &stored, &location, sizeof(location), 1, world_location3d_byte_swapping_data);
	const uint8 *bytes = reinterpret_cast<const uint8 *>(&stored);
	EXPECT_EQ(bytes[0], 0x01);
	EXPECT_EQ(bytes[3], 0x04);
	EXPECT_EQ(bytes[12], 0x05);
	EXPECT_EQ(bytes[18], 0x09);
	EXPECT_EQ(bytes[20], 0xBE);
	EXPECT_EQ(bytes[22], 0x12);
	byte_swap_data("location", &stored, sizeof(stored), 1, world_location3d_byte_swapping_data);
	EXPECT_EQ(memcmp(&stored, &location, sizeof(location)), 0);

	EXPECT_EQ(INTEGER_TO_WORLD(-3), -1536);
	EXPECT_EQ(WORLD_INTEGERAL_PART(-1), -1); // a shift, not a division
	EXPECT_EQ(FIXED_TO_WORLD(-1), -1);
	EXPECT_EQ(WORLD_TO_FIXED(-512), -FIXED_ONE);
	EXPECT_EQ(SHORT_FIXED_TO_FIXED(-256), -FIXED_ONE);
	EXPECT_EQ(FIXED_TO_SHORT_FIXED(FIXED_ONE_HALF), SHORT_FIXED_ONE_HALF);
	EXPECT_EQ(TICKS_PER_DAY, 2592000);
}

class WorldDebugText : public zerv_test_directory
{
};

TEST_F(WorldDebugText, MatrixRowsGoToTheLog)
{
	initialize_error_state("world test");
	const matrix3x3 m = {{{1, 2, 3}, {4, 5, 6}, {7, 8, -9}}};
	dprintf_matrix("m", &m);
	dprintf_matrix(NULL, &m);
	const std::string log = read_test_file(ERROR_LOG_FILE_NAME);
	EXPECT_NE(log.find("m;g\n[ 1 2 3];g\n[ 4 5 6];g\n[ 7 8 -9]\n;g\n[ 1 2 3];g\n"), std::string::npos) << log;
}

}
