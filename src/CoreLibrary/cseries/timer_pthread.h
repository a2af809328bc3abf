// Periodic timer tasks, each on its own thread.
#ifndef TIMER_PTHREAD_H
#define TIMER_PTHREAD_H

#include <pthread.h>

#include <atomic>

#include "cseries.h"

typedef boolean (*timer_task_proc)(void);

struct timer_task_data
{
	int32 tasks_per_second;
	pthread_t thread;
	std::atomic<timer_task_proc> procedure;
	std::atomic<bool> stop;
	std::atomic<bool> removed_by_own_thread;
	// Used only to wake the thread early on removal.
	pthread_mutex_t mutex;
	pthread_cond_t condition;
};

typedef timer_task_data *timer_task;

// NULL when tasks_per_second is not positive or the thread cannot start.
timer_task install_timer_task(int16 tasks_per_second, timer_task_proc procedure);
// Stops the task; once this returns the procedure is not called again and the
// handle is gone. Called from the task's own procedure it only asks the
// thread to stop after the current call.
void remove_timer_task(timer_task task);

#endif
