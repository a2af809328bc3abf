#include "byte_swapping.h"

#include <bit>
#include <cstring>

// Stored data is big-endian and the game runs on little-endian x86 only.
static_assert(std::endian::native == std::endian::little, "byte swapping assumes a little-endian host");

namespace
{
	// The swaps one structure needs, as runs of equal fields lying end to
	// end, in the order the descriptor walk makes them. Worked out once per
	// call instead of once per structure.
	struct swap_run
	{
		int32 offset;
		int32 width; // 2 or 4
		int32 count;
	};

	constexpr int32 MAXIMUM_SWAP_RUNS = 32;
	// Descriptor codes and fields visited while planning, beyond which the
	// plain walk is used (a plan that long would save nothing).
	constexpr int32 MAXIMUM_PLAN_STEPS = 4096;

	struct swap_plan
	{
		swap_run runs[MAXIMUM_SWAP_RUNS];
		int32 run_count;
		int32 steps;
	};

	bool add_swap(swap_plan *plan, int32 offset, int32 width)
	{
		if (plan->run_count > 0)
		{
			swap_run *last = &plan->runs[plan->run_count - 1];
			if (last->width == width && static_cast<int64>(last->offset) + static_cast<int64>(last->width) * last->count == offset)
			{
				last->count += 1;
				return true;
			}
		}
		if (plan->run_count == MAXIMUM_SWAP_RUNS) return false;
		plan->runs[plan->run_count++] = {offset, width, 1};
		return true;
	}

	// The walk's swaps recorded instead of made; false when the plan outgrows
	// its limits.
	bool plan_swaps(const byte_swap_code *codes, swap_plan *plan)
	{
		auto field = [plan](int32 offset, int32 width) { return add_swap(plan, offset, width); };
		auto step = [plan] { return ++plan->steps <= MAXIMUM_PLAN_STEPS; };
		int32 size = 0, consumed = 0;
		return byte_swap_private::walk_fields(codes, 0, field, step, &size, &consumed);
	}

	void apply_plan(const swap_plan *plan, uint8 *structure)
	{
		for (int32 r = 0; r < plan->run_count; ++r)
		{
			const swap_run *run = &plan->runs[r];
			uint8 *p = structure + run->offset;
			if (run->width == 2)
			{
				for (int32 i = 0; i < run->count; ++i, p += 2)
				{
					uint16 value;
					std::memcpy(&value, p, 2);
					value = static_cast<uint16>((value << 8) | (value >> 8));
					std::memcpy(p, &value, 2);
				}
			}
			else
			{
				for (int32 i = 0; i < run->count; ++i, p += 4)
				{
					uint32 value;
					std::memcpy(&value, p, 4);
					value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
						((value & 0xFF000000u) >> 24);
					std::memcpy(p, &value, 4);
				}
			}
		}
	}
}

void byte_swap_data(const char *name, void *data, int32 data_size, int32 data_count, const byte_swap_code *codes)
{
	(void)name;
	if (!data || data_count < 1) return;

	uint8 *structure = static_cast<uint8 *>(data);
	if (data_count > 1)
	{
		swap_plan plan;
		plan.run_count = 0;
		plan.steps = 0;
		if (plan_swaps(codes, &plan))
		{
			for (int32 i = 0; i < data_count; ++i, structure += data_size) apply_plan(&plan, structure);
			return;
		}
	}
	for (int32 i = 0; i < data_count; ++i, structure += data_size)
		byte_swap_private::walk(codes, structure, nullptr);
}

void byte_swap_move(const char *name, void *destination, const void *source, int32 data_size, int32 data_count,
	const byte_swap_code *codes)
{
	if (!destination || !source || data_count < 1 || data_size < 1) return;
	std::memmove(destination, source, static_cast<size_t>(data_size) * static_cast<size_t>(data_count));
	byte_swap_data(name, destination, data_size, data_count, codes);
}

void byte_swap_memory(const char *name, void *memory, int32 count, byte_swap_code code)
{
	if (!memory || count < 1) return;

	if (count < 32768 && code != _2byte && code != _4byte)
	{
		// Codes that swap nothing keep the descriptor path; a count this
		// small fits its count slot.
		const byte_swap_code codes[] = {_begin_bs_array, static_cast<byte_swap_code>(count), code, _end_bs_array};
		byte_swap_data(name, memory, 0, 1, codes);
		return;
	}

	uint8 *p = static_cast<uint8 *>(memory);
	switch (code)
	{
	case _4byte:
		for (int32 i = 0; i < count; ++i, p += 4)
		{
			uint32 value;
			std::memcpy(&value, p, 4);
			value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
				((value & 0xFF000000u) >> 24);
			std::memcpy(p, &value, 4);
		}
		break;
	case _2byte:
		for (int32 i = 0; i < count; ++i, p += 2)
		{
			const uint8 t = p[0];
			p[0] = p[1];
			p[1] = t;
		}
		break;
	default:
		break;
	}
}
