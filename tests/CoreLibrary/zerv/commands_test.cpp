#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "CoreLibrary/zerv/commands.h"

namespace
{

std::vector<uint8> make_command(int16 size, int16 verb = _command_null, int32 time = 0)
{
	std::vector<uint8> bytes(size > 8 ? size : 8, 0);
	command_header header = {size, static_cast<uint8>(verb), 3, time};
	command_write_header(bytes.data(), &header);
	for (size_t i = 8; i < bytes.size(); ++i) bytes[i] = static_cast<uint8>(i);
	return bytes;
}

command_header header_of(const void *command)
{
	command_header header;
	command_read_header(command, &header);
	return header;
}

struct queue_deleter
{
	void operator()(command_queue_data *queue) const { delete_command_queue(queue); }
};

command_queue_data *fresh_queue(int32 size)
{
	command_queue_data *queue = new_command_queue("test", size);
	reset_command_queue(queue);
	return queue;
}

TEST(commands_codec, goldens_and_identity)
{
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state state;

	// A movement command: record, list, waypoints, all big-endian after the host-order header.
	command_movement_data movement = {_command_movement_formation_flag, 2, 0x1234, 0xABCD};
	const int16 identifiers[2] = {0x0102, -2};
	const world_point2d waypoints[1] = {{0x01020304, -1}};
	command_encode_new(&state, buffer, _command_movement);
	command_encode_data(&state, sizeof(movement), &movement, command_movement_data_byte_swapping_data);
	command_encode_array(&state, 2, sizeof(int16), identifiers, command_int16_byte_swapping_data);
	command_encode_array(&state, 1, sizeof(world_point2d), waypoints, world_point2d_byte_swapping_data);
	const uint8 expected[] = {0x00, 0x08, 0x00, 0x02, 0x12, 0x34, 0xCD, 0xAB, // pad left alone
		0x00, 0x02, 0x01, 0x02, 0xFF, 0xFE,
		0x00, 0x01, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF};
	command_header header = header_of(buffer);
	ASSERT_FALSE(state.failed);
	ASSERT_EQ(header.size, 8 + static_cast<int16>(sizeof(expected)));
	EXPECT_EQ(header.verb, _command_movement);
	EXPECT_EQ(header.player_index, NO_COMMAND_PLAYER);
	EXPECT_EQ(header.time, 0);
	EXPECT_EQ(0, memcmp(buffer + 8, expected, sizeof(expected)));

	command_decode_new(&state, buffer, _command_movement);
	command_movement_data decoded;
	memcpy(&decoded, command_decode_data(&state, sizeof(decoded), command_movement_data_byte_swapping_data),
		sizeof(decoded));
	EXPECT_EQ(0, memcmp(&decoded, &movement, sizeof(decoded)));
	int16 count = 0;
	const void *list = command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data);
	ASSERT_EQ(count, 2);
	EXPECT_EQ(0, memcmp(list, identifiers, sizeof(identifiers)));
	const void *points = command_decode_array(&state, &count, sizeof(world_point2d), world_point2d_byte_swapping_data);
	ASSERT_EQ(count, 1);
	EXPECT_EQ(0, memcmp(points, waypoints, sizeof(waypoints)));
	EXPECT_FALSE(state.failed);
	// Reading past the end fails and yields nothing.
	EXPECT_EQ(command_decode_array(&state, &count, 2, command_int16_byte_swapping_data), nullptr);
	EXPECT_TRUE(state.failed);

	// The header swap is its own inverse and leaves verb and player alone.
	command_header before = header_of(buffer);
	byte_swap_command_header(buffer);
	EXPECT_EQ(buffer[0], 0x00);
	EXPECT_EQ(buffer[1], before.size);
	EXPECT_EQ(buffer[2], before.verb);
	byte_swap_command_header(buffer);
	command_header after = header_of(buffer);
	EXPECT_EQ(0, memcmp(&before, &after, sizeof(before)));
}

