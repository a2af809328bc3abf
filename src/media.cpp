#include "media.h"

#include "collection_references.h"
#include "error_manager.h"
#include "shapes.h"

#define PROJECTILE_GROUP_DEFINITION_GROUP_TAG TAG("prgr")
#define LOCAL_PROJECTILE_GROUP_GROUP_TAG TAG("lpgr")

constexpr byte_swap_code media_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, // flags
	_4byte, // collection_reference_tag
	16, // unused
	_begin_bs_array, MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS, _4byte, _end_bs_array,
	_2byte, // reflection_tint_fraction
	_2byte, _2byte, _2byte, _2byte, // reflection_tint_color
	_2byte, // surface_effect_density
	_4byte, // surface_effect_local_projectile_group_tag
	_2byte, _2byte, _2byte, // wobble_magnitude
	_2byte, _2byte, _2byte, // wobble_phase_multiplier
	_2byte, // effects_per_cell
	_2byte, // time_between_building_effects
	_2byte, // reflection_transparency
	96, // unused2
	38, // filled at load
	_end_bs_array};
static_assert(get_byte_swap_struct_size(media_definition_bs_data) == sizeof(media_definition));

const media_definition default_media_definition = {
	0, // flags
	static_cast<file_tag>(NONE), // collection_reference_tag
	{},
	{static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE),
		static_cast<file_tag>(NONE)},
	0, // reflection_tint_fraction
	{0, 0, 0, 0},
	0, // surface_effect_density
	static_cast<file_tag>(NONE),
	{0, 0, 0},
	{0, 0, 0},
	0, // effects_per_cell
	0, // time_between_building_effects
	0, // reflection_transparency
	{},
	NONE,
	NONE,
	NONE,
	{NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE}};

static definition_globals media_definitions = {
	"media",
	MEDIA_DEFINITION_GROUP_TAG,
	MEDIA_DEFINITION_VERSION_NUMBER,
	MAXIMUM_MEDIA_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(media_definition)),
	nullptr,
	postprocess_media_definition,
	nullptr,
	&default_media_definition,
	media_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

/* ---------- references into other groups */

int16 resolve_definition_reference(file_tag group_tag, file_tag subgroup_tag)
{
	const int16 count = get_cached_definition_globals_count();
	for (int16 i = 0; i < count; ++i)
	{
		definition_globals *definitions = get_cached_definition_globals(i);
		if (definitions && definitions->group == group_tag) return definition_tag_to_index(definitions, subgroup_tag);
	}
	// A refused definition must say why, also when the group it names is not set up.
	error_message(_error_data_missing, MODULE_NAME, __LINE__, "no %s definitions are set up; couldn't add '%s'.",
		tag_to_string(group_tag), tag_to_string(subgroup_tag));
	return NONE;
}

/* ---------- the group */

definition_globals *get_media_definitions(void)
{
	return &media_definitions;
}

void initialize_media_definitions(void)
{
	// A restarted core registers the group again; the old tables are freed.
	initialize_definitions(&media_definitions);
}

void initialize_media_definitions_for_new_map(void)
{
	if (media_definitions.definitions) initialize_definitions_for_new_map(&media_definitions);
}

void dispose_media_definitions_from_old_map(void)
{
	if (media_definitions.definitions) dispose_definitions_from_old_map(&media_definitions);
}

int16 media_definition_tag_to_index(file_tag media_tag)
{
	if (!media_definitions.definitions || media_definitions.count < 0) return NONE;
	return definition_tag_to_index(&media_definitions, media_tag);
}

media_definition *get_media_definition(int16 media_index)
{
	if (media_index == NONE || !media_definitions.definitions) return nullptr;
	return static_cast<media_definition *>(try_and_get_definition(&media_definitions, media_index));
}

const media_definition *get_default_media_definition(void)
{
	return &default_media_definition;
}

boolean postprocess_media_definition(definition_globals *, int16, int32, void *definition)
{
	media_definition *media = static_cast<media_definition *>(definition);

	media->surface_effect_local_projectile_group = NONE;
	media->surface_effect_local_projectile_group_type = NONE;
	media->collection_reference_index = NONE;
	for (int16 &type : media->projectile_group_types) type = NONE;

	const int16 reference_index =
		resolve_definition_reference(COLLECTION_REFERENCE_GROUP_TAG, media->collection_reference_tag);
	set_shading_table_permutation_data(MEDIA_REFLECTION_SHADING_PERMUTATION, _add_shading_table_for_tinting,
		static_cast<fixed_fraction>(media->reflection_tint_fraction), &media->reflection_tint_color);
	if (reference_index == NONE) return FALSE;

	const collection_reference *reference = get_collection_reference(reference_index);
	const int16 collection_index = reference ? reference->collection_index : static_cast<int16>(NONE);
	if (collection_index != NONE)
	{
		add_shading_table_to_collection_index(collection_index, nullptr, _add_shading_table_for_tinting,
			static_cast<fixed_fraction>(media->reflection_tint_fraction), &media->reflection_tint_color);
	}
	media->collection_reference_index = reference_index;

	boolean resolved = TRUE;
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_MEDIA_DEFINITION_PROJECTILE_GROUPS; ++i)
	{
		const file_tag tag = media->projectile_group_tags[i];
		if (tag == static_cast<file_tag>(NONE)) continue;
		media->projectile_group_types[i] = resolve_definition_reference(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, tag);
		if (media->projectile_group_types[i] == NONE) resolved = FALSE;
	}

	const file_tag surface_tag = media->surface_effect_local_projectile_group_tag;
	if (surface_tag != 0 && surface_tag != static_cast<file_tag>(NONE))
	{
		media->surface_effect_local_projectile_group_type =
			resolve_definition_reference(LOCAL_PROJECTILE_GROUP_GROUP_TAG, surface_tag);
		if (media->surface_effect_local_projectile_group_type == NONE) resolved = FALSE;
	}
	return resolved;
}
