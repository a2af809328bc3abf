// Objects: the array and its capacities, the cell chains through creation,
// deletion, duplication and replacement, shape animation and its draws, the
// renderer's view choice and the ray query.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "objects_test_support.h"

#include "object_animation.h"
#include "sound/sound_manager.h"

namespace {

class objects_on_a_map : public objects_test_map {};

TEST_F(objects_on_a_map, capacity_follows_the_version_and_is_restored)
{
	game_play_version = 1300;
	initialize_objects_for_new_map();
	for (int32 i = 0; i < MAXIMUM_OBJECTS_PER_MAP_13; ++i) ASSERT_NE(make_object(2000 + i, 2000, 0, false), NONE);
	EXPECT_EQ(make_object(2000, 2000, 0, false), NONE);

	game_play_version = 1720;
	initialize_objects_for_new_map();
	ASSERT_TRUE(map.load()); // fresh chains, as a new map has
	EXPECT_EQ(object_array.total_count, 0);
	for (int32 i = 0; i < MAXIMUM_OBJECTS_PER_MAP; ++i) ASSERT_NE(make_object(2000 + i, 2000, 0, false), NONE);
	EXPECT_EQ(make_object(2000, 2000, 0, false), NONE);
	EXPECT_EQ(chained_objects().size(), static_cast<size_t>(MAXIMUM_OBJECTS_PER_MAP));
}

TEST_F(objects_on_a_map, creation_clamps_links_and_draws_only_for_a_delta)
{
	new_object_data data = {};
	data.type = NONE;
	data.scale = 256;
	data.location.position = {-50, 1000000, 7};
	data.collection_index = NONE;
	const uint32 draws = zerv_random_draw_count();
	const int16 a = new_object(&data);
	ASSERT_NE(a, NONE);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(data.location.position.x, 0);
	EXPECT_EQ(data.location.position.y, map.height() * 512 - 1);
	const object_data *object = get_object_data(a);
	EXPECT_TRUE(object->flags & _object_is_invisible_flag);
	EXPECT_EQ(object->shape_collection_index, NO_SHAPE_INDEX);
	EXPECT_EQ(object->parasitic_object_index, NONE);
	EXPECT_EQ(object->vitality, 256);
	EXPECT_EQ(chain_of_cell(0, map.height() - 1), std::vector<int16>{a});

	// A definition with a random vitality takes exactly one draw.
	object_definition definition = *get_default_object_definition();
	definition.maximum_vitality_delta = 100;
	data.type = new_definition(get_object_definitions(), TAG("vita"), &definition);
	ASSERT_NE(data.type, NONE);
	const int16 b = new_object(&data);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	EXPECT_EQ(chain_of_cell(0, map.height() - 1), (std::vector<int16>{b, a}));
}

TEST_F(objects_on_a_map, deletion_duplication_and_replacement_keep_the_chains_sound)
{
	const int16 host = make_object(5000, 5000, 0);
	const int16 parasite = make_object(5000, 5000, 0);
	const int16 other = make_object(5000, 5000, 0);
	add_parasitic_object(host, parasite);
	EXPECT_TRUE(get_object_data(parasite)->flags & _object_has_no_shadow_flag);
	EXPECT_EQ(chain_of_cell(9, 9), (std::vector<int16>{other, host}));

	// Deleting the host takes its parasite along.
	delete_object(host);
	EXPECT_EQ(get_object_data(host), nullptr);
	EXPECT_EQ(get_object_data(parasite), nullptr);
	EXPECT_EQ(chained_objects(), std::vector<int16>{other});

	// A duplicate follows its source, without selection, highlights or parasite.
	const int16 first = make_object(6000, 6000, 0);
	get_object_data(first)->flags |= _object_is_selected_flag | _object_is_mouseover_highlighted_flag |
		_object_is_attack_highlighted_flag | _object_is_horizontally_mirrored_flag;
	const int16 second = make_object(6000, 6000, 0);
	const int16 copy = duplicate_object(first);
	ASSERT_NE(copy, NONE);
	EXPECT_EQ(chain_of_cell(11, 11), (std::vector<int16>{second, first, copy}));
	const uint32 flags = get_object_data(copy)->flags;
	EXPECT_FALSE(flags & (_object_is_selected_flag | _object_is_mouseover_highlighted_flag | _object_is_attack_highlighted_flag));
	EXPECT_TRUE(flags & _object_is_horizontally_mirrored_flag);
	EXPECT_NE(get_object_data(copy)->identifier, get_object_data(first)->identifier);

	// Replacement keeps the old index, frees the new one and both parasites.
	const int16 old_parasite = make_object(6000, 6000, 0);
	add_parasitic_object(first, old_parasite);
	const int16 replacement = make_object(9000, 9500, 0);
	const int16 new_parasite = make_object(9000, 9500, 0);
	add_parasitic_object(replacement, new_parasite);
	const int16 old_identifier = get_object_data(first)->identifier;
	replace_object(first, replacement);
	ASSERT_NE(get_object_data(first), nullptr);
	EXPECT_EQ(get_object_data(first)->identifier, old_identifier);
	EXPECT_EQ(get_object_data(first)->location.position.x, 9000);
	EXPECT_EQ(get_object_data(replacement), nullptr);
	EXPECT_EQ(get_object_data(old_parasite), nullptr);
	EXPECT_EQ(get_object_data(new_parasite), nullptr);
	EXPECT_EQ(chain_of_cell(17, 18), std::vector<int16>{first});
	for (int16 index : chained_objects()) EXPECT_NE(get_object_data(index), nullptr) << index;

	// A full relink chains each cell from the highest index down.
	reconnect_objects_to_mesh();
	EXPECT_EQ(chain_of_cell(11, 11), (std::vector<int16>{copy, second}));
}

TEST_F(objects_on_a_map, shape_draws_come_in_order_and_survive_empty_sequences)
{
	const int16 index = make_object(5000, 5000, 0);
	set_random_seed(1);
	const uint32 draws = zerv_random_draw_count();
	set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 15, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 4);
	const object_data *object = get_object_data(index);
	EXPECT_EQ(object->shape_view_index, 0);
	EXPECT_EQ(object->shape_frame_index, 0);
	EXPECT_EQ(object->shape_phase, 1);
	EXPECT_EQ(object->transfer_phase, 5);
	EXPECT_EQ(object->transfer_period, 10);
	const sequence_data *walking = get_sequence(collection_index, _test_walking_sequence);
	EXPECT_EQ(object->radius, walking->world_radius);
	EXPECT_EQ(object->height1, walking->world_height1);
	EXPECT_FALSE(object->flags & _object_is_invisible_flag);

