// The veteran store: building at a game's end, choosing a veteran, the
// 40-byte big-endian form, refused imports, the cooperative cut, backups.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "monster_initializers.h"
#include "units_test_support.h"

namespace {

class monster_initializers : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		reset_monster_initializers();
		kind = new_kind(TAG("kind"));
		ours = new_unit_type(TAG("u0  "), kind, 0, TAG("sold"));
		theirs = new_unit_type(TAG("u1  "), kind, 1, TAG("sold"));
	}
	void TearDown() override
	{
		reset_monster_initializers();
		monster_initializer_globals->backup_count = 0;
		units_test_map::TearDown();
	}
	static monster_initializer veteran(uint32 owner, uint8 experience, const char *name = "Vet")
	{
		monster_initializer record = {};
		record.owner_player_identifier = owner;
		record.unit_tag = TAG("sold");
		record.monster_tag = TAG("kind");
		record.experience = experience;
		strncpy(record.name, name, sizeof(record.name) - 1);
		return record;
	}
	static void store(std::initializer_list<monster_initializer> records)
	{
		int16 count = 0;
		for (const monster_initializer &record : records) monster_initializer_globals->data[count++] = record;
		monster_initializer_globals->count = count;
	}
	int16 kind = NONE, ours = NONE, theirs = NONE;
};

TEST_F(monster_initializers, build_keeps_unused_veterans_and_adds_living_human_units_by_experience)
{
	store({veteran(100, 3), veteran(100, 0), veteran(100, 9)});
	monster_initializer_globals->data[2].flags = _monster_initializer_used_flag;
	const int16 a = place_unit(kind, ours, 1000, 1000);
	const int16 b = place_unit(kind, ours, 2000, 1000);
	const int16 stone = place_unit(kind, ours, 3000, 1000);
	place_unit(kind, theirs, 4000, 1000); // a computer's unit
	get_monster_data(a)->experience = 7;
	get_monster_data(a)->battles_survived = 127;
	strcpy(get_monster_data(a)->name, "Alda");
	get_monster_data(b)->experience = 1;
	get_monster_data(b)->battles_survived = 4;
	get_monster_data(stone)->action = _monster_action_stoned;

	build_monster_initializers();
	int16 count = 0;
	const monster_initializer *records = get_monster_initializers(&count);
	ASSERT_EQ(count, 3) << "the used and the inexperienced veteran go; the stoned and the computer's units stay out";
	EXPECT_EQ(records[0].experience, 7);
	EXPECT_STREQ(records[0].name, "Alda");
	EXPECT_EQ(records[0].battles_survived, 127) << "battles survived saturates";
	EXPECT_EQ(records[0].owner_player_identifier, 100u);
	EXPECT_EQ(records[0].unit_tag, TAG("sold"));
	EXPECT_EQ(records[1].experience, 3);
	EXPECT_EQ(records[2].experience, 1);
	EXPECT_EQ(records[2].battles_survived, 5);
}

TEST_F(monster_initializers, build_stops_at_the_store_size)
{
	std::vector<monster_initializer> many(MAXIMUM_MONSTER_INITIALIZERS_PER_MAP - 1, veteran(100, 2));
	memcpy(monster_initializer_globals->data, many.data(), many.size() * sizeof(monster_initializer));
	monster_initializer_globals->count = static_cast<int16>(many.size());
	place_unit(kind, ours, 1000, 1000);
	place_unit(kind, ours, 2000, 1000);
	build_monster_initializers();
	EXPECT_EQ(monster_initializer_globals->count, MAXIMUM_MONSTER_INITIALIZERS_PER_MAP);
}

TEST_F(monster_initializers, a_teammates_veteran_is_used_and_an_enemys_is_not)
{
	record.option_flags |= _game_option_allow_veterans_flag;
	store({veteran(101, 9), veteran(100, 4), veteran(100, 6), veteran(100, 6, "Second")});
	monster_initializer *chosen = get_monster_initializer(ours);
	ASSERT_NE(chosen, nullptr);
	EXPECT_EQ(chosen, &monster_initializer_globals->data[2]) << "the most experienced own veteran, the first on a tie";
	EXPECT_TRUE(chosen->flags & _monster_initializer_used_flag);
	EXPECT_EQ(get_monster_initializer(ours), &monster_initializer_globals->data[3]);
	EXPECT_EQ(get_monster_initializer(ours), &monster_initializer_globals->data[1]);
	EXPECT_EQ(get_monster_initializer(ours), nullptr) << "player 1 is on the other team";
	EXPECT_EQ(get_monster_initializer(theirs), &monster_initializer_globals->data[0]);

	mark_monster_initializers_as_unused();
	record.option_flags &= ~_game_option_allow_veterans_flag;
	EXPECT_EQ(get_monster_initializer(ours), nullptr);
}

