// Arbitrary map-action sections through the import, every search and getter,
// a fixed run of edits, copies and deletions, and four scheduler passes, with
// the buffer's block invariants checked after each step.
//
// Input: a version selector byte, a big-endian i16 action count, then the
// section (records and parameter area, big-endian, as stored).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data.h"
#include "map_action_fuzz_support.h"
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions.h"
#include "map_actions/presentation_action_procs.h"
#include "world.h"
#include "zerv.h"

namespace {

const int16 game_play_versions[] = {1300, 1511, 1600, 1601, 1720};

struct block
{
	int32 offset, size;
};

// Every live block inside the used area, its headers inside it, blocks disjoint.
void check_invariants(void)
{
	static block blocks[MAXIMUM_MAP_ACTIONS_PER_MAP];
	int32 count = 0;
	check_map_action_store([&count](const map_action *action) {
		if (action->parameters_size > 0) blocks[count++] = {action->parameters_offset, action->parameters_size};
	});
	// Insertion sort: few blocks, and no allocation per input.
	for (int32 i = 1; i < count; ++i)
	{
		const block b = blocks[i];
		int32 j = i;
		while (j > 0 && blocks[j - 1].offset > b.offset)
		{
			blocks[j] = blocks[j - 1];
			--j;
		}
		blocks[j] = b;
	}
	for (int32 i = 1; i < count; ++i) check(blocks[i - 1].offset + blocks[i - 1].size <= blocks[i].offset);
}

// The presentation procedures run for real (they touch no map they lack);
// every other tag answers from its identifier.
uint32 answer_from_identifier(int16 action_index)
{
	static const struct
	{
		action_tag tag;
		action_proc_pointer proc;
	} real[] = {{TAG("obmo"), observer_movement_action_proc}, {TAG("soun"), sound_action_proc},
		{TAG("ambi"), ambient_sound_action_proc}, {TAG("fade"), ingame_fade_action_proc},
		{TAG("ligh"), lightning_action_proc}, {TAG("part"), particle_system_action_proc},
		{TAG("lpgr"), local_projectile_group_action_proc}};
	const action_tag tag = get_map_action_tag(action_index);
	for (const auto &entry : real)
	{
		if (tag == entry.tag) return entry.proc(action_index);
	}
	return static_cast<uint16>(get_map_action_identifier(action_index)) & 7u;
}

void run_searches(int16 index)
{
	static const uint32 flag_sets[] = {0, 1, 2, 3, 4, 6, 7};
	for (uint32 flags : flag_sets)
	{
		find_map_action_parameter_state state;
		map_action_parameter result;
		new_find_map_action_parameter_state(&state, index, flags, static_cast<field_tag>(NONE), NONE);
		for (int32 steps = 0; steps < 256 && find_next_map_action_parameter(&state, &result); ++steps)
		{
			check(result.type >= 0 && result.type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES);
			check(extract_parameter_array_address(&result) != nullptr);
		}
		get_map_action_parameter(&result, index, flags, TAG("name"), NONE);
	}
	uint8 scratch[16 * 64];
	for (int16 type = 0; type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES; ++type)
	{
		get_combined_map_action_parameter(index, static_cast<field_tag>(NONE), type, scratch, 64);
	}
	for (int32 element : {-1, 0, 1000})
	{
		get_indexed_byte_parameter(index, TAG("name"), _parameter_character, scratch, element);
		get_indexed_short_integer_parameter(index, TAG("acti"), _parameter_action_identifier, scratch, element);
		get_indexed_long_integer_parameter(index, TAG("resu"), _parameter_integer, scratch, element);
		get_indexed_world_point2d_parameter(index, TAG("poly"), reinterpret_cast<world_point2d *>(scratch), element);
		get_indexed_world_rectangle2d_parameter(index, TAG("rect"), scratch, element);
		get_indexed_world_point3d_parameter(index, TAG("loca"), reinterpret_cast<world_point3d *>(scratch), element);
	}
	get_map_action_structure(index, TAG("#sta"), 74, scratch);
	check(get_map_action_name(index) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static game_data record;
	static bool initialized = false;
	if (!initialized)
	{
		game = &record;
		initialize_map_actions();
		initialized = true;
	}
	if (size < 3 || size > 3 + 64 * 1024 + PARAMETER_BUFFER_SIZE) return 0;
	memset(&record, 0, sizeof(record));
	record.winning_team_index = NONE;
	record.type = _game_type_local;
	game_play_version = game_play_versions[data[0] % (sizeof(game_play_versions) / sizeof(game_play_versions[0]))];
	const int16 count = static_cast<int16>((data[1] << 8) | data[2]);

	initialize_map_actions_for_new_map();
	get_map_actions_test_hooks()->answer_every_tag = answer_from_identifier;
	if (!import_map_actions(count, static_cast<int32>(size - 3), data + 3, TRUE))
	{
		check(map_action_array.total_count == 0 && get_map_action_parameter_buffer_size() == 0);
		return 0;
	}
	preload_map_action_tags();
	check_invariants();

	const int16 live = map_action_array.count;
	for (int16 index = -1; index <= live && index < 16; ++index) run_searches(index);
	run_searches(live);

	// A fixed run of edits over the first actions.
	for (int16 index = 0; index < live && index < 8; ++index)
	{
		map_action_parameter parameter, copy;
		const int32 values[4] = {1, 2, 3, 4};
		if (new_map_action_parameter(&parameter, index, TAG("fuzz"), _parameter_integer))
		{
			set_map_action_parameter(&parameter, 4, values);
			append_to_map_action_parameter(&parameter, 2, nullptr);
			if (new_map_action_parameter(&copy, index, TAG("copy"), _parameter_integer)) copy_map_action_parameter(&parameter, &copy);
			check_invariants();
		}
		if (build_map_action_parameter(&parameter, index, 0))
		{
			set_map_action_parameter_type(&parameter, _parameter_fixed);
			delete_map_action_parameter(&parameter);
		}
		check_invariants();
		const int16 child = new_map_action(index);
		check_invariants();
		if ((index & 1) && child != NONE) delete_map_action(child);
		check_invariants();
	}

	for (int32 pass = 0; pass < 4; ++pass)
	{
		record.game_time = pass * MAP_ACTION_FREQUENCY;
		update_map_actions();
		check(map_action_globals->trigger_stack_size == 0);
		check_invariants();
	}
	get_map_actions_test_hooks()->answer_every_tag = nullptr;
	dispose_map_actions_from_old_map();
	return 0;
}
