// Local projectile groups and mirror groups on the object test map: group
// life and its transitions, the six-tick clamp, moving, the laws' guards
// against division by zero, shared groups, and the mirror ramps and stains.
#include <gtest/gtest.h>

#include "fire.h"
#include "local_projectiles.h"
#include "mirror_groups.h"
#include "objects_test_support.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

// Pinned from the 64-bit and 32-bit trees, which agree.
#define GOLDEN_LAWS                                   \
	"fall -77 -235 30 -116736 177244 2904503714\n"   \
	"orbt 132 -219 -28 52680250 -30 1045497095\n"    \
	"sprg 56 -134 211 45830220 256 1045497095\n"     \
	"attr -55 -234 0 37120 0 1486326822\n"           \
	"conv 1 -45 45 17219864 256 1275680328\n"        \
	"gasb 0 0 -303 0 -161591 1275680328\n"

class local_projectiles_on_a_map : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		initialize_local_projectiles();
		initialize_local_projectiles_for_new_map();
		initialize_mirror_groups_for_new_map();
		reset_fire_test_hooks();
		set_local_random_seed(77);
	}
	void TearDown() override
	{
		dispose_mirror_groups_from_old_map();
		dispose_local_projectiles_from_old_map();
		reset_local_projectiles_test_hooks();
		reset_fire_test_hooks();
		objects_test_map::TearDown();
	}

	int16 physics(file_tag tag, int16 type, const void *record, size_t size)
	{
		local_physics_definition d = {};
		d.type = type;
		memcpy(d.buffer, record, size);
		return new_definition(get_local_physics_definitions(), tag, &d);
	}

	// A group definition of the test collection's slow sequence, added as loaded.
	int16 definition(file_tag tag, uint32 flags, int16 target, int16 physics_index = NONE)
	{
		local_projectile_group_definition d = {};
		d.flags = flags;
		d.collection_reference_tag = d.physics_tag = static_cast<file_tag>(NONE);
		d.sequence_indexes[0] = _test_slow_sequence;
		d.sequence_indexes[1] = _test_walking_sequence;
		d.scale_lower_bound = 256;
		d.animation_rate_lower_bound = 256;
		d.target_number_lower_bound = target;
		d.radius_lower_bound = 256;
		d.expiration_time_lower_bound = 30;
		d.collection_reference_index = NONE;
		d.collection_index = collection_index;
		d.color_table_index = NONE;
		d.physics_index = physics_index;
		return new_definition(get_local_projectile_group_definitions(), tag, &d);
	}

	int16 group(int16 type, uint8 flags = 0)
	{
		new_local_projectile_group_data request = {};
		request.type = type;
		request.flags = flags;
		request.center = {20 * 512, 20 * 512, 256};
		request.central_object_index = request.central_object_identifier = NONE;
		request.bounds_object_index = request.bounds_object_identifier = NONE;
		request.group_opacity = 65535;
		request.color_table_index = NONE;
		return new_local_projectile_group(&request);
	}
};

TEST_F(local_projectiles_on_a_map, a_never_recreated_group_ends_with_its_last_particle)
{
	local_projectile_group_definition *d = get_local_projectile_group_definition(definition(TAG("blod"),
		_group_projectiles_never_get_recreated_flag | _group_delete_after_particles_are_gone_flag |
			_group_projectiles_deleted_after_time_expires_flag | _group_projectiles_does_not_animate_flag, 5));
	ASSERT_NE(d, nullptr);
	const int16 index = group(get_local_projectile_group_definitions()->count - 1);
	ASSERT_NE(index, NONE);
	local_projectile_group_data *g = get_local_projectile_group_data(index);
	EXPECT_EQ(g->current_number, 5);
	// A long pause advances 6 ticks, not more.
	update_local_projectile_group(index, 100);
	EXPECT_EQ(get_local_projectile_data(g->first_projectile_index)->ticks_elapsed, 6);
	for (int32 k = 0; k < 10 && get_local_projectile_group_data(index); ++k) update_local_projectile_group(index, 6);
	EXPECT_EQ(get_local_projectile_group_data(index), nullptr);
	EXPECT_EQ(local_projectile_array.total_count, 0);
}

