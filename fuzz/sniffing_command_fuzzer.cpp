// A tutorial test (case byte, flags byte) judging one big-endian command: the
// judge works on its own copy, so the command handed in never changes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreLibrary/zerv/commands.h"
#include "sniffing.h"

static void check(bool condition)
{
	if (!condition) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static bool ready = false;
	if (!ready)
	{
		initialize_sniffing_for_new_map();
		ready = true;
	}
	if (size < 2 + sizeof(command_header)) return 0;
	// Cases 100..162 mostly, with the neighbours that pass everything.
	const int16 test_case = static_cast<int16>(96 + data[0] % 72);
	const new_sniffing_data armed = {static_cast<uint32>(data[1] & 3), NONE, test_case, 0, 150, 0};
	toggle_sniffing(&armed);

	std::vector<uint8> command(data + 2, data + size);
	byte_swap_command_header(command.data());
	// The header's size may claim more than there is: the judge reads size bytes.
	command_header header;
	command_read_header(command.data(), &header);
	if (header.size > 0 && static_cast<size_t>(header.size) > command.size()) command.resize(static_cast<size_t>(header.size));
	const std::vector<uint8> before = command;
	handle_command_sniffing(reinterpret_cast<command_header *>(command.data()));
	check(command == before);
	return 0;
}
