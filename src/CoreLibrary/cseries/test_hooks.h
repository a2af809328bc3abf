// Hooks through which tests observe and steer the platform services: the
// service trace (an ordered record of calls made into least layers and hook
// slots) and the manual clock behind machine_tick_count.
#ifndef TEST_HOOKS_H
#define TEST_HOOKS_H

#include "cseries.h"

// Service trace. Calls are recorded only while the trace is enabled.
void service_trace(const char *name);
void service_trace_enable(bool enable);
bool service_trace_enabled(void);
void service_trace_clear(void);
int32 service_trace_count(void);
// NULL when index is out of range.
const char *service_trace_get(int32 index);
// The recorded names joined by single blanks; valid until the next trace call.
const char *service_trace_string(void);
// Index of the first entry equal to name at or after start, NONE when absent.
int32 service_trace_find(const char *name, int32 start);

// Manual clock: while on, machine_tick_count answers the manual time, which
// moves only through test_advance_manual_clock.
void test_set_manual_clock(bool on);
bool test_manual_clock_is_on(void);
void test_advance_manual_clock(uint32 milliseconds);
void test_set_manual_clock_time(uint32 milliseconds);
uint32 test_manual_clock_time(void);

// Turns the trace off, empties it and switches the manual clock off at time 0.
void reset_test_hooks_test_hooks(void);

#endif
