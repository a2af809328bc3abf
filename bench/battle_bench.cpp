// The 200-against-200 battle on 'bnch' through the headless harness, with
// its script, timed tick by tick: the mean and worst microseconds per tick,
// how many times faster than real time (30 ticks a second) it plays, and the
// peak resident size. Further cases play 'bnch' with the attack AI on both
// sides, 'bnch' with team 1 run by the group AI script (timing the map-action
// slot too), the 'demo' battle and the first level with its computer team
// open and shut (both timing the map-action slot). --battle_ticks=N
// changes the 5400 ticks (or the game's end) of each battle; --slot_breakdown
// prints the microseconds per tick of each tick slot; --worst_ticks=N lists
// the N ticks after the first that took the most thread CPU (with their slots
// when the breakdown is on). Thread CPU leaves out the time the thread waited
// for a core, which a loaded machine adds to the wall clock of any tick.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "monsters.h"
#include "support/battle_script.h"
#include "support/bnch_ai_script.h"
#include "support/zerv_harness.h"
#include "zerv.h"
#include "zerv_hooks.h"

namespace {

int32 battle_ticks = 5400;
// --slot_breakdown: time each tick slot too (the clock reads add a little to the tick).
bool slot_breakdown = false;
// --worst_ticks=N: how many of the costliest ticks (by thread CPU) to list.
int32 worst_ticks_listed = 0;

// Where a tick goes: the microseconds of each tick slot over the battle, in
// the order the slots first ran.
struct slot_timing
{
	std::vector<std::string> order;
	std::map<std::string, double> total_us;
	std::chrono::steady_clock::time_point started;
	std::vector<double> tick_us; // this tick's microseconds per slot, in `order`
};

// One tick after the first: its game time, thread CPU, wall clock, and its slots.
struct tick_cost
{
	int32 tick;
	double cpu_us, wall_us;
	std::vector<double> slot_us;
};

struct battle_timing
{
	int32 ticks = 0;
	double mean_us = 0, worst_us = 0;
	int32 worst_tick = 0;
	// After the first tick (which builds what the battle keeps).
	double worst_later_us = 0, worst_later_cpu_us = 0;
	int32 worst_later_tick = 0, worst_later_cpu_tick = 0;
	std::vector<tick_cost> costliest; // by thread CPU, most first
	double peak_rss_mb = 0;
	slot_timing slots;
};
enum
{
	_battle_scripted,
	_battle_attack_ai, // a demo-type game of two computers: the attack AI plays both sides
	_battle_computer_team, // team 1 by the group AI script, team 0 by its orders
	_battle_level_open, // the level's own computer team runs (team 1 a computer)
	_battle_level_shut // a human on team 1 keeps the level's computer team shut
};

bool reports_map_actions(int16 mode)
{
	return mode == _battle_computer_team || mode == _battle_level_open || mode == _battle_level_shut;
}

void time_slot(const char *slot_name, boolean after, void *data)
{
	slot_timing *timing = static_cast<slot_timing *>(data);
	const auto now = std::chrono::steady_clock::now();
	if (!after)
	{
		timing->started = now;
		return;
	}
	auto found = timing->total_us.find(slot_name);
	if (found == timing->total_us.end())
	{
		timing->order.push_back(slot_name);
		found = timing->total_us.emplace(slot_name, 0.0).first;
	}
	const double us = std::chrono::duration<double, std::micro>(now - timing->started).count();
	found->second += us;
	if (worst_ticks_listed > 0)
	{
		const size_t at = static_cast<size_t>(std::find(timing->order.begin(), timing->order.end(), found->first) - timing->order.begin());
		if (timing->tick_us.size() <= at) timing->tick_us.resize(at + 1, 0.0);
		timing->tick_us[at] += us;
	}
}

void print_slot_breakdown(const slot_timing &slots, int32 ticks, double mean_us)
{
	if (ticks <= 0) return;
	double in_slots = 0;
	for (const std::string &name : slots.order)
	{
		const double per_tick = slots.total_us.at(name) / ticks;
		in_slots += per_tick;
		if (per_tick >= 0.05) std::printf("  %-40s %8.2f us/tick %5.1f%%\n", name.c_str(), per_tick, 100.0 * per_tick / mean_us);
	}
	std::printf("  %-40s %8.2f us/tick %5.1f%%\n", "(outside the tick slots)", mean_us - in_slots,
		100.0 * (mean_us - in_slots) / mean_us);
}

double thread_cpu_us(void)
{
	struct timespec now = {};
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
	return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Keeps the worst_ticks_listed costliest ticks by CPU, most first.
void note_tick_cost(std::vector<tick_cost> *costliest, tick_cost cost)
{
	const size_t limit = static_cast<size_t>(worst_ticks_listed);
	if (limit == 0) return;
	if (costliest->size() == limit && costliest->back().cpu_us >= cost.cpu_us) return;
	auto at = std::upper_bound(costliest->begin(), costliest->end(), cost,
		[](const tick_cost &a, const tick_cost &b) { return a.cpu_us > b.cpu_us; });
	costliest->insert(at, std::move(cost));
	if (costliest->size() > limit) costliest->pop_back();
}

double peak_rss_mb(void)
{
	struct rusage usage = {};
	getrusage(RUSAGE_SELF, &usage);
	return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Plays the battle one single-tick frame at a time, without the per-tick
// digest (the mesh slot alone would dominate), timing each frame.
bool play_battle(file_tag map, battle_timing *timing, int16 mode = _battle_scripted)
{
	new_game_data setup;
	if (mode == _battle_attack_ai) harness_ai_battle_setup(&setup, map);
	else harness_battle_setup(&setup, map, mode != _battle_level_shut);
	if (!harness_initialize() || !harness_start_map(&setup)) return false;
	if (mode == _battle_computer_team && !start_bnch_computer_team()) return false;
	set_zerv_tick_hook(nullptr, nullptr);
	// The computer-team and level cases report their map-action slot; the
	// others time their slots only when asked, so the clock reads stay out of
	// the figures.
	if (slot_breakdown || reports_map_actions(mode)) set_zerv_slot_observer(time_slot, &timing->slots);
	double total = 0;
	int32 ran = 0;
	std::vector<battle_order> orders;
	if (mode != _battle_attack_ai)
	{
		for (const battle_order &order : battle_script(map))
		{
			if (mode == _battle_scripted || order.team == 0) orders.push_back(order);
		}
	}
	size_t next_order = 0;
	const int32 start = game->game_time;
	while (ran < battle_ticks && !harness_game_is_finished())
	{
		while (next_order < orders.size() && orders[next_order].game_time <= game->game_time - start)
		{
			// The orders are resolved (and issued once commands can be built) between frames.
			resolve_battle_order(orders[next_order]);
			++next_order;
		}
		timing->slots.tick_us.assign(timing->slots.tick_us.size(), 0.0);
		// The thread clock is a system call: read only when the costliest ticks are asked for.
		const double cpu_before = worst_ticks_listed > 0 ? thread_cpu_us() : 0.0;
		const auto before = std::chrono::steady_clock::now();
		const int32 advanced = harness_run_ticks(1, 1);
		const auto after = std::chrono::steady_clock::now();
		const double cpu_us = worst_ticks_listed > 0 ? thread_cpu_us() - cpu_before : 0.0;
		if (advanced <= 0) break;
		const double us = std::chrono::duration<double, std::micro>(after - before).count();
		total += us;
		if (us > timing->worst_us)
		{
			timing->worst_us = us;
			timing->worst_tick = game->game_time;
		}
		if (ran > 0)
		{
			if (us > timing->worst_later_us)
			{
				timing->worst_later_us = us;
				timing->worst_later_tick = game->game_time;
			}
			if (cpu_us > timing->worst_later_cpu_us)
			{
				timing->worst_later_cpu_us = cpu_us;
				timing->worst_later_cpu_tick = game->game_time;
			}
			note_tick_cost(&timing->costliest, {game->game_time, cpu_us, us, timing->slots.tick_us});
		}
		ran += advanced;
	}
	timing->ticks = ran;
	timing->mean_us = ran ? total / ran : 0;
	timing->peak_rss_mb = peak_rss_mb();
	set_zerv_slot_observer(nullptr, nullptr);
	harness_end_map();
	harness_shutdown();
	return true;
}

void report(benchmark::State &state, const char *name, const battle_timing &timing, int16 mode)
{
	const double x_real_time = timing.mean_us > 0 ? 33333.3 / timing.mean_us : 0;
	const auto slot = timing.slots.total_us.find("update_map_actions");
	const double map_actions_us = timing.ticks && slot != timing.slots.total_us.end() ? slot->second / timing.ticks : 0;
	state.counters["map_actions_us_per_tick"] = map_actions_us;
	state.counters["mean_us_per_tick"] = timing.mean_us;
	state.counters["worst_us_per_tick"] = timing.worst_us;
	state.counters["worst_later_us"] = timing.worst_later_us;
	if (worst_ticks_listed > 0) state.counters["worst_later_cpu_us"] = timing.worst_later_cpu_us;
	state.counters["x_real_time"] = x_real_time;
	state.counters["peak_rss_mb"] = timing.peak_rss_mb;
	if (reports_map_actions(mode))
	{
		std::printf("battle %s: %d ticks, mean %.1f us/tick, worst %.1f us/tick at tick %d, map actions %.1f us/tick "
			"(%.0f%%), %.0fx real time, peak RSS %.1f MB\n",
			name, timing.ticks, timing.mean_us, timing.worst_us, timing.worst_tick, map_actions_us,
			timing.mean_us > 0 ? 100.0 * map_actions_us / timing.mean_us : 0.0, x_real_time, timing.peak_rss_mb);
		return;
	}
	std::printf("battle %s: %d ticks, mean %.1f us/tick, worst %.1f us/tick at tick %d, %.0fx real time, peak RSS %.1f MB\n",
		name, timing.ticks, timing.mean_us, timing.worst_us, timing.worst_tick, x_real_time, timing.peak_rss_mb);
	std::printf("  after the first tick: worst %.1f us wall at tick %d", timing.worst_later_us, timing.worst_later_tick);
	if (worst_ticks_listed > 0) std::printf(", worst %.1f us thread CPU at tick %d", timing.worst_later_cpu_us, timing.worst_later_cpu_tick);
	std::printf("\n");
	for (const tick_cost &cost : timing.costliest)
	{
		std::printf("  tick %5d: %8.1f us CPU, %8.1f us wall", cost.tick, cost.cpu_us, cost.wall_us);
		for (size_t i = 0; i < cost.slot_us.size() && i < timing.slots.order.size(); ++i)
		{
			if (cost.slot_us[i] >= 50.0) std::printf(", %s %.0f", timing.slots.order[i].c_str(), cost.slot_us[i]);
		}
		std::printf("\n");
	}
	if (slot_breakdown) print_slot_breakdown(timing.slots, timing.ticks, timing.mean_us);
}

void BM_battle(benchmark::State &state, file_tag map, const char *name, int16 mode = _battle_scripted)
{
	battle_timing timing;
	for (auto _ : state)
	{
		timing = battle_timing();
		if (!play_battle(map, &timing, mode))
		{
			state.SkipWithError("the battle map did not start");
			return;
		}
	}
	report(state, name, timing, mode);
}

void BM_battle_bnch(benchmark::State &state)
{
	BM_battle(state, TAG("bnch"), "bnch 200 v 200");
}
BENCHMARK(BM_battle_bnch)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_battle_bnch_ai(benchmark::State &state)
{
	BM_battle(state, TAG("bnch"), "bnch ai 200 v 200", _battle_attack_ai);
}
BENCHMARK(BM_battle_bnch_ai)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_battle_bnch_computer_team(benchmark::State &state)
{
	BM_battle(state, TAG("bnch"), "bnch 200 v 200, scripted computer team", _battle_computer_team);
}
BENCHMARK(BM_battle_bnch_computer_team)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_battle_demo(benchmark::State &state)
{
	BM_battle(state, TAG("demo"), "demo");
}
BENCHMARK(BM_battle_demo)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_battle_l1(benchmark::State &state)
{
	BM_battle(state, TAG("l1  "), "l1 first level, computer team", _battle_level_open);
}
BENCHMARK(BM_battle_l1)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_battle_l1_shut(benchmark::State &state)
{
	BM_battle(state, TAG("l1  "), "l1 first level, computer team shut", _battle_level_shut);
}
BENCHMARK(BM_battle_l1_shut)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
	// Our own flag first; Google Benchmark refuses flags it does not know.
	int kept = 1;
	for (int i = 1; i < argc; ++i)
	{
		if (strncmp(argv[i], "--battle_ticks=", 15) == 0) battle_ticks = atoi(argv[i] + 15);
		else if (strcmp(argv[i], "--slot_breakdown") == 0) slot_breakdown = true;
		else if (strncmp(argv[i], "--worst_ticks=", 14) == 0) worst_ticks_listed = std::max(0, atoi(argv[i] + 14));
		else argv[kept++] = argv[i];
	}
	argc = kept;
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