TEST(commands_codec, strings_empty_arrays_and_overruns)
{
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state state;

	command_encode_new(&state, buffer, _command_rename);
	command_encode_array(&state, 0, sizeof(int16), nullptr, command_int16_byte_swapping_data);
	EXPECT_EQ(header_of(buffer).size, 10); // the count alone
	command_encode_string(&state, "abcdefghijklmnopqrstuvwxyz", MAXIMUM_COMMAND_NAME_LENGTH);
	EXPECT_EQ(header_of(buffer).size, 10 + 18);
	command_encode_string(&state, "abc", MAXIMUM_COMMAND_NAME_LENGTH);
	EXPECT_EQ(header_of(buffer).size, 10 + 18 + 4);

	command_decode_new(&state, buffer, _command_rename);
	int16 count = 5;
	command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data);
	EXPECT_EQ(count, 0);
	EXPECT_STREQ(command_decode_string(&state, MAXIMUM_COMMAND_NAME_LENGTH), "abcdefghijklmnopq");
	EXPECT_STREQ(command_decode_string(&state, MAXIMUM_COMMAND_NAME_LENGTH), "abc");

	// A string with no NUL before the end of the command is refused, and the
	// byte after the command is never written.
	std::vector<uint8> command = make_command(12, _command_chat);
	command.push_back(0x77);
	memset(command.data() + 8, 'x', 4);
	command_decode_new(&state, command.data(), _command_chat);
	EXPECT_EQ(command_decode_string(&state, MAXIMUM_COMMAND_CHAT_LENGTH), nullptr);
	EXPECT_TRUE(state.failed);
	EXPECT_EQ(command[12], 0x77);

	// The encoder refuses what does not fit the 4096-byte buffer.
	std::vector<int16> many(3000, 1);
	command_encode_new(&state, buffer, _command_preset_selection);
	command_encode_array(&state, static_cast<int16>(many.size()), sizeof(int16), many.data(),
		command_int16_byte_swapping_data);
	EXPECT_TRUE(state.failed);
	EXPECT_EQ(header_of(buffer).size, 8);
}

TEST(commands_ring, the_four_write_cases)
{
	std::unique_ptr<command_queue_data, queue_deleter> queue(fresh_queue(INCOMING_QUEUE_BUFFER_SIZE));
	const std::vector<uint8> big = make_command(300);

	// r = 0, w = 12000: no room before the end and no wrap possible.
	queue->read_offset = 0;
	queue->write_offset = 12000;
	EXPECT_FALSE(command_queue(queue.get(), big.data()));
	EXPECT_EQ(queue->write_offset, 12000);

	// r = 400: wraps and accepts at 0.
	queue->read_offset = 400;
	queue->write_offset = 12000;
	EXPECT_TRUE(command_queue(queue.get(), big.data()));
	EXPECT_EQ(queue->wrap_offset, 12000);
	EXPECT_EQ(queue->write_offset, 300);

	// r = 300: wraps but refuses (r must exceed the size); the wrap stays, and a
	// smaller command goes in at 0 and drains after the upper part.
	reset_command_queue(queue.get());
	for (int32 i = 0; i < 40; ++i) ASSERT_TRUE(command_queue(queue.get(), make_command(300, _command_null, i).data()));
	ASSERT_NE(command_dequeue(queue.get(), TRUE, 0), nullptr);
	EXPECT_FALSE(command_queue(queue.get(), big.data()));
	EXPECT_EQ(queue->wrap_offset, 12000);
	EXPECT_EQ(queue->write_offset, 0);
	EXPECT_TRUE(command_queue(queue.get(), make_command(200, _command_null, 99).data()));
	for (int32 i = 1; i < 40; ++i)
	{
		void *command = command_dequeue(queue.get(), TRUE, 0);
		ASSERT_NE(command, nullptr);
		EXPECT_EQ(header_of(command).time, i);
	}
	void *last = command_dequeue(queue.get(), TRUE, 0);
	ASSERT_NE(last, nullptr);
	EXPECT_EQ(header_of(last).time, 99);
	EXPECT_EQ(command_dequeue(queue.get(), TRUE, 0), nullptr);

	// Case 3 (w < r): accepts only while r - w exceeds the size.
	reset_command_queue(queue.get());
	queue->read_offset = 500;
	queue->write_offset = 200;
	EXPECT_FALSE(command_queue(queue.get(), big.data()));
	queue->write_offset = 199;
	EXPECT_TRUE(command_queue(queue.get(), big.data()));

	// The outgoing ring takes 2047 bytes, not 2048.
	std::unique_ptr<command_queue_data, queue_deleter> outgoing(fresh_queue(OUTGOING_QUEUE_BUFFER_SIZE));
	EXPECT_FALSE(command_queue(outgoing.get(), make_command(2048).data()));
	EXPECT_TRUE(command_queue(outgoing.get(), make_command(2047).data()));
}

