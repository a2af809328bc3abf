// Arbitrary bytes as a stored formation definition: through the 'form'
// descriptor and postprocess; a definition that loads is stored for a player
// (the low bits of its last byte) and every type is laid out for 0, 1, 2, 3,
// 7 and 126 units. Seeds are the generated 'info' tag and copies with fields
// zeroed.
#include <cstddef>
#include <cstdint>

#include "definitions.h"
#include "error_manager.h"
#include "formations.h"
#include "fuzz_support.h"
#include "world.h"
#include "zerv.h"

namespace {

bool set_up = false;

void set_up_once(void)
{
	if (set_up) return;
	set_up = true;
	preinitialize_definitions();
	initialize_world();
	initialize_formation_definitions();
	initialize_definitions_for_new_map(get_formation_definitions());
	initialize_formations();
	initialize_formations_for_new_map();
	game_play_version = MAXIMUM_GAME_PLAY_VERSION;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > 1024) return 0;
	set_up_once();
	const int16 index = new_formation_definition_from_tag_data(TAG("fuzz"), data, static_cast<int32>(size));
	if (index != NONE)
	{
		const formation_definition *definition =
			static_cast<const formation_definition *>(try_and_get_definition(get_formation_definitions(), index));
		check(definition != nullptr && formation_definition_is_valid(definition));
		const int16 player = static_cast<int16>(data[sizeof(formation_definition) - 1] & 15);
		set_formation_definition_for_player(player, definition);
		check(memcmp(get_formation_definition_for_player(player), definition, sizeof(*definition)) == 0);
		delete_definition(get_formation_definitions(), index);

		static world_point2d destinations[126];
		static angle facings[126];
		const int16 counts[] = {0, 1, 2, 3, 7, 126};
		const world_point2d center = {static_cast<world_distance>(size * 4099), static_cast<world_distance>(data[0] * 517)};
		for (int16 type = 0; type < MAXIMUM_NUMBER_OF_FORMATIONS; ++type)
		{
			for (int16 count : counts)
			{
				build_formation(player, type, &center, destinations, facings, static_cast<angle>(data[1] << 8), count);
			}
			formation_is_line(player, type, 7);
		}
	}
	// A refused load leaves an error behind; the next input starts clean.
	handle_error();
	return 0;
}
