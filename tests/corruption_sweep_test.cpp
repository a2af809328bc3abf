// Byte-corruption sweeps of the generated tag set. Every tag of every group
// that has a loader is damaged in a fixed way and loaded through the game's
// own loader: each load either succeeds and passes the module's checks, or
// fails with an error code and a log line and leaves the module's globals as
// they were. Any crash or out-of-bounds read ends the test under ASan.
//
// Mutations, per tag: each byte of the header (the group's first record) and
// of the first 256 bytes of each further record set to 0x00, 0xFF, 0x7F, 0x80
// and flipped; truncations at every record boundary and one byte short of
// it; every aligned 32-bit and 16-bit field of the header set to -1, 0, the
// size and twice the size. Record boundaries are the header's end and every
// header field that points inside the tag. Large tags get a fixed, seeded
// sample, so that the sweep stays within its time.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "lightning.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "wind.h"
#include "artifact_definitions.h"
#include "formations.h"
#include "bitmap_text.h"
#include "collection_references.h"
#include "connector_definitions.h"
#include "definitions.h"
#include "detail_maps.h"
#include "geometry.h"
#include "markers.h"
#include "local_projectiles.h"
#include "media.h"
#include "model_animations.h"
#include "mesh.h"
#include "models.h"
#include "object_definitions.h"
#include "monster_definitions.h"
#include "projectile_definitions.h"
#include "unit_definitions.h"
#include "projectile_group_definitions.h"
#include "scenery_definitions.h"
#include "shapes.h"
#include "string_definitions.h"
#include "support/foundation_files.h"
#include "support/tag_files_test_directory.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

namespace {

struct swept_tag
{
	file_tag group, subgroup;
	int16 version;
	std::string name;
	std::vector<uint8> bytes;
};

struct mutation
{
	enum kind_type { _set_byte, _truncate, _set_field32, _set_field16 } kind;
	int32 offset;
	int32 value; // the byte, the length or the field's value
};

// A group's loader, as the game calls it, and what it owns.
struct sweep_group
{
	file_tag group;
	int32 header_size;
	// Loads the tag under its subgroup (the damaged copy is a local tag
	// shadowing the original, or the bytes themselves for in-memory loaders).
	bool (*load)(const swept_tag &tag, const std::vector<uint8> &bytes);
	// The module's own checks on an accepted load.
	void (*check)(const swept_tag &tag);
	// The group's own loaded state, to compare across a refused load (what
	// it needed and loaded on the way stays, as on any request).
	std::string (*state)(void);
	// Set for groups whose definitions refer to others of the group: a refused
	// one keeps those it loaded whole on the way, but never itself.
	definition_globals *(*self_referring)(void);
	// Set for groups whose every load pulls in a collection, objects and
	// projectiles: at most this many variants of each tag (0: the byte budget alone).
	size_t maximum_mutations = 0;
};

/* ---------- module state */

// The definitions in use. A refused definition may keep its slot without the
// postprocessed flag: the loader reads it again from its tag on the next
// request, so only postprocessed ones count as loaded.
std::string definition_state(definition_globals *definitions)
{
	std::string state;
	for (int16 i = 0; i < definitions->count; ++i)
	{
		if (!(definitions->flags[i] & _definition_postprocessed_flag)) continue;
		state.append(reinterpret_cast<const char *>(&i), sizeof(i));
		state.append(reinterpret_cast<const char *>(&definitions->subgroup_tags[i]), sizeof(file_tag));
		const size_t size = static_cast<size_t>(definitions->size);
		state.append(static_cast<const char *>(definitions->definitions) + static_cast<size_t>(i) * size, size);
	}
	return state;
}

void start_new_map(void)
{
	initialize_shapes_for_new_map(FALSE);
	initialize_collection_references_for_new_map();
	initialize_string_definitions_for_new_map();
	initialize_media_definitions_for_new_map();
	initialize_font_definitions_for_new_map();
	initialize_object_definitions_for_new_map();
	initialize_models_for_new_map();
	initialize_local_projectiles_for_new_map();
	initialize_model_animations_for_new_map();
	initialize_projectile_definitions_for_new_map();
	initialize_projectile_group_definitions_for_new_map();
	initialize_artifact_definitions_for_new_map();
	initialize_scenery_definitions_for_new_map();
	initialize_connector_definitions_for_new_map();
	initialize_monster_definitions_for_new_map();
	initialize_unit_definitions_for_new_map();
	initialize_definitions_for_new_map(get_formation_definitions());
	initialize_detail_textures_for_new_map();
	initialize_detail_maps_for_new_map();
	initialize_definitions_for_new_map(get_wind_definitions());
	initialize_definitions_for_new_map(get_particle_system_definitions());
	initialize_definitions_for_new_map(get_mesh_effect_definitions());
	initialize_definitions_for_new_map(get_lightning_definitions());
}

void leave_map(void)
{
	dispose_detail_maps_from_old_map();
	dispose_detail_textures_from_old_map();
	dispose_mesh_from_old_map();
	dispose_unit_definitions_from_old_map();
	dispose_definitions_from_old_map(get_lightning_definitions());
	dispose_definitions_from_old_map(get_mesh_effect_definitions());
	dispose_definitions_from_old_map(get_particle_system_definitions());
	dispose_definitions_from_old_map(get_wind_definitions());
	dispose_monster_definitions_from_old_map();
	dispose_formation_definitions_from_old_map();
	dispose_connector_definitions_from_old_map();
	dispose_scenery_definitions_from_old_map();
	dispose_artifact_definitions_from_old_map();
	dispose_projectile_group_definitions_from_old_map();
	dispose_projectile_definitions_from_old_map();
	dispose_model_animations_from_old_map();
	dispose_local_projectiles_from_old_map();
	dispose_models_from_old_map();
	dispose_object_definitions_from_old_map();
	dispose_font_definitions_from_old_map();
	dispose_media_definitions_from_old_map();
	dispose_string_definitions_from_old_map();
	dispose_collection_references_from_old_map();
	dispose_shapes_from_old_map();
}

// The damaged copy: a local tag in front of the original, kept until the
// checks are done (a module may read its tag after the load).
int32 local_copy = NONE;

template <int16 (*lookup)(file_tag)>
bool load_through_tags(const swept_tag &tag, const std::vector<uint8> &bytes)
{
	local_copy = tag_file_new_with_subgroup_tag(tag.group, tag.name.c_str(), tag.subgroup, tag.version, bytes.data(),
		static_cast<int32>(bytes.size()));
	return local_copy != NONE && lookup(tag.subgroup) != NONE;
}

void delete_local_copy(void)
{
	if (local_copy == NONE) return;
	EXPECT_TRUE(tag_file_delete(local_copy));
	local_copy = NONE;
}

/* ---------- the groups */

bool load_mesh(const swept_tag &tag, const std::vector<uint8> &bytes)
{
	return load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), tag.version, tag.name.c_str());
}

