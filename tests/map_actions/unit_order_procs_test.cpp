// The order and unit-control procs called directly on the first level.
#include "alliances.h"
#include "map_actions/procs_test_support.h"
#include "map_actions/unit_order_action_procs.h"
#include "map_actions/unit_query_action_procs.h"
#include "markers.h"
#include "mesh.h"
#include "overhead_map.h"
#include "world.h"

namespace {

using unit_order_procs = level_procs_fixture;

TEST_F(unit_order_procs, attack_orders_skip_user_commanded_units_and_carry_the_right_command_identifier)
{
	const int16 a = action("atta");
	subjects(a, "subj", first(team0, 3));
	for (int16 i : first(team0, 3)) get_monster_data(i)->flags |= _monster_has_received_user_command_flag;
	EXPECT_EQ(attack_command_action_proc(a), 4u);
	for (int16 i : first(team0, 3)) get_monster_data(i)->flags &= ~_monster_has_received_user_command_flag;

	// An empty point list is a script error; one point draws once.
	const int16 empty = action("atta");
	subjects(empty, "subj", first(team0, 3));
	add(empty, "wayp", _parameter_world_point2d, 0, nullptr);
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(attack_command_action_proc(empty), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_NE(log_text().find("no points to attack!"), std::string::npos);

	const int16 location = action("atta");
	subjects(location, "subj", first(team0, 3));
	points(location, "wayp", {{38 * 512 + 256, 74 * 512 + 256}});
	EXPECT_EQ(attack_command_action_proc(location), 2u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	EXPECT_EQ(get_monster_data(team0[0])->internal_command_identifier, id(location));

	// An object position that names nothing: one draw, no order.
	const int16 missing = action("atta");
	subjects(missing, "subj", first(team0, 3));
	const int16 nothing = 32000;
	add(missing, "proj", _parameter_object_identifier, 1, &nothing);
	EXPECT_EQ(attack_command_action_proc(missing), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 2);

	// The target form passes the action's index; team narrowing and the log lines.
	const int16 target = action("atta");
	subjects(target, "subj", first(team0, 4));
	integer(target, "team", 1);
	flag(target, "near");
	EXPECT_EQ(attack_command_action_proc(target), 2u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 2);
	EXPECT_EQ(get_monster_data(team0[3])->internal_command_identifier, target);
	EXPECT_NE(log_text().find("attack closest: attackers: 4 defenders: "), std::string::npos);

	// Defenders kept inside a polygon, or outside it with 'repo'.
	const std::vector<world_point2d> corner = {{0, 0}, {512, 0}, {512, 512}, {0, 512}};
	const int16 inside = action("atta");
	subjects(inside, "subj", first(team0, 2));
	subjects(inside, "obje", first(team1, 3));
	points(inside, "poly", corner);
	flag(inside, "clpo");
	EXPECT_EQ(attack_command_action_proc(inside), 0u);
	EXPECT_NE(log_text().find("0 defenders inside geometry"), std::string::npos);
	flag(inside, "repo");
	EXPECT_EQ(attack_command_action_proc(inside), 2u);
	EXPECT_NE(log_text().find("3 defenders inside geometry"), std::string::npos);

	const int16 nobody = action("atta");
	subjects(nobody, "subj", first(team0, 2));
	integer(nobody, "team", 5);
	EXPECT_EQ(attack_command_action_proc(nobody), 0u);
	EXPECT_NE(log_text().find("attacker count: 2 defender count: 0"), std::string::npos);
}

TEST_F(unit_order_procs, general_movement_and_pick_up_orders)
{
	const int16 g = action("gene");
	subjects(g, "subj", first(team1, 3));
	integer(g, "type", 9);
	EXPECT_EQ(general_command_action_proc(g), 0u);
	EXPECT_NE(log_text().find("missing or invalid type field"), std::string::npos);
	const int16 taunt = action("gene");
	subjects(taunt, "subj", first(team1, 3));
	integer(taunt, "type", 5);
	EXPECT_EQ(general_command_action_proc(taunt), 2u);

	const int16 m = action("move");
	subjects(m, "subj", first(team0, 2));
	points(m, "wayp", {{5000, 5000}, {6000, 5000}, {7000, 5000}, {8000, 5000}, {9000, 5000}});
	EXPECT_EQ(movement_command_action_proc(m), 0u);
	EXPECT_NE(log_text().find("missing or too many waypoint(s) (maximum 4)"), std::string::npos);

	// 'clos' keeps the waypoint nearest the units for good (from 1691 only).
	const object_data *o = object_of(team0[0]);
	const world_point2d near_point = {o->location.position.x + 600, o->location.position.y};
	const int16 closest = action("move");
	subjects(closest, "subj", first(team0, 1));
	points(closest, "wayp", {{1000, 1000}, near_point, {40000, 40000}});
	flag(closest, "clos");
	game_play_version = 1690;
	movement_command_action_proc(closest);
	map_action_parameter parameter;
	ASSERT_TRUE(get_map_action_parameter(&parameter, closest, 0, TAG("wayp"), _parameter_world_point2d));
	EXPECT_EQ(parameter.count, 3);
	game_play_version = 1691;
	movement_command_action_proc(closest);
	ASSERT_TRUE(get_map_action_parameter(&parameter, closest, 0, TAG("wayp"), _parameter_world_point2d));
	ASSERT_EQ(parameter.count, 1);
	world_point2d kept;
	get_indexed_world_point2d_parameter(closest, TAG("wayp"), &kept, 0);
	EXPECT_EQ(kept.x, near_point.x);
	EXPECT_EQ(get_monster_data(team0[0])->internal_command_identifier, id(closest));
}

// 'clos' rewrites only the 'wayp' parameter its lookup finds: a list that
// another action reaches through 'link' keeps its points for every linker.
TEST_F(unit_order_procs, closest_waypoint_rewrites_only_the_parameter_the_lookup_finds)
{
	game_play_version = 1691;
	const auto at = [&](int16 unit, world_distance dx, world_distance dy) {
		const object_data *o = object_of(unit);
		return world_point2d{o->location.position.x + dx, o->location.position.y + dy};
	};
	const world_point2d own = at(team0[0], 600, 0);
	const std::vector<world_point2d> route = {at(team0[0], 3000, 0), at(team0[0], 3000, 3000)};
	const int16 holder = action("wpts");
	points(holder, "wayp", route);
	const int16 a = action("move");
	subjects(a, "subj", {team0[0]});
	points(a, "wayp", {own});
	ids(a, "link", {holder});
	flag(a, "clos");
	const int16 b = action("move");
	subjects(b, "subj", {team0[1]});
	ids(b, "link", {holder});

	movement_command_action_proc(a);
	map_action_parameter parameter;
	ASSERT_TRUE(get_map_action_parameter(&parameter, holder, _return_empty_arrays_flag, TAG("wayp"), _parameter_world_point2d));
	EXPECT_EQ(parameter.count, 2) << "the linked holder keeps its route";
	ASSERT_TRUE(get_map_action_parameter(&parameter, a, _dont_resolve_links_flag, TAG("wayp"), _parameter_world_point2d));
	EXPECT_EQ(parameter.count, 1);
	const monster_data *mover = get_monster_data(team0[0]);
	ASSERT_EQ(mover->waypoint_count, 1) << "the order goes to the nearest point alone";
	EXPECT_EQ(mover->waypoints[0].x, own.x);
	movement_command_action_proc(b);
	const monster_data *follower = get_monster_data(team0[1]);
	ASSERT_EQ(follower->waypoint_count, 2);
	EXPECT_EQ(follower->waypoints[1].x, route[1].x);
	EXPECT_EQ(follower->waypoints[1].y, route[1].y);

	// Without a list of its own the lookup finds the holder's, which becomes the nearest point.
	const world_point2d near_point = at(team0[2], 800, 0);
	const int16 shared = action("wpts");
	points(shared, "wayp", {at(team0[2], 9000, 0), near_point});
	const int16 c = action("move");
	subjects(c, "subj", {team0[2]});
	ids(c, "link", {shared});
	flag(c, "clos");
	movement_command_action_proc(c);
	ASSERT_TRUE(get_map_action_parameter(&parameter, shared, 0, TAG("wayp"), _parameter_world_point2d));
	ASSERT_EQ(parameter.count, 1);
	world_point2d kept = {0, 0};
	get_indexed_world_point2d_parameter(shared, TAG("wayp"), &kept, 0);
	EXPECT_EQ(kept.x, near_point.x);
	EXPECT_EQ(get_monster_data(team0[2])->waypoint_count, 1);
}

// 'clos' chooses once: however the units stand on later calls, the order goes
// to the point chosen first, though the action's own list or the lists it
// reaches through 'link' still hold other points. A list written anew (as a
// geometry filter writes one) is chosen from again.
TEST_F(unit_order_procs, closest_waypoint_is_chosen_once_among_own_and_linked_lists)
{
	game_play_version = 1691;
	const auto at = [&](int16 unit, world_distance dx, world_distance dy) {
		const object_data *o = object_of(unit);
		return world_point2d{o->location.position.x + dx, o->location.position.y + dy};
	};
	// Moves the unit's object to a point, returning where it stood.
	const auto stand = [&](int16 unit, world_point2d p) {
		object_data *o = object_of(unit);
		const world_point2d was = {o->location.position.x, o->location.position.y};
		o->location.position.x = p.x;
		o->location.position.y = p.y;
		return was;
	};
	const auto last_waypoint = [](int16 unit) {
		const monster_data *monster = get_monster_data(unit);
		EXPECT_EQ(monster->waypoint_count, 1);
		return monster->waypoints[0];
	};

	// A list of its own and a link: the own point is nearest at first.
	const int16 mover = team0[0];
	const world_point2d own = at(mover, 600, 0);
	const world_point2d far_end = at(mover, 6000, 0);
	const int16 holder = action("wpts");
	points(holder, "wayp", {at(mover, 3000, 3000), far_end});
	const int16 a = action("move");
	subjects(a, "subj", {mover});
	points(a, "wayp", {own});
	ids(a, "link", {holder});
	flag(a, "clos");
	movement_command_action_proc(a);
	EXPECT_EQ(last_waypoint(mover).x, own.x);
	// Standing at the holder's far end, the unit is still sent to its own point.
	// (Not on the point itself: an order to where a unit stands gives it no waypoint.)
	const world_point2d home = stand(mover, {far_end.x - 400, far_end.y});
	movement_command_action_proc(a);
	EXPECT_EQ(last_waypoint(mover).x, own.x) << "chosen again among the linked points";
	map_action_parameter parameter;
	ASSERT_TRUE(get_map_action_parameter(&parameter, holder, 0, TAG("wayp"), _parameter_world_point2d));
	EXPECT_EQ(parameter.count, 2) << "the linked holder keeps its route";
	// Written anew, the own list is chosen from again (with the linked points).
	stand(mover, home);
	const world_point2d fresh[2] = {at(mover, 100, 0), at(mover, 9000, 0)};
	set_unique_map_action_parameter(a, TAG("wayp"), _parameter_world_point2d, 2, fresh);
	movement_command_action_proc(a);
	EXPECT_EQ(last_waypoint(mover).x, fresh[0].x);

	// Two linked lists and none of its own: the first holder's list becomes
	// the point nearest of all (here the second holder's), which stays.
	const int16 walker = team0[2];
	const world_point2d nearest = at(walker, 700, 0), other = at(walker, -5000, 0);
	const int16 first_holder = action("wpts");
	points(first_holder, "wayp", {at(walker, 4000, 0)});
	const int16 second_holder = action("wpts");
	points(second_holder, "wayp", {nearest, other});
	const int16 c = action("move");
	subjects(c, "subj", {walker});
	ids(c, "link", {first_holder, second_holder});
	flag(c, "clos");
	movement_command_action_proc(c);
	EXPECT_EQ(last_waypoint(walker).x, nearest.x);
	const world_point2d walker_home = stand(walker, {other.x + 400, other.y});
	movement_command_action_proc(c);
	EXPECT_EQ(last_waypoint(walker).x, nearest.x) << "chosen again among the second holder's points";
	stand(walker, walker_home);
}

// Lists split over several parameters of one name count whole.
TEST_F(unit_order_procs, point_lists_count_every_parameter_of_their_name)
{
	const world_point2d first_point = {38 * 512 + 256, 74 * 512 + 256}, second_point = {40 * 512 + 256, 74 * 512 + 256};
	const int16 a = action("atta");
	subjects(a, "subj", first(team0, 1));
	points(a, "wayp", {first_point});
	points(a, "wayp", {second_point});
	uint32 seed = 1;
	for (;; ++seed)
	{
		set_random_seed(seed);
		if (zerv_random() & 1) break;
	}
	set_random_seed(seed);
	EXPECT_EQ(attack_command_action_proc(a), 2u);
	EXPECT_EQ(get_monster_data(team0[0])->target_location.x, second_point.x) << "an odd draw takes the second point";

	// Three points and two more: five is over the limit of four.
	const int16 move = action("move");
	subjects(move, "subj", first(team0, 1));
	points(move, "wayp", std::vector<world_point2d>(3, first_point));
	points(move, "wayp", std::vector<world_point2d>(2, second_point));
	EXPECT_EQ(movement_command_action_proc(move), 0u);
	EXPECT_NE(log_text().find("missing or too many waypoint(s) (maximum 4)"), std::string::npos);

	// A polygon of 300 points: its first 256 lie on one line, the whole of it encloses the unit.
	const world_point2d at = {object_of(team0[0])->location.position.x, object_of(team0[0])->location.position.y};
	std::vector<world_point2d> polygon;
	for (int32 i = 0; i < 298; ++i) polygon.push_back({at.x + 1000 - i * 2000 / 297, at.y - 1000});
	polygon.push_back({at.x - 1000, at.y + 1000});
	polygon.push_back({at.x + 1000, at.y + 1000});
	const int16 inside = action("tuni");
	subjects(inside, "subj", first(team0, 1));
	points(inside, "poly", polygon);
	flag(inside, "clpo");
	integer(inside, "___>", 0);
	EXPECT_EQ(test_units_action_proc(inside), static_cast<uint32>(_map_action_proc_succeeded_flag));
}

TEST_F(unit_order_procs, unit_control_values_saturate_and_follow_their_versions)
{
	const std::vector<int16> units = first(team0, 3);
	const int16 c = action("ctrl");
	subjects(c, "subj", units);
	fixed_value(c, "hefr", FIXED_ONE / 2);
	integer(c, "amm+", 500);
	integer(c, "exp+", 400);
	value(c, "held", 1);
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(unit_control_action_proc(c), 2u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	for (int16 i : units)
	{
		const object_data *object = object_of(i);
		EXPECT_EQ(object->vitality, object->maximum_vitality / 2);
		EXPECT_EQ(get_monster_data(i)->ammunition_count, 127);
		EXPECT_EQ(get_monster_data(i)->experience, 255);
		EXPECT_EQ(get_monster_data(i)->action, _monster_action_stoned);
		EXPECT_EQ(get_monster_data(i)->action_permutation, _monster_action_permutation_stoned);
		EXPECT_TRUE(get_monster_data(i)->extra_flags & _monster_immobile_extra_flag);
	}

	// A span draws once per unit; lowering never goes below 1.
	const int16 span = action("ctrl");
	subjects(span, "subj", units);
	add(span, "hefr", _parameter_fixed, 2, std::vector<fixed>{FIXED_ONE / 2, FIXED_ONE}.data());
	fixed_value(span, "lhfr", 1000 * FIXED_ONE);
	value(span, "held", 0);
	unit_control_action_proc(span);
	EXPECT_EQ(zerv_random_draw_count(), draws + units.size());
	for (int16 i : units)
	{
		EXPECT_EQ(object_of(i)->vitality, 1);
		EXPECT_EQ(get_monster_data(i)->action, _monster_action_idle);
	}

	// 'exp+' waits for 1511; 'dnat' alone sets its bit.
	game_play_version = 1510;
	const int16 early = action("ctrl");
	subjects(early, "subj", first(team1, 2));
	integer(early, "exp+", 7);
	value(early, "dnat", 1);
	const uint8 before = get_monster_data(team1[0])->experience;
	unit_control_action_proc(early);
	EXPECT_EQ(get_monster_data(team1[0])->experience, before);
	EXPECT_TRUE(get_monster_data(team1[1])->extra_flags & _monster_does_not_autotarget_extra_flag);
}

// Charges belong to artifacts: a thrown item carried without one keeps its state.
// A span is taken to 8.8 after the subtraction, so one under 1/256 draws nothing.
TEST_F(unit_order_procs, charges_need_an_artifact_and_a_span_under_a_step_draws_nothing)
{
	monster_data *unit = get_monster_data(team0[0]);
	const monster_data saved = *unit;
	object_data *item = object_of(team1[0]);
	const int16 saved_state = item->state;
	item->state = -1;
	unit->carrying_object_index = get_monster_data(team1[0])->object_index;
	unit->artifact_index = NONE;
	const int16 c = action("ctrl");
	subjects(c, "subj", {team0[0]});
	integer(c, "chr+", 5);
	add(c, "hefr", _parameter_fixed, 2, std::vector<fixed>{FIXED_ONE / 2 + 255, FIXED_ONE / 2 + 256}.data());
	const uint32 draws = zerv_random_draw_count();
	unit_control_action_proc(c);
	const int16 without_artifact = item->state;
	const uint32 drawn = zerv_random_draw_count() - draws;
	unit->artifact_index = 0;
	unit_control_action_proc(c);
	const int16 with_artifact = item->state;
	item->state = saved_state;
	*unit = saved;
	EXPECT_EQ(without_artifact, -1);
	EXPECT_EQ(with_artifact, 4);
	EXPECT_EQ(drawn, 0u);
	EXPECT_EQ(object_of(team0[0])->vitality, object_of(team0[0])->maximum_vitality / 2);
}

// A ghost fade reverses where it stands; a phase beyond the period starts the new fade at its end.
TEST_F(unit_order_procs, ghost_fades_continue_from_the_mirrored_phase)
{
	object_data *a = object_of(team0[0]);
	object_data *b = object_of(team0[1]);
	a->transfer_mode = _transfer_mode_transparent_disappearing;
	a->transfer_phase = 10;
	b->transfer_mode = _transfer_mode_transparent_disappearing;
	b->transfer_phase = 50;
	const int16 c = action("ctrl");
	subjects(c, "subj", first(team0, 2));
	value(c, "onii", 1);
	unit_control_action_proc(c);
	EXPECT_EQ(a->transfer_mode, _transfer_mode_transparent_appearing);
	EXPECT_EQ(a->transfer_period, 30);
	EXPECT_EQ(a->transfer_phase, 20);
	EXPECT_EQ(b->transfer_phase, 0);
}

// 'heig' raises the marker without a draw for equal values, and the shown unit keeps the height.
TEST_F(unit_order_procs, a_raised_marker_gives_the_shown_unit_its_height)
{
	marker_data *marker = get_marker_by_identifier(_marker_monster, 47);
	ASSERT_NE(marker, nullptr);
	const world_distance z = marker->location.position.z;
	const int16 c = action("ctrl");
	const int16 marker_identifier = 47;
	add(c, "subj", _parameter_monster_identifier, 1, &marker_identifier);
	add(c, "heig", _parameter_world_distance, 2, std::vector<int32>{300, 300}.data());
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(unit_control_action_proc(c), 2u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(marker->location.position.z, z + 300);
	const int16 show = action("ctrl");
	add(show, "subj", _parameter_monster_identifier, 1, &marker_identifier);
	add(show, "heig", _parameter_world_distance, 1, std::vector<int32>{0}.data());
	flag(show, "visi");
	unit_control_action_proc(show);
	const monster_data *monster = get_monster_data(marker->data_index);
	ASSERT_NE(monster, nullptr);
	EXPECT_FALSE(monster->extra_flags & _monster_is_invisible_extra_flag);
	const world_point2d p = {marker->location.position.x, marker->location.position.y};
	EXPECT_EQ(monster->height_over_mesh, z + 300 - get_mesh_height(&p, _true_height));
}

// 'rein' announces each shown unit of the local team, the queue keeping one.
TEST_F(unit_order_procs, new_units_are_announced_for_each_shown_local_unit)
{
	const int16 local = player_globals.local_player_team_index;
	ASSERT_TRUE(local == 0 || local == 1);
	const std::vector<int16> &ours = local == 0 ? team0 : team1;
	const std::vector<int16> &theirs = local == 0 ? team1 : team0;
	reset_game_sounds_test_hooks();
	get_game_sounds_test_hooks()->ignore_mute = TRUE;
	int16 queued[MAXIMUM_SOUND_QUEUE_SIZE];
	const int16 before = get_queued_game_sounds(queued, MAXIMUM_SOUND_QUEUE_SIZE);
	const int16 c = action("ctrl");
	subjects(c, "subj", {ours[0], theirs[0], ours[1]});
	flag(c, "visi");
	flag(c, "rein");
	unit_control_action_proc(c);
	const int32 calls = get_game_sounds_test_hooks()->queue_calls[_game_sound_new_units_received];
	const int16 after = get_queued_game_sounds(queued, MAXIMUM_SOUND_QUEUE_SIZE);
	reset_game_sounds_test_hooks();
	EXPECT_EQ(calls, 2);
	ASSERT_EQ(after, before + 1);
	EXPECT_EQ(queued[after - 1], _game_sound_new_units_received);
}

TEST_F(unit_order_procs, elimination_returns_before_the_later_steps)
{
	const int16 c = action("ctrl");
	subjects(c, "subj", first(team1, 2));
	flag(c, "elim");
	integer(c, "ammo", 99);
	EXPECT_EQ(unit_control_action_proc(c), 2u);
	const monster_data *monster = get_monster_data(team1[0]);
	if (monster) { EXPECT_NE(monster->ammunition_count, 99); }
}

} // namespace

namespace {

// The floating text table: a slot per text, freed when its timer runs out.
TEST_F(unit_order_procs, floating_texts_hold_a_slot_until_their_timer_ends)
{
	const int16 c = action("ctrl");
	subjects(c, "subj", first(team0, 1));
	const field_tag unknown = TAG("zzzz");
	add(c, "otxt", _parameter_field_name, 1, &unknown);
	EXPECT_EQ(unit_control_action_proc(c), 2u);
	EXPECT_NE(log_text().find("invalid string list tag"), std::string::npos);

	overhead_text_data text = {};
	text.monster_index = team0[0];
	text.timer = 2;
	const uint64 digest = zerv_state_digest();
	const int16 slot = new_overhead_text(&text);
	ASSERT_NE(slot, NONE);
	EXPECT_EQ(get_overhead_text_data(slot)->monster_index, team0[0]);
	update_overhead_text();
	EXPECT_NE(get_overhead_text_data(slot), nullptr);
	update_overhead_text();
	EXPECT_EQ(get_overhead_text_data(slot), nullptr);
	EXPECT_EQ(zerv_state_digest(), digest); // machine-local
}

} // namespace

namespace {

// A charm takes a defender of a kind the attacker's player fields, from 1511 on.
TEST_F(unit_order_procs, a_charm_changes_the_defenders_owner_from_1511)
{
	int16 defender = NONE;
	for (int16 d : team1)
		for (int16 a : team0)
			if (defender == NONE && get_monster_data(d)->orig_type == get_monster_data(a)->type) defender = d;
	ASSERT_NE(defender, NONE) << "no kind on both sides";
	const int16 c = action("atta");
	subjects(c, "subj", first(team0, 1));
	subjects(c, "obje", {defender});
	flag(c, "chrm");
	game_play_version = 1510;
	EXPECT_EQ(attack_command_action_proc(c), 2u);
	EXPECT_EQ(get_monster_data(defender)->owner_team_index, 1);
	game_play_version = 1511;
	EXPECT_EQ(attack_command_action_proc(c), 2u);
	EXPECT_EQ(get_monster_data(defender)->owner_player_index, get_monster_data(team0[0])->owner_player_index);
}

} // namespace
