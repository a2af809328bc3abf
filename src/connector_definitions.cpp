#include "connector_definitions.h"

#include <cstring>

#include "collection_references.h"
#include "error_manager.h"
#include "projectile_definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

constexpr byte_swap_code connector_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, 10,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(connector_definition_bs_data) == sizeof(connector_definition));

static const connector_definition default_connector_definition = {
	0, static_cast<file_tag>(NONE), NONE, 256, 512, NONE, NONE, NONE, NONE, {}};

static void connector_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	connector_definition *d = static_cast<connector_definition *>(definition);
	report(COLLECTION_REFERENCE_GROUP_TAG, d->collection_reference_tag, &d->collection_reference_index);
}

static definition_globals connector_definitions = {
	"connector",
	CONNECTOR_GROUP_TAG,
	CONNECTOR_DEFINITION_VERSION_NUMBER,
	MAXIMUM_CONNECTOR_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(connector_definition)),
	connector_definition_dependencies,
	postprocess_connector,
	nullptr,
	&default_connector_definition,
	connector_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_connector_definitions(void)
{
	return &connector_definitions;
}

const connector_definition *get_default_connector_definition(void)
{
	return &default_connector_definition;
}

void initialize_connector_definitions(void)
{
	// Always afresh: a second start-up (tests) re-registers the group.
	initialize_definitions(&connector_definitions);
}

void initialize_connector_definitions_for_new_map(void)
{
	if (connector_definitions.definitions) initialize_definitions_for_new_map(&connector_definitions);
}

void dispose_connector_definitions_from_old_map(void)
{
	if (connector_definitions.definitions) dispose_definitions_from_old_map(&connector_definitions);
}

boolean postprocess_connector(definition_globals *, int16, int32 tag_handle, void *definition)
{
	connector_definition *d = static_cast<connector_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index = definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "connector %s has no collection reference '%s'.", name,
			tag_to_string(d->collection_reference_tag));
		return FALSE;
	}
	d->collection_index = reference->collection_index;
	d->color_table_index = reference->color_table_indexes[0];
	if (!connector_first_frame_instance(d->collection_index, d->normal_sequence_index))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"connector %s has no drawable first frame in its normal sequence #%d.", name, static_cast<int>(d->normal_sequence_index));
		return FALSE;
	}
	if (d->damaged_sequence_index != NONE && !verify_sequence_index(d->collection_index, d->damaged_sequence_index))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "connector %s has a bad damaged sequence #%d.", name,
			static_cast<int>(d->damaged_sequence_index));
		return FALSE;
	}
	return TRUE;
}

const bitmap_instance_data *connector_first_frame_instance(int16 collection_index, int16 sequence_index)
{
	// Checked here without a line: the caller says what was wrong.
	if (sequence_index < 0 || sequence_index >= get_collection_sequence_count(collection_index)) return nullptr;
	sequence_data *sequence = get_sequence(collection_index, sequence_index);
	if (!sequence || sequence->number_of_views <= 0) return nullptr;
	sequence_frame_data *frame = get_sequence_frame(sequence, collection_index, sequence_index, 0);
	if (!frame) return nullptr;
	int16 instance_index;
	memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data), sizeof(instance_index));
	const bitmap_instance_data *instance = get_bitmap_instance(collection_index, instance_index);
	const bitmap_data *bitmap = instance ? get_bitmap(collection_index, instance->bitmap_index) : nullptr;
	return bitmap && (bitmap->flags & _power_of_two_flag) ? instance : nullptr;
}

int16 connector_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&connector_definitions, tag);
}

connector_definition *get_connector_definition(int16 connector_type)
{
	return static_cast<connector_definition *>(try_and_get_definition(&connector_definitions, connector_type));
}

int16 new_connector_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&connector_definitions, subgroup, tag_data, tag_data_size);
}
