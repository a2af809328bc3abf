// The registry: 57 rows in their order, then the end row; the twelve logic,
// timing and arithmetic procedures and the two unit queries have a body.
#include <gtest/gtest.h>

#include "map_actions/action_procs.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/unit_query_action_procs.h"

namespace {

TEST(action_procs, the_registry_holds_57_rows_and_the_built_procedures)
{
	int32 filled = 0;
	for (int32 i = 0; i < NUMBER_OF_REGISTERED_MAP_ACTION_PROCS; ++i)
	{
		EXPECT_NE(registered_map_action_procs[i].tag, static_cast<action_tag>(NONE));
		if (registered_map_action_procs[i].action_proc) filled += 1;
	}
	EXPECT_EQ(filled, 33);
	EXPECT_EQ(registered_map_action_procs[NUMBER_OF_REGISTERED_MAP_ACTION_PROCS].tag, static_cast<action_tag>(NONE));
	EXPECT_EQ(registered_map_action_procs[0].tag, TAG("guar"));
	EXPECT_EQ(registered_map_action_procs[56].tag, TAG("peas"));
	EXPECT_EQ(action_tag_to_action_proc(TAG("math")), math_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("lock")), lock_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("geom")), geometry_filter_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("tuni")), test_units_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("guar")), nullptr);
	EXPECT_EQ(action_tag_to_action_proc(TAG("prta")), nullptr);
	EXPECT_EQ(action_tag_to_action_proc(static_cast<action_tag>(NONE)), nullptr);
}

} // namespace