// A map whose counts were raised leaves nothing behind for the next one that
// raises them: every record of the room starts free.
TEST_F(local_projectiles_on_a_map, raised_counts_find_the_room_empty_on_the_next_map)
{
	set_local_projectile_capacities(LOCAL_PROJECTILE_GROUP_CAPACITY, LOCAL_PROJECTILE_CAPACITY);
	const int16 index = group(definition(TAG("many"), 0, 1000));
	ASSERT_NE(index, NONE);
	EXPECT_EQ(get_local_projectile_group_data(index)->current_number, 1000);
	initialize_local_projectiles_for_new_map();
	set_local_projectile_capacities(LOCAL_PROJECTILE_GROUP_CAPACITY, LOCAL_PROJECTILE_CAPACITY);
	int32 in_use = 0;
	for (int16 i = 0; i < LOCAL_PROJECTILE_CAPACITY; ++i) in_use += get_local_projectile_data(i) != nullptr;
	EXPECT_EQ(in_use, 0);
}

TEST_F(local_projectiles_on_a_map, an_ending_that_affects_the_target_number_ramps_it_up)
{
	const int16 type = definition(TAG("ramp"), _group_has_ending_transition_flag |
		_group_ending_transition_affects_target_number_flag, 20);
	get_local_projectile_group_definition(type)->ending_transition_time_lower_bound = 60;
	const int16 index = group(type);
	turn_local_projectile_group_off(index);
	fixed_fraction opacity;
	int16 target, h, v;
	handle_local_projectile_group_states(index, 1, &opacity, &target, &h, &v);
	EXPECT_EQ(target, 0);
	EXPECT_EQ(h, NONE);
	for (int32 k = 2; k < 60; ++k) handle_local_projectile_group_states(index, 1, &opacity, &target, &h, &v);
	EXPECT_EQ(target, 19);
	handle_local_projectile_group_states(index, 1, &opacity, &target, &h, &v);
	EXPECT_EQ(get_local_projectile_group_data(index), nullptr);
}

TEST_F(local_projectiles_on_a_map, moving_leaves_particles_in_place_unless_they_stay_relative)
{
	const int16 loose = group(definition(TAG("lose"), 0, 3));
	const int16 tied = group(definition(TAG("tied"), _group_particles_stay_relative_to_the_center_flag, 3));
	const local_projectile_data *a = get_local_projectile_data(get_local_projectile_group_data(loose)->first_projectile_index);
	const local_projectile_data *b = get_local_projectile_data(get_local_projectile_group_data(tied)->first_projectile_index);
	const world_point3d a0 = a->offset, b0 = b->offset;
	const world_point3d to = {22 * 512, 21 * 512, 256};
	move_local_projectile_group(loose, &to);
	move_local_projectile_group(tied, &to);
	EXPECT_EQ(a->offset.x, a0.x - 1024);
	EXPECT_EQ(a->offset.y, a0.y - 512);
	EXPECT_EQ(b->offset.x, b0.x);
}

TEST_F(local_projectiles_on_a_map, zero_constants_divide_nothing)
{
	// Attractions past 65536 or below 0 give periods of 0 or less: a whole turn instead.
	cylindrical_physics_definition cylinder = {};
	cylinder.attraction_constant = 65537;
	spherical_spring_physics_definition spring = {};
	spring.attraction_constant = -3;
	converging_physics_definition converge = {};
	const int16 c = definition(TAG("cyl0"), 0, 4, physics(TAG("cyl0"), _cylindrical, &cylinder, sizeof(cylinder)));
	const int16 s = definition(TAG("spr0"), 0, 4, physics(TAG("spr0"), _spherical_spring, &spring, sizeof(spring)));
	const int16 v = definition(TAG("cnv0"), 0, 4, physics(TAG("cnv0"), _converging, &converge, sizeof(converge)));
	get_local_projectile_group_definition(v)->expiration_time_lower_bound = 0;
	const int16 gc = group(c), gs = group(s), gv = group(v);
	const local_projectile_data *p = get_local_projectile_data(get_local_projectile_group_data(gc)->first_projectile_index);
	ASSERT_EQ(p->physics.cylindrical.period, 65536);
	const local_projectile_data *r = get_local_projectile_data(get_local_projectile_group_data(gs)->first_projectile_index);
	ASSERT_EQ(r->physics.spring.period, 65536);
	for (int32 k = 0; k < 5; ++k)
	{
		update_local_projectile_group(gc, 6);
		update_local_projectile_group(gs, 6);
		update_local_projectile_group(gv, 6);
	}
	const local_projectile_data *q = get_local_projectile_data(get_local_projectile_group_data(gv)->first_projectile_index);
	EXPECT_EQ(q->offset.x, 0);
	EXPECT_EQ(q->offset.z, 0);

	// No attraction at all: a whole turn, and no time elapsed yet, whatever
	// the drawn time offset.
	cylindrical_physics_definition loose_cylinder = {};
	spherical_spring_physics_definition loose_spring = {};
	loose_spring.flags = _spherical_spring_random_time_offsets_flag;
	const int16 lc = definition(TAG("cyl-"), 0, 4, physics(TAG("cyl-"), _cylindrical, &loose_cylinder, sizeof(loose_cylinder)));
	const int16 ls = definition(TAG("spr-"), 0, 4, physics(TAG("spr-"), _spherical_spring, &loose_spring, sizeof(loose_spring)));
	const int16 glc = group(lc), gls = group(ls);
	for (const int16 index : {glc, gls})
	{
		const local_projectile_data *first = get_local_projectile_data(get_local_projectile_group_data(index)->first_projectile_index);
		ASSERT_NE(first, nullptr);
		const bool cylinder_law = index == glc;
		EXPECT_EQ(cylinder_law ? first->physics.cylindrical.period : first->physics.spring.period, 65536);
		EXPECT_EQ(cylinder_law ? first->physics.cylindrical.ticks_elapsed : first->physics.spring.ticks_elapsed, 0);
		update_local_projectile_group(index, 6);
	}
}

