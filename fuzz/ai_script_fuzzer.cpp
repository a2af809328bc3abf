// Arbitrary map-action sections run as the script of the small world of
// units: four scheduler passes at pass ticks, so the group AI procs (and any
// other registered proc the section names) give their orders, with the
// store's block invariants checked after each pass. The world and the attack
// AI are put back before every input.
//
// Input: a play-version selector byte (1300, 1601 or 1720), a big-endian i16
// action count, then the section (records and parameter area, big-endian, as
// stored).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "attack_ai.h"
#include "map_actions/map_actions.h"
#include "map_fuzz_support.h"

namespace {

const int16 game_play_versions[] = {1300, 1601, 1720};

void check_store(void)
{
	const int32 used = get_map_action_parameter_buffer_size();
	check(used >= 0 && used <= PARAMETER_BUFFER_SIZE);
	for (int16 i = 0; i < map_action_array.count; ++i)
	{
		const map_action *action = get_map_action(i);
		if (!action) continue;
		check(action->parameters_offset >= 0 && action->parameters_size >= 0 && action->parameter_count >= 0);
		check(action->parameters_offset + action->parameters_size <= used);
		int32 walked = 0;
		for (int16 p = 0; p < action->parameter_count; ++p)
		{
			const map_action_parameter_header *header = get_map_action_parameter_header(i, p);
			check(header != nullptr);
			check(header->type >= 0 && header->type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES && header->count >= 0);
			walked += 8 + get_parameter_size(header->type, header->count, TRUE);
		}
		check(walked <= action->parameters_size);
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static bool initialized = false;
	if (!initialized)
	{
		set_up_fuzz_unit_world();
		initialize_map_actions();
		initialized = true;
	}
	if (size < 3 || size > 3 + 64 * 1024 + PARAMETER_BUFFER_SIZE) return 0;
	restore_fuzz_unit_world();
	set_random_seed(DEFAULT_RANDOM_SEED);
	game_play_version = game_play_versions[data[0] % (sizeof(game_play_versions) / sizeof(game_play_versions[0]))];
	const int16 count = static_cast<int16>((data[1] << 8) | data[2]);

	initialize_map_actions_for_new_map();
	if (!import_map_actions(count, static_cast<int32>(size - 3), data + 3, TRUE))
	{
		check(map_action_array.total_count == 0 && get_map_action_parameter_buffer_size() == 0);
		dispose_map_actions_from_old_map();
		return 0;
	}
	check_store();
	for (int32 pass = 0; pass < 4; ++pass)
	{
		game->game_time = pass * MAP_ACTION_FREQUENCY;
		update_map_actions();
		check_store();
	}
	game->game_time = 0;
	reset_attack_ai();
	dispose_map_actions_from_old_map();
	return 0;
}
