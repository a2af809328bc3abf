// Raw bytes through the aiming arithmetic: the general projectile solution,
// the fixed-pitch solution and the intercept of a moving target. The first
// 64 bytes are a stored attack record (big-endian): its velocity, flags and
// range drive the shot. The rest, big-endian, is the geometry: origin,
// target and unit position (three int32 each), the target's velocity (two
// int16), the chaser's speed, the gravity, the inertia (int16 each) and the
// play version. Short inputs are padded with zeros. Seeds are the attack
// records of the generated unit kinds.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "monsters.h"
#include "world.h"
#include "zerv.h"

namespace {

constexpr size_t ATTACK_BYTES = 64;
constexpr size_t GEOMETRY_BYTES = 48;

int32 read32(const uint8 *p)
{
	return static_cast<int32>((static_cast<uint32>(p[0]) << 24) | (static_cast<uint32>(p[1]) << 16) |
		(static_cast<uint32>(p[2]) << 8) | p[3]);
}

int16 read16(const uint8 *p)
{
	return static_cast<int16>((static_cast<uint16>(p[0]) << 8) | p[1]);
}

world_point3d read_point(const uint8 *p)
{
	return world_point3d{read32(p), read32(p + 4), read32(p + 8)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static bool started = false;
	if (!started)
	{
		initialize_world();
		started = true;
	}
	uint8 bytes[ATTACK_BYTES + GEOMETRY_BYTES] = {};
	memcpy(bytes, data, size < sizeof(bytes) ? size : sizeof(bytes));

	const uint16 flags = static_cast<uint16>(read16(bytes));
	const int16 maximum_range = read16(bytes + 10);
	const int16 lower = read16(bytes + 46);
	const int16 delta = read16(bytes + 48);
	const uint8 *g = bytes + ATTACK_BYTES;
	const world_point3d origin = read_point(g);
	const world_point3d target = read_point(g + 12);
	const world_point3d unit = read_point(g + 24);
	const int16 vx = read16(g + 36), vy = read16(g + 38);
	const int16 speed = read16(g + 40);
	const int16 gravity = read16(g + 42);
	const int16 inertia = read16(g + 44);
	game_play_version = read16(g + 46);

	const int32 velocity = static_cast<int32>(((static_cast<int64>(lower) + delta) * inertia) >> 8);
	world_point3d aimed = target;
	angle pitch = 0;
	int16 flight_time = 0;
	const int16 result = solve_projectile_aim(velocity, gravity, (flags & _monster_attack_is_indirect_flag) != 0, &origin,
		&aimed, &pitch, &flight_time);
	if (result != _projectile_aim_solved && result != _projectile_aim_unsolved) __builtin_trap();
	if (result == _projectile_aim_solved && (aimed.x != target.x || aimed.y != target.y)) __builtin_trap();

	int32 fixed_velocity = 0;
	if (solve_fixed_pitch_aim(velocity, gravity, &unit, &origin, &target, &pitch, &flight_time, &fixed_velocity))
	{
		const int32 vmax = static_cast<int16>(static_cast<uint16>(velocity));
		if (fixed_velocity > vmax || fixed_velocity < ((vmax * MINIMUM_PROJECTILE_VELOCITY_FRACTION) >> 8) || flight_time < 1)
		{
			__builtin_trap();
		}
	}

	int32 lead = 0;
	auto saturated = [](int64 value) -> world_distance {
		return static_cast<world_distance>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
	};
	const world_distance dx = saturated(static_cast<int64>(target.x) - unit.x);
	const world_distance dy = saturated(static_cast<int64>(target.y) - unit.y);
	if (solve_interception(dx, dy, vx, vy, speed, &lead) && (lead < 8 || lead > MAXIMUM_AIM_MONSTER_TIME))
	{
		__builtin_trap();
	}
	(void)maximum_range;
	return 0;
}
