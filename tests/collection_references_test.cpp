// Collection references: their tables, team-coloured copies and the rules
// that changed between releases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collection_references.h"
#include "collections_content.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "definitions.h"
#include "shapes.h"
#include "shapes_test_support.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

namespace
{
const rgb_color team_red = {60000, 2000, 2000, 0};
const rgb_color team_blue = {2000, 2000, 60000, 0};
const rgb_color unused_color = {0, 0, 0, _color_unused_flag};

class collection_references_fixture : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
	}

	int16 load_reference(file_tag tag)
	{
		return definition_tag_to_index(get_collection_reference_definitions(), tag);
	}

	int16 make_reference(file_tag tag, const collection_reference &reference)
	{
		if (make_collection_reference_tag(tag, tag_to_string(tag), reference) == NONE) return NONE;
		return load_reference(tag);
	}
};

class CollectionReferencesLoading : public collection_references_fixture {};
class CollectionReferencesCustom : public collection_references_fixture {};
}

TEST_F(CollectionReferencesLoading, each_permutation_gets_a_table)
{
	const int16 index = load_reference(DEFAULT_UNIT_REFERENCE_TAG);
	ASSERT_NE(index, NONE) << log_text();
	const collection_reference *reference = get_collection_reference(index);
	ASSERT_NE(reference, nullptr);
	EXPECT_EQ(reference->collection_index, get_collection_index(DEFAULT_UNIT_COLLECTION_TAG));
	for (int16 p = 0; p < 3; ++p)
	{
		EXPECT_NE(reference->color_table_indexes[p], NONE);
		EXPECT_EQ(get_collection_reference_permutation(index, reference->color_table_indexes[p]), p);
	}
	EXPECT_EQ(reference->color_table_indexes[3], NONE);
	// An index that no permutation holds gives 0.
	EXPECT_EQ(get_collection_reference_permutation(index, 99), 0);
	EXPECT_EQ(get_collection_reference_permutation(NONE, 1), 0);
	EXPECT_EQ(get_collection_reference_tag_header_user_data(reference), DEFAULT_UNIT_COLLECTION_TAG);
	EXPECT_EQ(get_default_collection_reference()->collection_tag, static_cast<file_tag>(NONE));
	EXPECT_EQ(get_default_collection_reference()->number_of_permutations, 0);

	// The other default references load too.
	EXPECT_NE(load_reference(DEFAULT_EFFECTS_REFERENCE_TAG), NONE) << log_text();
	EXPECT_NE(load_reference(DEFAULT_SCENERY_REFERENCE_TAG), NONE) << log_text();
	EXPECT_EQ(get_error_code(), _error_none) << log_text();
}

TEST_F(CollectionReferencesLoading, permutation_counts_are_checked)
{
	collection_reference reference = default_collection_references[0].make();
	reference.number_of_permutations = 0;
	EXPECT_EQ(make_reference(TAG("none"), reference), NONE);
	EXPECT_EQ(get_error_code(), _error_data_corrupted);
	EXPECT_NE(log_text().find("collection reference none has no permutations."), std::string::npos);

	reference.number_of_permutations = 6;
	EXPECT_EQ(make_reference(TAG("six "), reference), NONE);
	EXPECT_NE(log_text().find("permutation count #6 not in [#1,#6) for \"units\" collection"), std::string::npos);

	reference.number_of_permutations = 5;
	EXPECT_NE(make_reference(TAG("five"), reference), NONE);

	// A reference to a collection that is not there fails.
	reference.collection_tag = TAG("gone");
	EXPECT_EQ(make_reference(TAG("gone"), reference), NONE);
}

TEST_F(CollectionReferencesCustom, each_call_copies_the_base_and_draws_once)
{
	const int16 base = load_reference(DEFAULT_UNIT_REFERENCE_TAG);
	ASSERT_NE(base, NONE);
	const int16 base_tables = get_collection_header(get_collection_reference(base)->collection_index)->shading_table_count;

	uint32 draws = zerv_random_draw_count();
	const int16 first = custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, &team_red, &team_blue, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	const int16 second = custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, &team_blue, &team_red, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 2);
	ASSERT_NE(first, NONE);
	ASSERT_NE(second, NONE);
	EXPECT_NE(first, base);
	EXPECT_NE(second, first);

	// Each copy has one permutation and its own table; the base is untouched and still found by tag.
	const collection_reference *copy = get_collection_reference(second);
	EXPECT_EQ(copy->number_of_permutations, 1);
	EXPECT_GE(copy->color_table_indexes[0], base_tables);
	EXPECT_EQ(get_collection_reference(base)->number_of_permutations, 3);
	EXPECT_EQ(subgroup_tag_to_definition_index(get_collection_reference_definitions(), DEFAULT_UNIT_REFERENCE_TAG), base);
	EXPECT_EQ(get_collection_reference_permutation(second, copy->color_table_indexes[0]), 0);

	// Early refusals draw nothing: no such tag, a missing colour, players' tints overridden.
	draws = zerv_random_draw_count();
	EXPECT_EQ(custom_collection_reference(TAG("nope"), &team_red, &team_blue, FALSE), NONE);
	EXPECT_EQ(custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, NULL, &team_blue, FALSE), NONE);
	EXPECT_EQ(custom_collection_reference(static_cast<file_tag>(NONE), &team_red, &team_blue, FALSE), NONE);
	EXPECT_EQ(custom_collection_reference(DEFAULT_SCENERY_REFERENCE_TAG, &team_red, &team_blue, FALSE), NONE);
	EXPECT_EQ(zerv_random_draw_count(), draws);
}