	// The same sequence again draws nothing unless asked.
	set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 15, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 5); // the transfer phase only
	// No views and no frames: the draws are still taken, the results 0.
	set_object_shape(index, _test_empty_sequence, 256, _transfer_mode_none, 0, 15 | _ignore_duplicate_sequences_flag, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 9);
	EXPECT_EQ(object->shape_view_index, 0);
	EXPECT_EQ(object->shape_frame_index, 0);

	// Rates that would wrap an 8-bit field are held at 127.
	set_object_shape(index, _test_slow_sequence, 512, _transfer_mode_none, 0, 0, FALSE);
	EXPECT_EQ(object->shape_ticks_per_frame, 127);
	EXPECT_EQ(object->transfer_period, 127);

	set_object_shape(index, NONE, 256, _transfer_mode_none, 0, 0, FALSE);
	EXPECT_TRUE(object->flags & _object_is_invisible_flag);
	EXPECT_EQ(object->shape_sequence_index, _test_slow_sequence);
}

TEST_F(objects_on_a_map, animation_loops_both_ways_and_runs_transfers)
{
	const int16 index = make_object(5000, 5000, 0);
	set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 0, FALSE);
	object_data *object = get_object_data(index);
	std::vector<int32> frames;
	int32 key_frames = 0, last_frames = 0;
	for (int32 tick = 1; tick <= 15; ++tick)
	{
		animate_object(index);
		if (object->flags & _object_animation_new_frame_flag) frames.push_back(object->shape_frame_index);
		if (object->flags & _object_animation_key_frame_flag) key_frames += 1;
		if (object->flags & _object_animation_last_frame_flag) last_frames += 1;
	}
	EXPECT_EQ(frames, (std::vector<int32>{1, 2, 3, 4, 1}));
	EXPECT_EQ(key_frames, 1);
	EXPECT_EQ(last_frames, 1);

	object->flags |= _object_animates_backwards_flag;
	object->shape_frame_index = 0;
	object->shape_phase = 2;
	animate_object(index);
	EXPECT_EQ(object->shape_frame_index, 4);
	EXPECT_TRUE(object->flags & _object_animation_last_frame_flag);

	// Appearing turns into the cycle; disappearing holds; others finish.
	object->transfer_mode = _transfer_mode_transparent_appearing;
	object->transfer_period = 2;
	object->transfer_phase = 2;
	animate_object(index);
	EXPECT_EQ(object->transfer_mode, _transfer_mode_transparent_cycle);
	EXPECT_EQ(object->transfer_period, ((index * 81) & 63) + 60);
	object->transfer_mode = _transfer_mode_transparent_disappearing;
	object->transfer_phase = object->transfer_period;
	animate_object(index);
	EXPECT_EQ(object->transfer_phase, object->transfer_period);
	EXPECT_FALSE(object->flags & _object_animation_transfer_mode_finished_flag);
	object->transfer_mode = _transfer_mode_shrink_out;
	animate_object(index);
	EXPECT_EQ(object->transfer_phase, 0);
	EXPECT_TRUE(object->flags & _object_animation_transfer_mode_finished_flag);

	// The longest period finishes too: 127 at tick 128, 126 at tick 127.
	for (const int8 period : {int8{127}, int8{126}})
	{
		object->transfer_mode = _transfer_mode_shrink_out;
		object->transfer_period = period;
		object->transfer_phase = 0;
		int32 finished_at = 0;
		for (int32 tick = 1; tick <= 200 && !finished_at; ++tick)
		{
			animate_object(index);
			if (object->flags & _object_animation_transfer_mode_finished_flag) finished_at = tick;
		}
		EXPECT_EQ(finished_at, period + 1) << "period " << int32{period};
	}
	// A fade-out of 127 holds at its end.
	object->transfer_mode = _transfer_mode_transparent_disappearing;
	object->transfer_phase = 0;
	object->transfer_period = 127;
	for (int32 tick = 0; tick < 200; ++tick) animate_object(index);
	EXPECT_EQ(object->transfer_phase, 127);
}