void check_mesh(const swept_tag &)
{
	ASSERT_TRUE(mesh_is_loaded());
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	ASSERT_TRUE(width >= SUBMESH_WIDTH && height >= SUBMESH_WIDTH);
	ASSERT_TRUE(width % SUBMESH_WIDTH == 0 && height % SUBMESH_WIDTH == 0);
	ASSERT_EQ(mesh_globals->cell_count, width * height);
	ASSERT_TRUE(mesh_globals->marker_count >= 0 && mesh_globals->marker_count <= MAXIMUM_MESH_MARKER_COUNT);
	initialize_markers_for_new_map();
	scan_markers_state scan;
	new_scan_markers_state(&scan, NONE, NONE, NONE);
	int32 seen = 0;
	while (scan_markers(&scan)) seen += 1;
	ASSERT_EQ(seen, mesh_globals->marker_count);
	const world_point2d middle = {static_cast<world_distance>(width * WORLD_ONE / 2),
		static_cast<world_distance>(height * WORLD_ONE / 2)};
	const int16 terrain = get_mesh_terrain_type(&middle);
	ASSERT_TRUE(terrain >= 0 && terrain <= CELL_TERRAIN_TYPE_MASK);
	dispose_mesh_from_old_map();
}

std::string mesh_state(void)
{
	// A refused load leaves no map (the loader lets the old one go first) and nothing of the new one.
	const int32 counts[] = {mesh_is_loaded(), mesh_globals->cell_count, mesh_globals->marker_count,
		mesh_globals->marker_palette_count, mesh_globals->connector_count, mesh_globals->map_action_count,
		mesh_globals->media_coverage_region_size, mesh_globals->mesh_LOD_data_size};
	return std::string(reinterpret_cast<const char *>(counts), sizeof(counts));
}

void check_collection(const swept_tag &tag)
{
	const int16 collection = get_collection_index(tag.subgroup);
	ASSERT_NE(collection, NONE);
	const int16 bitmaps = get_collection_bitmap_count(collection);
	const int16 sequences = get_collection_sequence_count(collection);
	ASSERT_TRUE(bitmaps >= 0 && bitmaps <= MAXIMUM_BITMAPS_PER_COLLECTION);
	ASSERT_TRUE(sequences >= 0 && sequences <= MAXIMUM_SEQUENCES_PER_COLLECTION);
	for (int16 s = 0; s < sequences; ++s) ASSERT_TRUE(verify_sequence_index(collection, s)) << s;
	for (int16 b = 0; b < bitmaps; ++b)
	{
		const bitmap_data *bitmap = get_bitmap(collection, b);
		ASSERT_NE(bitmap, nullptr);
		ASSERT_TRUE(bitmap->width >= 0 && bitmap->height >= 0);
	}
}

std::string collection_state(void)
{
	return definition_state(get_collection_definitions());
}

void check_collection_reference(const swept_tag &tag)
{
	definition_globals *definitions = get_collection_reference_definitions();
	const collection_reference *reference = static_cast<const collection_reference *>(
		try_and_get_definition(definitions, subgroup_tag_to_definition_index(definitions, tag.subgroup)));
	ASSERT_NE(reference, nullptr);
	ASSERT_NE(reference->collection_index, NONE);
	ASSERT_TRUE(reference->number_of_permutations >= 1 &&
		reference->number_of_permutations <= MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE);
}

std::string collection_reference_state(void)
{
	return definition_state(get_collection_reference_definitions());
}

int16 collection_reference_index(file_tag subgroup)
{
	return definition_tag_to_index(get_collection_reference_definitions(), subgroup);
}

void check_media(const swept_tag &tag)
{
	ASSERT_NE(get_media_definition(media_definition_tag_to_index(tag.subgroup)), nullptr);
}

std::string media_state(void)
{
	return definition_state(get_media_definitions());
}

