// The default set's formation definition ('form' 'info'): the built-in
// default, so every map start loads the same layouts it would use without it.
#include "default_tags.h"

#include "formations.h"
#include "projectiles_content.h"
#include "tag_files/tag_files.h"

std::vector<uint8> default_formation_definition_bytes(void)
{
	return stored_record_bytes(get_default_formation_definition(), static_cast<int32>(sizeof(formation_definition)),
		formation_definition_bs_data);
}

bool make_default_formation_tags(std::vector<int32> *handles)
{
	const std::vector<uint8> bytes = default_formation_definition_bytes();
	const int32 handle = tag_file_new_with_subgroup_tag(FORMATION_DEFINITION_GROUP_TAG, "formations",
		FORMATION_DEFINITION_SUBGROUP_TAG, FORMATION_DEFINITION_VERSION, bytes.data(), static_cast<int32>(bytes.size()));
	if (handle == NONE) return false;
	handles->push_back(handle);
	return true;
}