// The animation step as first written, one branch after another; the sounds
// it would play (their indexes) are listed instead.
static void plain_animation_step(int16 object_index, object_data *object, std::vector<int16> *sounds)
{
	if (object->flags & _object_is_invisible_flag) return;
	auto play = [&](const sequence_data *sequence, int16 which) {
		if (sequence->sound_indexes[which] != NONE) sounds->push_back(sequence->sound_indexes[which]);
	};
	uint32 results = 0;
	const int16 collection = object->shape_collection_index == NO_SHAPE_INDEX ? NONE : object->shape_collection_index;
	const int16 sequence_index = object->shape_sequence_index == NO_SHAPE_INDEX ? NONE : object->shape_sequence_index;
	const sequence_data *sequence = collection == NONE || sequence_index == NONE ? nullptr : get_sequence(collection, sequence_index);
	if (sequence && object->shape_ticks_per_frame >= 1)
	{
		if (object->shape_phase == 0 && object->shape_frame_index == 0) play(sequence, 0);
		object->shape_phase = object->shape_phase >= object->shape_ticks_per_frame ? 1
			: static_cast<int8>(object->shape_phase + 1);
		if (object->shape_phase == object->shape_ticks_per_frame)
		{
			int32 frame = object->shape_frame_index;
			const int32 frames = sequence->frames_per_view;
			if (object->flags & _object_animates_backwards_flag)
			{
				frame -= 1;
				results |= _object_animation_new_frame_flag;
				if (frame < 0)
				{
					frame = MAX(frames - 1, 0);
					results |= _object_animation_last_frame_flag;
				}
			}
			else
			{
				frame += 1;
				results |= _object_animation_new_frame_flag;
				if (frame >= frames)
				{
					frame = sequence->loop_frame;
					results |= _object_animation_last_frame_flag;
				}
			}
			object->shape_frame_index = static_cast<int8>(frame);
			if (results & _object_animation_last_frame_flag) play(sequence, 2);
			if (frame == sequence->key_frame)
			{
				results |= _object_animation_key_frame_flag;
				play(sequence, 1);
			}
		}
	}
	if (object->transfer_mode != _transfer_mode_none)
	{
		const int32 phase = object->transfer_phase + 1;
		object->transfer_phase = static_cast<int8>(phase);
		if (phase > object->transfer_period)
		{
			switch (object->transfer_mode)
			{
			case _transfer_mode_transparent_disappearing:
				object->transfer_phase = object->transfer_period;
				break;
			case _transfer_mode_transparent_appearing:
				object->transfer_mode = _transfer_mode_transparent_cycle;
				object->transfer_period = static_cast<int8>(((object_index * 81) & 63) + 60);
				object->transfer_phase = 0;
				break;
			default:
				results |= _object_animation_transfer_mode_finished_flag;
				object->transfer_phase = 0;
				break;
			}
		}
	}
	object->flags = (object->flags & ~static_cast<uint32>(_object_animation_flags)) | results;
}

