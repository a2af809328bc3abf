// Arbitrary veteran data through the import a film or a cooperative packet
// makes, placed through unit creation on a small map holding one marker of
// every generated kind, then exported again; and arbitrary unit adjustment
// commands. Seeds include a store exported after a finished 'demo' game.
//
// Input: a mode byte; then for imports the record bytes (any size), for
// adjustments a team byte, a count byte and big-endian 16-bit counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "error_manager.h"
#include "map_fuzz_support.h"
#include "markers.h"
#include "monster_initializers.h"
#include "monsters.h"
#include "players.h"
#include "unit_trading.h"
#include "units_content.h"
#include "zerv.h"

namespace {

game_data fuzz_game;
// The local player, whose veterans the store's records name.
const uint32 fuzz_player_identifier = 1;

// Generated tags, one player on team 0 and a flat 32 x 32 map with a veteran
// row and a marker for every generated kind, loaded once for the process.
void set_up_fuzz_directory(void)
{
	open_generated_tag_set(true);
	initialize_markers();
	initialize_players();
	memset(&fuzz_game, 0, sizeof(fuzz_game));
	fuzz_game.type = _game_type_local;
	fuzz_game.winning_team_index = NONE;
	fuzz_game.option_flags = _game_option_allow_unit_trading_flag | _game_option_allow_veterans_flag;
	fuzz_game.time_state = _game_time_pregame;
	game = &fuzz_game;

	std::vector<marker_palette_entry> palette;
	std::vector<marker_data> markers;
	for (const file_tag kind : default_unit_kind_tags)
	{
		marker_palette_entry entry = {};
		entry.type = _marker_monster;
		entry.tag = kind;
		entry.team_index = 0;
		entry.flags = _marker_palette_may_use_veterans_flag;
		entry.extra_flags = 0xFFFF;
		entry.tag_index = NONE;
		marker_data marker = {};
		marker.type = _marker_monster;
		marker.palette_index = static_cast<int16>(palette.size());
		marker.identifier = static_cast<int16>(palette.size() + 1);
		marker.location.position = {(8 + 4 * static_cast<int32>(palette.size())) * WORLD_ONE, 16 * WORLD_ONE, 0};
		marker.data_index = marker.data_identifier = NONE;
		palette.push_back(entry);
		markers.push_back(marker);
	}
	mesh_tag_contents contents = {};
	initialize_mesh_header(&contents.header, 1, 1);
	contents.header.team_count = 1;
	contents.palette = palette.data();
	contents.palette_count = static_cast<int32>(palette.size());
	contents.markers = markers.data();
	contents.marker_count = static_cast<int32>(markers.size());
	load_fuzz_map(grass_map_tag_data(&contents));
	start_generated_tag_set_map(true);
	initialize_markers_for_new_map();
	// The map's palette sets the teams.
	new_player_data player = {};
	player.team_index = 0;
	player.team_captain_identifier = fuzz_player_identifier;
	player.unique_identifier = fuzz_player_identifier;
	player.agreed_to_play = TRUE;
	initialize_players_for_new_map(1, &player, 0);
	check(get_player_data(0) && get_team_data(0));
	scan_marker_palette_state scan;
	new_scan_marker_palette_state(&scan, _marker_monster, static_cast<file_tag>(NONE));
	while (marker_palette_entry *entry = scan_marker_palette(&scan))
	{
		new_monster_palette_entry(entry);
		check(entry->tag_index != NONE);
	}
}

// Every marker makes its unit, taking the best unused veteran of its kind;
// the units then go so that the next input starts from an empty map.
void place_veterans(void)
{
	scan_markers_state scan;
	new_scan_markers_state(&scan, _marker_monster, NONE, NONE);
	while (marker_data *marker = scan_markers(&scan))
	{
		const int16 index = new_monster(marker);
		if (index == NONE) continue;
		const monster_data *monster = get_monster_data(index);
		check(monster != nullptr);
		check(strnlen(monster->name, MONSTER_NAME_LENGTH) < MONSTER_NAME_LENGTH);
		delete_monster(index, TRUE);
	}
}

void fuzz_import(const uint8_t *data, size_t size)
{
	const int32 length = static_cast<int32>(size > 20000 ? 20000 : size);
	const boolean accepted = import_monster_initializers(data, length);
	int16 count = 0;
	const monster_initializer *records = get_monster_initializers(&count);
	check(accepted == (length % MONSTER_INITIALIZER_STORED_SIZE == 0 && length <= 16000));
	check(count == (accepted ? length / MONSTER_INITIALIZER_STORED_SIZE : 0));
	for (int16 i = 0; i < count; ++i)
	{
		check(records[i].flags == (static_cast<uint32>(data[i * 40 + 3] & ~1u) | (static_cast<uint32>(data[i * 40]) << 24) |
			(static_cast<uint32>(data[i * 40 + 1]) << 16) | (static_cast<uint32>(data[i * 40 + 2]) << 8)));
		check(strnlen(records[i].name, sizeof(records[i].name)) < sizeof(records[i].name));
	}
	int32 exported_size = -1;
	export_monster_initializers(nullptr, &exported_size);
	check(exported_size == count * MONSTER_INITIALIZER_STORED_SIZE);
	std::vector<uint8_t> exported(static_cast<size_t>(exported_size) + 1);
	export_monster_initializers(exported.data(), &exported_size);
	for (int16 i = 0; i < count; ++i)
	{
		// Bytes 4-20 come back as they went in; the used flag is cleared and
		// the name's last byte terminated.
		check(memcmp(&exported[i * 40 + 4], &data[i * 40 + 4], 17) == 0);
	}
	place_veterans();
	build_monster_initializers();
	mark_monster_initializers_as_unused();
	backup_monster_initializers();
	restore_monster_initializers_from_backup();
}

void fuzz_adjustment(const uint8_t *data, size_t size)
{
	const int16 team = static_cast<int16>(static_cast<int8_t>(size > 0 ? data[0] : 0));
	const int16 count = static_cast<int16>(static_cast<int8_t>(size > 1 ? data[1] : 0));
	int16 counts[32] = {};
	for (size_t i = 0; i < 32 && 2 + 2 * i + 1 < size; ++i)
	{
		counts[i] = static_cast<int16>((data[2 + 2 * i] << 8) | data[3 + 2 * i]);
	}
	adjust_unit_placement(team, count, counts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1) return 0;
	enter_fuzz_directory("veterans", set_up_fuzz_directory);
	if (data[0] & 1) fuzz_adjustment(data + 1, size - 1);
	else fuzz_import(data + 1, size - 1);
	handle_error();
	leave_fuzz_directory();
	return 0;
}
