// Map scripting: loading a section (a refused count, then import and tag
// resolution of 128 and 1,024 actions), the scheduler over 1,000 actions (one
// pass and 31 idle ticks per iteration), a pass with 200 editing counters,
// and parameter lookups.
#include <benchmark/benchmark.h>

#include <vector>

#include "CoreLibrary/cseries/memory.h"
#include "map_actions/map_actions.h"
#include "zerv.h"

namespace
{

struct script_store
{
	game_data record = {};
	game_data *saved = nullptr;

	script_store()
	{
		saved = game;
		game = &record;
		record.type = _game_type_local;
		record.time_state = _game_time_countdown;
		record.winning_team_index = NONE;
		initialize_map_actions();
		initialize_map_actions_for_new_map();
	}
	~script_store()
	{
		dispose_map_actions_from_old_map();
		game = saved;
	}
};

void add_parameter(int16 index, field_tag name, int16 type, int32 count, const void *data)
{
	map_action_parameter parameter;
	new_map_action_parameter(&parameter, index, name, type);
	if (count > 0) set_map_action_parameter(&parameter, count, data);
}

int16 add_action(action_tag tag, uint32 flags, int16 mode)
{
	const int16 index = new_map_action(NONE);
	set_map_action_tag(index, tag);
	get_map_action(index)->flags = flags;
	get_map_action(index)->deactivation_mode = mode;
	return index;
}

// count actions of about 94 parameter bytes each ('name', a list and two values).
std::vector<uint8> section_of(int16 count, int16 *stored_count)
{
	script_store store;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = add_action(TAG("math"), 0, 0);
		set_map_action_name(index, "an action of the bench");
		const int16 list[8] = {0};
		add_parameter(index, TAG("acti"), _parameter_action_identifier, 8, list);
		const int32 values[4] = {1, 2, 3, 4};
		add_parameter(index, TAG("rint"), _parameter_integer, 4, values);
		add_parameter(index, TAG("sndt"), _parameter_sound_tag, 1, values);
	}
	int32 size = 0;
	void *block = export_map_actions(stored_count, &size);
	std::vector<uint8> bytes(static_cast<uint8 *>(block), static_cast<uint8 *>(block) + size);
	dispose_pointer(block);
	return bytes;
}

void BM_import_refuses_an_oversized_count(benchmark::State &state)
{
	script_store store;
	std::vector<uint8> section(64, 0);
	for (auto _ : state)
	{
		// Refused at its count: the store is left as it was.
		benchmark::DoNotOptimize(import_map_actions(2000, 2000 * 64, section.data(), TRUE));
	}
}
BENCHMARK(BM_import_refuses_an_oversized_count);

void BM_import_and_resolve(benchmark::State &state)
{
	int16 count = 0;
	const std::vector<uint8> section = section_of(static_cast<int16>(state.range(0)), &count);
	script_store store;
	for (auto _ : state)
	{
		initialize_map_actions_for_new_map();
		import_map_actions(count, static_cast<int32>(section.size()), section.data(), TRUE);
		preload_map_action_tags();
	}
	state.counters["ns_per_action"] =
		benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
			benchmark::Counter::kInvert);
}
BENCHMARK(BM_import_and_resolve)->Arg(128)->Arg(1024);

