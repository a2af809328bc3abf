// Films as they come off disk: the whole-file check, then the walk a replay
// makes over every block and command the check let through.
#include "recording_fuzz_support.h"

using recording_fuzz::check;
using recording_fuzz::walk_blocks;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > (1u << 22)) return 0;
	recording_file_summary summary;
	char error[256];
	if (validate_recording_data(data, static_cast<int32>(size), _normal_recording_type, "fuzz", &summary, error,
			sizeof(error)))
	{
		walk_blocks(data, static_cast<int32>(size), &summary);
		check(summary.header.version >= 1 && summary.header.version <= RECORDING_VERSION);
		check(summary.header.snapshot_length == 0);
	}
	else
	{
		check(error[0] != 0 && strnlen(error, sizeof(error)) < sizeof(error));
	}
	return 0;
}
