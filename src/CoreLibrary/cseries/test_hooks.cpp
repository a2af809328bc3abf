#include "test_hooks.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct test_hooks_globals_data
{
	std::mutex trace_lock; // the timer thread may report too
	bool trace_enabled = false;
	std::vector<std::string> trace;
	std::string joined;

	std::atomic<bool> manual_clock_on{false};
	std::atomic<uint32> manual_clock_time{0};
};

test_hooks_globals_data &test_hooks_globals()
{
	static test_hooks_globals_data globals;
	return globals;
}

}

void service_trace(const char *name)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	if (g.trace_enabled) g.trace.emplace_back(name ? name : "");
}

void service_trace_enable(bool enable)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	g.trace_enabled = enable;
}

bool service_trace_enabled(void)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	return g.trace_enabled;
}

void service_trace_clear(void)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	g.trace.clear();
}

int32 service_trace_count(void)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	return static_cast<int32>(g.trace.size());
}

const char *service_trace_get(int32 index)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	if (index < 0 || static_cast<size_t>(index) >= g.trace.size()) return NULL;
	return g.trace[static_cast<size_t>(index)].c_str();
}

const char *service_trace_string(void)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	g.joined.clear();
	for (size_t i = 0; i < g.trace.size(); ++i)
	{
		if (i) g.joined += ' ';
		g.joined += g.trace[i];
	}
	return g.joined.c_str();
}

int32 service_trace_find(const char *name, int32 start)
{
	test_hooks_globals_data &g = test_hooks_globals();
	std::lock_guard<std::mutex> guard(g.trace_lock);
	if (!name) return NONE;
	for (size_t i = start < 0 ? 0 : static_cast<size_t>(start); i < g.trace.size(); ++i)
	{
		if (g.trace[i] == name) return static_cast<int32>(i);
	}
	return NONE;
}

void test_set_manual_clock(bool on)
{
	test_hooks_globals().manual_clock_on.store(on);
}

bool test_manual_clock_is_on(void)
{
	return test_hooks_globals().manual_clock_on.load();
}

void test_advance_manual_clock(uint32 milliseconds)
{
	test_hooks_globals().manual_clock_time.fetch_add(milliseconds);
}

void test_set_manual_clock_time(uint32 milliseconds)
{
	test_hooks_globals().manual_clock_time.store(milliseconds);
}

uint32 test_manual_clock_time(void)
{
	return test_hooks_globals().manual_clock_time.load();
}

void reset_test_hooks_test_hooks(void)
{
	test_hooks_globals_data &g = test_hooks_globals();
	{
		std::lock_guard<std::mutex> guard(g.trace_lock);
		g.trace_enabled = false;
		g.trace.clear();
		g.joined.clear();
	}
	g.manual_clock_on.store(false);
	g.manual_clock_time.store(0);
}
