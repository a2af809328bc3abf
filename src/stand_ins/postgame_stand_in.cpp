// The post-game report and the lobby standings are not built yet: the calls
// are counted with their argument.
#include "postgame.h"
#include "game_statistics.h"

static postgame_test_hooks_data postgame_test_hooks = {0, 0, NONE};

void encode_postgame_report(void)
{
	postgame_test_hooks.encode_postgame_report_count += 1;
}

void build_hollax_net_game_standings(int16 game_ended_code)
{
	postgame_test_hooks.build_standings_count += 1;
	postgame_test_hooks.last_game_ended_code = game_ended_code;
}

postgame_test_hooks_data *get_postgame_test_hooks(void)
{
	return &postgame_test_hooks;
}

void reset_postgame_test_hooks(void)
{
	postgame_test_hooks = {0, 0, NONE};
}

// The rankings are not drawn yet.
void rasterize_rankings(view_data *view)
{
	(void)view;
}
