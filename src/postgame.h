// The post-game report, the lobby standings and the ranking overlay.
#ifndef POSTGAME_H
#define POSTGAME_H

#include "cseries.h"

// Codes handed to build_hollax_net_game_standings.
enum
{
	_game_ended_normally,
	_game_ended_network_start_failed
};

void encode_postgame_report(void);
void build_hollax_net_game_standings(int16 game_ended_code);

// Test hooks: calls made into the module.
struct postgame_test_hooks_data
{
	int32 encode_postgame_report_count;
	int32 build_standings_count;
	int16 last_game_ended_code;
};

postgame_test_hooks_data *get_postgame_test_hooks(void);
void reset_postgame_test_hooks(void);

#endif
