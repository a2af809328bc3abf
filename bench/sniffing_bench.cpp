// The tutorial's command judge on a special-ability target command of 126
// units against 126 targets.
#include <benchmark/benchmark.h>

#include <vector>

#include "CoreLibrary/zerv/commands.h"
#include "sniffing.h"

namespace {

void BM_handle_command_sniffing(benchmark::State &state)
{
	initialize_sniffing_for_new_map();
	const int16 test_case = static_cast<int16>(state.range(0));
	const new_sniffing_data armed = {0, NONE, test_case, 0, 150, 0};
	toggle_sniffing(&armed);

	std::vector<int16> units(MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND), targets(MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND);
	for (size_t i = 0; i < units.size(); ++i)
	{
		units[i] = static_cast<int16>(i + 1);
		targets[i] = static_cast<int16>(i + 1);
	}
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state codec;
	const command_target_data data = {_command_target_special_ability_flag};
	command_encode_new(&codec, buffer, _command_target);
	command_encode_data(&codec, sizeof(data), &data, command_target_data_byte_swapping_data);
	command_encode_array(&codec, static_cast<int16>(units.size()), sizeof(int16), units.data(), command_int16_byte_swapping_data);
	command_encode_array(&codec, static_cast<int16>(targets.size()), sizeof(int16), targets.data(),
		command_int16_byte_swapping_data);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(handle_command_sniffing(reinterpret_cast<command_header *>(buffer)));
	}
	dispose_sniffing_from_old_map();
}
BENCHMARK(BM_handle_command_sniffing)->Arg(150);

} // namespace
