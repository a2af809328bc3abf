#include "timer_pthread.h"

#include <time.h>

#include <cerrno>
#include <new>

namespace {

const int64 nanoseconds_per_second = 1000000000;

// The task whose procedure runs on this thread, so that a procedure can
// remove its own task.
thread_local timer_task current_timer_task = NULL;

int64 timespec_to_nanoseconds(const struct timespec &t)
{
	return static_cast<int64>(t.tv_sec) * nanoseconds_per_second + static_cast<int64>(t.tv_nsec);
}

struct timespec nanoseconds_to_timespec(int64 nanoseconds)
{
	struct timespec t;
	t.tv_sec = static_cast<time_t>(nanoseconds / nanoseconds_per_second);
	t.tv_nsec = static_cast<long>(nanoseconds % nanoseconds_per_second);
	return t;
}

int64 monotonic_now(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return timespec_to_nanoseconds(now);
}

void destroy_task(timer_task task)
{
	pthread_cond_destroy(&task->condition);
	pthread_mutex_destroy(&task->mutex);
	delete task;
}

void *timer_thread(void *data)
{
	timer_task task = static_cast<timer_task>(data);
	current_timer_task = task;

	// Whole seconds plus truncated nanoseconds.
	const int64 period = nanoseconds_per_second / task->tasks_per_second;
	int64 deadline = monotonic_now();

	for (;;)
	{
		if (task->stop.load()) break;
		timer_task_proc procedure = task->procedure.load();
		if (!procedure) break;

		// Absolute deadlines: a late turn is caught up by quick calls, but
		// never more than a second of them; further behind, the schedule
		// restarts from now.
		deadline += period;
		int64 now = monotonic_now();
		if (now - deadline > nanoseconds_per_second) deadline = now;

		struct timespec wake = nanoseconds_to_timespec(deadline);
		pthread_mutex_lock(&task->mutex);
		while (!task->stop.load())
		{
			int result = pthread_cond_timedwait(&task->condition, &task->mutex, &wake);
			if (result == ETIMEDOUT || monotonic_now() >= deadline) break;
		}
		pthread_mutex_unlock(&task->mutex);

		if (task->stop.load()) break;
		if (!procedure()) break;
	}

	current_timer_task = NULL;
	if (task->removed_by_own_thread.load())
	{
		// Nobody will join this thread.
		pthread_detach(pthread_self());
		destroy_task(task);
	}
	return NULL;
}

}

timer_task install_timer_task(int16 tasks_per_second, timer_task_proc procedure)
{
	if (tasks_per_second <= 0 || !procedure) return NULL;

	timer_task task = new (std::nothrow) timer_task_data;
	if (!task) return NULL;
	task->tasks_per_second = tasks_per_second;
	task->procedure.store(procedure);
	task->stop.store(false);
	task->removed_by_own_thread.store(false);

	pthread_condattr_t attributes;
	if (pthread_condattr_init(&attributes) != 0)
	{
		delete task;
		return NULL;
	}
	pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
	int condition_result = pthread_cond_init(&task->condition, &attributes);
	pthread_condattr_destroy(&attributes);
	if (condition_result != 0)
	{
		delete task;
		return NULL;
	}
	if (pthread_mutex_init(&task->mutex, NULL) != 0)
	{
		pthread_cond_destroy(&task->condition);
		delete task;
		return NULL;
	}

	if (pthread_create(&task->thread, NULL, timer_thread, task) != 0)
	{
		destroy_task(task);
		return NULL;
	}
	return task;
}

void remove_timer_task(timer_task task)
{
	if (!task) return;

	task->procedure.store(NULL);
	if (current_timer_task == task)
	{
		// From inside the procedure: the thread frees the task when it ends.
		task->removed_by_own_thread.store(true);
		task->stop.store(true);
		return;
	}

	pthread_mutex_lock(&task->mutex);
	task->stop.store(true);
	pthread_cond_signal(&task->condition);
	pthread_mutex_unlock(&task->mutex);

	pthread_join(task->thread, NULL);
	destroy_task(task);
}