// The inline step (and both calls that reach it) against the plain one over
// random records, sequences and sounds: the same record, the same sounds in
// the same order.
TEST_F(objects_on_a_map, the_inline_animation_step_matches_the_plain_one)
{
	const int16 index = make_object(5000, 5000, 0);
	set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 0, FALSE);
	object_data *object = get_object_data(index);
	sequence_data *walking = get_sequence(collection_index, _test_walking_sequence);
	least_call_log *calls = &get_sound_manager_test_hooks()->calls;
	std::mt19937 random(7);
	auto small_or_any = [&](int32 low, int32 high) {
		return static_cast<int8>(random() & 1 ? low + static_cast<int32>(random() % (high - low + 1)) : static_cast<int8>(random()));
	};
	const uint32 flag_bits = _object_is_invisible_flag | _object_animates_backwards_flag | _object_animation_flags |
		_object_wholly_under_media_flag | _object_is_solid_flag;
	int32 sounds_played = 0, fast_steps = 0;
	for (int32 n = 0; n < 400000; ++n)
	{
		walking->frames_per_view = static_cast<int16>(random() % 7);
		walking->loop_frame = static_cast<int16>(static_cast<int32>(random() % 8) - 1);
		walking->key_frame = static_cast<int16>(static_cast<int32>(random() % 8) - 1);
		for (int16 &sound : walking->sound_indexes) sound = random() % 3 ? static_cast<int16>(NONE) : static_cast<int16>(100 + random() % 50);
		const uint32 shape = random() % 16;
		object->shape_sequence_index = shape < 12 ? _test_walking_sequence : shape < 13 ? _test_empty_sequence
			: shape < 14 ? _test_slow_sequence : shape < 15 ? 7 : NO_SHAPE_INDEX;
		object->shape_collection_index = random() % 64 ? static_cast<uint8>(collection_index) : NO_SHAPE_INDEX;
		object->flags = (object->flags & ~flag_bits) | (static_cast<uint32>(random()) & flag_bits);
		if (random() % 4) object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
		object->shape_phase = small_or_any(-1, 5);
		object->shape_ticks_per_frame = small_or_any(-1, 5);
		object->shape_frame_index = small_or_any(-1, 7);
		object->transfer_mode = static_cast<int8>(random() % 9);
		object->transfer_phase = small_or_any(-1, 4);
		object->transfer_period = small_or_any(-1, 4);

		object_data expected = *object;
		std::vector<int16> sounds;
		plain_animation_step(index, &expected, &sounds);
		const bool fast = !(object->flags & _object_is_invisible_flag) && kept_object_sequence(object);
		fast_steps += fast;
		clear_least_call_log(calls);
		switch (n % 3)
		{
		case 0: animate_object_record_inline(index, object); break;
		case 1: animate_object(index); break;
		default: animate_object_record(index, object); break;
		}
		ASSERT_EQ(std::memcmp(&expected, object, sizeof(expected)), 0) << "step " << n;
		ASSERT_EQ(least_call_count(calls, "play_sound_with_flags"), static_cast<int32>(sounds.size())) << "step " << n;
		if (!sounds.empty())
		{
			ASSERT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), sounds.back()) << "step " << n;
			sounds_played += 1;
		}
	}
	EXPECT_GT(sounds_played, 2000);
	EXPECT_GT(fast_steps, 100000);
}