// 750 waiting timers, 230 read-only actions due every pass, counters 'math' counters.
void build_scheduler_store(int32 counters, int32 read_only = 230, int32 timers = 750)
{
	const int16 helper_a = add_action(TAG("plan"), 0, _map_action_deactivates_never);
	const int16 helper_b = add_action(TAG("plan"), 0, _map_action_deactivates_never);
	const int16 unsucceeded = add_action(TAG("none"), 0, 0);
	const int16 helpers[2] = {get_map_action_identifier(helper_a), get_map_action_identifier(helper_b)};
	const int16 inhibitor = get_map_action_identifier(unsucceeded);
	get_map_action(helper_a)->trigger_time_lower_bound = 1 << 30;
	get_map_action(helper_b)->trigger_time_lower_bound = 1 << 30;
	activate_map_action(helper_a);
	activate_map_action(helper_b);
	uint32 seed = 7;
	for (int32 i = 0; i < timers; ++i)
	{
		seed = seed * 1664525u + 1013904223u;
		const int16 index = add_action(TAG("plan"), 0, _map_action_deactivates_never);
		set_map_action_trigger_time(index, 300 + static_cast<int32>((seed >> 16) % 601), 64);
		activate_map_action(index);
	}
	static const action_tag tags[3] = {TAG("plan"), TAG("plyc"), TAG("acli")};
	for (int32 i = 0; i < read_only; ++i)
	{
		const int16 index = add_action(tags[i % 3], _map_action_no_initial_delay_flag, _map_action_deactivates_never);
		set_map_action_name(index, "read only");
		add_parameter(index, TAG("acot"), _parameter_action_identifier, 2, helpers);
		add_parameter(index, TAG("inhi"), _parameter_action_identifier, 1, &inhibitor);
		if (tags[i % 3] == TAG("acli"))
		{
			add_parameter(index, TAG("acti"), _parameter_action_identifier, 2, helpers);
			add_parameter(index, TAG("only"), _parameter_flag, 0, nullptr);
		}
		activate_map_action(index);
	}
	for (int32 i = 0; i < counters; ++i)
	{
		const int16 index = add_action(TAG("math"), _map_action_no_initial_delay_flag, _map_action_deactivates_never);
		const int16 self = get_map_action_identifier(index);
		const field_tag result = TAG("resu");
		const int32 one = 1, zero = 0;
		add_parameter(index, TAG("lact"), _parameter_action_identifier, 1, &self);
		add_parameter(index, TAG("lfld"), _parameter_field_name, 1, &result);
		add_parameter(index, TAG("rint"), _parameter_integer, 1, &one);
		add_parameter(index, TAG("+___"), _parameter_flag, 0, nullptr);
		add_parameter(index, TAG("resu"), _parameter_integer, 1, &zero);
		activate_map_action(index);
	}
}

void run_scheduler(benchmark::State &state, int32 counters, int32 read_only, int32 timers)
{
	script_store store;
	build_scheduler_store(counters, read_only, timers);
	const int32 actions = map_action_array.total_count;
	for (auto _ : state)
	{
		for (int32 tick = 0; tick < MAP_ACTION_FREQUENCY; ++tick)
		{
			update_map_actions();
			game->game_time += 1;
		}
	}
	state.counters["ns_per_action_tick"] = benchmark::Counter(static_cast<double>(actions) * MAP_ACTION_FREQUENCY,
		benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_scheduler_1000_actions(benchmark::State &state)
{
	run_scheduler(state, 20, 230, 750);
}
BENCHMARK(BM_scheduler_1000_actions);

// The read-only mix alone, at 100 and 1,000 actions.
void BM_scheduler_read_only(benchmark::State &state)
{
	run_scheduler(state, 0, static_cast<int32>(state.range(0)), 0);
}
BENCHMARK(BM_scheduler_read_only)->Arg(100)->Arg(1000);

void BM_scheduler_200_counters(benchmark::State &state)
{
	run_scheduler(state, 200, 230, 570);
}
BENCHMARK(BM_scheduler_200_counters);

void BM_scheduler_idle_tick(benchmark::State &state)
{
	script_store store;
	build_scheduler_store(20);
	game->game_time = 1;
	for (auto _ : state)
	{
		update_map_actions();
	}
}
BENCHMARK(BM_scheduler_idle_tick);

void BM_lookup(benchmark::State &state)
{
	script_store store;
	const int16 linked = add_action(TAG("none"), 0, 0);
	const int32 value = 5;
	add_parameter(linked, TAG("deep"), _parameter_integer, 1, &value);
	const int16 index = add_action(TAG("none"), 0, 0);
	for (int32 i = 0; i < 8; ++i) add_parameter(index, TAG("valu"), _parameter_integer, 1, &value);
	const int16 link = get_map_action_identifier(linked);
	add_parameter(index, TAG("link"), _parameter_action_identifier, 1, &link);
	static const field_tag names[3] = {TAG("valu"), TAG("miss"), TAG("deep")};
	const field_tag name = names[state.range(0)];
	map_action_parameter parameter;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(get_map_action_parameter(&parameter, index, 0, name, _parameter_integer));
	}
}
BENCHMARK(BM_lookup)->Arg(0)->Arg(1)->Arg(2);

} // namespace
