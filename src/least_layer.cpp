#include "least_layer.h"

#include "test_hooks.h"

void clear_least_call_log(least_call_log *log)
{
	if (log) memset(log, 0, sizeof(*log));
}

static least_call_record *find_record(const least_call_log *log, const char *name)
{
	if (!log || !name) return NULL;
	for (int32 i = 0; i < log->record_count; ++i)
	{
		const least_call_record *record = &log->records[i];
		if (record->name == name || strcmp(record->name, name) == 0) return const_cast<least_call_record *>(record);
	}
	return NULL;
}

const least_call_record *find_least_call(const least_call_log *log, const char *name)
{
	return find_record(log, name);
}

int32 least_call_count(const least_call_log *log, const char *name)
{
	const least_call_record *record = find_record(log, name);
	return record ? record->count : 0;
}

int64 least_call_argument(const least_call_log *log, const char *name, int32 index)
{
	const least_call_record *record = find_record(log, name);
	if (!record || index < 0 || index >= record->argument_count) return 0;
	return record->arguments[index];
}

const char *least_call_text(const least_call_log *log, const char *name)
{
	const least_call_record *record = find_record(log, name);
	return record ? record->text : "";
}

least_call_record *begin_least_call(least_call_log *log, const char *name)
{
	service_trace(name);
	if (!log || !name) return NULL;

	least_call_record *record = find_record(log, name);
	if (!record)
	{
		// A full log keeps tracing but stops recording new names.
		if (log->record_count >= MAXIMUM_LEAST_CALLS_PER_LOG) return NULL;
		record = &log->records[log->record_count++];
		record->name = name;
	}
	record->count += 1;
	record->argument_count = 0;
	memset(record->arguments, 0, sizeof(record->arguments));
	record->text[0] = 0;
	return record;
}

void least_layer_private::finish_least_call(least_call_record *record, const int64 *values, const char *const *texts,
	int32 count)
{
	record->argument_count = MIN(count, MAXIMUM_LEAST_CALL_ARGUMENTS);
	for (int32 i = 0; i < record->argument_count; ++i) record->arguments[i] = values[i];
	// The first text argument is kept.
	for (int32 i = 0; i < count; ++i)
	{
		if (!texts[i]) continue;
		strncpy(record->text, texts[i], MAXIMUM_LEAST_CALL_TEXT - 1);
		record->text[MAXIMUM_LEAST_CALL_TEXT - 1] = 0;
		break;
	}
}
