// The world procs called directly on the first level.
#include <cstdlib>

#include "map_actions/procs_test_support.h"
#include "map_actions/world_object_action_procs.h"
#include "map_actions/presentation_action_procs.h"
#include "definitions.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "model_animations.h"
#include "model_effects.h"
#include "models.h"
#include "monster_commands.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "spatial_groups.h"
#include "world.h"

namespace {

using world_object_procs = level_procs_fixture;

// The gates' stand: the level's first live model.
int16 first_model(void)
{
	for (int16 i = 0; i < model_array.count; ++i)
		if (get_model_data(i)) return i;
	return NONE;
}

TEST_F(world_object_procs, mesh_cells_take_the_terrain_type_and_refuse_wider_values)
{
	mesh_cell *cell = get_mesh_cell(30, 68);
	cell->flags |= _mesh_cell_is_not_rendered_flag;
	const int16 m = action("mece");
	points(m, "pnts", {{30 * 512 + 256, 68 * 512 + 256}, {31 * 512 + 256, 68 * 512 + 256}, {-300, 35000}});
	integer(m, "teco", 3);
	const int32 updates = get_monsters_test_hooks()->impassability_updates;
	EXPECT_EQ(mesh_cell_action_proc(m), 2u);
	EXPECT_EQ(cell->flags & 0xFF, 0x33);
	EXPECT_TRUE(cell->flags & _mesh_cell_is_not_rendered_flag);
	EXPECT_EQ(get_monsters_test_hooks()->impassability_updates - updates, 2);
	EXPECT_EQ(get_monsters_test_hooks()->last_impassability_x, 31);
	EXPECT_NE(log_text().find("Cell out of bounds: -1 not in [0, "), std::string::npos);

	const int16 wide = action("mece");
	points(wide, "pnts", {{30 * 512 + 256, 68 * 512 + 256}});
	integer(wide, "teco", 16);
	value(wide, "kill", 0);
	EXPECT_EQ(mesh_cell_action_proc(wide), 2u);
	EXPECT_EQ(cell->flags & 0xFF, 0x33);
	EXPECT_FALSE(cell->flags & _mesh_cell_is_not_rendered_flag);
	EXPECT_NE(log_text().find("terrain cost 16 is not a terrain type"), std::string::npos);

	const int16 none = action("mece");
	EXPECT_EQ(mesh_cell_action_proc(none), 0u);
}

TEST_F(world_object_procs, moved_units_keep_their_arrangement_and_clamp_at_the_edge)
{
	const int16 a = team0[0], b = team0[1];
	const int32 dx = object_of(b)->location.position.x - object_of(a)->location.position.x;
	const int32 dy = object_of(b)->location.position.y - object_of(a)->location.position.y;
	const int16 m = action("moma");
	subjects(m, "subj", {a, b});
	points(m, "dest", {{20000, 20000}});
	EXPECT_EQ(move_marker_action_proc(m), 2u);
	EXPECT_EQ(object_of(b)->location.position.x - object_of(a)->location.position.x, dx);
	EXPECT_EQ(object_of(b)->location.position.y - object_of(a)->location.position.y, dy);
	EXPECT_LE(std::abs((object_of(a)->location.position.x + object_of(b)->location.position.x) / 2 - 20000), 1);

	const int16 edge = action("moma");
	subjects(edge, "subj", {a});
	points(edge, "dest", {{-5000, -5000}});
	move_marker_action_proc(edge);
	EXPECT_EQ(object_of(a)->location.position.x, 0);
	EXPECT_EQ(object_of(a)->location.position.y, 0);
}

TEST_F(world_object_procs, the_gate_centre_of_points_and_its_failed_start)
{
	const world_point2d list[3] = {{0, 0}, {100, 0}, {400, 30}};
	world_point2d center;
	EXPECT_EQ(get_centerpoint_of_points(3, list, &center, TRUE), 200);
	EXPECT_EQ(center.x, 200);
	EXPECT_EQ(center.y, 15);
	EXPECT_EQ(get_centerpoint_of_points(3, list, &center, FALSE), 234);
	EXPECT_EQ(center.x, 166);
	EXPECT_EQ(center.y, 10);
	EXPECT_EQ(get_centerpoint_of_points(0, list, &center, FALSE), 0);
	EXPECT_EQ(center.x, -1);

	const int16 g = action("gate");
	const int16 none_identifier = 0;
	add(g, "mode", _parameter_model_identifier, 1, &none_identifier);
	EXPECT_EQ(world_gate_action_proc(g), 4u);
	EXPECT_NE(log_text().find("no models!"), std::string::npos);
	EXPECT_NE(log_text().find("unable to initialize globals!"), std::string::npos);
}

TEST_F(world_object_procs, items_are_hidden_and_one_revealed_with_a_single_draw)
{
	std::vector<int16> items;
	int16 kind = NONE;
	for (int16 i = 0; i < object_array.count; ++i)
	{
		const object_data *object = get_object_data(i);
		if (!object || object->owner != _object_is_dormant_projectile) continue;
		if (kind == NONE) kind = object->owner_index;
		if (object->owner_index == kind) items.push_back(i);
	}
	ASSERT_FALSE(items.empty()) << "no lying items";
	const file_tag kind_tag = get_definition_subgroup(get_projectile_definitions(), kind);
	const int16 hide = action("obco");
	add(hide, "type", _parameter_field_name, 1, &kind_tag);
	flag(hide, "hial");
	game_play_version = 1690;
	EXPECT_EQ(object_control_action_proc(hide), 0u);
	game_play_version = 1720;
	EXPECT_EQ(object_control_action_proc(hide), 2u);
	for (int16 i : items) EXPECT_TRUE(get_object_data(i)->flags & FLAG(_object_is_invisible_bit));

	const int16 reveal = action("obco");
	add(reveal, "type", _parameter_field_name, 1, &kind_tag);
	flag(reveal, "rera");
	const uint32 seed = get_random_seed();
	const size_t chosen = (static_cast<uint32>(zerv_random()) * items.size()) >> 16;
	set_random_seed(seed);
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(object_control_action_proc(reveal), 2u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	for (size_t i = 0; i < items.size(); ++i)
		EXPECT_EQ((get_object_data(items[i])->flags & FLAG(_object_is_invisible_bit)) == 0, i == chosen) << i;

	// Below 1711 only the random reveal reads bit 0 as carried; 'real' tests the carried flag.
	object_control_action_proc(hide);
	game_play_version = 1710;
	get_object_data(items[0])->flags |= 1;
	const int16 all = action("obco");
	add(all, "type", _parameter_field_name, 1, &kind_tag);
	flag(all, "real");
	EXPECT_EQ(object_control_action_proc(all), 2u);
	get_object_data(items[0])->flags &= ~1;
	for (int16 i : items) EXPECT_FALSE(get_object_data(i)->flags & FLAG(_object_is_invisible_bit));
}

// A group listed twice is made once: the second entry finds its marker taken.
TEST_F(world_object_procs, turning_a_group_on_makes_it_once)
{
	const int16 swirl = 951;
	marker_data *marker = get_marker_by_identifier(_marker_local_projectile_group, swirl);
	ASSERT_NE(marker, nullptr) << "no swirl marker";
	if (marker->data_index != NONE)
	{
		delete_local_projectile_group(marker->data_index);
		marker->data_index = NONE;
	}
	const int16 before = local_projectile_group_array.total_count;
	const int16 on = action("lpgr");
	add(on, "grou", _parameter_local_projectile_group_identifier, 2, std::vector<int16>{swirl, swirl}.data());
	flag(on, "__on");
	EXPECT_EQ(local_projectile_group_action_proc(on), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(local_projectile_group_array.total_count, before + 1);
	EXPECT_NE(marker->data_index, NONE);
	local_projectile_group_action_proc(on);
	EXPECT_EQ(local_projectile_group_array.total_count, before + 1) << "already on";
}

} // namespace

namespace {

// A single gate brings its two waves in one after another, waiting for a clear circle.
TEST_F(world_object_procs, a_single_gate_brings_in_two_waves_then_finishes)
{
	const int16 model = first_model();
	ASSERT_NE(model, NONE);
	auto shown = [](int16 marker_identifier) {
		const marker_data *marker = get_marker_by_identifier(_marker_monster, marker_identifier);
		const monster_data *monster = marker ? get_monster_data(marker->data_index) : nullptr;
		return monster && !(monster->extra_flags & _monster_is_invisible_extra_flag);
	};
	const int16 first_marker = 47, second_marker = 48;
	EXPECT_FALSE(shown(first_marker));
	const int16 w1 = action("acli", 0, _map_action_deactivates_never, "w1");
	const int16 w2 = action("acli", 0, _map_action_deactivates_never, "w2");
	add(w1, "subj", _parameter_monster_identifier, 1, &first_marker);
	add(w2, "subj", _parameter_monster_identifier, 1, &second_marker);
	const int16 g = action("gate");
	add(g, "mode", _parameter_model_identifier, 1, &get_model_data(model)->identifier);
	const world_point2d gate_center = {10 * 512 + 256, 10 * 512 + 256};
	points(g, "cent", {gate_center});
	add(g, "radi", _parameter_world_distance, 1, std::vector<int32>{1024}.data());
	ids(g, "wave", {w1, w2});
	fixed_value(g, "dura", FIXED_ONE);

	EXPECT_EQ(world_gate_action_proc(g), 0u); // starts bringing in the first wave
	const int16 first = get_marker_by_identifier(_marker_monster, first_marker)->data_index;
	ASSERT_NE(first, NONE);
	EXPECT_LE(std::abs(object_of(first)->location.position.x - gate_center.x), 1);
	harness_run_ticks(150); // the teleport and the entrance fade (a random delay) end
	EXPECT_TRUE(shown(first_marker));
	EXPECT_EQ(world_gate_action_proc(g), 0u);
	EXPECT_EQ(world_gate_action_proc(g), 0u); // the first wave still stands in the circle
	EXPECT_FALSE(shown(second_marker));

	const int16 away = action("moma");
	subjects(away, "subj", {first});
	points(away, "dest", {{40 * 512, 40 * 512}});
	move_marker_action_proc(away);
	EXPECT_EQ(world_gate_action_proc(g), 0u);
	harness_run_ticks(150);
	EXPECT_TRUE(shown(second_marker));
	EXPECT_EQ(world_gate_action_proc(g), 0u);
	EXPECT_EQ(world_gate_action_proc(g), 6u);
	EXPECT_NE(log_text().find("no more waves to bring in (success)"), std::string::npos);

	// A damaged state is rebuilt rather than trusted.
	world_gate_globals damaged;
	ASSERT_TRUE(get_map_action_structure(g, TAG("#glo"), sizeof(damaged), &damaged));
	damaged.wave_container_count = 99;
	ASSERT_TRUE(set_unique_map_action_parameter(g, TAG("#glo"), _parameter_character, sizeof(damaged), &damaged));
	EXPECT_EQ(world_gate_action_proc(g), 0u);
	ASSERT_TRUE(get_map_action_structure(g, TAG("#glo"), sizeof(damaged), &damaged));
	EXPECT_LE(damaged.wave_container_count, MAXIMUM_WAVES_PER_GATE);
}

} // namespace

namespace {

TEST_F(world_object_procs, animation_frame_tests_and_model_effects)
{
	int16 animation = NONE;
	for (int16 i = 0; i < model_animation_array.count && animation == NONE; ++i)
		if (get_model_animation_data(i)) animation = i;
	ASSERT_NE(animation, NONE) << "no model animation on the level";
	model_animation_data *data = get_model_animation_data(animation);
	data->current_frame_index = 4;
	data->state = _animation_stopped;
	const int16 a = action("anim");
	add(a, "subj", _parameter_model_animation_identifier, 1, &data->identifier);
	integer(a, "___=", 5);
	flag(a, "stfo");
	EXPECT_EQ(model_animation_action_proc(a), 0u);
	EXPECT_EQ(get_model_animation_data(animation)->state, _animation_stopped);
	const int16 b = action("anim");
	add(b, "subj", _parameter_model_animation_identifier, 1, &data->identifier);
	integer(b, "___>", 3);
	flag(b, "stfo");
	EXPECT_EQ(model_animation_action_proc(b), 2u);
	EXPECT_EQ(get_model_animation_data(animation)->state, _animation_running);
	EXPECT_NE(log_text().find("frame: 4 > 3"), std::string::npos);

	// Without 'dura' the effect would last for ever: the model layer refuses it.
	const int16 model = get_model_animation_data(animation)->current_model_index;
	ASSERT_NE(get_model_data(model), nullptr) << "an animation without its model";
	const int16 e = action("moef");
	add(e, "anim", _parameter_model_animation_identifier, 1, &data->identifier);
	add(e, "mate", _parameter_integer, 1, std::vector<int32>{0}.data());
	fixed_value(e, "mafi", FIXED_ONE / 4);
	EXPECT_EQ(model_effect_action_proc(e), 0u);
	EXPECT_NE(log_text().find("unable to create the model effect"), std::string::npos);
	EXPECT_NE(log_text().find("fading to transparency of 0.7500"), std::string::npos);
	const auto effects_on_model = [model]() {
		int32 count = 0;
		for (int16 i = 0; i < model_effect_array.count; ++i)
		{
			const model_effect_data *effect = get_model_effect_data(i);
			count += effect && effect->model_index == model;
		}
		return count;
	};
	EXPECT_EQ(effects_on_model(), 0);
	fixed_value(e, "dura", FIXED_ONE);
	model_effect_action_proc(e);
	EXPECT_EQ(effects_on_model(), 1);

	// A projectile to throw that no definition names: the action hears of the
	// error, and the effect runs all the same.
	const int16 thrower = action("moef");
	add(thrower, "anim", _parameter_model_animation_identifier, 1, &data->identifier);
	fixed_value(thrower, "dura", FIXED_ONE);
	const field_tag missing = TAG("none");
	add(thrower, "proj", _parameter_field_name, 1, &missing);
	const world_point3d origin = {30 * 512, 68 * 512, 0};
	add(thrower, "orig", _parameter_world_point3d, 1, &origin);
	const size_t errors = occurrences(log_text(), "had an error");
	const size_t refusals = occurrences(log_text(), "unable to create the model effect");
	const int16 projectiles = projectile_array.total_count;
	model_effect_action_proc(thrower);
	EXPECT_EQ(occurrences(log_text(), "had an error"), errors + 1);
	EXPECT_EQ(occurrences(log_text(), "unable to create the model effect"), refusals) << "the effect was made";
	EXPECT_EQ(effects_on_model(), 2);
	EXPECT_EQ(projectile_array.total_count, projectiles);
}

} // namespace

namespace {

// Seventeen waves overrun the state and a self-link would overwrite it: capped, and single.
TEST_F(world_object_procs, a_gate_caps_its_waves_and_a_self_link_makes_it_single)
{
	const int16 model = first_model();
	ASSERT_NE(model, NONE);
	const int16 g = action("gate");
	add(g, "mode", _parameter_model_identifier, 1, &get_model_data(model)->identifier);
	std::vector<int16> waves;
	for (int32 i = 0; i < 17; ++i) waves.push_back(id(action("none")));
	// In two parameters: the count is the whole list's.
	add(g, "wave", _parameter_action_identifier, 10, waves.data());
	add(g, "wave", _parameter_action_identifier, 7, waves.data() + 10);
	ids(g, "next", {g});
	fixed_value(g, "dura", FIXED_ONE);
	world_gate_action_proc(g);
	world_gate_globals state;
	ASSERT_TRUE(get_map_action_structure(g, TAG("#glo"), sizeof(state), &state));
	EXPECT_EQ(state.next_world_gate_index, NONE);
	EXPECT_EQ(state.wave_container_count + state.free_wave_container_count, MAXIMUM_WAVES_PER_GATE);
	EXPECT_EQ(state.waves[1].activation_index, NONE);
	EXPECT_NE(log_text().find("more than 16 waves"), std::string::npos);
}

} // namespace

namespace {

// A marker goes to the first free cell around the team's largest army, facing its centre.
TEST_F(world_object_procs, a_marker_is_placed_beside_the_largest_army)
{
	build_spatial_groups();
	const spatial_supergroup *largest = nullptr;
	for (const spatial_supergroup *g = first_spatial_supergroup(); g; g = next_spatial_supergroup(g))
		if (g->team_index == 0 && (!largest || g->monster_count > largest->monster_count)) largest = g;
	ASSERT_NE(largest, nullptr);
	const world_point2d center = largest->center;
	marker_data *marker = get_marker_by_identifier(_marker_monster, 49);
	ASSERT_NE(marker, nullptr);
	const int16 m = action("moma");
	const int16 marker_identifier = 49;
	add(m, "subj", _parameter_monster_identifier, 1, &marker_identifier);
	integer(m, "team", 0);
	EXPECT_EQ(move_marker_action_proc(m), 2u);
	const int32 x = marker->location.position.x, y = marker->location.position.y;
	EXPECT_EQ(x % 512, 256);
	EXPECT_EQ(y % 512, 256);
	EXPECT_LE(std::abs((x >> 9) - (center.x >> 9)), MAXIMUM_RADIUS_TO_SCAN);
	EXPECT_LE(std::abs((y >> 9) - (center.y >> 9)), MAXIMUM_RADIUS_TO_SCAN);
	EXPECT_EQ(get_mesh_cell(x >> 9, y >> 9)->model_index, NONE);
	EXPECT_EQ(marker->location.yaw, arctangent(center.x - x, center.y - y));
	EXPECT_EQ(marker->location.position.z, get_mesh_height(&center, _land_height));
}

} // namespace

namespace {

// 'targ': the subject takes the target's place and looks; the target loses its record.
TEST_F(world_object_procs, a_subject_takes_its_targets_place_and_looks)
{
	const int16 s = team0[0], t = team1[0];
	get_monster_data(t)->experience = 40;
	get_monster_data(t)->battles_survived = 3;
	object_of(t)->vitality = 77;
	const int16 m = action("moma");
	subjects(m, "subj", {s});
	subjects(m, "targ", {t});
	EXPECT_EQ(move_marker_action_proc(m), 2u);
	EXPECT_EQ(object_of(s)->location.position.x, object_of(t)->location.position.x);
	EXPECT_EQ(object_of(s)->location.position.y, object_of(t)->location.position.y);
	EXPECT_EQ(object_of(s)->vitality, 77);
	EXPECT_EQ(object_of(s)->shape_collection_index, object_of(t)->shape_collection_index);
	EXPECT_EQ(get_monster_data(s)->experience, 40);
	EXPECT_EQ(get_monster_data(s)->battles_survived, 3);
	EXPECT_EQ(get_monster_data(t)->experience, 0);
	EXPECT_EQ(get_monster_data(t)->battles_survived, 0);
}

} // namespace

namespace {

// A unit 'moma' sets down while it walks keeps no path, segment or waypoints
// from where it was, so it stands where it was put (with them, the rest of
// its old segment sent it back in one step); 'targ' leaves its subject so too.
TEST_F(world_object_procs, a_walking_unit_set_down_stands_where_it_was_put)
{
	// The caster: no scene of the level moves it.
	int16 walker = NONE;
	for (int16 i : team0)
		if (identifier_of(i) == 28) walker = i;
	ASSERT_NE(walker, NONE);
	auto at = [](int16 unit) {
		return world_point2d{object_of(unit)->location.position.x, object_of(unit)->location.position.y};
	};
	const monster_data *monster = get_monster_data(walker);
	const command_movement_data walk = {0, NONE, 0, 0};
	const auto walk_east = [&] {
		const world_point2d far_off = {at(walker).x + 10 * 512, at(walker).y};
		handle_movement_command(7, &walk, 1, &walker, 1, &far_off);
		harness_run_ticks(20);
		ASSERT_EQ(monster->action, _monster_action_moving);
		ASSERT_GT(monster->path_segment_length, 0);
	};
	const auto stands = [&](const char *how) {
		SCOPED_TRACE(how);
		const world_point2d put = at(walker);
		EXPECT_EQ(monster->path_index, NONE);
		EXPECT_EQ(monster->path_segment_length, 0);
		EXPECT_EQ(monster->waypoint_count, 0);
		EXPECT_EQ(monster->path_destination.x, put.x);
		EXPECT_EQ(monster->path_destination.y, put.y);
		for (int32 tick = 0; tick < 60; ++tick)
		{
			harness_run_ticks(1);
			const world_point2d here = at(walker);
			ASSERT_LE(distance2d(&put, &here), 512) << "tick " << tick;
		}
	};

	ASSERT_NO_FATAL_FAILURE(walk_east());
	const int16 dest = action("moma");
	subjects(dest, "subj", {walker});
	points(dest, "dest", {{at(walker).x, at(walker).y - 6 * 512}});
	EXPECT_EQ(move_marker_action_proc(dest), 2u);
	stands("dest");

	ASSERT_NO_FATAL_FAILURE(walk_east());
	// In the place of a unit of its own side, behind the line.
	const int16 targ = action("moma");
	subjects(targ, "subj", {walker});
	subjects(targ, "targ", {team0[0] == walker ? team0[1] : team0[0]});
	EXPECT_EQ(move_marker_action_proc(targ), 2u);
	stands("targ");
}

// Two linked gates exchange the units in their circles; an empty side passes through.
TEST_F(world_object_procs, linked_gates_exchange_their_units)
{
	const int16 model = first_model();
	ASSERT_NE(model, NONE);
	// The caster: no scene of the level moves it.
	int16 traveller = NONE;
	for (int16 i : team0)
		if (identifier_of(i) == 28) traveller = i;
	ASSERT_NE(traveller, NONE);
	const world_point2d here = {object_of(traveller)->location.position.x, object_of(traveller)->location.position.y};
	const world_point2d there = {10 * 512 + 256, 10 * 512 + 256};
	const int16 a = action("gate"), b = action("gate");
	const int16 wave_a = action("none"), wave_b = action("none");
	for (int16 g : {a, b})
	{
		add(g, "mode", _parameter_model_identifier, 1, &get_model_data(model)->identifier);
		add(g, "radi", _parameter_world_distance, 1, std::vector<int32>{200}.data());
		fixed_value(g, "dura", FIXED_ONE);
	}
	points(a, "cent", {here});
	points(b, "cent", {there});
	ids(a, "next", {b});
	ids(b, "next", {a});
	ids(a, "wave", {wave_a});
	ids(b, "wave", {wave_b});

	EXPECT_EQ(world_gate_action_proc(b), 0u);
	EXPECT_EQ(world_gate_action_proc(a), 0u); // both idle: the exchange starts
	world_gate_globals state;
	ASSERT_TRUE(get_map_action_structure(b, TAG("#glo"), sizeof(state), &state));
	EXPECT_EQ(state.state, _state_teleporting_out);
	harness_run_ticks(40);
	world_gate_action_proc(a);
	world_gate_action_proc(b);
	world_gate_action_proc(b); // the traveller's wave arrives at b
	harness_run_ticks(150);
	const object_data *object = object_of(traveller);
	EXPECT_LE(std::abs(object->location.position.x - there.x), 600);
	EXPECT_LE(std::abs(object->location.position.y - there.y), 600);
	EXPECT_FALSE(get_monster_data(traveller)->extra_flags & _monster_is_invisible_extra_flag);
}

} // namespace
