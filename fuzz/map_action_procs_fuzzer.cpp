// Arbitrary map-action sections whose actions are the unit order, unit control
// and world object procedures: on the small world of units, each such action
// is run once directly, then four scheduler passes follow, with the store's
// block invariants checked after each step. The world and the attack AI are
// put back before every input.
//
// Input: a play-version selector byte (1300, 1511, 1691 or 1720), a big-endian
// i16 action count, then the section (records and parameter area, big-endian,
// as stored; '#glo' blobs included).
#include <cstddef>
#include <cstdint>

#include "attack_ai.h"
#include "map_actions/map_actions.h"
#include "map_actions/unit_order_action_procs.h"
#include "map_actions/world_object_action_procs.h"
#include "map_fuzz_support.h"

namespace {

const int16 game_play_versions[] = {1300, 1511, 1691, 1720};

struct tagged_proc
{
	file_tag tag;
	uint32 (*proc)(int16 action_index);
};

const tagged_proc procs[] = {
	{TAG("atta"), attack_command_action_proc}, {TAG("gene"), general_command_action_proc},
	{TAG("move"), movement_command_action_proc}, {TAG("pick"), pick_up_object_action_proc},
	{TAG("ctrl"), unit_control_action_proc}, {TAG("mece"), mesh_cell_action_proc},
	{TAG("anim"), model_animation_action_proc}, {TAG("moef"), model_effect_action_proc},
	{TAG("moma"), move_marker_action_proc}, {TAG("obco"), object_control_action_proc},
	{TAG("gate"), world_gate_action_proc},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const fuzz_directory_scope in_folder("map-action-procs");
	if (!import_fuzz_unit_world_script(data, size, game_play_versions)) return 0;
	check_map_action_store();
	// The count is read again each time: a proc may add or delete actions.
	for (int16 i = 0; i < map_action_array.count; ++i)
	{
		if (!get_map_action(i)) continue;
		const file_tag tag = get_map_action_tag(i);
		for (const tagged_proc &entry : procs)
		{
			if (entry.tag == tag) entry.proc(i);
		}
		check_map_action_store();
	}
	run_fuzz_unit_world_script();
	return 0;
}
