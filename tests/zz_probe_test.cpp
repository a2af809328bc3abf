#include <gtest/gtest.h>
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "zerv.h"
namespace {
class probe : public zerv_harness_fixture {};
TEST_F(probe, demo)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	for (int k = 0; k < 16 && !harness_game_is_finished(); ++k)
	{
		harness_run_ticks(250);
		int counts[2] = {0, 0}, act[64] = {0};
		for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
		{
			monster_data *m = get_monster_data(i);
			if (!m) continue;
			if (m->owner_team_index >= 0 && m->owner_team_index < 2) counts[m->owner_team_index]++;
			act[m->action & 63]++;
		}
		printf("tick %d: %d v %d; actions", (int)game->game_time, counts[0], counts[1]);
		for (int a = 0; a < 64; ++a) if (act[a]) printf(" %d:%d", a, act[a]);
		printf("\n");
	}
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i) { monster_data *m = get_monster_data(i); if (m) printf("unit %d team %d type %d act %d target %d flags %x x %d y %d\n", i, m->owner_team_index, m->type, m->action, m->target_monster_index, m->flags, get_object_data(m->object_index)->location.position.x, get_object_data(m->object_index)->location.position.y); }
}
}
