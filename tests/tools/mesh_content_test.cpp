// The generated maps come out byte for byte the same from every compiler and
// build: the 64-bit, 32-bit and clang trees must all write these tags.
#include <gtest/gtest.h>

#include <vector>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "mesh.h"
#include "mesh_content.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"

namespace {

// CRC-32 of each stored mesh tag. A deliberate change of the content or of
// the mesh writer changes these; nothing else may.
const uint32 demo_mesh_tag_crc = 0x281F36AAu;
const int32 demo_mesh_tag_size = 86940;
const uint32 benchmark_mesh_tag_crc = 0x513929BEu;
const int32 benchmark_mesh_tag_size = 931872;

uint32 crc_of(const std::vector<uint8> &bytes)
{
	return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
}

class mesh_content : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
	}
};

TEST_F(mesh_content, the_generated_maps_have_their_pinned_bytes)
{
	const std::vector<uint8> demo = demo_mesh_tag_data();
	EXPECT_EQ(static_cast<int32>(demo.size()), demo_mesh_tag_size);
	EXPECT_EQ(crc_of(demo), demo_mesh_tag_crc) << std::hex << crc_of(demo);
	const std::vector<uint8> bench = benchmark_mesh_tag_data();
	EXPECT_EQ(static_cast<int32>(bench.size()), benchmark_mesh_tag_size);
	EXPECT_EQ(crc_of(bench), benchmark_mesh_tag_crc) << std::hex << crc_of(bench);
}

class installed_mesh_content : public zerv_harness_fixture
{
protected:
	static std::vector<uint8> installed_tag(file_tag subgroup)
	{
		const int32 handle = tag_file_open(MESH_DEFINITION_GROUP_TAG, subgroup);
		if (handle == NONE) return {};
		const int32 size = tag_file_get_header_data_size(handle);
		std::vector<uint8> bytes(static_cast<size_t>(size > 0 ? size : 0));
		if (size <= 0 || !tag_file_read(handle, 0, size, bytes.data())) return {};
		return bytes;
	}
};

// What the build's own generator run wrote into the tag set.
TEST_F(installed_mesh_content, the_installed_maps_have_the_pinned_bytes)
{
	const std::vector<uint8> demo = installed_tag(DEMO_MAP_MESH_TAG);
	ASSERT_FALSE(demo.empty());
	EXPECT_EQ(static_cast<int32>(demo.size()), demo_mesh_tag_size);
	EXPECT_EQ(crc_of(demo), demo_mesh_tag_crc) << std::hex << crc_of(demo);
	const std::vector<uint8> bench = installed_tag(BENCHMARK_MAP_MESH_TAG);
	ASSERT_FALSE(bench.empty());
	EXPECT_EQ(static_cast<int32>(bench.size()), benchmark_mesh_tag_size);
	EXPECT_EQ(crc_of(bench), benchmark_mesh_tag_crc) << std::hex << crc_of(bench);
}

} // namespace
