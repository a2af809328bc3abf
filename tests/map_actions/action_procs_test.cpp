// The registry: 57 rows in their order, then the end row; the logic, timing,
// arithmetic, unit query, presentation, ambient life, group AI, order, control
// and world procedures have a body.
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
	EXPECT_EQ(filled, 57);
	EXPECT_EQ(registered_map_action_procs[NUMBER_OF_REGISTERED_MAP_ACTION_PROCS].tag, static_cast<action_tag>(NONE));
	const char order[][5] = {"guar", "grou", "rout", "spup", "gene", "move", "atta", "plat", "plmo", "plsc", "squa",
		"mung", "soun", "endg", "tuni", "ctrl", "wand", "acli", "surr", "look", "obmo", "part", "snif", "goal", "plan",
		"ngty", "pick", "lead", "obco", "legi", "geom", "moef", "gate", "lock", "ambi", "foll", "mece", "sham", "suic",
		"mele", "lpgr", "girl", "assa", "invi", "mean", "ligh", "dela", "moma", "anim", "miss", "plyc", "fade", "math",
		"chic", "deer", "soar", "peas"};
	ASSERT_EQ(sizeof(order) / sizeof(order[0]), static_cast<size_t>(NUMBER_OF_REGISTERED_MAP_ACTION_PROCS));
	for (int32 i = 0; i < NUMBER_OF_REGISTERED_MAP_ACTION_PROCS; ++i)
	{
		EXPECT_EQ(registered_map_action_procs[i].tag, TAG(order[i])) << i << " " << order[i];
	}
	EXPECT_EQ(action_tag_to_action_proc(TAG("math")), math_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("lock")), lock_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("geom")), geometry_filter_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("tuni")), test_units_action_proc);
	EXPECT_NE(action_tag_to_action_proc(TAG("girl")), nullptr);
	for (file_tag tag : {TAG("grou"), TAG("guar"), TAG("spup"), TAG("plat"), TAG("squa"), TAG("plmo"), TAG("plsc"),
			 TAG("foll"), TAG("lead"), TAG("rout"), TAG("surr"), TAG("look"), TAG("wand")})
	{
		EXPECT_NE(action_tag_to_action_proc(tag), nullptr) << tag;
	}
	EXPECT_EQ(action_tag_to_action_proc(TAG("plmo")), action_tag_to_action_proc(TAG("plsc")));
	EXPECT_EQ(action_tag_to_action_proc(TAG("prta")), nullptr);
	EXPECT_EQ(action_tag_to_action_proc(static_cast<action_tag>(NONE)), nullptr);
}

} // namespace