TEST(commands_ring, reads_follow_the_wrap_and_the_clock)
{
	std::unique_ptr<command_queue_data, queue_deleter> queue(fresh_queue(1000));

	// Commands for ticks 100 and 101; the second is left until its tick.
	ASSERT_TRUE(command_queue(queue.get(), make_command(400, _command_null, 100).data()));
	ASSERT_TRUE(command_queue(queue.get(), make_command(400, _command_null, 101).data()));
	ASSERT_NE(command_dequeue(queue.get(), FALSE, 100), nullptr);
	EXPECT_EQ(command_dequeue(queue.get(), FALSE, 100), nullptr);
	EXPECT_EQ(command_queue_free_space(queue.get()), 1000 - 400);
	// A third wraps to 0 (r = 400 > 300).
	ASSERT_TRUE(command_queue(queue.get(), make_command(300, _command_null, 102).data()));
	EXPECT_EQ(command_queue_free_space(queue.get()), 100);
	void *second = command_dequeue(queue.get(), FALSE, 101);
	ASSERT_NE(second, nullptr);
	EXPECT_EQ(header_of(second).time, 101);
	// At the wrap the reader moves to 0 even when the next command is not due.
	EXPECT_EQ(command_dequeue(queue.get(), FALSE, 101), nullptr);
	EXPECT_EQ(queue->read_offset, 0);
	void *third = command_dequeue(queue.get(), FALSE, 102);
	ASSERT_NE(third, nullptr);
	EXPECT_EQ(header_of(third).time, 102);
	EXPECT_EQ(command_dequeue(queue.get(), TRUE, 0), nullptr);
}

TEST(commands_ring, random_steps_match_a_fifo)
{
	std::unique_ptr<command_queue_data, queue_deleter> queue(fresh_queue(INCOMING_QUEUE_BUFFER_SIZE));
	std::deque<std::vector<uint8>> reference;
	std::mt19937 random(1234);
	int32 stamp = 0;

	for (int32 step = 0; step < 20000; ++step)
	{
		if (random() % 2)
		{
			std::vector<uint8> command = make_command(static_cast<int16>(8 + random() % 3000), _command_null, stamp);
			command.back() = static_cast<uint8>(stamp);
			stamp += 1;
			const int32 free_before = command_queue_free_space(queue.get());
			if (command_queue(queue.get(), command.data())) reference.push_back(command);
			else EXPECT_LT(free_before, 3000 + 3000 + 2) << "refused with room at step " << step;
		}
		else
		{
			void *command = command_dequeue(queue.get(), TRUE, 0);
			if (reference.empty())
			{
				EXPECT_EQ(command, nullptr);
			}
			else
			{
				ASSERT_NE(command, nullptr) << step;
				ASSERT_EQ(0, memcmp(command, reference.front().data(), reference.front().size())) << step;
				reference.pop_front();
			}
		}
	}
}

command_validation_limits test_limits(boolean from_stream = TRUE)
{
	command_validation_limits limits = {4, 100, from_stream};
	return limits;
}

std::vector<uint8> encode(int16 verb, const std::function<void(command_codec_state *)> &fill, uint8 player = 1)
{
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state state;
	command_encode_new(&state, buffer, verb);
	fill(&state);
	command_header header = header_of(buffer);
	header.player_index = player;
	command_write_header(buffer, &header);
	return std::vector<uint8>(buffer, buffer + header.size);
}

const char *reason_of(const std::vector<uint8> &command, command_validation_limits limits = test_limits())
{
	const char *reason = nullptr;
	command_payload_is_valid(command.data(), &limits, &reason);
	return reason ? reason : "";
}

