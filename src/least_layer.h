// Bookkeeping shared by the least layers: the services whose subsystem has no
// full design yet. Each call reports its name to the service trace and leaves
// its count and last arguments in its module's call log, where tests read it.
#ifndef LEAST_LAYER_H
#define LEAST_LAYER_H

#include <type_traits>

#include "cseries.h"

#define MAXIMUM_LEAST_CALLS_PER_LOG 256
#define MAXIMUM_LEAST_CALL_ARGUMENTS 8
#define MAXIMUM_LEAST_CALL_TEXT 256

struct least_call_record
{
	const char *name; // a literal; NULL for a free slot
	int32 count;
	int32 argument_count;
	int64 arguments[MAXIMUM_LEAST_CALL_ARGUMENTS];
	// The first text argument of the last call.
	char text[MAXIMUM_LEAST_CALL_TEXT];
};

struct least_call_log
{
	int32 record_count;
	least_call_record records[MAXIMUM_LEAST_CALLS_PER_LOG];
};

void clear_least_call_log(least_call_log *log);
// The record of name, NULL when it was never called.
const least_call_record *find_least_call(const least_call_log *log, const char *name);
int32 least_call_count(const least_call_log *log, const char *name);
// Argument index of the last call; 0 when absent.
int64 least_call_argument(const least_call_log *log, const char *name, int32 index);
// The last call's text argument; "" when absent.
const char *least_call_text(const least_call_log *log, const char *name);

// Reports name to the service trace and opens its record for a new call.
least_call_record *begin_least_call(least_call_log *log, const char *name);

namespace least_layer_private
{
	// Every argument becomes one 64-bit value: integers and enumerations as
	// they are, pointers as addresses.
	inline int64 value_of(const char *text) { return static_cast<int64>(reinterpret_cast<intptr_t>(text)); }

	template <typename T>
	int64 value_of(T value)
	{
		if constexpr (std::is_pointer_v<T>) return static_cast<int64>(reinterpret_cast<intptr_t>(value));
		else return static_cast<int64>(value);
	}

	template <typename T>
	const char *text_of(T) { return NULL; }
	inline const char *text_of(const char *text) { return text; }
	inline const char *text_of(char *text) { return text; }

	void finish_least_call(least_call_record *record, const int64 *values, const char *const *texts, int32 count);
}

// Records one call of name with its arguments (integers, enumerations,
// pointers and texts).
template <typename... T>
void least_call(least_call_log *log, const char *name, T... arguments)
{
	least_call_record *record = begin_least_call(log, name);
	if (!record) return;
	const int64 values[] = {0, least_layer_private::value_of(arguments)...};
	const char *const texts[] = {NULL, least_layer_private::text_of(arguments)...};
	least_layer_private::finish_least_call(record, values + 1, texts + 1, static_cast<int32>(sizeof...(T)));
}

#endif