TEST_F(local_projectiles_on_a_map, the_group_yaw_turns_the_whole_horizontal_acceleration)
{
	// A steady push east, no random part: a group turned a quarter pushes north.
	linear_physics_definition push = {};
	push.flags = _linear_projectiles_respect_group_yaw_flag;
	push.linear_acceleration = {FIXED_ONE, 0, 0};
	const int16 type = definition(TAG("push"), 0, 1, physics(TAG("push"), _linear, &push, sizeof(push)));
	const int16 index = group(type);
	get_local_projectile_group_data(index)->yaw = 16384;
	update_local_projectile_group(index, 2);
	const local_projectile_data *p = get_local_projectile_data(get_local_projectile_group_data(index)->first_projectile_index);
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(p->physics.linear.velocity.i, 0);
	EXPECT_EQ(p->physics.linear.velocity.j, 2 * FIXED_ONE);
}

TEST_F(local_projectiles_on_a_map, restoring_deletes_finite_always_updated_groups_and_clamps_to_six)
{
	// Always updated with a finite duration: a restored game would run it far
	// past its end, so it goes. Any other group advances at most six ticks.
	const int16 finite = definition(TAG("fnit"), _group_always_update_physics_flag | _group_has_finite_duration_flag, 2);
	const int16 slow = definition(TAG("slow"), _group_has_startup_transition_flag, 2);
	get_local_projectile_group_definition(slow)->startup_transition_time_lower_bound = 100;
	const int16 gone = group(finite), kept = group(slow);
	ASSERT_NE(gone, NONE);
	ASSERT_NE(kept, NONE);
	saved_game_update_local_projectile_groups(1800);
	EXPECT_EQ(get_local_projectile_group_data(gone), nullptr);
	ASSERT_NE(get_local_projectile_group_data(kept), nullptr);
	EXPECT_EQ(get_local_projectile_group_data(kept)->transition_ticks_elapsed, 6);
	EXPECT_EQ(get_local_projectile_group_data(kept)->state, _state_starting_up);
}

// The mirror groups: shared groups drawn again elsewhere (flames and smoke over fires).
using mirror_groups_on_a_map = local_projectiles_on_a_map;