void check_string_list(const swept_tag &tag)
{
	const int16 list = string_list_tag_to_string_index(tag.subgroup);
	ASSERT_NE(list, NONE);
	const int16 count = count_strings_in_list(list);
	ASSERT_GE(count, 0);
	for (int16 i = 0; i < count; ++i) ASSERT_NE(get_string_from_list(list, i), nullptr);
}

void check_string(const swept_tag &tag)
{
	int16 size = NONE;
	ASSERT_NE(get_string(string_tag_to_string_index(tag.subgroup), &size), nullptr);
	ASSERT_GE(size, 0);
}

// The definition groups of a tag group (the string module keeps one per tag group).
template <file_tag group_tag>
std::string group_state(void)
{
	std::string state;
	for (int16 i = 0; i < get_cached_definition_globals_count(); ++i)
	{
		definition_globals *definitions = get_cached_definition_globals(i);
		if (definitions->group == group_tag) state += definition_state(definitions);
	}
	return state;
}

// Fonts: the glyphs must be usable, drawn into a bitmap they may not reach outside of.
void check_font(const swept_tag &tag)
{
	const int16 font = font_tag_to_font_index(tag.subgroup);
	const font_definition *definition = get_font_definition(font);
	ASSERT_NE(definition, nullptr);
	ASSERT_GE(definition->number_of_characters, 0);
	const char *const text = "Ab |bq|p yz\xC3";
	// Advances come from the file as they are (a negative one is not refused).
	int32 lines = NONE;
	string_width_multiline(font, NONE, text, &lines);
	ASSERT_TRUE(lines == 0 || lines == 1);
	wrap_string_result wrapped;
	wrap_string(text, NONE, font, 16, _draw_string_wrap_flag, &wrapped);
	ASSERT_TRUE(wrapped.line_length >= 0 && wrapped.line_length <= static_cast<int16>(strlen(text)));
	bitmap_data *bitmap = new_bitmap(48, 16, 48 * 4, _32bit_encoding, 0);
	ASSERT_NE(bitmap, nullptr);
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 48, 16);
	const rgb_color white = {0xFFFF, 0xFFFF, 0xFFFF, 0};
	draw_string(bitmap, nullptr, &bounds, nullptr, font, NONE, &white, text, _draw_string_shadow_flag, 0);
	dispose_pointer(bitmap);
}

// A group's state and the definition indexes whose tables are in place (a
// refused definition keeps none, though it may keep its slot).
template <typename tables>
std::string with_slots_holding_tables(std::string state, int16 count, tables (*get_tables)(int16))
{
	for (int16 i = 0; i < count; ++i)
	{
		if (get_tables(i)) state.append(reinterpret_cast<const char *>(&i), sizeof(i));
	}
	return state;
}

std::string font_state(void)
{
	return with_slots_holding_tables(group_state<FONT_DEFINITION_GROUP_TAG>(), MAXIMUM_FONT_DEFINITIONS_PER_MAP,
		get_font_definition);
}

void check_object(const swept_tag &tag)
{
	ASSERT_NE(get_object_definition(object_definition_tag_to_index(tag.subgroup)), nullptr);
}

std::string object_state(void)
{
	return definition_state(get_object_definitions());
}

void check_geometry(const swept_tag &tag)
{
	const int16 index = geometry_definition_tag_to_index(tag.subgroup);
	const geometry_definition *geometry = get_geometry_definition(index);
	const geometry_tables *tables = get_geometry_tables(index);
	ASSERT_TRUE(geometry && tables);
	ASSERT_TRUE(geometry->vertex_count >= 0 && geometry->vertex_count <= MAXIMUM_VERTICES_PER_GEOMETRY);
	ASSERT_TRUE(geometry->surface_count >= 0 && geometry->surface_count <= MAXIMUM_SURFACES_PER_GEOMETRY);
	ASSERT_NE(get_collection_reference(geometry->collection_reference_index), nullptr);
}

std::string geometry_state(void)
{
	return with_slots_holding_tables(definition_state(get_geometry_definitions()), MAXIMUM_GEOMETRY_DEFINITIONS_PER_MAP,
		get_geometry_tables);
}

void check_model(const swept_tag &tag)
{
	const int16 index = get_model_definition_index(tag.subgroup);
	const model_definition *model = get_model_definition(index);
	const model_definition_tables *tables = get_model_definition_tables(index);
	ASSERT_TRUE(model && tables);
	const geometry_definition *geometry = get_geometry_definition(model->geometry_index);
	ASSERT_TRUE(geometry && get_geometry_tables(model->geometry_index));
	ASSERT_GE(model->model_geometry_vertex_count, geometry->vertex_count);
	ASSERT_TRUE(model->model_permutation_count >= 1 && model->model_cell_count >= 0 &&
		model->model_cell_count <= MAXIMUM_CELLS_PER_MODEL);
	for (int16 i = 0; i < model->model_permutation_count; ++i)
	{
		ASSERT_NE(tables->permutations[i].collection_index, NONE) << i;
	}
}

// The model group only: the geometry it needed stays loaded, as on any request.
std::string model_state(void)
{
	return with_slots_holding_tables(definition_state(get_model_definitions()), MAXIMUM_MODEL_DEFINITIONS_PER_MAP,
		get_model_definition_tables);
}

// A resolved reference: none, or a definition in place.
template <typename definition>
bool none_or_loaded(int16 type, definition *(*get)(int16))
{
	return type == NONE || get(type) != nullptr;
}

