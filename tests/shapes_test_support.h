// Shared set-up of the shape tests: a fresh tag-file manager and the shapes
// module ready for a map, under the newest game-play rules.
#ifndef SHAPES_TEST_SUPPORT_H
#define SHAPES_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "definitions.h"
#include "shapes.h"
#include "support/tag_files_test_directory.h"
#include "zerv.h"

class shapes_test_directory : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		saved_game_play_version = game_play_version;
		game_play_version = MAXIMUM_GAME_PLAY_VERSION;
		preinitialize_definitions();
		initialize_shapes();
		initialize_shapes_for_new_map(FALSE);
	}
	void TearDown() override
	{
		dispose_shapes_from_old_map();
		game_play_version = saved_game_play_version;
		tag_files_test_directory::TearDown();
	}

	int16 saved_game_play_version = 0;
};

#endif
