// The command fuzz target's seeds are what the real builders write on the
// demo map. With ZERV_WRITE_COMMAND_SEEDS set the test rewrites them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bare_unit_object.h"
#include "support/zerv_harness.h"

#include "CoreLibrary/zerv/commands.h"
#include "data.h"
#include "formations.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"

namespace {

class monster_commands_seeds : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		game_play_version = 1720;
	}

	int16 unit(world_distance x, world_distance y)
	{
		const int16 index = new_datum(&monster_array);
		monster_data *monster = get_monster_data(index);
		const int16 identifier = monster->identifier;
		memset(monster, 0, sizeof(*monster));
		monster->identifier = identifier;
		monster->object_index = new_bare_unit_object(index, x, y);
		return index;
	}

	// The one queued command, big-endian as a film holds it.
	static std::vector<uint8> take(void)
	{
		void *command = dequeue_outgoing_command();
		EXPECT_NE(command, nullptr);
		if (!command) return {};
		command_header header;
		command_read_header(command, &header);
		header.player_index = 0;
		std::vector<uint8> bytes(static_cast<uint8 *>(command), static_cast<uint8 *>(command) + header.size);
		command_write_header(bytes.data(), &header);
		byte_swap_command_header(bytes.data());
		EXPECT_EQ(dequeue_outgoing_command(), nullptr);
		return bytes;
	}
};

TEST_F(monster_commands_seeds, seeds_equal_the_builders_output)
{
	std::vector<int16> units;
	for (int16 i = 0; i < 126; ++i) units.push_back(unit(2000 + 200 * (i % 20), 2000 + 200 * (i / 20)));
	const int16 two[] = {units[0], units[1]};
	const world_point2d waypoints[4] = {{9000, 9000}, {12000, 9000}, {12000, 12000}, {9000, 12000}};
	std::vector<std::pair<std::string, std::vector<uint8>>> seeds;
	uint8 buffer[MAXIMUM_COMMAND_SIZE];

	const auto add = [&](const char *name, std::vector<uint8> bytes) { seeds.push_back({name, bytes}); };
	const auto built = [&](const char *name, void *command) {
		command_header header;
		command_read_header(command, &header);
		header.time = 0;
		header.player_index = 0;
		std::vector<uint8> bytes(static_cast<uint8 *>(command), static_cast<uint8 *>(command) + header.size);
		command_write_header(bytes.data(), &header);
		byte_swap_command_header(bytes.data());
		seeds.push_back({name, bytes});
	};

	built("null", build_null_command(buffer));
	built("sync", build_sync_command(buffer));
	const command_general_data general = {0, _command_general_scatter};
	handle_general_command(-1, &general, 2, two);
	add("general", take());
	command_movement_data movement = {_command_movement_formation_flag, 0, 0, 0};
	handle_movement_command(-1, &movement, 2, two, 1, waypoints);
	add("movement", take());
	movement.flags = _command_movement_formation_flag | _command_movement_loop_flag;
	handle_movement_command(-1, &movement, 126, units.data(), 4, waypoints);
	add("movement_126_units_4_waypoints", take());
	const command_target_data target = {_command_target_close_flag};
	handle_target_command(-1, &target, 1, &two[0], 1, &two[1]);
	add("target", take());
	const command_attack_location_data attack = {0, 0, {9000, 9000, 0}};
	handle_attack_location_command(-1, &attack, 2, two);
	add("attack_location", take());
	const command_pick_up_data pick_up = {0, 0, NONE, 0};
	handle_pick_up_command(-1, &pick_up, 2, two);
	add("pick_up", take());
	const command_rename_data rename = {0};
	handle_rename_command(-1, &rename, 1, two, "abcdefghijklmnopqrstuvwxyz");
	add("rename_17", take());
	const command_rotation_data rotation = {0, 8192, {9000, 9000}};
	handle_rotation_command(-1, &rotation, 2, two);
	add("rotation", take());
	built("drop_player", build_drop_player_command(buffer, 1));
	const command_chat_data chat = {0};
	const command_ally_data ally = {0, 0, 0, 1};
	handle_ally_command(-1, &ally);
	add("ally", take());
	std::string long_text(250, 'x');
	queue_chat_command(&chat, long_text.c_str());
	add("chat_192", take());
	const command_detach_data detach = {0, 1};
	handle_detach_command(-1, &detach, 2, two);
	add("detach", take());
	const int16 counts[] = {1, 2, 3};
	queue_unit_adjustment_command(0, 3, counts);
	add("unit_adjustment", take());
	const sketch_point2d sketch[] = {{1, 2}, {3, 4}};
	queue_sketch_command(_command_sketch_start_flag, 2, sketch);
	add("sketch", take());
	const command_preset_selection_data preset = {0, 3};
	const int16 identifiers[] = {get_monster_data(two[0])->identifier, get_monster_data(two[1])->identifier};
	queue_preset_selection_command(&preset, 2, identifiers);
	add("preset_selection", take());
	const formation_definition formation = {4, 640, 8, 640, 4, 1024, 4, 1024, 640, 768, 384, 1536, 768, 16384, 21845,
		256, 512, 512, 768, 0};
	handle_sync_formation_command(-1, &formation);
	add("sync_formation", take());
	const command_inventory_data inventory = {0, NONE};
	handle_inventory_command(-1, &inventory, 2, two);
	add("inventory", take());
	handle_inventory_drop_command(-1, &inventory, 2, two);
	add("inventory_drop", take());
	handle_inventory_prev_command(-1, &inventory, 2, two);
	add("inventory_prev", take());
	handle_inventory_next_command(-1, &inventory, 2, two);
	add("inventory_next", take());

	const std::string folder = std::string(ZERV_SOURCE_DIR) + "/fuzz/corpus/command_fuzzer/";
	const bool write = getenv("ZERV_WRITE_COMMAND_SEEDS") != nullptr;
	for (const auto &[name, bytes] : seeds)
	{
		ASSERT_FALSE(bytes.empty()) << name;
		const std::string path = folder + name;
		if (write)
		{
			FILE *file = fopen(path.c_str(), "wb");
			ASSERT_NE(file, nullptr) << path;
			fwrite(bytes.data(), 1, bytes.size(), file);
			fclose(file);
			continue;
		}
		FILE *file = fopen(path.c_str(), "rb");
		ASSERT_NE(file, nullptr) << path << " is missing";
		std::vector<uint8> stored(8192);
		stored.resize(fread(stored.data(), 1, stored.size(), file));
		fclose(file);
		EXPECT_EQ(stored, bytes) << name << " no longer matches its builder";
	}
}

}
