#include "object_definitions.h"

constexpr byte_swap_code object_definition_bs_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, // flags, gravity, elasticity, terminal_velocity
	_2byte, _2byte, _2byte, _2byte, // vitality and scale
	_begin_bs_array, MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS, _2byte, _end_bs_array,
	_2byte, // minimum_damage
	14, // unused
	_end_bs_array};
static_assert(get_byte_swap_struct_size(object_definition_bs_data) == sizeof(object_definition));

static const object_definition default_object_definition = {
	_object_cannot_be_deflected_flag,
	-2, // gravity
	256 / 2, // elasticity
	0, // terminal_velocity
	256, 0, // vitality
	256, 0, // scale
	{256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256},
	0, // minimum_damage
	{}};

static definition_globals object_definitions = {
	"object",
	OBJECT_DEFINITION_GROUP_TAG,
	OBJECT_DEFINITION_VERSION_NUMBER,
	MAXIMUM_OBJECT_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(object_definition)),
	nullptr,
	nullptr,
	nullptr,
	&default_object_definition,
	object_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

const object_definition *get_default_object_definition(void)
{
	return &default_object_definition;
}

definition_globals *get_object_definitions(void)
{
	return &object_definitions;
}

void initialize_object_definitions(void)
{
	if (object_definitions.definitions) return;
	initialize_definitions(&object_definitions);
}

void initialize_object_definitions_for_new_map(void)
{
	if (object_definitions.definitions) initialize_definitions_for_new_map(&object_definitions);
}

void dispose_object_definitions_from_old_map(void)
{
	if (object_definitions.definitions) dispose_definitions_from_old_map(&object_definitions);
}

int16 object_definition_tag_to_index(file_tag subgroup_tag)
{
	return definition_tag_to_index(&object_definitions, subgroup_tag);
}

object_definition *get_object_definition(int16 definition_index)
{
	return static_cast<object_definition *>(try_and_get_definition(&object_definitions, definition_index));
}
