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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const fuzz_directory_scope in_folder("ai-script");
	if (!import_fuzz_unit_world_script(data, size, game_play_versions)) return 0;
	check_map_action_store();
	run_fuzz_unit_world_script();
	return 0;
}