void check_scenery(const swept_tag &tag)
{
	const scenery_definition *scenery = get_scenery_definition(scenery_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(scenery, nullptr);
	ASSERT_NE(get_collection_reference(scenery->collection_reference_index), nullptr);
	ASSERT_NE(get_object_definition(scenery->object_type), nullptr);
	ASSERT_TRUE(none_or_loaded(scenery->projectile_type, get_projectile_definition));
	for (int16 type : scenery->projectile_group_types)
	{
		ASSERT_TRUE(none_or_loaded(type, get_projectile_group_definition)) << type;
	}
}

void check_connector(const swept_tag &tag)
{
	const connector_definition *connector = get_connector_definition(connector_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(connector, nullptr);
	ASSERT_NE(get_collection_reference(connector->collection_reference_index), nullptr);
	ASSERT_NE(connector->collection_index, NONE);
}

void check_artifact(const swept_tag &tag)
{
	const artifact_definition *artifact = get_artifact_definition(artifact_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(artifact, nullptr);
	ASSERT_NE(artifact->collection_index, NONE);
	// Up to this play version the stored types stand unresolved; the accessor answers only loaded ones.
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_ARTIFACT_PROJECTILES; ++i)
	{
		ASSERT_TRUE(none_or_loaded(get_artifact_projectile_type(artifact, i), get_projectile_definition)) << i;
	}
	ASSERT_TRUE(none_or_loaded(artifact->override_attack.projectile_type, get_projectile_definition));
}

void check_monster(const swept_tag &tag)
{
	const monster_definition *monster = get_monster_definition(monster_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(monster, nullptr);
	ASSERT_NE(monster->collection_index, NONE);
	ASSERT_NE(get_object_definition(monster->object_type), nullptr);
	ASSERT_TRUE(monster->number_of_attacks >= 0 && monster->number_of_attacks <= MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER);
	ASSERT_TRUE(monster->visibility_type >= NONE && monster->visibility_type < NUMBER_OF_VISIBILITY_BITMAPS);
	for (int16 i = 0; i < monster->number_of_attacks; ++i)
	{
		ASSERT_TRUE(none_or_loaded(monster->attacks[i].projectile_type, get_projectile_definition)) << i;
	}
	ASSERT_TRUE(none_or_loaded(monster->ammunition_projectile_type, get_projectile_definition));
}

void check_unit(const swept_tag &tag)
{
	const unit_definition *unit = get_unit_definition(unit_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(unit, nullptr);
	ASSERT_NE(get_monster_definition(unit->monster_type), nullptr);
	ASSERT_NE(get_collection_reference(unit->collection_reference_index), nullptr);
	ASSERT_EQ(unit->player_index, NONE);
}

void check_projectile(const swept_tag &tag)
{
	const projectile_definition *projectile = get_projectile_definition(projectile_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(projectile, nullptr);
	ASSERT_NE(get_object_definition(projectile->object_type), nullptr);
	for (int16 type : {projectile->detonation_projectile_group_type, projectile->promotion_projectile_group_type,
			 projectile->target_detonation_projectile_group_type})
	{
		ASSERT_TRUE(none_or_loaded(type, get_projectile_group_definition)) << type;
	}
	for (int16 type : {projectile->contrail_projectile_type, projectile->promoted_projectile_type})
	{
		ASSERT_TRUE(none_or_loaded(type, get_projectile_definition)) << type;
	}
	ASSERT_TRUE(none_or_loaded(projectile->artifact_index, get_artifact_definition));
}

void check_projectile_group(const swept_tag &tag)
{
	const projectile_group_definition *group =
		get_projectile_group_definition(projectile_group_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(group, nullptr);
	ASSERT_TRUE(group->number_of_parts >= 0 && group->number_of_parts <= MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP);
	for (int16 i = 0; i < group->number_of_parts; ++i)
	{
		ASSERT_NE(get_projectile_definition(group->parts[i].projectile_type), nullptr) << i;
		ASSERT_TRUE(none_or_loaded(group->parts[i].fail_projectile_type, get_projectile_definition)) << i;
	}
}

// Loaded particle definitions name only what is loaded.
void check_local_physics(const swept_tag &tag)
{
	ASSERT_NE(get_local_physics_definition(local_physics_definition_tag_to_index(tag.subgroup)), nullptr);
}

void check_local_projectile_group(const swept_tag &tag)
{
	const local_projectile_group_definition *group =
		get_local_projectile_group_definition(local_projectile_group_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(group, nullptr);
	ASSERT_TRUE(verify_sequence_index(group->collection_index, group->sequence_indexes[0]));
	ASSERT_TRUE(group->sequence_indexes[1] == NONE || verify_sequence_index(group->collection_index, group->sequence_indexes[1]));
	ASSERT_TRUE(none_or_loaded(group->physics_index, get_local_physics_definition));
}

void check_model_animation(const swept_tag &tag)
{
	const int16 index = get_model_animation_definition_index(tag.subgroup);
	const model_animation_definition *animation = get_model_animation_definition(index);
	ASSERT_NE(animation, nullptr);
	ASSERT_TRUE(animation->number_of_frames >= 1 && animation->number_of_frames <= MAXIMUM_FRAMES_PER_MODEL_ANIMATION);
	for (int16 i = 0; i < animation->number_of_frames; ++i)
	{
		ASSERT_NE(get_model_definition(animation->frames[i].model_type), nullptr) << i;
	}
	const uint8 *last = get_model_animation_shadow_map(index, static_cast<int16>(animation->number_of_frames - 1));
	if (last) { EXPECT_GE(static_cast<int32>(last[animation->shadow_map_height * animation->shadow_bytes_per_row - 1]), 0); }
}

// A formation definition that loads can be laid out.
void check_formation(const swept_tag &tag)
{
	const int16 index = formation_definition_tag_to_index(tag.subgroup);
	ASSERT_NE(index, NONE);
	ASSERT_TRUE(formation_definition_is_valid(
		static_cast<const formation_definition *>(try_and_get_definition(get_formation_definitions(), index))));
}

template <definition_globals *(*get_definitions)(void)>
std::string definitions_of(void)
{
	return definition_state(get_definitions());
}

int16 detail_texture_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(get_detail_texture_definitions(), tag);
}

void check_detail_map(const swept_tag &tag)
{
	ASSERT_NE(get_detail_map_definition(detail_map_definition_tag_to_index(tag.subgroup)), nullptr);
	// Layer words only with every texture there, and a switch that follows them.
	EXPECT_EQ(detail_maps_active() != FALSE, detail_map_layer_info != nullptr);
}

void check_detail_texture(const swept_tag &tag)
{
	const detail_texture_definition *texture = static_cast<const detail_texture_definition *>(
		try_and_get_definition(get_detail_texture_definitions(), detail_texture_tag_to_index(tag.subgroup)));
	ASSERT_NE(texture, nullptr);
	EXPECT_GT(texture->width, 0u);
	EXPECT_GT(texture->height, 0u);
}

std::string detail_map_state(void)
{
	return definition_state(get_detail_map_definitions()) + (detail_map_layer_info ? " layer" : "");
}

std::string detail_texture_state(void)
{
	return definition_state(get_detail_texture_definitions());
}

int16 wind_tag_to_index(file_tag subgroup)
{
	return definition_tag_to_index(get_wind_definitions(), subgroup);
}

int16 particle_system_tag_to_index(file_tag subgroup)
{
	return definition_tag_to_index(get_particle_system_definitions(), subgroup);
}

void check_wind(const swept_tag &tag)
{
	ASSERT_NE(try_and_get_definition(get_wind_definitions(), wind_tag_to_index(tag.subgroup)), nullptr);
}

void check_particle_system(const swept_tag &tag)
{
	const particle_system_definition *system = static_cast<const particle_system_definition *>(
		try_and_get_definition(get_particle_system_definitions(), particle_system_tag_to_index(tag.subgroup)));
	ASSERT_NE(system, nullptr);
	ASSERT_TRUE(system->box_width >= 1 && system->box_width <= MAXIMUM_PARTICLE_BOX_WIDTH);
	ASSERT_EQ(system->box_width & (system->box_width - 1), 0);
}

void check_mesh_effect(const swept_tag &tag)
{
	const mesh_effect_definition *effect = get_mesh_effect_definition(mesh_effect_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(effect, nullptr);
	if (effect->flags & _mesh_effect_has_shockwave_flag)
	{
		ASSERT_TRUE(effect->number_of_radial_points >= 1 && effect->number_of_radial_points <= MAXIMUM_RADIAL_POINTS);
	}
}

void check_lightning(const swept_tag &tag)
{
	const lightning_definition *bolt = get_lightning_definition(lightning_definition_tag_to_index(tag.subgroup));
	ASSERT_NE(bolt, nullptr);
	ASSERT_GT(bolt->velocity, 0);
	ASSERT_TRUE(bolt->apparent_number_of_bolts >= 0 && bolt->apparent_number_of_bolts <= MAXIMUM_APPARENT_NUMBER_OF_BOLTS);
}

const sweep_group sweep_groups[] = {
	{MESH_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(mesh_header)), load_mesh, check_mesh, mesh_state, nullptr},
	{COLLECTION_GROUP_TAG, static_cast<int32>(sizeof(collection_header)), load_through_tags<get_collection_index>,
		check_collection, collection_state, nullptr},
	{COLLECTION_REFERENCE_GROUP_TAG, static_cast<int32>(sizeof(collection_reference)),
		load_through_tags<collection_reference_index>, check_collection_reference, collection_reference_state, nullptr},
	{MEDIA_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(media_definition)),
		load_through_tags<media_definition_tag_to_index>, check_media, media_state, nullptr},
	{STRING_LIST_DEFINITION_GROUP_TAG, 256, load_through_tags<string_list_tag_to_string_index>, check_string_list,
		group_state<STRING_LIST_DEFINITION_GROUP_TAG>, nullptr},
	{STRING_DEFINITION_GROUP_TAG, 256, load_through_tags<string_tag_to_string_index>, check_string,
		group_state<STRING_DEFINITION_GROUP_TAG>, nullptr},
	{FONT_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(font_definition)), load_through_tags<font_tag_to_font_index>,
		check_font, font_state, nullptr},
	{OBJECT_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(object_definition)),
		load_through_tags<object_definition_tag_to_index>, check_object, object_state, nullptr},
	{GEOMETRY_GROUP_TAG, static_cast<int32>(sizeof(geometry_definition)),
		load_through_tags<geometry_definition_tag_to_index>, check_geometry, geometry_state, nullptr},
	{MODEL_GROUP_TAG, static_cast<int32>(sizeof(model_definition)), load_through_tags<get_model_definition_index>,
		check_model, model_state, nullptr},
	{SCENERY_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(scenery_definition)),
		load_through_tags<scenery_definition_tag_to_index>, check_scenery, definitions_of<get_scenery_definitions>, nullptr},
	{CONNECTOR_GROUP_TAG, static_cast<int32>(sizeof(connector_definition)),
		load_through_tags<connector_definition_tag_to_index>, check_connector, definitions_of<get_connector_definitions>, nullptr},
	{ARTIFACT_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(artifact_definition)),
		load_through_tags<artifact_definition_tag_to_index>, check_artifact, definitions_of<get_artifact_definitions>,
		get_artifact_definitions},
	{PROJECTILE_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(projectile_definition)),
		load_through_tags<projectile_definition_tag_to_index>, check_projectile, definitions_of<get_projectile_definitions>,
		get_projectile_definitions},
	{PROJECTILE_GROUP_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(projectile_group_definition)),
		load_through_tags<projectile_group_definition_tag_to_index>, check_projectile_group,
		definitions_of<get_projectile_group_definitions>, get_projectile_group_definitions},
	{MONSTER_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(monster_definition)),
		load_through_tags<monster_definition_tag_to_index>, check_monster, definitions_of<get_monster_definitions>, nullptr,
		160},
	{UNIT_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(unit_definition)),
		load_through_tags<unit_definition_tag_to_index>, check_unit, definitions_of<get_unit_definitions>, nullptr, 80},
	{DETAIL_MAP_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(detail_map_definition)),
		load_through_tags<detail_map_definition_tag_to_index>, check_detail_map, detail_map_state, nullptr, 60},
	{DETAIL_TEXTURE_DEFINITION_GROUP_TAG, DETAIL_TEXTURE_STREAM_OFFSET, load_through_tags<detail_texture_tag_to_index>,
		check_detail_texture, detail_texture_state, nullptr, 60},
	{LOCAL_PHYSICS_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(local_physics_definition)),
		load_through_tags<local_physics_definition_tag_to_index>, check_local_physics,
		definitions_of<get_local_physics_definitions>, nullptr},
	{LOCAL_PROJECTILE_GROUP_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(local_projectile_group_definition)),
		load_through_tags<local_projectile_group_definition_tag_to_index>, check_local_projectile_group,
		definitions_of<get_local_projectile_group_definitions>, nullptr, 60},
	{MODEL_ANIMATION_GROUP_TAG, static_cast<int32>(sizeof(model_animation_definition)),
		load_through_tags<get_model_animation_definition_index>, check_model_animation,
		definitions_of<get_model_animation_definitions>, nullptr, 60},
	{FORMATION_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(formation_definition)),
		load_through_tags<formation_definition_tag_to_index>, check_formation, definitions_of<get_formation_definitions>,
		get_formation_definitions},
	{WIND_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(wind_definition)), load_through_tags<wind_tag_to_index>,
		check_wind, definitions_of<get_wind_definitions>, nullptr, 120},
	{PARTICLE_SYSTEM_GROUP_TAG, static_cast<int32>(sizeof(particle_system_definition)),
		load_through_tags<particle_system_tag_to_index>, check_particle_system,
		definitions_of<get_particle_system_definitions>, nullptr, 120},
	{MESH_EFFECT_DEFINITION_GROUP_TAG, static_cast<int32>(sizeof(mesh_effect_definition)),
		load_through_tags<mesh_effect_definition_tag_to_index>, check_mesh_effect,
		definitions_of<get_mesh_effect_definitions>, nullptr, 120},
	{LIGHTNING_GROUP_TAG, static_cast<int32>(sizeof(lightning_definition)),
		load_through_tags<lightning_definition_tag_to_index>, check_lightning, definitions_of<get_lightning_definitions>,
		nullptr, 120},
};

