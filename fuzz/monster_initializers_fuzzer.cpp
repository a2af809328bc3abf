// Arbitrary veteran data through the import a film or a cooperative packet
// makes, then exported again; and arbitrary unit adjustment commands.
//
// Input: a mode byte; then for imports the record bytes (any size), for
// adjustments a team byte, a count byte and big-endian 16-bit counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "monster_initializers.h"
#include "unit_trading.h"
#include "zerv.h"

namespace {

void check(bool condition)
{
	if (!condition) std::abort();
}

game_data fuzz_game;

void fuzz_import(const uint8_t *data, size_t size)
{
	const int32 length = static_cast<int32>(size > 20000 ? 20000 : size);
	const boolean accepted = import_monster_initializers(data, length);
	int16 count = 0;
	const monster_initializer *records = get_monster_initializers(&count);
	check(accepted == (length % MONSTER_INITIALIZER_STORED_SIZE == 0 && length <= 16000));
	check(count == (accepted ? length / MONSTER_INITIALIZER_STORED_SIZE : 0));
	for (int16 i = 0; i < count; ++i)
	{
		check(records[i].flags == (static_cast<uint32>(data[i * 40 + 3] & ~1u) | (static_cast<uint32>(data[i * 40]) << 24) |
			(static_cast<uint32>(data[i * 40 + 1]) << 16) | (static_cast<uint32>(data[i * 40 + 2]) << 8)));
		check(strnlen(records[i].name, sizeof(records[i].name)) < sizeof(records[i].name));
	}
	int32 exported_size = -1;
	export_monster_initializers(nullptr, &exported_size);
	check(exported_size == count * MONSTER_INITIALIZER_STORED_SIZE);
	std::vector<uint8_t> exported(static_cast<size_t>(exported_size) + 1);
	export_monster_initializers(exported.data(), &exported_size);
	for (int16 i = 0; i < count; ++i)
	{
		// Bytes 4-20 come back as they went in; the used flag is cleared and
		// the name's last byte terminated.
		check(memcmp(&exported[i * 40 + 4], &data[i * 40 + 4], 17) == 0);
	}
	build_monster_initializers();
	mark_monster_initializers_as_unused();
	backup_monster_initializers();
	restore_monster_initializers_from_backup();
}

void fuzz_adjustment(const uint8_t *data, size_t size)
{
	const int16 team = static_cast<int16>(static_cast<int8_t>(size > 0 ? data[0] : 0));
	const int16 count = static_cast<int16>(static_cast<int8_t>(size > 1 ? data[1] : 0));
	int16 counts[32] = {};
	for (size_t i = 0; i < 32 && 2 + 2 * i + 1 < size; ++i)
	{
		counts[i] = static_cast<int16>((data[2 + 2 * i] << 8) | data[3 + 2 * i]);
	}
	adjust_unit_placement(team, count, counts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static bool initialized = false;
	if (!initialized)
	{
		initialize_monster_initializers();
		memset(&fuzz_game, 0, sizeof(fuzz_game));
		fuzz_game.option_flags = _game_option_allow_unit_trading_flag | _game_option_allow_veterans_flag;
		fuzz_game.time_state = _game_time_pregame;
		game = &fuzz_game;
		game_play_version = 1720;
		initialized = true;
	}
	if (size < 1) return 0;
	if (data[0] & 1) fuzz_adjustment(data + 1, size - 1);
	else fuzz_import(data + 1, size - 1);
	return 0;
}
