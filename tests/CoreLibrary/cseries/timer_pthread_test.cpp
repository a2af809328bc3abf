#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "CoreLibrary/cseries/timer_pthread.h"

namespace {

int64 now_milliseconds(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<int64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void sleep_milliseconds(int32 milliseconds)
{
	usleep(static_cast<useconds_t>(milliseconds) * 1000u);
}

std::atomic<int32> call_count{0};
std::atomic<int32> block_on_call{0};
std::atomic<int32> block_milliseconds{0};
std::atomic<int32> false_on_call{0};
std::atomic<int32> remove_self_on_call{0};
std::atomic<timer_task> self_task{nullptr};
std::mutex times_lock;
std::vector<int64> call_times;

void reset_counters(void)
{
	call_count = 0;
	block_on_call = 0;
	block_milliseconds = 0;
	false_on_call = 0;
	remove_self_on_call = 0;
	self_task = nullptr;
	std::lock_guard<std::mutex> guard(times_lock);
	call_times.clear();
}

boolean counting_procedure(void)
{
	int32 call = ++call_count;
	{
		std::lock_guard<std::mutex> guard(times_lock);
		call_times.push_back(now_milliseconds());
	}
	if (call == block_on_call) sleep_milliseconds(block_milliseconds);
	if (call == remove_self_on_call) remove_timer_task(self_task.load());
	return call != false_on_call;
}

std::vector<int64> times_copy(void)
{
	std::lock_guard<std::mutex> guard(times_lock);
	return call_times;
}

// Calls that started within window milliseconds of the blocked call's end.
int32 quick_calls_after_block(int32 blocked_call, int32 window)
{
	std::vector<int64> times = times_copy();
	if (static_cast<int32>(times.size()) < blocked_call) return 0;
	int64 block_end = times[static_cast<size_t>(blocked_call - 1)] + block_milliseconds;
	int32 count = 0;
	for (size_t i = static_cast<size_t>(blocked_call); i < times.size(); ++i)
	{
		if (times[i] <= block_end + window) ++count;
	}
	return count;
}

// The thread runs on the real clock, so these tests do too. A loaded machine
// may starve the thread for a while, so the bounds below hold whatever the
// delays: a task never runs ahead of its schedule, and lower bounds are loose
// or waited for.
void wait_for_calls(int32 count, int32 limit_milliseconds = 5000)
{
	for (int32 waited = 0; call_count.load() < count && waited < limit_milliseconds; waited += 5) sleep_milliseconds(5);
}

}

TEST(timer_pthread, RunsAboutThirtyTimesASecond)
{
	reset_counters();
	const int64 start = now_milliseconds();
	timer_task task = install_timer_task(30, counting_procedure);
	ASSERT_NE(nullptr, task);
	EXPECT_EQ(30, task->tasks_per_second);
	sleep_milliseconds(2000);
	remove_timer_task(task);
	const int32 expected = static_cast<int32>((now_milliseconds() - start) * 30 / 1000);
	EXPECT_GE(call_count.load(), expected / 2);
	EXPECT_LE(call_count.load(), expected + 1);
}

TEST(timer_pthread, CatchesUpAfterABlockAndKeepsItsRate)
{
	reset_counters();
	block_on_call = 5;
	block_milliseconds = 200;
	timer_task task = install_timer_task(30, counting_procedure);
	ASSERT_NE(nullptr, task);
	int64 start = now_milliseconds();
	sleep_milliseconds(2000);
	remove_timer_task(task);
	int64 elapsed = now_milliseconds() - start;

	// About six turns were missed; they follow in quick succession, where the
	// normal pace would give one or two calls in the window.
	EXPECT_GE(quick_calls_after_block(5, 60), 4);
	int32 expected = static_cast<int32>(elapsed * 30 / 1000);
	EXPECT_GE(call_count.load(), expected / 2);
	EXPECT_LE(call_count.load(), expected + 1);
}

TEST(timer_pthread, CatchUpIsCappedAtOneSecond)
{
	reset_counters();
	block_on_call = 3;
	block_milliseconds = 1500;
	timer_task task = install_timer_task(30, counting_procedure);
	ASSERT_NE(nullptr, task);
	sleep_milliseconds(2000);
	remove_timer_task(task);
	// Without the cap some 45 turns would be made up at once.
	EXPECT_LE(quick_calls_after_block(3, 100), 6);
	EXPECT_GE(call_count.load(), 6);
}

TEST(timer_pthread, FalseEndsTheCalls)
{
	reset_counters();
	false_on_call = 3;
	timer_task task = install_timer_task(60, counting_procedure);
	ASSERT_NE(nullptr, task);
	wait_for_calls(3);
	sleep_milliseconds(200);
	EXPECT_EQ(3, call_count.load());
	// The ended task is still the caller's to remove.
	remove_timer_task(task);
	EXPECT_EQ(3, call_count.load());
}

TEST(timer_pthread, NoCallAfterRemoval)
{
	reset_counters();
	// Mid-wait: one call a second, removed long before the first.
	timer_task slow = install_timer_task(1, counting_procedure);
	ASSERT_NE(nullptr, slow);
	sleep_milliseconds(100);
	int64 before = now_milliseconds();
	remove_timer_task(slow);
	EXPECT_LT(now_milliseconds() - before, 500);
	sleep_milliseconds(1200);
	EXPECT_EQ(0, call_count.load());

	// Mid-call: the removal waits for the running call to end.
	reset_counters();
	block_on_call = 1;
	block_milliseconds = 150;
	timer_task busy = install_timer_task(50, counting_procedure);
	ASSERT_NE(nullptr, busy);
	sleep_milliseconds(60);
	remove_timer_task(busy);
	int32 count = call_count.load();
	sleep_milliseconds(200);
	EXPECT_EQ(count, call_count.load());
}

TEST(timer_pthread, ProcedureCanRemoveItsOwnTask)
{
	reset_counters();
	timer_task task = install_timer_task(60, counting_procedure);
	ASSERT_NE(nullptr, task);
	// Armed only once the procedure can know its task, however late this runs.
	self_task = task;
	const int32 last_call = call_count.load() + 2;
	remove_self_on_call = last_call;
	wait_for_calls(last_call);
	sleep_milliseconds(200);
	// The thread freed the task itself (checked by the leak sanitizer).
	EXPECT_EQ(last_call, call_count.load());
}

TEST(timer_pthread, RateOfZeroOrLessGivesNull)
{
	EXPECT_EQ(nullptr, install_timer_task(0, counting_procedure));
	EXPECT_EQ(nullptr, install_timer_task(-5, counting_procedure));
	EXPECT_EQ(nullptr, install_timer_task(30, NULL));
	remove_timer_task(NULL);
}