const sweep_group *group_of(file_tag group)
{
	for (const sweep_group &entry : sweep_groups)
	{
		if (entry.group == group) return &entry;
	}
	return nullptr;
}

/* ---------- mutations */

int32 big_endian_32(const std::vector<uint8> &bytes, size_t offset)
{
	return static_cast<int32>((static_cast<uint32>(bytes[offset]) << 24) | (static_cast<uint32>(bytes[offset + 1]) << 16) |
		(static_cast<uint32>(bytes[offset + 2]) << 8) | bytes[offset + 3]);
}

// The header's end and every header field pointing inside the tag, sorted.
std::vector<int32> record_boundaries(const std::vector<uint8> &bytes, int32 header_size)
{
	const int32 size = static_cast<int32>(bytes.size());
	std::set<int32> boundaries = {0};
	if (header_size < size) boundaries.insert(header_size);
	for (int32 at = 0; at + 4 <= MIN(header_size, size); at += 4)
	{
		const int32 value = big_endian_32(bytes, static_cast<size_t>(at));
		if (value > header_size && value < size) boundaries.insert(value);
	}
	return std::vector<int32>(boundaries.begin(), boundaries.end());
}

std::vector<mutation> mutations_of(const std::vector<uint8> &bytes, int32 header_size)
{
	const int32 size = static_cast<int32>(bytes.size());
	const int32 header_end = MIN(header_size, size);
	std::vector<mutation> list;
	// Counts and offsets first: the faults most likely to read out of bounds.
	for (int32 value : {-1, 0, size, 2 * size})
	{
		for (int32 at = 0; at + 4 <= header_end; at += 4) list.push_back({mutation::_set_field32, at, value});
		for (int32 at = 0; at + 2 <= header_end; at += 2)
		{
			list.push_back({mutation::_set_field16, at, value < 0 ? -1 : MIN(value, 0x7FFF)});
		}
	}
	const std::vector<int32> boundaries = record_boundaries(bytes, header_size);
	for (int32 boundary : boundaries)
	{
		list.push_back({mutation::_truncate, 0, boundary});
		if (boundary > 0) list.push_back({mutation::_truncate, 0, boundary - 1});
	}
	for (int32 boundary : boundaries)
	{
		const int32 end = boundary == 0 ? header_end : MIN(boundary + 256, size);
		for (int32 at = boundary; at < end; ++at)
		{
			for (int32 value : {0x00, 0xFF, 0x7F, 0x80, bytes[static_cast<size_t>(at)] ^ 0xFF})
			{
				if (value != bytes[static_cast<size_t>(at)]) list.push_back({mutation::_set_byte, at, value});
			}
		}
	}
	return list;
}

