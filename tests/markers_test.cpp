#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "mesh_test_map.h"
#include "recording.h"
#include "support/tag_files_test_directory.h"
#include "zerv.h"

namespace {

size_t occurrences(const std::string &text, const std::string &what)
{
	size_t count = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
	return count;
}

class markers_on_a_map : public mesh_test_directory
{
};

TEST_F(markers_on_a_map, fresh_identifiers_skip_the_stored_ones)
{
	test_map map;
	map.markers = {test_marker(_marker_scenery, 0), test_marker(_marker_scenery, 1005), test_marker(_marker_scenery, 0),
		test_marker(_marker_monster, 1000), test_marker(_marker_monster, 0), test_marker(_marker_monster, 0),
		test_marker(_marker_model, -4), test_marker(_marker_model, 0)};
	map.palette = {test_palette_entry(_marker_scenery, TAG("tree"))};
	map.palette[0].count = 9;
	map.palette[0].tag_index = 4;
	ASSERT_TRUE(map.load());
	initialize_markers_for_new_map();

	const marker_data *m = mesh_globals->markers;
	EXPECT_EQ(m[0].identifier, 1000);
	EXPECT_EQ(m[1].identifier, 1005);
	EXPECT_EQ(m[2].identifier, 1001);
	// Counting is per type; 1000 is taken among the units.
	EXPECT_EQ(m[3].identifier, 1000);
	EXPECT_EQ(m[4].identifier, 1001);
	EXPECT_EQ(m[5].identifier, 1002);
	EXPECT_EQ(m[6].identifier, -4);
	EXPECT_EQ(m[7].identifier, 1000);
	EXPECT_EQ(mesh_globals->marker_palette[0].count, 0);
	EXPECT_EQ(mesh_globals->marker_palette[0].tag_index, NONE);
}

TEST_F(markers_on_a_map, scans_filter_by_type_palette_and_data)
{
	test_map map;
	map.markers = {test_marker(_marker_scenery, 1, 0), test_marker(_marker_monster, 2, 1),
		test_marker(_marker_scenery, 3, 1), test_marker(_marker_scenery, 4, 0), test_marker(_marker_team, 5, 1)};
	map.palette = {test_palette_entry(_marker_scenery, TAG("tree")), test_palette_entry(_marker_monster, TAG("ogre"), 0),
		test_palette_entry(_marker_scenery, TAG("rock")), test_palette_entry(_marker_monster, TAG("ogre"), 1),
		test_palette_entry(_marker_scenery, TAG("tree"))};
	ASSERT_TRUE(map.load());
	mesh_globals->markers[3].data_index = 7;

	auto scan = [](int16 type, int16 palette_index, int16 data_index) {
		std::vector<int32> found;
		scan_markers_state state;
		new_scan_markers_state(&state, type, palette_index, data_index);
		while (scan_markers(&state)) found.push_back(state.result_marker_index);
		EXPECT_EQ(state.result_marker_index, NONE);
		return found;
	};
	EXPECT_EQ(scan(_marker_scenery, NONE, NONE), (std::vector<int32>{0, 2, 3}));
	EXPECT_EQ(scan(_marker_scenery, 0, NONE), (std::vector<int32>{0, 3}));
	EXPECT_EQ(scan(NONE, 1, NONE), (std::vector<int32>{1, 2, 4}));
	EXPECT_EQ(scan(NONE, NONE, 7), (std::vector<int32>{3}));
	EXPECT_EQ(scan(_marker_scenery, 1, 7), (std::vector<int32>{}));
	EXPECT_EQ(scan(NONE, NONE, NONE).size(), 5u);
	EXPECT_EQ(count_markers(_marker_scenery), 3);
	EXPECT_EQ(count_markers(_marker_model), 0);

	// Palette scans report each row's position among the rows of its type.
	auto palette_scan = [](int16 type, file_tag tag) {
		std::vector<std::pair<int32, int32>> found;
		scan_marker_palette_state state;
		new_scan_marker_palette_state(&state, type, tag);
		while (scan_marker_palette(&state)) found.emplace_back(state.result_palette_index, state.typed_index);
		return found;
	};
	using rows = std::vector<std::pair<int32, int32>>;
	EXPECT_EQ(palette_scan(_marker_scenery, NONE), (rows{{0, 0}, {2, 1}, {4, 2}}));
	EXPECT_EQ(palette_scan(_marker_scenery, TAG("tree")), (rows{{0, 0}, {4, 2}}));
	EXPECT_EQ(palette_scan(_marker_monster, TAG("ogre")), (rows{{1, 0}, {3, 1}}));
	EXPECT_EQ(palette_scan(NONE, TAG("ogre")), (rows{{1, 1}, {3, 3}}));
	EXPECT_EQ(count_marker_palette_entries(_marker_scenery), 3);
	EXPECT_EQ(count_marker_palette_entries(NONE), 5);
	EXPECT_EQ(get_marker_palette_entry(_marker_scenery, 1), &mesh_globals->marker_palette[2]);
	EXPECT_EQ(get_marker_palette_entry(NONE, 3), &mesh_globals->marker_palette[3]);

	// Lookups by identifier and data.
	EXPECT_EQ(get_marker_by_identifier(_marker_scenery, 3), &mesh_globals->markers[2]);
	EXPECT_EQ(get_marker_by_identifier(_marker_monster, 3), nullptr);
	EXPECT_EQ(get_marker_by_data_index(_marker_scenery, 7), &mesh_globals->markers[3]);
	EXPECT_EQ(get_marker_by_data_index_and_identifier(_marker_scenery, 7, 4), &mesh_globals->markers[3]);
	EXPECT_EQ(get_marker_by_data_index_and_identifier(_marker_scenery, 7, 3), nullptr);
	marker_data *array = nullptr;
	EXPECT_EQ(get_marker_array_of_type(_marker_model, &array), 5);
	EXPECT_EQ(array, mesh_globals->markers);

	// Indexes: only records inside the list have one.
	EXPECT_EQ(get_marker_index(&mesh_globals->markers[0]), 0);
	EXPECT_EQ(get_marker_index(&mesh_globals->markers[4]), 4);
	EXPECT_EQ(get_marker_index(mesh_globals->markers + 5), NONE);
	EXPECT_EQ(get_marker_index(mesh_globals->markers - 1), NONE);
	marker_data outside = test_marker(_marker_scenery, 1);
	EXPECT_EQ(get_marker_index(&outside), NONE);
	EXPECT_EQ(get_marker_by_index(4), &mesh_globals->markers[4]);
	EXPECT_EQ(get_marker_by_index(5), nullptr);
	EXPECT_EQ(get_marker_by_index(-1), nullptr);

	EXPECT_EQ(marker_type_to_tag_group(_marker_monster), TAG("unit"));
	EXPECT_EQ(marker_type_to_tag_group(_marker_team), static_cast<file_tag>(NONE));
	EXPECT_STREQ(marker_type_to_group_name(_marker_sound_source), "Sound Source");
	EXPECT_STREQ(marker_type_to_group_name(12), "<unknown>");
	EXPECT_EQ(marker_type_to_tag_group(-1), static_cast<file_tag>(NONE));
}

TEST_F(markers_on_a_map, a_missing_palette_row_warns_once_per_type)
{
	test_map map;
	map.palette = {test_palette_entry(_marker_scenery, TAG("tree"))};
	ASSERT_TRUE(map.load());
	initialize_markers_for_new_map();

	EXPECT_EQ(get_marker_palette_entry(_marker_scenery, 1), nullptr);
	EXPECT_EQ(get_marker_palette_entry(_marker_scenery, 5), nullptr);
	EXPECT_EQ(get_marker_palette_entry(_marker_monster, 0), nullptr);
	EXPECT_EQ(get_marker_palette_entry(NONE, 2), nullptr);
	EXPECT_EQ(get_marker_palette_entry(NONE, -1), nullptr);
	EXPECT_EQ(get_marker_palette_entry(40, 0), nullptr);

	const std::string log = log_text();
	EXPECT_EQ(occurrences(log, "***Warning****"), 3u);
	EXPECT_NE(log.find("Mesh has incomplete marker palette for type 'Scenery'..."), std::string::npos);
	EXPECT_NE(log.find(" -> Marker palette index #1 for not in range [0,#1)!"), std::string::npos);
	EXPECT_NE(log.find("Mesh has incomplete marker palette for type 'Unit'..."), std::string::npos);
	EXPECT_NE(log.find("Mesh has incomplete marker palette for type '<unknown>'..."), std::string::npos);
	EXPECT_EQ(log.find("index #5"), std::string::npos);

	// A warning given once is not given again on the next map.
	dispose_mesh_from_old_map();
	ASSERT_TRUE(map.load());
	initialize_markers_for_new_map();
	EXPECT_EQ(get_marker_palette_entry(_marker_scenery, 1), nullptr);
	EXPECT_EQ(occurrences(log_text(), "***Warning****"), 3u);
}

/* ---------- creation through the type procedures */

std::vector<std::string> calls;

void palette_scenery(marker_palette_entry *entry)
{
	calls.push_back("palette scenery " + std::to_string(entry->team_index));
}
void palette_unit(marker_palette_entry *entry)
{
	calls.push_back("palette unit " + std::to_string(entry->team_index));
}
int16 create_scenery(marker_data *marker)
{
	calls.push_back("scenery " + std::to_string(marker->identifier) + " " + std::to_string(marker->data_index));
	marker->data_index = static_cast<int16>(marker->identifier - 1000);
	marker->data_identifier = 77;
	return marker->data_index;
}
int16 create_unit(marker_data *marker)
{
	calls.push_back("unit " + std::to_string(marker->identifier));
	return NONE;
}
void delete_scenery(int16 data_index)
{
	calls.push_back("delete " + std::to_string(data_index));
}

TEST_F(markers_on_a_map, markers_are_created_type_by_type_in_list_order)
{
	test_map map;
	map.markers = {test_marker(_marker_monster, 1), test_marker(_marker_scenery, 0), test_marker(_marker_team, 0),
		test_marker(_marker_scenery, 1003)};
	map.markers[1].data_index = 55; // stale: cleared before creation
	map.palette = {test_palette_entry(_marker_monster, TAG("ogre"), 1), test_palette_entry(_marker_scenery, 0, 8),
		test_palette_entry(_marker_monster, TAG("ogre"), 0)};
	ASSERT_TRUE(map.load());

	markers_test_hooks_data *hooks = get_markers_test_hooks();
	hooks->new_palette_entry[_marker_scenery] = palette_scenery;
	hooks->new_palette_entry[_marker_monster] = palette_unit;
	hooks->new_from_marker[_marker_scenery] = create_scenery;
	hooks->new_from_marker[_marker_monster] = create_unit;
	hooks->delete_data[_marker_scenery] = delete_scenery;
	hooks->new_palette_entry[_marker_team] = [](marker_palette_entry *) {};

	calls.clear();
	initialize_markers_for_new_map();
	add_markers_to_new_map();
	EXPECT_EQ(calls, (std::vector<std::string>{"palette scenery 8", "scenery 1000 -1", "scenery 1003 -1",
		"palette unit 1", "palette unit 0", "unit 1"}));
	EXPECT_EQ(hooks->progress_steps, NUMBER_OF_MARKER_TYPES + 20);
	EXPECT_EQ(mesh_globals->markers[1].data_index, 0);
	EXPECT_EQ(mesh_globals->markers[1].data_identifier, 77);
	EXPECT_EQ(mesh_globals->markers[2].data_index, NONE); // observers create nothing

	calls.clear();
	delete_data_associated_with_marker(&mesh_globals->markers[3]);
	delete_data_associated_with_marker(&mesh_globals->markers[0]); // no delete procedure
	mesh_globals->markers[1].data_index = NONE;
	delete_data_associated_with_marker(&mesh_globals->markers[1]);
	EXPECT_EQ(calls, (std::vector<std::string>{"delete 3"}));
	EXPECT_EQ(create_data_from_marker(_marker_model, &mesh_globals->markers[0]), NONE);
	EXPECT_EQ(create_data_from_marker(-1, &mesh_globals->markers[0]), NONE);
	add_marker_palette_entry_for_type(30, &mesh_globals->marker_palette[0]);
}

/* ---------- stored order */

TEST_F(markers_on_a_map, marker_records_round_trip_with_their_user_data)
{
	marker_data markers[3] = {test_marker(_marker_model, 1), test_marker(_marker_sound_source, 2),
		test_marker(_marker_scenery, 3)};
	for (marker_data &marker : markers)
	{
		marker.flags = 0x01020304;
		marker.location.position = {0x11223344, -5, 6};
		marker.location.pitch = 0xABCD;
		for (int32 i = 0; i < MARKER_USER_DATA_SIZE; ++i) marker.user_data[i] = static_cast<uint8>(i + 1);
		marker.data_index = 0x0102;
	}
	marker_data stored[3];
	memcpy(stored, markers, sizeof(stored));
	byte_swap_marker_list_out(stored, 3);

	const uint8 *bytes = reinterpret_cast<const uint8 *>(&stored[0]);
	EXPECT_EQ(bytes[0], 0x01); // flags big-endian
	EXPECT_EQ(bytes[5], _marker_model); // type
	EXPECT_EQ(bytes[12], 0x11); // position.x
	EXPECT_EQ(bytes[36], 2); // model user data: 16-bit words swapped
	EXPECT_EQ(bytes[37], 1);
	EXPECT_EQ(bytes[60], reinterpret_cast<const uint8 *>(&markers[0])[60]); // data_index untouched
	const uint8 *sound = reinterpret_cast<const uint8 *>(&stored[1]);
	EXPECT_EQ(sound[36], 2); // sound source user data: 16-bit words swapped too
	EXPECT_EQ(sound[51], 15);
	const uint8 *scenery = reinterpret_cast<const uint8 *>(&stored[2]);
	EXPECT_EQ(scenery[36], 1); // scenery user data left alone

	byte_swap_marker_list(stored, 3);
	EXPECT_EQ(memcmp(stored, markers, sizeof(stored)), 0);

	marker_palette_entry palette[2] = {test_palette_entry(_marker_monster, TAG("ogre"), 3),
		test_palette_entry(_marker_scenery, TAG("tree"))};
	palette[0].extra_flags = 0x80000001u;
	palette[0].count = 0x0102;
	marker_palette_entry stored_palette[2];
	memcpy(stored_palette, palette, sizeof(palette));
	byte_swap_marker_palette(stored_palette, 2);
	const uint8 *row = reinterpret_cast<const uint8 *>(&stored_palette[0]);
	EXPECT_EQ(row[1], _marker_monster);
	EXPECT_EQ(row[4], 'o');
	EXPECT_EQ(row[12], 0x80);
	EXPECT_EQ(row[28], reinterpret_cast<const uint8 *>(&palette[0])[28]);
	byte_swap_marker_palette(stored_palette, 2);
	EXPECT_EQ(memcmp(stored_palette, palette, sizeof(palette)), 0);
}

TEST_F(markers_on_a_map, sorting_puts_higher_types_first)
{
	marker_data markers[6] = {test_marker(1, 10), test_marker(3, 20), test_marker(1, 11), test_marker(0, 30),
		test_marker(3, 21), test_marker(11, 40)};
	sort_marker_list(markers, 6);
	const int16 types[6] = {11, 3, 3, 1, 1, 0};
	int32 identifier_sum = 0;
	for (int32 i = 0; i < 6; ++i)
	{
		EXPECT_EQ(markers[i].type, types[i]) << i;
		identifier_sum += markers[i].identifier;
	}
	EXPECT_EQ(identifier_sum, 10 + 20 + 11 + 30 + 21 + 40);
	EXPECT_EQ(compare_marker_data(&markers[0], &markers[5]), -11);
}

/* ---------- scoring */

TEST_F(markers_on_a_map, palette_rows_and_the_game_scoring)
{
	game_data record = {};
	game = &record;
	marker_palette_entry row = test_palette_entry(_marker_monster, TAG("ogre"), 0);
	row.extra_flags = FLAG(9) | FLAG(2);

	struct scoring_case
	{
		int16 version;
		int16 type;
		uint32 options;
		int16 scoring;
		boolean expected;
	};
	const scoring_case cases[] = {
		{1701, _game_type_networked, 0, 2, TRUE},
		{1701, _game_type_networked, 0, 3, FALSE},
		{1701, _game_type_networked, _game_option_cooperative_flag, 3, TRUE},
		{1701, _game_type_local, 0, 3, TRUE},
		{1701, _game_type_demo, 0, 3, TRUE},
		{1701, _game_type_replay, 0, 3, FALSE}, // not a solo replay: the test applies
		{1700, _game_type_networked, _game_option_cooperative_flag, 3, FALSE},
		{1700, _game_type_local, 0, 3, TRUE},
		{1700, _game_type_replay, 0, 3, TRUE}, // the recorded game was not networked
		{1701, _game_type_networked, 0, 14, TRUE}, // king of the hill shares its bit
		{1701, _game_type_networked, 0, 9, TRUE},
		{1701, _game_type_networked, 0, 40, FALSE},
	};
	for (const scoring_case &c : cases)
	{
		game_play_version = c.version;
		record.type = c.type;
		record.option_flags = c.options;
		record.scoring = c.scoring;
		EXPECT_EQ(palette_compatible_with_game_scoring(&row), c.expected)
			<< c.version << " type " << c.type << " scoring " << c.scoring;
	}
	EXPECT_FALSE(game_is_solo_replay());
	EXPECT_NE(get_replay_game_type(), _game_type_networked);
	EXPECT_TRUE(mesh_flags_offer_scoring(FLAG(9), 14));
	EXPECT_FALSE(mesh_flags_offer_scoring(FLAG(14), 14));
	// The fixture puts the core's record back.
}

} // namespace