TEST_F(CollectionReferencesCustom, rules_by_game_play_version)
{
	const int16 unit_collection = get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
	ASSERT_NE(unit_collection, NONE);
	collection_reference base = default_collection_references[0].make();
	EXPECT_TRUE(test_collection_replacement_colors(unit_collection, base.colors[0], &team_red, &team_blue));
	EXPECT_TRUE(test_collection_replacement_colors(unit_collection, base.colors[2], &unused_color, &team_blue) == FALSE);
	EXPECT_FALSE(test_collection_replacement_colors(unit_collection, base.colors[3], &team_red, &team_blue));

	// Above 1300 colours that no hue change would take are refused; at 1300 they copy.
	game_play_version = 1301;
	EXPECT_EQ(custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, &unused_color, &unused_color, FALSE), NONE);
	EXPECT_EQ(custom_collection_reference(DEFAULT_SCENERY_REFERENCE_TAG, &team_red, &team_blue, FALSE), NONE);
	game_play_version = 1300;
	EXPECT_NE(custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, &unused_color, &unused_color, FALSE), NONE);
	EXPECT_NE(custom_collection_reference(DEFAULT_SCENERY_REFERENCE_TAG, &team_red, &team_blue, FALSE), NONE);

	// Above 1600 the base's own tint goes into the copy's table.
	base.tint_fraction = 128;
	base.tint_color = {0, 65535, 0, 0};
	base.number_of_permutations = 1;
	ASSERT_NE(make_reference(TAG("tint"), base), NONE);
	set_random_seed(7);
	game_play_version = 1600;
	const int16 untinted = custom_collection_reference(TAG("tint"), &team_red, &team_blue, FALSE);
	set_random_seed(7);
	game_play_version = 1601;
	const int16 tinted = custom_collection_reference(TAG("tint"), &team_red, &team_blue, FALSE);
	set_random_seed(7);
	const int16 again = custom_collection_reference(TAG("tint"), &team_red, &team_blue, FALSE);
	ASSERT_NE(untinted, NONE);
	ASSERT_NE(tinted, NONE);
	const shapes_globals_data *globals = get_shapes_globals();
	const size_t size = static_cast<size_t>(globals->tinting_shading_tables_size);
	const void *untinted_table = get_shading_table(unit_collection, get_collection_reference(untinted)->color_table_indexes[0], NONE);
	const void *tinted_table = get_shading_table(unit_collection, get_collection_reference(tinted)->color_table_indexes[0], NONE);
	const void *again_table = get_shading_table(unit_collection, get_collection_reference(again)->color_table_indexes[0], NONE);
	ASSERT_NE(untinted_table, nullptr);
	EXPECT_NE(memcmp(untinted_table, tinted_table, size), 0);
	EXPECT_EQ(memcmp(tinted_table, again_table, size), 0);
}

TEST_F(CollectionReferencesCustom, the_reference_array_fills)
{
	ASSERT_NE(load_reference(DEFAULT_UNIT_REFERENCE_TAG), NONE);
	int32 copies = 0;
	uint32 draws = zerv_random_draw_count();
	while (custom_collection_reference(DEFAULT_UNIT_REFERENCE_TAG, &team_red, &team_blue, FALSE) != NONE)
	{
		copies++;
		ASSERT_LE(copies, MAXIMUM_COLLECTION_REFERENCES_PER_MAP);
	}
	// The base and its copies fill all 512 slots; the 513th is refused before any draw.
	EXPECT_EQ(copies, MAXIMUM_COLLECTION_REFERENCES_PER_MAP - 1);
	EXPECT_EQ(zerv_random_draw_count(), draws + static_cast<uint32>(copies));
	EXPECT_NE(log_text().find("there are no more free collection reference definitions"), std::string::npos);
}

TEST_F(CollectionReferencesCustom, the_global_tint)
{
	const rgb_color tint = {100, 200, 300, 0};
	set_global_tint_color(&tint, 96);
	EXPECT_EQ(get_global_tint_color()->green, 200);
	EXPECT_EQ(get_global_tint_fraction(), 96);
	set_global_tint_color(NULL, 0);
	EXPECT_EQ(get_global_tint_color()->blue, 0);
}