std::vector<uint8> apply(const std::vector<uint8> &bytes, const mutation &m)
{
	std::vector<uint8> variant = bytes;
	switch (m.kind)
	{
	case mutation::_set_byte:
		variant[static_cast<size_t>(m.offset)] = static_cast<uint8>(m.value);
		break;
	case mutation::_truncate:
		variant.resize(static_cast<size_t>(m.value));
		break;
	case mutation::_set_field32:
		for (int32 i = 0; i < 4; ++i)
		{
			variant[static_cast<size_t>(m.offset + i)] = static_cast<uint8>(static_cast<uint32>(m.value) >> (24 - 8 * i));
		}
		break;
	case mutation::_set_field16:
		variant[static_cast<size_t>(m.offset)] = static_cast<uint8>(static_cast<uint32>(m.value) >> 8);
		variant[static_cast<size_t>(m.offset + 1)] = static_cast<uint8>(m.value);
		break;
	}
	return variant;
}

// What one tag may cost: loaded bytes, and loads (a definition loads what it
// refers to as well). A larger list sweeps a fixed, seeded sample.
const size_t sweep_bytes_per_tag = 160 * 1024 * 1024;
const size_t maximum_mutations_per_tag = 600;
const size_t minimum_sample = 24;

// Seeded partial Fisher-Yates: the first count entries of list, the same every run.
void shuffle_front(std::vector<mutation> *list, size_t count, uint32 *seed)
{
	for (size_t i = 0; i < count && i < list->size(); ++i)
	{
		*seed = *seed * 1664525u + 1013904223u;
		std::swap((*list)[i], (*list)[i + (*seed >> 8) % (list->size() - i)]);
	}
}