TEST_F(monster_initializers, export_and_import_are_byte_exact_and_big_endian)
{
	store({veteran(0x01020304, 200, "Bran"), veteran(100, 5)});
	monster_initializer_globals->data[0].flags = _monster_initializer_used_flag;
	monster_initializer_globals->data[0].battles_survived = -3;
	monster_initializer_globals->data[0].pad = 0x1234;
	int32 size = 0;
	export_monster_initializers(nullptr, &size);
	EXPECT_EQ(size, 80);
	std::vector<uint8> bytes(static_cast<size_t>(size));
	export_monster_initializers(bytes.data(), &size);
	const uint8 expected_head[] = {0, 0, 0, 1, 1, 2, 3, 4, 's', 'o', 'l', 'd', 'k', 'i', 'n', 'd', 200, 0xFD};
	EXPECT_EQ(memcmp(bytes.data(), expected_head, sizeof(expected_head)), 0);
	EXPECT_EQ(memcmp(&bytes[20], &monster_initializer_globals->data[0].pad, 2), 0) << "the pad is not swapped";
	EXPECT_STREQ(reinterpret_cast<const char *>(&bytes[22]), "Bran");

	reset_monster_initializers();
	ASSERT_TRUE(import_monster_initializers(bytes.data(), size));
	int16 count = 0;
	const monster_initializer *records = get_monster_initializers(&count);
	ASSERT_EQ(count, 2);
	EXPECT_EQ(records[0].flags, 0u) << "imported veterans are unused";
	EXPECT_EQ(records[0].owner_player_identifier, 0x01020304u);
	EXPECT_EQ(records[0].battles_survived, -3);
	std::vector<uint8> again(static_cast<size_t>(size));
	export_monster_initializers(again.data(), &size);
	bytes[3] = 0; // only the used flag differs
	EXPECT_EQ(again, bytes);
}

TEST_F(monster_initializers, imports_of_broken_sizes_are_refused_and_names_are_terminated)
{
	std::vector<uint8> bytes(16040, 0xAB);
	store({veteran(100, 5)});
	EXPECT_FALSE(import_monster_initializers(bytes.data(), 41));
	EXPECT_EQ(monster_initializer_globals->count, 0) << "a refused import empties the store";
	store({veteran(100, 5)});
	EXPECT_FALSE(import_monster_initializers(bytes.data(), 16040));
	EXPECT_EQ(monster_initializer_globals->count, 0);
	EXPECT_FALSE(import_monster_initializers(bytes.data(), -40));
	EXPECT_TRUE(import_monster_initializers(bytes.data(), 16000));
	EXPECT_EQ(monster_initializer_globals->count, 400);
	EXPECT_EQ(strlen(monster_initializer_globals->data[399].name), 17u) << "a name without its terminator is cut at byte 17";
	EXPECT_TRUE(import_monster_initializers(nullptr, 0));
	EXPECT_EQ(monster_initializer_globals->count, 0);
}

TEST_F(monster_initializers, the_cooperative_cut_takes_its_owner_and_clamps_packet_counts)
{
	new_player_data players[3] = {};
	players[0].flags = _player_is_observer_flag;
	players[0].unique_identifier = 7;
	players[0].team_captain_identifier = static_cast<uint32>(NONE);
	players[1].unique_identifier = 8;
	players[1].team_captain_identifier = 9; // led by another
	players[2].unique_identifier = 9;
	players[2].team_captain_identifier = 9;
	store({veteran(1, 5), veteran(2, 4), veteran(3, 3)});
	adjust_monster_initializers_for_coop(3, players, 2);
	ASSERT_EQ(monster_initializer_globals->count, 2);
	EXPECT_EQ(monster_initializer_globals->data[0].owner_player_identifier, 9u);
	EXPECT_EQ(monster_initializer_globals->data[1].owner_player_identifier, 9u);

	store({veteran(1, 5), veteran(2, 4)});
	adjust_monster_initializers_for_coop(3, players, 30000);
	EXPECT_EQ(monster_initializer_globals->count, 2) << "the maximum is clamped to the store";
	adjust_monster_initializers_for_coop(-5, players, -3);
	EXPECT_EQ(monster_initializer_globals->count, 0) << "no player, no veterans";
	store({veteran(1, 5)});
	adjust_monster_initializers_for_coop(2, players, 400);
	EXPECT_EQ(monster_initializer_globals->count, 0) << "an observer and a led player own nothing";

	// A packet's player count beyond the 16 players is not followed.
	std::vector<new_player_data> observers(MAXIMUM_PLAYERS_PER_MAP, players[0]);
	store({veteran(1, 5)});
	adjust_monster_initializers_for_coop(40, observers.data(), 400);
	EXPECT_EQ(monster_initializer_globals->count, 0);
}

TEST_F(monster_initializers, backup_and_restore_span_map_starts_and_the_digest_sees_the_store)
{
	store({veteran(100, 5), veteran(100, 4)});
	backup_monster_initializers();
	zerv_digest before;
	zerv_digest_begin(&before);
	fold_monster_initializers_digest(&before);
	store({veteran(100, 9)});
	zerv_digest changed;
	zerv_digest_begin(&changed);
	fold_monster_initializers_digest(&changed);
	EXPECT_NE(memcmp(&before, &changed, sizeof(before)), 0);
	reset_monster_initializers();
	restore_monster_initializers_from_backup();
	ASSERT_EQ(monster_initializer_globals->count, 2);
	EXPECT_EQ(monster_initializer_globals->data[1].experience, 4);
	zerv_digest after;
	zerv_digest_begin(&after);
	fold_monster_initializers_digest(&after);
	EXPECT_EQ(memcmp(&before, &after, sizeof(before)), 0);
}

} // namespace