TEST(commands_validation, one_fault_per_reason)
{
	const auto list = [](command_codec_state *state, int16 count) {
		std::vector<int16> identifiers(count > 0 ? count : 0, 1);
		command_encode_array(state, count, sizeof(int16), identifiers.data(), command_int16_byte_swapping_data);
	};

	// Good commands pass.
	command_general_data general = {0, _command_general_scatter};
	const std::vector<uint8> good = encode(_command_general, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(general), &general, command_general_data_byte_swapping_data);
		list(s, 3);
	});
	EXPECT_STREQ(reason_of(good), "");

	std::vector<uint8> bad = good;
	command_header header = header_of(bad.data());
	header.size = 7;
	command_write_header(bad.data(), &header);
	EXPECT_STREQ(reason_of(bad), "bad size");

	bad = good;
	bad[2] = 21;
	EXPECT_STREQ(reason_of(bad), "unknown verb");

	bad = good;
	bad[3] = 4;
	EXPECT_STREQ(reason_of(bad), "player out of range");
	bad[3] = NO_COMMAND_PLAYER;
	EXPECT_STREQ(reason_of(bad), "no sender");
	EXPECT_STREQ(reason_of(bad, test_limits(FALSE)), "");

	bad = good;
	bad[8 + 4] = 0x7F; // the list's count
	EXPECT_STREQ(reason_of(bad), "payload overruns the command");
	bad[8 + 4] = 0xFF;
	EXPECT_STREQ(reason_of(bad), "negative count");

	bad = good;
	bad[8 + 3] = 7;
	EXPECT_STREQ(reason_of(bad), "bad general type");

	command_chat_data chat = {0};
	std::vector<uint8> text = encode(_command_chat, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(chat), &chat, command_chat_data_byte_swapping_data);
		command_encode_string(s, "hello", MAXIMUM_COMMAND_CHAT_LENGTH);
	});
	EXPECT_STREQ(reason_of(text), "");
	text.back() = '!';
	EXPECT_STREQ(reason_of(text), "unterminated string");

	command_preset_selection_data preset = {0, 16};
	EXPECT_STREQ(reason_of(encode(_command_preset_selection, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(preset), &preset, command_preset_selection_data_byte_swapping_data);
		list(s, 0);
	})), "index out of range");

	command_pick_up_data pick_up = {0, 0, 100, 0};
	EXPECT_STREQ(reason_of(encode(_command_pick_up, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(pick_up), &pick_up, command_pick_up_data_byte_swapping_data);
		list(s, 1);
	})), "index out of range");

	command_inventory_data inventory = {0, 9};
	EXPECT_STREQ(reason_of(encode(_command_inventory_next, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(inventory), &inventory, command_inventory_data_byte_swapping_data);
		list(s, 1);
	})), "index out of range");

	command_detach_data detach = {0, 4};
	EXPECT_STREQ(reason_of(encode(_command_detach, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(detach), &detach, command_detach_data_byte_swapping_data);
		list(s, 1);
	})), "index out of range");

	command_movement_data movement = {_command_movement_formation_flag, 10, 0, 0};
	const world_point2d far_point = {(1 << 24) + 1, 0};
	EXPECT_STREQ(reason_of(encode(_command_movement, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(movement), &movement, command_movement_data_byte_swapping_data);
		list(s, 1);
		command_encode_array(s, 0, sizeof(world_point2d), nullptr, world_point2d_byte_swapping_data);
	})), "index out of range");
	movement.formation_index = 9;
	EXPECT_STREQ(reason_of(encode(_command_movement, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(movement), &movement, command_movement_data_byte_swapping_data);
		list(s, 1);
		command_encode_array(s, 1, sizeof(world_point2d), &far_point, world_point2d_byte_swapping_data);
	})), "point out of range");

	command_sync_formation_data formation = {};
	EXPECT_STREQ(reason_of(encode(_command_sync_formation, [&](command_codec_state *s) {
		command_encode_data(s, sizeof(formation), &formation, command_sync_formation_data_byte_swapping_data);
	})), "bad formation definition");
}

TEST(commands_validation, framing_refuses_bad_sizes_at_the_doors)
{
	for (int16 size : {0, 7, 4097, -8})
	{
		command_header header = {size, _command_null, 0, 0};
		EXPECT_FALSE(command_framing_is_valid(&header, 5000)) << size;
	}
	command_header header = {100, _command_null, 0, 0};
	EXPECT_FALSE(command_framing_is_valid(&header, 99));
	EXPECT_TRUE(command_framing_is_valid(&header, 100));

	// The shared ring write refuses a zero size rather than looping on it later.
	std::unique_ptr<command_queue_data, queue_deleter> queue(fresh_queue(1000));
	std::vector<uint8> zero(8, 0);
	EXPECT_FALSE(command_queue(queue.get(), zero.data()));
	EXPECT_EQ(command_dequeue(queue.get(), TRUE, 0), nullptr);
}

}