// Truncations are always kept; then header fields set to -1 and to the size,
// then the rest, each sampled when the budget runs out.
std::vector<mutation> sample(const std::vector<mutation> &all, size_t tag_size, uint32 seed)
{
	size_t budget = MIN(maximum_mutations_per_tag, sweep_bytes_per_tag / MAX(tag_size, size_t(1)));
	budget = MAX(budget, minimum_sample);
	if (all.size() <= budget) return all;
	std::vector<mutation> kept, fields, rest;
	const int32 size = static_cast<int32>(tag_size);
	for (const mutation &m : all)
	{
		if (m.kind == mutation::_truncate) kept.push_back(m);
		else if (m.kind == mutation::_set_field32 && (m.value == -1 || m.value == size)) fields.push_back(m);
		else rest.push_back(m);
	}
	for (std::vector<mutation> *part : {&fields, &rest})
	{
		const size_t room = budget > kept.size() ? budget - kept.size() : 0;
		const size_t count = MIN(room, part->size());
		shuffle_front(part, count, &seed);
		kept.insert(kept.end(), part->begin(), part->begin() + static_cast<std::ptrdiff_t>(count));
	}
	return kept;
}

std::string describe(const swept_tag &tag, const mutation &m)
{
	static const char *const kinds[] = {"byte", "truncation", "32-bit field", "16-bit field"};
	return tag.name + ": " + kinds[m.kind] + " at " + std::to_string(m.offset) + " = " + std::to_string(m.value);
}

off_t log_size(void)
{
	struct stat status;
	return stat(ERROR_LOG_FILE_NAME, &status) == 0 ? status.st_size : 0;
}

/* ---------- the fixture */

class corruption_sweep : public zerv_test_directory
{
protected:
	// Under /dev/shm where there is one: every damaged copy is written and synced.
	std::string memory_directory;

	void SetUp() override
	{
		zerv_test_directory::SetUp();
		char pattern[] = "/dev/shm/zerv-sweep-XXXXXX";
		if (mkdtemp(pattern))
		{
			memory_directory = pattern;
			ASSERT_EQ(chdir(pattern), 0);
		}
		initialize_error_state("zerv");
		tag_files_reset_for_tests();
		tag_files_initialize();
		ASSERT_TRUE(install_placeholder_foundation_files("."));
		// The foundation files and every plugin: the whole generated set.
		tag_files_update_available_plugins();
		std::vector<int16> plugins(static_cast<size_t>(tag_file_get_plugin_count()));
		for (size_t i = 0; i < plugins.size(); ++i) plugins[i] = static_cast<int16>(i);
		ASSERT_FALSE(plugins.empty());
		ASSERT_TRUE(tag_files_open(FALSE, plugins.data(), static_cast<int16>(plugins.size()), NONE)) << log_text();
		preinitialize_definitions();
		initialize_world();
		initialize_shapes();
		initialize_collection_references();
		initialize_string_definitions();
		initialize_media_definitions();
		initialize_font_definitions();
		initialize_object_definitions();
		initialize_models();
		initialize_local_projectiles();
		initialize_model_animations();
		// Media name projectile groups for their splashes; the rest of the definition groups of a map.
		initialize_projectile_definitions();
		initialize_projectile_group_definitions();
		initialize_artifact_definitions();
		initialize_scenery_definitions();
		initialize_connector_definitions();
		initialize_monster_definitions();
		initialize_unit_definitions();
		initialize_formation_definitions();
		initialize_detail_textures();
		initialize_detail_maps();
		initialize_definitions(get_wind_definitions());
		initialize_definitions(get_particle_system_definitions());
		initialize_definitions(get_mesh_effect_definitions());
		initialize_definitions(get_lightning_definitions());
		initialize_mesh();
		initialize_markers();
		game_play_version = MAXIMUM_GAME_PLAY_VERSION;
	}