TEST_F(mirror_groups_on_a_map, shared_groups_outlive_the_frame_driver_and_mirrors_outlive_their_groups)
{
	const uint8 fire_flags = _group_is_never_visible_flag | _group_is_internal_fire_group_flag;
	const int16 type = definition(TAG("fire"), _group_has_finite_duration_flag, 2);
	const int16 shared = group(type, fire_flags);
	const int16 plain = group(type);
	new_mirror_group_data request = {shared, {30 * 512, 30 * 512, 0}, 90, 150, 150, type, fire_flags};
	const int16 mirror = new_mirror_group(&request);
	ASSERT_NE(mirror, NONE);
	EXPECT_EQ(get_mirror_group_data(mirror)->parent_projectile_group_index, shared);
	// Refusal reads the request and the definitions only: a parent not made
	// shared, or of no loaded definition, is refused whatever groups exist.
	request.parent_flags = 0;
	EXPECT_EQ(new_mirror_group(&request), NONE);
	request.parent_flags = fire_flags;
	request.parent_type = NONE;
	EXPECT_EQ(new_mirror_group(&request), NONE);
	// A parent this machine lacks or holds otherwise leaves the mirror nothing to show.
	request.parent_type = type;
	request.parent_projectile_group_index = plain;
	const int16 unshown = new_mirror_group(&request);
	ASSERT_NE(unshown, NONE);
	EXPECT_EQ(get_mirror_group_data(unshown)->parent_projectile_group_index, NONE);
	delete_datum(&mirror_group_array, unshown);
	for (int32 k = 0; k < 5; ++k) update_local_projectile_group(shared, 6);
	EXPECT_NE(get_local_projectile_group_data(shared), nullptr);
	EXPECT_NE(get_mirror_group_data(mirror), nullptr);
	saved_game_update_local_projectile_groups(6);
	EXPECT_NE(get_local_projectile_group_data(shared), nullptr);

	// Ramps: 435 after one tick, 32767 at 75, 65098 at 149, then 65534; freed on update 391.
	std::vector<int32> opacity;
	int32 updates = 0;
	while (get_mirror_group_data(mirror) && updates < 1000)
	{
		update_mirror_groups();
		++updates;
		if (get_mirror_group_data(mirror)) opacity.push_back(get_mirror_group_data(mirror)->opacity);
	}
	EXPECT_EQ(opacity[0], 435);
	EXPECT_EQ(opacity[74], 32767);
	EXPECT_EQ(opacity[148], 65098);
	EXPECT_EQ(opacity[149], 65534);
	EXPECT_EQ(updates, 391);
	EXPECT_EQ(get_fire_test_hooks()->extinguish_calls, 1);

	// A new mirror of the shared group stains at most seven times. Deleting the
	// group takes only its particles from the mirror: the mirror still ends
	// and puts its fire out from its own flags.
	request.parent_projectile_group_index = shared;
	const int16 second = new_mirror_group(&request);
	for (int32 k = 0; k < 12; ++k)
	{
		const world_point3d point = {20 * 512, 20 * 512, 0};
		handle_new_mirrored_projectile(shared, &point);
	}
	EXPECT_EQ(get_mirror_group_data(second)->stains_left, 0);
	delete_local_projectile_group(shared);
	ASSERT_NE(get_mirror_group_data(second), nullptr);
	EXPECT_EQ(get_mirror_group_data(second)->parent_projectile_group_index, NONE);
	group(type); // may take the freed record: the mirror must not show it
	for (updates = 0; get_mirror_group_data(second) && updates < 1000; ++updates) update_mirror_groups();
	EXPECT_EQ(updates, 391);
	EXPECT_EQ(get_fire_test_hooks()->extinguish_calls, 2);
}

TEST_F(mirror_groups_on_a_map, a_smoke_mirror_ends_without_fire_and_a_zero_transition_ends_at_once)
{
	const int16 smoke_type = definition(TAG("smok"), 0, 1);
	const int16 smoke = group(smoke_type, _group_is_never_visible_flag);
	new_mirror_group_data request = {smoke, {10 * 512, 10 * 512, 0}, -1, 0, 0, smoke_type, _group_is_never_visible_flag};
	const int16 mirror = new_mirror_group(&request);
	update_mirror_groups();
	EXPECT_EQ(get_mirror_group_data(mirror)->state, _mirror_state_running);
	for (int32 k = 0; k < 50; ++k) update_mirror_groups();
	EXPECT_EQ(get_mirror_group_data(mirror)->state, _mirror_state_running);
	turn_mirror_group_off(mirror);
	update_mirror_groups();
	EXPECT_EQ(get_mirror_group_data(mirror), nullptr);
	EXPECT_EQ(get_fire_test_hooks()->extinguish_calls, 0);
}

