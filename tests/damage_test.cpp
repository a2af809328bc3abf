// Damage and explosions: expansion and its blows, capacities and eviction,
// instantaneous areas, the per-type resolution of damage_object and the
// owner bookkeeping.
#include <gtest/gtest.h>

#include <vector>

#include "projectiles_test_support.h"

namespace {

class damage_on_a_map : public projectiles_test_map
{
protected:
	static damage_definition area(int16 damage, int16 radius, int16 rate, uint16 flags = _damage_area_of_effect_flag)
	{
		damage_definition definition = {};
		definition.type = _damage_explosion;
		definition.flags = flags;
		definition.damage_lower_bound = damage;
		definition.radius_lower_bound = radius;
		definition.rate_of_expansion = rate;
		return definition;
	}
	static damage_data at(world_distance x, world_distance y)
	{
		damage_data data;
		initialize_damage_data(&data);
		data.epicenter = {x, y, 0};
		return data;
	}
	static int16 vitality(int16 object_index)
	{
		return get_object_data(object_index)->vitality;
	}
};

TEST_F(damage_on_a_map, an_explosion_reaches_each_object_once_as_it_grows_and_then_ends)
{
	const int16 near = place_scenery(TAG("post"), 4000, 4000);
	const int16 middle = place_scenery(TAG("post"), 4300, 4000);
	const int16 far = place_scenery(TAG("post"), 4700, 4000);
	place_scenery(TAG("post"), 5100, 4000); // beyond the radius
	const damage_definition definition = area(100, 1000, 256);
	damage_data data = at(4000, 4000);
	cause_damage(NONE, &definition, &data);
	ASSERT_EQ(explosion_array.total_count, 1);
	const explosion_data *explosion = get_explosion_data(0);
	ASSERT_EQ(explosion->object_reference_count, 3);
	EXPECT_EQ(explosion->object_references[1].radius, 300);
	EXPECT_EQ(vitality(near), 256) << "nothing is hit when the explosion is made";

	update_explosions(); // radius 256
	EXPECT_EQ(vitality(near), 156);
	EXPECT_EQ(vitality(middle), 256);
	EXPECT_EQ(explosion->object_references[0].radius, EXPLOSION_REFERENCE_HIT);
	update_explosions(); // 512: scale 256 - 225 * 256 / 1000 = 199
	EXPECT_EQ(vitality(near), 156);
	EXPECT_EQ(vitality(middle), 256 - ((100 * 199) >> 8));
	update_explosions(); // 768: scale 122
	EXPECT_EQ(vitality(far), 256 - ((100 * 122) >> 8));
	EXPECT_EQ(explosion_array.total_count, 1);
	update_explosions(); // 1024: fully grown
	EXPECT_EQ(explosion_array.total_count, 0);
}

TEST_F(damage_on_a_map, capacities_follow_the_version_and_the_nearest_to_finished_is_evicted)
{
	const struct
	{
		int16 version, capacity;
	} versions[] = {{1300, 16}, {1710, 24}, {1720, 64}};
	for (const auto &v : versions)
	{
		start_modules(v.version);
		damage_definition definition = area(0, 1000, 1);
		for (int16 i = 0; i < v.capacity; ++i)
		{
			damage_data data = at(1000 + i, 1000);
			cause_damage(NONE, &definition, &data);
		}
		ASSERT_EQ(explosion_array.total_count, v.capacity) << v.version;
		// Progress 500/1000 at 3, 600/1000 at 7: the 7th goes.
		get_explosion_data(3)->current_radius = 500;
		get_explosion_data(7)->current_radius = 600;
		damage_data data = at(9000, 1000);
		cause_damage(NONE, &definition, &data);
		EXPECT_EQ(explosion_array.total_count, v.capacity);
		EXPECT_EQ(get_explosion_data(7)->data.epicenter.x, 9000) << v.version;
		EXPECT_EQ(get_explosion_data(7)->current_radius, 0);

		// A radius of 0 counts as finished, not as a division.
		get_explosion_data(11)->maximum_radius = 0;
		data = at(9500, 1000);
		cause_damage(NONE, &definition, &data);
		EXPECT_EQ(get_explosion_data(11)->data.epicenter.x, 9500) << v.version;

		// With every slot behind its start, the least behind still goes.
		for (int16 i = 0; i < v.capacity; ++i) get_explosion_data(i)->current_radius = -100;
		get_explosion_data(5)->current_radius = -10;
		data = at(9700, 1000);
		cause_damage(NONE, &definition, &data);
		EXPECT_EQ(get_explosion_data(5)->data.epicenter.x, 9700) << v.version;
	}
}

TEST_F(damage_on_a_map, the_radius_saturates_instead_of_wrapping)
{
	damage_definition definition = area(0, 4096, 30000);
	damage_data data = at(1000, 1000);
	cause_damage(NONE, &definition, &data);
	get_explosion_data(0)->current_radius = 30000;
	get_explosion_data(0)->maximum_radius = 32767;
	update_explosions();
	EXPECT_EQ(explosion_array.total_count, 0) << "a wrapped radius would never end";
}

TEST_F(damage_on_a_map, instantaneous_areas_hit_at_once_and_single_blows_need_an_object)
{
	const int16 center = place_scenery(TAG("post"), 6000, 6000);
	const int16 edge = place_scenery(TAG("post"), 6990, 6000);
	// Instantaneous wins over a missing area flag.
	damage_definition definition = area(100, 1000, 0, _damage_instantaneous_flag);
	damage_data data = at(6000, 6000);
	cause_damage(NONE, &definition, &data);
	EXPECT_EQ(explosion_array.total_count, 0);
	EXPECT_EQ(vitality(center), 156);
	EXPECT_EQ(vitality(edge), 256 - ((100 * 66) >> 8)) << "scale near the edge approaches 64";

	const uint32 draws = zerv_random_draw_count();
	definition = area(100, 1000, 0, 0);
	data = at(6000, 6000);
	cause_damage(NONE, &definition, &data);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	cause_damage(center, &definition, &data);
	EXPECT_EQ(vitality(center), 56);
	EXPECT_EQ(data.scale, 256);
}

TEST_F(damage_on_a_map, an_explosion_keeps_88_references_and_makes_room_for_explosives)
{
	for (int16 i = 0; i < 95; ++i) ASSERT_NE(place_scenery(TAG("post"), 3000 + 8 * i, 3000), NONE);
	int16 explosives[3];
	for (int16 i = 0; i < 3; ++i)
	{
		explosives[i] = place_scenery(TAG("post"), 3000 + 8 * i, 3100);
		get_object_data(explosives[i])->flags |= _object_must_be_included_in_explosions_flag;
	}
	const damage_definition definition = area(0, 2000, 1);
	damage_data data = at(3300, 3000);
	cause_damage(NONE, &definition, &data);
	const explosion_data *explosion = get_explosion_data(0);
	ASSERT_EQ(explosion->object_reference_count, MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION);
	int32 found = 0;
	for (int16 i = 0; i < explosion->object_reference_count; ++i)
	{
		for (int16 e : explosives) found += explosion->object_references[i].object_index == e;
	}
	EXPECT_EQ(found, 3);

	// Each explosion scans for room from its own first reference: a second one
	// over the same objects lists them in the same slots.
	std::vector<int16> first;
	for (int16 i = 0; i < explosion->object_reference_count; ++i) first.push_back(explosion->object_references[i].object_index);
	cause_damage(NONE, &definition, &data);
	ASSERT_EQ(explosion_array.total_count, 2);
	const explosion_data *second = get_explosion_data(1);
	ASSERT_EQ(second->object_reference_count, MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION);
	std::vector<int16> listed;
	for (int16 i = 0; i < second->object_reference_count; ++i) listed.push_back(second->object_references[i].object_index);
	EXPECT_EQ(listed, first);
	EXPECT_TRUE(first[0] == explosives[0] || first[0] == explosives[1] || first[0] == explosives[2])
		<< "an explosive took the first slot";
}

TEST_F(damage_on_a_map, damage_object_resolves_each_type_through_its_modifier)
{
	object_definition modifiers = *get_default_object_definition();
	const int16 values[] = {128, 64, 512, 32, 16, 256, 0, 8, 256};
	for (int16 i = 0; i < NUMBER_OF_EFFECT_MODIFIERS; ++i) modifiers.effect_modifiers[i] = values[i];
	modifiers.maximum_vitality = 1000;
	modifiers.minimum_damage = 2;
	const int16 type = new_definition(get_object_definitions(), TAG("modi"), &modifiers);
	ASSERT_NE(type, NONE);
	new_object_data request = {};
	request.type = type;
	request.scale = 256;
	request.location.position = {2000, 2000, 0};
	const int16 object_index = new_object(&request);
	object_data *object = get_object_data(object_index);

	const struct
	{
		int16 type;
		uint16 flags;
		int32 applied;
		int32 draws;
	} cases[] = {
		{_damage_explosion, 0, 200, 0},
		{_damage_magical, 0, 6, 0},
		{_damage_fire, 0, 6, 0},
		{_damage_explosive_electricity, 0, 12, 0},
		{_damage_gas, 0, 3, 0},
		{_damage_steel_slashing, 0, 50, 1},
		{_damage_kinetic, _damage_is_long_range_flag, 25, 1},
		{_damage_charm, 0, 0, 0},
	};
	for (const auto &c : cases)
	{
		object->vitality = object->maximum_vitality = 1000;
		damage_definition definition = {};
		definition.type = c.type;
		definition.flags = static_cast<uint16>(c.flags | _damage_can_stun_flag);
		const uint32 draws = zerv_random_draw_count();
		uint32 flags = 0;
		int32 applied = -1;
		EXPECT_FALSE(damage_object(object_index, &definition, 100, 0, &flags, &applied));
		EXPECT_EQ(applied, c.applied) << c.type;
		EXPECT_EQ(object->vitality, 1000 - c.applied) << c.type;
		EXPECT_EQ(zerv_random_draw_count() - draws, static_cast<uint32>(c.draws)) << c.type;
		EXPECT_TRUE(flags & _damage_result_stun_flag);
		if (c.type == _damage_charm)
		{
			EXPECT_EQ(flags & (_damage_result_charmed_flag | _damage_result_absorbed_flag),
				static_cast<uint32>(_damage_result_charmed_flag | _damage_result_absorbed_flag));
		}
	}

	damage_definition physical = {};
	physical.type = _damage_steel_slashing;
	uint32 flags = 0;
	object->vitality = 1000;
	damage_object(object_index, &physical, 100, 65535, &flags, nullptr);
	EXPECT_TRUE(flags & _damage_result_absorbed_flag);
	EXPECT_EQ(object->vitality, 1000);
	damage_object(object_index, &physical, 4, 0, &flags, nullptr); // 2 after the modifier: not above the minimum
	EXPECT_TRUE(flags & _damage_result_absorbed_flag);

	// Healing stops at the maximum; unhealable damage lowers the maximum.
	physical.type = _damage_explosion;
	object->vitality = 990;
	damage_object(object_index, &physical, -100, 0, nullptr, nullptr);
	EXPECT_EQ(object->vitality, 1000);
	physical.flags = _damage_cannot_be_healed_flag;
	EXPECT_FALSE(damage_object(object_index, &physical, 100, 0, nullptr, nullptr));
	EXPECT_EQ(object->maximum_vitality, 800);
	EXPECT_EQ(object->vitality, 800);
	EXPECT_TRUE(damage_object(object_index, &physical, 500, 0, nullptr, nullptr));
}

TEST_F(damage_on_a_map, an_explosion_evicted_by_its_own_blow_stops_at_once)
{
	start_modules(1300);
	const damage_definition quiet = area(0, 1000, 1);
	for (int16 i = 0; i < MAXIMUM_EXPLOSIONS_PER_MAP_13 - 1; ++i)
	{
		damage_data data = at(20000, 20000);
		cause_damage(NONE, &quiet, &data);
	}
	// The last one nearly done, over a bomb and then a post.
	const int16 bomb = launch(TAG("bomb"), 9000, 9000, 0);
	const int16 post = place_scenery(TAG("post"), 9600, 9000); // the next cell: listed after the bomb
	damage_definition strong = area(100, 1000, 200);
	strong.damage_to_velocity = 1024;
	damage_data data = at(9000, 9000);
	cause_damage(NONE, &strong, &data);
	const int16 last = MAXIMUM_EXPLOSIONS_PER_MAP_13 - 1;
	ASSERT_EQ(get_explosion_data(last)->object_reference_count, 2);
	get_explosion_data(last)->current_radius = 900;
	const int16 identifier = get_explosion_data(last)->identifier;

	update_explosions();
	EXPECT_EQ(get_projectile_data(bomb), nullptr) << "the bomb went off";
	const explosion_data *replacement = get_explosion_data(last);
	ASSERT_NE(replacement, nullptr);
	EXPECT_NE(replacement->identifier, identifier) << "its blast took the nearly finished slot";
	EXPECT_EQ(replacement->damage.radius_lower_bound, 768);
	EXPECT_EQ(get_object_data(post)->vitality, 256) << "the evicted explosion went no further";
	// Nothing of the evicted blow is written into its successor.
	ASSERT_GT(replacement->object_reference_count, 0);
	EXPECT_NE(replacement->object_references[0].radius, EXPLOSION_REFERENCE_HIT);
	EXPECT_EQ(replacement->data.damage, 0) << "the evicted blow's damage is not its own";
}

TEST_F(damage_on_a_map, orphaned_owners_leave_explosions_from_1601)
{
	const damage_definition definition = area(0, 1000, 1);
	damage_data data = at(1000, 1000);
	data.owner_monster_index = 5;
	data.owner_monster_identifier = 77;
	for (int16 version : {1600, 1601})
	{
		start_modules(version);
		cause_damage(NONE, &definition, &data);
		call_monster_died_procs(5, _monster_died_deleted);
		EXPECT_EQ(get_explosion_data(0)->data.owner_monster_index, version >= 1601 ? NONE : 5);
		EXPECT_EQ(get_explosion_data(0)->data.owner_monster_identifier, version >= 1601 ? NONE : 77);
	}
}

} // namespace