	void TearDown() override
	{
		delete_local_copy();
		leave_map();
		tag_files_reset_for_tests();
		reset_x_files_test_hooks();
		if (!memory_directory.empty())
		{
			EXPECT_EQ(chdir(test_directory.c_str()), 0);
			remove_directory_tree(memory_directory);
		}
		zerv_test_directory::TearDown();
	}

	// Every visible tag, with its bytes.
	static std::vector<swept_tag> generated_tags(void)
	{
		std::vector<int32> handles(static_cast<size_t>(tag_file_enumerate(nullptr, nullptr, NONE)));
		handles.resize(static_cast<size_t>(tag_file_enumerate(nullptr, handles.data(), static_cast<int32>(handles.size()))));
		std::vector<swept_tag> tags;
		for (int32 handle : handles)
		{
			swept_tag tag = {tag_file_get_header_group(handle), tag_file_get_header_subgroup(handle),
				tag_file_get_header_version(handle), tag_file_name_get(handle), {}};
			tag.bytes.resize(static_cast<size_t>(tag_file_get_header_data_size(handle)));
			EXPECT_TRUE(tag_file_read(handle, 0, static_cast<int32>(tag.bytes.size()), tag.bytes.data()));
			tags.push_back(tag);
		}
		return tags;
	}

	// One damaged load; false after a fatal failure.
	bool load_variant(const sweep_group &group, const swept_tag &tag, const mutation &m)
	{
		SCOPED_TRACE(describe(tag, m));
		start_new_map();
		const std::string before = group.state();
		const off_t log_before = log_size();
		clear_errors();
		if (group.load(tag, apply(tag.bytes, m)))
		{
			group.check(tag);
		}
		else
		{
			EXPECT_NE(get_error_code(), _error_none) << "refused without an error";
			EXPECT_GT(log_size(), log_before) << "refused without a log line";
			if (!group.self_referring)
			{
				EXPECT_EQ(group.state(), before) << "a refused load left a part behind";
			}
			else
			{
				EXPECT_EQ(group.state().compare(0, before.size(), before), 0) << "a refused load changed what was loaded";
				definition_globals *definitions = group.self_referring();
				const int16 own = subgroup_tag_to_definition_index(definitions, tag.subgroup);
				EXPECT_TRUE(own == NONE || !(definitions->flags[own] & _definition_postprocessed_flag))
					<< "a refused definition stayed loaded";
			}
		}
		clear_errors();
		delete_local_copy();
		leave_map();
		return !HasFatalFailure() && !HasNonfatalFailure();
	}
};

}

TEST_F(corruption_sweep, every_group_of_the_generated_set_has_a_loader)
{
	std::set<file_tag> groups;
	for (const swept_tag &tag : generated_tags()) groups.insert(tag.group);
	EXPECT_FALSE(groups.empty());
	for (file_tag group : groups)
	{
		EXPECT_NE(group_of(group), nullptr) << "no sweep for the group " << tag_to_string(group);
	}
	// And every sweep has tags of its group to damage.
	for (const sweep_group &group : sweep_groups) EXPECT_TRUE(groups.count(group.group)) << tag_to_string(group.group);
}

// The sweep runs in shards, every shard-th tag each, so that the shards run
// side by side and each stays well inside a test's time limit.
const int32 sweep_shard_count = 8;

class corruption_sweep_shard : public corruption_sweep, public ::testing::WithParamInterface<int32> {};

TEST_P(corruption_sweep_shard, every_tag_survives_its_mutations)
{
	const std::vector<swept_tag> &tags = generated_tags();
	for (size_t index = static_cast<size_t>(GetParam()); index < tags.size(); index += sweep_shard_count)
	{
		const swept_tag &tag = tags[index];
		const sweep_group *group = group_of(tag.group);
		if (!group) continue;
		// The original loads and passes its checks.
		start_new_map();
		ASSERT_TRUE(group->load(tag, tag.bytes)) << tag.name << log_text();
		group->check(tag);
		delete_local_copy();
		leave_map();
		ASSERT_FALSE(HasFailure());
		std::vector<mutation> variants = sample(mutations_of(tag.bytes, group->header_size), tag.bytes.size(), 0x5EED + static_cast<uint32>(index));
		if (group->maximum_mutations && variants.size() > group->maximum_mutations) variants.resize(group->maximum_mutations);
		for (const mutation &m : variants) ASSERT_TRUE(load_variant(*group, tag, m));
	}
}

INSTANTIATE_TEST_SUITE_P(shards, corruption_sweep_shard, ::testing::Range(0, sweep_shard_count));