TEST_F(local_projectiles_on_a_map, a_group_follows_its_object_and_ends_when_the_object_goes)
{
	const int16 object = make_object(25 * 512, 25 * 512, 0, false);
	const int16 type = definition(TAG("foll"), _group_has_ending_transition_flag, 2);
	get_local_projectile_group_definition(type)->ending_transition_time_lower_bound = 10;
	const int16 index = group(type);
	set_local_projectile_group_central_object(index, object, get_object_data(object)->identifier);
	update_local_projectile_group(index, 1);
	local_projectile_group_data *g = get_local_projectile_group_data(index);
	EXPECT_EQ(g->center.x, 25 * 512);
	EXPECT_EQ(g->state, _state_running);
	delete_object(object);
	update_local_projectile_group(index, 1);
	EXPECT_EQ(g->state, _state_ending);
	EXPECT_EQ(g->central_object_index, NONE);
	// A shared group ignores being moved.
	const int16 shared = group(type, _group_is_never_visible_flag);
	const world_point3d elsewhere = {5 * 512, 5 * 512, 0};
	set_local_projectile_group_center(shared, &elsewhere);
	EXPECT_EQ(get_local_projectile_group_data(shared)->center.x, 20 * 512);
	EXPECT_NE(log_text().find("Tried to set the center of invisible projectile group"), std::string::npos);
}

// One particle of each law from a fixed local seed over frames of 1, 3 and 6
// ticks: offsets, velocities and the final seed are the same on every build.
TEST_F(local_projectiles_on_a_map, each_law_follows_its_golden_trajectory)
{
	linear_physics_definition fall = {};
	fall.linear_acceleration = {0, 0, -FIXED_ONE / 6};
	fall.initial_linear_velocity_min = {-3 * FIXED_ONE, -3 * FIXED_ONE, 3 * FIXED_ONE};
	fall.initial_linear_velocity_delta = {6 * FIXED_ONE, 6 * FIXED_ONE, 4 * FIXED_ONE};
	fall.random_acceleration = {FIXED_ONE / 16, FIXED_ONE / 16, FIXED_ONE / 32};
	cylindrical_physics_definition orbit = {};
	orbit.initial_angular_velocity_min = 700;
	orbit.initial_angular_velocity_delta = 500;
	orbit.initial_z_deviation = 96;
	orbit.attraction_constant = FIXED_ONE / 48;
	spherical_spring_physics_definition spring = {};
	spring.flags = _spherical_spring_random_time_offsets_flag;
	spring.initial_angular_velocity_min = 400;
	spring.initial_angular_velocity_delta = 400;
	spring.attraction_constant = FIXED_ONE / 32;
	point_attractor_physics_definition attractor = {};
	attractor.maximum_velocity = 6 * FIXED_ONE;
	attractor.attraction_constant = FIXED_ONE / 1024;
	converging_physics_definition converge = {};
	converge.flags = _converging_particles_diverge_flag;
	converge.initial_angular_velocity_min = 200;
	converge.initial_angular_velocity_delta = 300;
	converge.phi_min = 2048;
	converge.phi_delta = 8192;
	explosive_gas_physics_definition gas = {};
	gas.starting_velocity_min = 3 * FIXED_ONE;
	gas.starting_velocity_delta = 5 * FIXED_ONE;
	gas.linear_acceleration = {0, 0, -FIXED_ONE / 8};
	gas.drag = 224;
	const struct
	{
		file_tag tag;
		int16 type;
		const void *record;
		size_t size;
	} laws[] = {{TAG("fall"), _linear, &fall, sizeof(fall)}, {TAG("orbt"), _cylindrical, &orbit, sizeof(orbit)},
		{TAG("sprg"), _spherical_spring, &spring, sizeof(spring)}, {TAG("attr"), _point_attractor, &attractor, sizeof(attractor)},
		{TAG("conv"), _converging, &converge, sizeof(converge)}, {TAG("gasb"), _explosive_gas, &gas, sizeof(gas)}};
	std::string trail;
	for (const auto &law : laws)
	{
		const int16 type = definition(law.tag, 0, 1, physics(law.tag, law.type, law.record, law.size));
		get_local_projectile_group_definition(type)->expiration_time_lower_bound = 40;
		set_local_random_seed(1234);
		const int16 index = group(type);
		for (int16 ticks : {1, 3, 6}) update_local_projectile_group(index, ticks);
		const local_projectile_data *p = get_local_projectile_data(get_local_projectile_group_data(index)->first_projectile_index);
		ASSERT_NE(p, nullptr) << tag_to_string(law.tag);
		char line[160];
		snprintf(line, sizeof(line), "%s %d %d %d %d %d %u\n", tag_to_string(law.tag), p->offset.x, p->offset.y,
			p->offset.z, p->physics.linear.velocity.i, p->physics.linear.velocity.k, get_local_random_seed());
		trail += line;
	}
	EXPECT_EQ(trail, std::string(GOLDEN_LAWS)) << trail;
}

} // namespace
