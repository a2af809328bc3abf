// Big-endian commands back to back, as a film block holds them: framing, a
// private ring, validation and a full decode of each.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreLibrary/zerv/commands.h"

static void check(bool condition)
{
	if (!condition) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static command_queue_data *ring = nullptr;
	if (!ring) ring = new_command_queue("fuzz", INCOMING_QUEUE_BUFFER_SIZE);
	check(ring != nullptr);
	reset_command_queue(ring);

	const command_validation_limits limits = {16, 8192, TRUE};
	size_t offset = 0;
	while (offset + sizeof(command_header) <= size)
	{
		uint8 head[sizeof(command_header)];
		memcpy(head, data + offset, sizeof(head));
		byte_swap_command_header(head);
		command_header header;
		command_read_header(head, &header);
		if (!command_framing_is_valid(&header, static_cast<int32>(size - offset))) break;

		std::vector<uint8> command(data + offset, data + offset + header.size);
		command_write_header(command.data(), &header);
		offset += header.size;
		if (!command_queue(ring, command.data()))
		{
			while (command_dequeue(ring, TRUE, 0)) {}
			check(command_queue(ring, command.data()));
		}

		void *queued = command_dequeue(ring, TRUE, 0);
		check(queued != nullptr);
		command_header queued_header;
		command_read_header(queued, &queued_header);
		check(queued_header.size == header.size);
		// An exact copy, so that a read past the command is caught.
		uint8 *exact = static_cast<uint8 *>(malloc(queued_header.size));
		check(exact != nullptr);
		memcpy(exact, queued, queued_header.size);
		const char *reason = nullptr;
		if (command_payload_is_valid(exact, &limits, &reason)) check(command_decode_payload(exact));
		else check(reason != nullptr);
		free(exact);
	}
	return 0;
}
