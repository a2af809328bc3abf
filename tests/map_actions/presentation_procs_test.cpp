// The presentation procedures: scripted camera moves, sounds, ambient volumes,
// fades, lightning, weather and local groups, on 'demo'.
#include "map_actions/map_actions_test_support.h"

#include "interface.h"
#include "map_actions/presentation_action_procs.h"
#include "markers.h"
#include "objects.h"
#include "observer.h"
#include "projectiles.h"
#include "sound/sound_manager.h"

namespace {

class presentation_procs : public map_actions_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		reset_map_actions_test_hooks();
		reset_monsters_test_hooks();
		saved_version = game_play_version;
		set_camera_control_flags(0);
		place_camera({0, 0}, 0);
	}

	void TearDown() override
	{
		set_camera_control_flags(0);
		map_actions_fixture::TearDown();
		game->game_time = 0;
	}

	static void place_camera(world_point2d where, angle yaw, fixed zoom = FIXED_ONE)
	{
		observer_location location = {where, yaw, 0};
		set_actual_observer_location_and_zoom(&location, &zoom);
	}

	static observer_location camera(void)
	{
		observer_location location;
		get_observer_location(&location);
		return location;
	}

	static int16 camera_move(world_point2d destination, angle facing)
	{
		const int16 move = action("obmo");
		integer(move, "mode", 1);
		add(move, "dest", _parameter_world_point2d, 1, &destination);
		add(move, "faci", _parameter_angle, 1, &facing);
		return move;
	}

	// Runs the camera control until the move gives the camera back; the ticks taken.
	static int32 run_camera(int32 limit = 5000)
	{
		int32 ticks = 0;
		while ((get_camera_control_flags() & _camera_controlled_by_map_actions_flag) && ticks < limit)
		{
			handle_map_action_camera_control();
			++ticks;
		}
		return ticks;
	}

	static std::vector<int16> unit_identifiers(int16 team, int16 count)
	{
		std::vector<int16> identifiers;
		for (int16 i = 0; i < monster_array.count && static_cast<int16>(identifiers.size()) < count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_team_index == team) identifiers.push_back(monster->identifier);
		}
		return identifiers;
	}

	static void subjects(int16 index, const std::vector<int16> &identifiers)
	{
		add(index, "subj", _parameter_monster_identifier, static_cast<int32>(identifiers.size()), identifiers.data());
	}

	static int32 sound_plays(void)
	{
		return least_call_count(&get_sound_manager_test_hooks()->calls, "play_sound_with_flags");
	}
};

