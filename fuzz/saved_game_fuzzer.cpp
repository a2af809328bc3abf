// Saved games as they come off disk: the whole-file check (header, picture,
// camera and console), then the walk a restore makes over every block.
#include "recording_fuzz_support.h"

using recording_fuzz::check;
using recording_fuzz::walk_blocks;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > (1u << 22)) return 0;
	recording_file_summary summary;
	char error[256];
	if (validate_recording_data(data, static_cast<int32>(size), _saved_game_recording_type, "fuzz", &summary, error,
			sizeof(error)))
	{
		walk_blocks(data, static_cast<int32>(size), &summary);
		check(summary.header.version >= 1 && summary.header.version <= RECORDING_VERSION);
		check(summary.has_last_block);
		const save_game_header *save = &summary.save_header;
		check(save->cached_console_line_count >= 0 && save->cached_console_line_count <= MAXIMUM_CACHED_CONSOLE_LINES);
		check(save->zoom_factor > 0);
		for (int32 i = 0; i < MAXIMUM_CACHED_CONSOLE_LINES; ++i)
		{
			check(strnlen(save->cached_console_text[i].text, CACHED_CONSOLE_LINE_LENGTH) < CACHED_CONSOLE_LINE_LENGTH);
		}
		check(static_cast<int64>(summary.header.snapshot_offset) + summary.header.snapshot_length <=
			static_cast<int64>(size));
	}
	else
	{
		check(error[0] != 0 && strnlen(error, sizeof(error)) < sizeof(error));
	}
	return 0;
}