TEST_F(objects_on_a_map, render_data_picks_views_and_key_points_rotate)
{
	const int16 index = make_object(5120, 5120, 0);
	set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 0, FALSE);
	object_data *object = get_object_data(index);
	object_render_data data;
	// The camera straight along the yaw: view 0; a quarter turn round: view 2.
	const world_point3d east = {9000, 5120, 0}, north = {5120, 9000, 0}, south = {5120, 1000, 0};
	get_object_render_data(&data, &east, index);
	EXPECT_EQ(data.bitmap_instance_index, 0);
	get_object_render_data(&data, &north, index);
	EXPECT_EQ(data.bitmap_instance_index, 2);
	object->flags |= _object_is_horizontally_mirrored_flag;
	get_object_render_data(&data, &north, index);
	EXPECT_EQ(data.bitmap_instance_index, 6);
	get_object_render_data(&data, &south, index);
	EXPECT_EQ(data.bitmap_instance_index, 2);
	// Just short of a full turn rounds up to the view count: view 0.
	object->flags &= ~_object_is_horizontally_mirrored_flag;
	object->location.yaw = 2000;
	get_object_render_data(&data, &east, index);
	EXPECT_EQ(data.bitmap_instance_index, 0);
	object->transfer_period = 1;
	object->transfer_phase = 1;
	get_object_render_data(&data, &east, index);
	EXPECT_EQ(data.transfer_phase, 65535);

	EXPECT_EQ(get_object_sequence_ticks(index, _object_ticks_until_key_frame), 6);
	EXPECT_EQ(get_object_sequence_ticks(index, _object_ticks_until_last_frame), 12);
	EXPECT_EQ(get_object_sequence_ticks(index, _object_ticks_until_next_frame), 3);
	world_point3d point;
	get_object_point(_object_point_center, index, &point);
	EXPECT_EQ(point.z, (object->height0 + object->height1) / 2);

	// The key point turns with the yaw given and grows with the scale.
	object->scale = 512;
	const int16 collection = object->shape_collection_index;
	sequence_data *sequence = get_sequence(collection, _test_walking_sequence);
	ASSERT_NE(sequence, nullptr);
	const sequence_frame_data *frame = get_sequence_frame(sequence, collection, _test_walking_sequence, sequence->key_frame);
	ASSERT_NE(frame, nullptr);
	ASSERT_TRUE(frame->key_point.x != 0 || frame->key_point.y != 0);
	world_point3d key;
	get_object_key_point(index, _test_walking_sequence, NONE, QUARTER_CIRCLE, &key);
	EXPECT_EQ(key.x - object->location.position.x, -2 * frame->key_point.y);
	EXPECT_EQ(key.y - object->location.position.y, 2 * frame->key_point.x);
	EXPECT_EQ(key.z - object->location.position.z, 2 * frame->key_point.z);
}

TEST_F(objects_on_a_map, nearest_obstruction_keeps_to_its_window)
{
	const world_point3d origin = {10 * 512, 10 * 512, 0};
	const int16 near_object = make_object(origin.x + 300, origin.y + 200, 0, true, 30);
	const int16 far_object = make_object(origin.x + 1100, origin.y, 0, true, 30);
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), near_object);
	EXPECT_EQ(nearest_obstruction(near_object, &origin, 0, 0, 10), NONE); // 1100 is past the limit
	// Sideways reach is radius + ray radius + 170.
	get_object_data(near_object)->location.position.y = origin.y + 210;
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), NONE);
	get_object_data(near_object)->location.position.y = origin.y + 209;
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), near_object);
	// The height window.
	get_object_data(near_object)->location.position.z = 171;
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), NONE);
	get_object_data(near_object)->location.position.z = 170;
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), near_object);
	// Behind the origin, or invisible: nothing.
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 32768, 0, 10), NONE);
	get_object_data(near_object)->flags |= _object_is_invisible_flag;
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), NONE);
	get_object_data(far_object)->flags |= _object_is_invisible_flag;

	// Equal distances: the first found in the walk (the head of its chain) wins.
	const int16 a = make_object(origin.x + 400, origin.y + 50, 0, true, 30);
	const int16 b = make_object(origin.x + 400, origin.y - 50, 0, true, 30);
	const int16 first_found = get_mesh_cell((origin.x + 400) >> 9, (origin.y - 50) >> 9)->first_object_index;
	EXPECT_TRUE(first_found == a || first_found == b);
	EXPECT_EQ(nearest_obstruction(NONE, &origin, 0, 0, 10), b); // row 9 is walked before row 10

	int16 identifiers[3] = {get_object_data(a)->identifier, 12345, get_object_data(b)->identifier};
	int16 indexes[3] = {NONE, NONE, NONE};
	EXPECT_EQ(object_identifiers_to_object_indexes(identifiers, indexes, 3), 2);
	EXPECT_EQ(indexes[0], a);
	EXPECT_EQ(indexes[1], b);
}

TEST_F(objects_on_a_map, the_digest_leaves_out_what_only_one_machine_sees)
{
	const int16 index = make_object(5000, 5000, 0);
	auto digest = [] {
		zerv_digest d;
		zerv_digest_begin(&d);
		fold_objects_digest(&d);
		return d.hash;
	};
	const uint64 plain = digest();
	object_data *object = get_object_data(index);
	object->flags |= _object_local_flags;
	EXPECT_EQ(digest(), plain);
	object->flags |= _object_on_ground_flag;
	EXPECT_NE(digest(), plain);
	object->flags &= ~(_object_local_flags | _object_on_ground_flag);
	object->shape_phase = 3;
	EXPECT_NE(digest(), plain);
}

} // namespace