TEST_F(presentation_procs, camera_moves_take_their_steps_and_give_the_camera_back)
{
	// 1024 units with the defaults: 32 steps, 33 ticks, origin first.
	EXPECT_EQ(observer_movement_action_proc(camera_move({1024, 0}, 0)), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(get_camera_control_flags(), static_cast<uint32>(_camera_controlled_by_map_actions_flag));
	EXPECT_EQ(observer_action_globals.interpolant_count, 32);
	handle_map_action_camera_control();
	EXPECT_EQ(camera().position.x, 0);
	handle_map_action_camera_control();
	EXPECT_EQ(camera().position.x, 32);
	EXPECT_EQ(run_camera() + 2, 33);
	EXPECT_EQ(camera().position.x, 1024);
	EXPECT_EQ(get_camera_control_flags(), 0u);

	// A 'time' too short jumps: origin, then destination.
	place_camera({0, 0}, 0);
	const int16 jump = camera_move({1280, 0}, 0);
	fixed_value(jump, "time", FIXED_ONE);
	observer_movement_action_proc(jump);
	EXPECT_EQ(observer_action_globals.interpolant_count, 1);
	EXPECT_EQ(run_camera(), 2);
	EXPECT_EQ(camera().position.x, 1280);

	// Far moves count in shifted units: 20000 >> 3 = 2500 at 32 >> 3.
	place_camera({0, 0}, 0);
	observer_movement_action_proc(camera_move({20000, 0}, 0));
	EXPECT_EQ(observer_action_globals.interpolant_count, 625);

	// A half turn keeps the camera's yaw; a quarter turn gets there the short way.
	place_camera({0, 0}, 100);
	observer_movement_action_proc(camera_move({0, 0}, static_cast<angle>(100 + HALF_CIRCLE)));
	run_camera();
	EXPECT_EQ(camera().yaw, 100);
	place_camera({0, 0}, 1000);
	observer_movement_action_proc(camera_move({0, 0}, static_cast<angle>(1000 - 16384)));
	EXPECT_EQ(observer_action_globals.interpolant_count, 32);
	handle_map_action_camera_control();
	handle_map_action_camera_control();
	EXPECT_EQ(camera().yaw, 1000 - 512);
	run_camera();
	EXPECT_EQ(camera().yaw, static_cast<angle>(1000 - 16384));

	// An angular step of 0 counts one step rather than dividing by it.
	place_camera({0, 0}, 0);
	const int16 no_step = camera_move({0, 0}, 0x2000);
	integer(no_step, "angu", 0);
	observer_movement_action_proc(no_step);
	EXPECT_EQ(observer_action_globals.interpolant_count, 1);
	run_camera();

	// 'drco' keeps the camera; 'maxz' reaches half the zoom.
	place_camera({0, 0}, 0);
	const int16 keep = camera_move({64, 0}, 0);
	flag(keep, "drco");
	flag(keep, "maxz");
	observer_movement_action_proc(keep);
	EXPECT_EQ(run_camera(100), 100);
	EXPECT_EQ(get_observer_zoom_factor(), 32769);
	EXPECT_EQ(get_camera_control_flags(), static_cast<uint32>(_camera_controlled_by_map_actions_flag));
}

TEST_F(presentation_procs, camera_failures_subjects_replays_and_zoom_conversions)
{
	const int16 missing = action("obmo");
	set_camera_control_flags(_camera_controlled_by_map_actions_flag);
	EXPECT_EQ(observer_movement_action_proc(missing), 0u);
	EXPECT_EQ(get_camera_control_flags(), 0u);

	// Subjects must resolve to exactly one unit.
	const std::vector<int16> two = unit_identifiers(0, 2);
	const int16 pair = action("obmo");
	integer(pair, "mode", 1);
	subjects(pair, two);
	EXPECT_EQ(observer_movement_action_proc(pair), 0u);
	const int16 one = action("obmo");
	integer(one, "mode", 1);
	subjects(one, {two[0]});
	EXPECT_EQ(observer_movement_action_proc(one), static_cast<uint32>(_map_action_proc_succeeded_flag));
	run_camera();
	int16 index = NONE;
	monster_identifiers_to_monster_indexes(&two[0], &index, 1);
	const world_point2d unit = {get_object_data(get_monster_data(index)->object_index)->location.position.x,
		get_object_data(get_monster_data(index)->object_index)->location.position.y};
	const observer_location placed = camera();
	EXPECT_NEAR(distance2d(&placed.position, &unit), DESIRED_CAMERA_DISTANCE, 2);

	// A film validates alike and leaves the camera alone; it still shakes.
	const int16 saved_type = game->type;
	game->type = _game_type_replay;
	set_camera_control_flags(0);
	place_camera({0, 0}, 0);
	const int16 shake = camera_move({512, 0}, 0);
	flag(shake, "shak");
	EXPECT_EQ(observer_movement_action_proc(shake), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(observer_movement_action_proc(missing), 0u);
	game->type = saved_type;
	EXPECT_EQ(get_camera_control_flags(), 0u);
	EXPECT_EQ(camera().position.x, 0);
	EXPECT_EQ(get_observer_test_hooks()->shake_amount, EARTHQUAKE_DEFAULT_SHAKE_AMOUNT);
	EXPECT_EQ(get_observer_test_hooks()->shake_duration, EARTHQUAKE_DEFAULT_SHAKE_DURATION);

	for (fixed m : {32768, 40000, 65536, 98304, 131072}) EXPECT_EQ(script_zoom_to_camera_zoom(camera_zoom_to_script_zoom(m)), m);
	EXPECT_EQ(script_zoom_to_camera_zoom(-65535), 32769);
	EXPECT_EQ(camera_zoom_to_script_zoom(32769), -65534);
}

TEST_F(presentation_procs, sounds_fades_ambient_volumes_weather_and_groups)
{
	// 'soun' without subjects plays for the whole screen.
	const int16 plain = action("soun");
	const int32 sound = 3;
	add(plain, "soun", _parameter_sound_tag, 1, &sound);
	int32 plays = sound_plays();
	EXPECT_EQ(sound_action_proc(plain), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(sound_plays(), plays + 1);
	EXPECT_EQ(least_call_argument(&get_sound_manager_test_hooks()->calls, "play_sound_with_flags", 2), 0);

	// On the nearest visible subject; a NONE owner marks nothing for 'team'.
	const std::vector<int16> ours = unit_identifiers(0, 3);
	const int16 on_units = action("soun");
	add(on_units, "soun", _parameter_sound_tag, 1, &sound);
	subjects(on_units, ours);
	plays = sound_plays();
	sound_action_proc(on_units);
	EXPECT_EQ(sound_plays(), plays + 1);
	EXPECT_NE(least_call_argument(&get_sound_manager_test_hooks()->calls, "play_sound_with_flags", 2), 0);
	const int16 team_only = action("soun");
	add(team_only, "soun", _parameter_sound_tag, 1, &sound);
	subjects(team_only, unit_identifiers(1, 3));
	flag(team_only, "team");
	plays = sound_plays();
	EXPECT_EQ(sound_action_proc(team_only), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(sound_plays(), plays) << "not the local team";
	// Without a local team (team NONE) nothing is marked, even on its own units.
	const int16 own = action("soun");
	add(own, "soun", _parameter_sound_tag, 1, &sound);
	subjects(own, ours);
	flag(own, "team");
	const int16 local_team = player_globals.local_player_team_index;
	player_globals.local_player_team_index = NONE;
	sound_action_proc(own);
	// Nor by a subject that belongs to no team.
	int16 first_unit = NONE;
	monster_identifiers_to_monster_indexes(&ours[0], &first_unit, 1);
	ASSERT_NE(first_unit, NONE);
	const int16 owner = get_monster_data(first_unit)->owner_team_index;
	get_monster_data(first_unit)->owner_team_index = NONE;
	sound_action_proc(own);
	get_monster_data(first_unit)->owner_team_index = owner;
	player_globals.local_player_team_index = local_team;
	EXPECT_EQ(sound_plays(), plays);
	sound_action_proc(own);
	EXPECT_EQ(sound_plays(), plays + 1) << "the local team's own units";
	plays = sound_plays();
	game_play_version = 1510;
	sound_action_proc(team_only);
	EXPECT_EQ(sound_plays(), plays + 1) << "before 1511 'team' is not read";

	// 'ambi': texts for what is missing; 1.0 is 256, 2.0 seconds 60 ticks, held at 16 bits.
	marker_data marker = {};
	marker.identifier = 777;
	marker.location.position = {4096, 4096, 0};
	new_sound_source(&marker);
	const int16 ambient = action("ambi");
	EXPECT_EQ(ambient_sound_action_proc(ambient), 0u);
	const int16 twelve = 777;
	add(ambient, "subj", _parameter_sound_source_identifier, 1, &twelve);
	EXPECT_EQ(ambient_sound_action_proc(ambient), 0u);
	fixed_value(ambient, "volu", FIXED_ONE);
	EXPECT_EQ(ambient_sound_action_proc(ambient), 0u);
	fixed_value(ambient, "dura", 2 * FIXED_ONE);
	ambient_sound_action_proc(ambient);
	const std::string log = log_text();
	EXPECT_NE(log.find("missing sound source identifier list"), std::string::npos);
	EXPECT_NE(log.find("missing volume"), std::string::npos);
	EXPECT_NE(log.find("missing fade duration"), std::string::npos);
	const ambient_sound_source_data *source = get_ambient_sound_source(get_ambient_sound_source_count() - 1);
	EXPECT_EQ(source->target_volume, 256);
	EXPECT_EQ(source->ticks, 60);
	const int16 loud = action("ambi");
	add(loud, "subj", _parameter_sound_source_identifier, 1, &twelve);
	fixed_value(loud, "volu", 200 * FIXED_ONE);
	fixed_value(loud, "dura", 4000 * FIXED_ONE);
	ambient_sound_action_proc(loud);
	EXPECT_EQ(source->target_volume, 32767);
	EXPECT_EQ(source->ticks, 32767);

	// 'fade' with two colours is black, and counts down.
	const int16 fade = action("fade");
	EXPECT_EQ(ingame_fade_action_proc(fade), 0u);
	integer(fade, "dura", 60);
	const int32 colours[2] = {65535, 65535};
	add(fade, "colr", _parameter_integer, 2, colours);
	EXPECT_EQ(ingame_fade_action_proc(fade), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(get_ingame_fade()->color.red, 0);
	EXPECT_EQ(get_ingame_fade_opacity(), 65535);
	for (int i = 0; i < 30; ++i) update_ingame_fades();
	EXPECT_NEAR(get_ingame_fade_opacity(), 32767, 2);
	for (int i = 0; i < 30; ++i) update_ingame_fades();
	EXPECT_EQ(get_ingame_fade_opacity(), 0);

	// 'part' does something only when asked.
	const int16 weather = action("part");
	EXPECT_EQ(particle_system_action_proc(weather), 0u);
	fixed_value(weather, "mult", 2 * FIXED_ONE);
	EXPECT_EQ(particle_system_action_proc(weather), static_cast<uint32>(_map_action_proc_succeeded_flag));

	// 'lpgr' with no live group succeeds without touching anything.
	const int16 groups = action("lpgr");
	const int16 group = 951;
	add(groups, "grou", _parameter_local_projectile_group_identifier, 1, &group);
	flag(groups, "_off");
	EXPECT_EQ(local_projectile_group_action_proc(groups), static_cast<uint32>(_map_action_proc_succeeded_flag));
}

TEST_F(presentation_procs, lightning_strikes_the_nearest_subject_strictly_inside_its_radius)
{
	const std::vector<int16> theirs = unit_identifiers(1, 5);
	ASSERT_EQ(theirs.size(), 5u);
	int16 first = NONE;
	monster_identifiers_to_monster_indexes(&theirs[0], &first, 1);
	const world_point3d at = get_object_data(get_monster_data(first)->object_index)->location.position;
	marker_data marker = {};
	marker.identifier = 778;
	marker.location.position = {at.x + 100, at.y, at.z};
	new_sound_source(&marker);

	const int16 strike = action("ligh");
	EXPECT_EQ(lightning_action_proc(strike), 0u);
	EXPECT_NE(log_text().find("no subjects found!"), std::string::npos);
	subjects(strike, theirs);
	const int16 forty = 778;
	add(strike, "soun", _parameter_sound_source_identifier, 1, &forty);
	const int32 radius = 100;
	add(strike, "radi", _parameter_world_distance, 1, &radius);
	const int32 bolt = 0;
	add(strike, "proj", _parameter_projectile_tag, 1, &bolt);
	const int16 before = projectile_array.total_count;
	EXPECT_EQ(lightning_action_proc(strike), 0u);
	ASSERT_EQ(projectile_array.total_count, before + 1);
	// Exactly at the radius is not inside: no target.
	int16 newest = NONE;
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		if (get_projectile_data(i)) newest = i;
	}
	ASSERT_NE(newest, NONE);
	EXPECT_EQ(get_projectile_data(newest)->target_monster_index, NONE);
	const int32 wider = 101;
	ASSERT_TRUE(set_unique_map_action_parameter(strike, TAG("radi"), _parameter_world_distance, 1, &wider));
	EXPECT_EQ(lightning_action_proc(strike), 0u);
	int16 strikes = 0;
	for (int16 i = 0; i < projectile_array.count; ++i)
	{
		const projectile_data *projectile = get_projectile_data(i);
		if (projectile && projectile->target_monster_index == first) ++strikes;
	}
	EXPECT_EQ(strikes, 1);
}

} // namespace
