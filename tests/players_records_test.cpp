// The setup's player records: their stored form, the lobby's sort, colour
// arbitration, and the digest of the per-map records.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "players_test_support.h"

namespace {

static_assert(offsetof(new_player_data, team_captain_identifier) == 8);
static_assert(offsetof(new_player_data, metaserver_player) == 28);
static_assert(offsetof(new_player_data, version) == 30);
static_assert(offsetof(new_player_data, unused2) == 34);
static_assert(offsetof(new_player_data, appearance) == 40);
static_assert(offsetof(player_appearance_data, team_name) == 36);
static_assert(offsetof(player_appearance_data, primary_color) == 68);
static_assert(offsetof(player_appearance_data, secondary_color) == 76);
static_assert(offsetof(player_data, unique_identifier) == 12);
static_assert(offsetof(player_data, appearance) == 20);
static_assert(offsetof(team_data, numbered_flags_captured_flags) == 28);
static_assert(offsetof(team_data, number_of_players) == 38);
static_assert(offsetof(team_data, captain_player_index) == 42);

uint32 big_endian_at(const uint8 *bytes, int32 offset, int32 width)
{
	uint32 value = 0;
	for (int32 i = 0; i < width; ++i) value = (value << 8) | bytes[offset + i];
	return value;
}

TEST(players_records, the_wire_form_is_big_endian_at_its_offsets_and_leaves_text_alone)
{
	new_player_data player;
	memset(&player, 0, sizeof(player));
	player.team_index = 0x0102;
	player.type = 0x0304;
	player.flags = 0x0506;
	player.order = 0x0708;
	player.team_captain_identifier = 0x090A0B0C;
	player.unique_identifier = 0x0D0E0F10;
	player.agreed_to_play = 0x11121314;
	player.team_is_locked = 0x15161718;
	player.metaserver_player_id = 0x191A1B1C;
	player.metaserver_player = 0x1D;
	player.persistent_ready = 0x1E;
	player.version = 0x1F20;
	player.build_number = 0x2122;
	memcpy(player.unused2, "\x23\x24\x25\x26\x27\x28", 6);
	player.appearance.coat_of_arms_bitmap_index = 0x292A;
	player.appearance.caste_bitmap_index = 0x2B2C;
	memset(player.appearance.name, 'n', sizeof(player.appearance.name));
	memset(player.appearance.team_name, 't', sizeof(player.appearance.team_name));
	player.appearance.primary_color = {0x3132, 0x3334, 0x3536, 0x3738};
	player.appearance.secondary_color = {0x4142, 0x4344, 0x4546, 0x4748};
	const new_player_data original = player;

	byte_swap_new_player_data(&player);
	const uint8 *bytes = reinterpret_cast<const uint8 *>(&player);
	const struct
	{
		int32 offset, width;
		uint32 value;
	} fields[] = {{0, 2, 0x0102}, {2, 2, 0x0304}, {4, 2, 0x0506}, {6, 2, 0x0708}, {8, 4, 0x090A0B0C},
		{12, 4, 0x0D0E0F10}, {16, 4, 0x11121314}, {20, 4, 0x15161718}, {24, 4, 0x191A1B1C}, {28, 1, 0x1D},
		{29, 1, 0x1E}, {30, 2, 0x1F20}, {32, 2, 0x2122}, {34, 2, 0x2324}, {38, 2, 0x2728}, {40, 2, 0x292A},
		{42, 2, 0x2B2C}, {108, 2, 0x3132}, {114, 2, 0x3738}, {116, 2, 0x4142}, {122, 2, 0x4748}};
	for (const auto &field : fields)
	{
		EXPECT_EQ(big_endian_at(bytes, field.offset, field.width), field.value) << "offset " << field.offset;
	}
	EXPECT_EQ(memcmp(bytes + 44, original.appearance.name, 32), 0);
	EXPECT_EQ(memcmp(bytes + 76, original.appearance.team_name, 32), 0);

	player_appearance_data appearance = original.appearance;
	byte_swap_player_appearance(&appearance);
	EXPECT_EQ(memcmp(&appearance, bytes + 40, sizeof(appearance)), 0);

	byte_swap_new_player_data(&player);
	EXPECT_EQ(memcmp(&player, &original, sizeof(player)), 0);
}

class players_sorting : public players_fixture
{
};

std::vector<uint32> identifiers(const std::vector<new_player_data> &players)
{
	std::vector<uint32> result;
	for (const new_player_data &player : players) result.push_back(player.unique_identifier);
	return result;
}

TEST_F(players_sorting, identities_compare_as_unsigned_values_after_the_caste)
{
	std::vector<new_player_data> players = {make_player(0x80000001u), make_player(0x7FFFFFFFu), make_player(0xFFFFFFFEu),
		make_player(1), make_player(5)};
	players[4].appearance.caste_bitmap_index = 3;
	sort_new_player_data(players.data(), static_cast<int16>(players.size()), FALSE);
	EXPECT_EQ(identifiers(players), (std::vector<uint32>{5, 1, 0x7FFFFFFFu, 0x80000001u, 0xFFFFFFFEu}));
	EXPECT_LT(compare_new_player_data(&players[1], &players[2]), 0);
	EXPECT_GT(compare_new_player_data(&players[4], &players[3]), 0);
	EXPECT_EQ(compare_new_player_data(&players[2], &players[2]), 0);
}

TEST_F(players_sorting, captains_lead_their_players_and_orphans_lead_their_own_group)
{
	auto setup = [] {
		std::vector<new_player_data> players = {make_player(3), make_player(1, 99), make_player(2, 3)};
		players[0].appearance.caste_bitmap_index = 5;
		players[0].flags = _player_has_invalid_captain_flag;
		players[1].appearance.caste_bitmap_index = 9;
		players[2].appearance.caste_bitmap_index = 1;
		return players;
	};

	for (boolean orphans_become_captains : {FALSE, TRUE})
	{
		std::vector<new_player_data> players = setup();
		sort_new_player_data(players.data(), 3, orphans_become_captains);
		EXPECT_EQ(identifiers(players), (std::vector<uint32>{1, 3, 2}));
		EXPECT_EQ(players[0].flags & _player_has_invalid_captain_flag, _player_has_invalid_captain_flag);
		EXPECT_EQ(players[1].flags & _player_has_invalid_captain_flag, 0);
		for (const new_player_data &player : players) EXPECT_TRUE(player.flags & _player_has_been_sorted_flag);
		EXPECT_EQ(players[0].team_captain_identifier, orphans_become_captains ? static_cast<uint32>(NONE) : 99u);
		EXPECT_EQ(players[2].team_captain_identifier, 3u);
	}
}

TEST_F(players_sorting, a_captain_cycle_is_broken_without_losing_anyone)
{
	std::vector<new_player_data> players = {make_player(20, 10), make_player(10, 20), make_player(30, 10)};
	sort_new_player_data(players.data(), 3, FALSE);
	EXPECT_EQ(identifiers(players), (std::vector<uint32>{10, 20, 30}));
	for (const new_player_data &player : players) EXPECT_TRUE(player.flags & _player_has_invalid_captain_flag);

	players = {make_player(20, 10), make_player(10, 20), make_player(30, 10)};
	sort_new_player_data(players.data(), 3, TRUE);
	EXPECT_EQ(identifiers(players), (std::vector<uint32>{10, 20, 30}));
	for (const new_player_data &player : players)
	{
		EXPECT_EQ(player.team_captain_identifier, static_cast<uint32>(NONE)) << player.unique_identifier;
	}
}

TEST_F(players_sorting, a_none_captain_never_names_an_identity_of_all_ones)
{
	std::vector<new_player_data> players = {make_player(7), make_player(0xFFFFFFFFu), make_player(4, 7)};
	players[1].appearance.caste_bitmap_index = 5;
	sort_new_player_data(players.data(), 3, FALSE);
	// All-ones leads alone; 7 leads 4; nobody is an orphan.
	EXPECT_EQ(identifiers(players), (std::vector<uint32>{0xFFFFFFFFu, 7, 4}));
	for (const new_player_data &player : players) EXPECT_FALSE(player.flags & _player_has_invalid_captain_flag);
}

class players_colors : public players_fixture
{
};

bool same_color(const rgb_color &a, const rgb_color &b)
{
	return a.red == b.red && a.green == b.green && a.blue == b.blue && a.flags == b.flags;
}

TEST_F(players_colors, a_clash_takes_the_replacement_at_identity_times_46)
{
	const rgb_color red = {57670, 0, 0, 0};
	std::vector<new_player_data> players = {make_player(1), make_player(2), make_player(0xFFFFFFFFu)};
	for (new_player_data &player : players) player.appearance.primary_color = red;
	players[1].appearance.primary_color = {0, 0, 0, 0};
	players[2].appearance.primary_color = {0, 0, 0, 0};
	arbitrate_player_appearances(players.data(), 3);

	// The last member moves first: 0xFFFFFFFF x 46 wraps to index 10.
	EXPECT_TRUE(same_color(players[2].appearance.primary_color, replacement_colors[10]));
	EXPECT_TRUE(same_color(players[1].appearance.primary_color, {0, 0, 0, 0}));
	EXPECT_TRUE(same_color(players[0].appearance.primary_color, red));
}

// Player 15's tries run through the replacement colours from index
// 15 x 46 mod 20 = 10 on, so its 20th and last try is index 9. The first six
// crowd colours crowd every replacement but index 9; the seventh crowds it too.
TEST_F(players_colors, the_twentieth_try_is_the_last)
{
	const rgb_color crowd[] = {{41942, 13107, 12451, 0}, {10813, 34733, 13107, 0}, {59308, 55376, 0, 0},
		{55049, 52100, 53738, 0}, {0, 48495, 53083, 0}, {0, 7208, 48167, 0}, {51772, 36043, 54066, 0}};
	const rgb_color clashing = {41942, 13107, 12451, 7};
	for (int32 crowd_size : {6, 7})
	{
		std::vector<new_player_data> players;
		for (int32 i = 0; i < crowd_size; ++i)
		{
			players.push_back(make_player(static_cast<uint32>(i + 1)));
			players.back().appearance.primary_color = crowd[i];
		}
		players.push_back(make_player(15));
		players.back().appearance.primary_color = clashing;
		arbitrate_player_appearances(players.data(), static_cast<int16>(players.size()));
		// After 19 crowded tries the 20th is taken; when it is crowded as well,
		// the colour as it came returns.
		const rgb_color expected = crowd_size == 6 ? replacement_colors[9] : clashing;
		EXPECT_TRUE(same_color(players.back().appearance.primary_color, expected)) << crowd_size << " crowd colours";
	}
}

TEST_F(players_colors, followers_wear_their_captains_colour)
{
	std::vector<new_player_data> players = {make_player(1, 1), make_player(2, 1), make_player(0xFFFFFFFFu),
		make_player(4)};
	const rgb_color captain_color = players[0].appearance.primary_color;
	const rgb_color follower_color = players[1].appearance.primary_color;
	const rgb_color free_color = players[3].appearance.primary_color;
	players[3].appearance.secondary_color = {1, 2, 3, 4};
	arbitrate_player_appearances(players.data(), 4);

	EXPECT_TRUE(same_color(players[1].appearance.primary_color, captain_color));
	EXPECT_TRUE(same_color(players[1].appearance.secondary_color, follower_color));
	EXPECT_TRUE(same_color(players[0].appearance.primary_color, captain_color));
	EXPECT_TRUE(same_color(players[0].appearance.secondary_color, captain_color));
	// A free player is nobody's follower, even beside an identity of all ones.
	EXPECT_TRUE(same_color(players[3].appearance.primary_color, free_color));
	EXPECT_TRUE(same_color(players[3].appearance.secondary_color, {1, 2, 3, 4}));
}

class players_digest : public players_fixture
{
protected:
	uint64 digest(void)
	{
		zerv_digest d;
		zerv_digest_begin(&d);
		players_fold_digest(&d);
		teams_fold_digest(&d);
		return d.hash;
	}

	void start_four_players(void)
	{
		std::vector<new_player_data> players = {make_player(1), make_player(2), make_player(3, 2), make_player(4)};
		set_random_seed(7);
		get_players_test_hooks()->team_count = 2;
		initialize_players_for_new_map(4, players.data(), 1);
	}
};

TEST_F(players_digest, equal_setups_fold_equally_on_every_build)
{
	start_four_players();
	const uint64 first = digest();
	start_four_players();
	EXPECT_EQ(digest(), first);
	// Fields folded big-endian, so both builds reach this value.
	EXPECT_EQ(first, 0x781effa01a55cfa8u) << std::hex << first;

	get_team_data(0)->score += 1;
	EXPECT_NE(digest(), first);
	get_team_data(0)->score -= 1;
	// Which player is local is not shared game state.
	player_globals.local_player_is_team_captain = !player_globals.local_player_is_team_captain;
	EXPECT_EQ(digest(), first);
}

} // namespace
