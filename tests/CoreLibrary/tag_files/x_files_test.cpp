#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "CoreLibrary/cseries/memory.h"
#include "CoreLibrary/tag_files/x_files.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "support/test_directory.h"

namespace
{
class FileLayer : public zerv_test_directory
{
protected:
	void TearDown() override
	{
		find_files_end();
		reset_x_files_test_hooks();
		file_get_last_error();
		zerv_test_directory::TearDown();
	}

	static file_reference local_file(const char *directory, const char *name)
	{
		file_reference reference;
		file_reference_create(&reference, _file_location_working_directory);
		if (directory) file_reference_add_directory(&reference, directory);
		if (name) file_reference_set_name(&reference, name);
		return reference;
	}

	std::string working_directory() const
	{
		char buffer[4096];
		return getcwd(buffer, sizeof(buffer)) ? buffer : "";
	}

	static std::vector<std::string> list(const char *directory, uint16 flags)
	{
		file_reference folder;
		file_reference_create(&folder, _file_location_working_directory);
		if (directory) file_reference_add_directory(&folder, directory);
		std::vector<std::string> names;
		find_files_start(flags, &folder);
		file_reference found;
		char cwd[4096];
		const std::string prefix = std::string(getcwd(cwd, sizeof(cwd))) + "/";
		while (find_files_next(&found))
		{
			EXPECT_EQ(found.location, _file_location_absolute);
			std::string path = found.path;
			names.push_back(path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path);
		}
		return names;
	}
};

TEST_F(FileLayer, NamesOfAReference)
{
	file_reference reference = local_file("preferences", "poweruser.txt");
	char buffer[MAXIMUM_FILE_PATH_SIZE];
	const std::string cwd = working_directory();

	EXPECT_STREQ(file_reference_get_name(&reference, 2, buffer), "poweruser");
	EXPECT_STREQ(file_reference_get_name(&reference, 6, buffer), "poweruser.txt");
	EXPECT_EQ(std::string(file_reference_get_name(&reference, 1, buffer)), cwd + "/preferences");
	EXPECT_EQ(std::string(file_reference_get_name(&reference, 7, buffer)), cwd + "/preferences/poweruser.txt");
	EXPECT_EQ(std::string(file_reference_get_name(&reference, 3, buffer)), cwd + "/preferences/poweruser");

	// A second name replaces the first rather than nesting it.
	ASSERT_TRUE(file_reference_set_name(&reference, "game"));
	EXPECT_STREQ(reference.path, "/preferences/game");
	EXPECT_STREQ(file_reference_get_name(&reference, 6, buffer), "game");

	// Without a file name only the directory has text.
	file_reference folder = local_file("preferences", nullptr);
	EXPECT_STREQ(file_reference_get_name(&folder, 2, buffer), "");
	EXPECT_STREQ(file_reference_get_name(&folder, 4, buffer), "");
	EXPECT_EQ(std::string(file_reference_get_name(&folder, 1, buffer)), cwd + "/preferences");

	char path[] = "/a/b.c/name.tar.gz";
	char *directory, *name, *extension;
	file_path_split(path, &directory, &name, &extension);
	EXPECT_STREQ(directory, "/a/b.c");
	EXPECT_STREQ(name, "name.tar");
	EXPECT_STREQ(extension, "gz");
}

TEST_F(FileLayer, PathLengthLimits)
{
	file_reference reference;
	file_reference_create(&reference, _file_location_absolute);
	// "/" + 1022 characters is a path of 1023 characters: the most a path holds.
	const std::string longest(1022, 'x');
	ASSERT_TRUE(file_reference_add_directory(&reference, longest.c_str()));
	EXPECT_EQ(strlen(reference.path), 1023u);

	file_reference other;
	file_reference_create(&other, _file_location_absolute);
	const std::string too_long(1023, 'x');
	EXPECT_FALSE(file_reference_add_directory(&other, too_long.c_str()));
	EXPECT_STREQ(other.path, "");

	// A refused name leaves both the path and the flags as they were, so the
	// reference still names its folder and never a file.
	file_reference folder;
	file_reference_create(&folder, _file_location_absolute);
	ASSERT_TRUE(file_reference_add_directory(&folder, std::string(1000, 'd').c_str()));
	EXPECT_FALSE(file_reference_set_name(&folder, std::string(40, 'n').c_str()));
	EXPECT_EQ(folder.flags & has_filename_flag, 0);
	EXPECT_EQ(strlen(folder.path), 1001u);

	// A refused second name keeps the first.
	file_reference named = local_file(nullptr, "first");
	EXPECT_FALSE(file_reference_set_name(&named, std::string(1023, 'n').c_str()));
	EXPECT_STREQ(named.path, "/first");
	EXPECT_NE(named.flags & has_filename_flag, 0);
}

TEST_F(FileLayer, OpenCreateAndLocks)
{
	file_reference file = local_file(nullptr, "held.dat");
	file_get_last_error();
	EXPECT_FALSE(file_open(&file, _permission_write_flag));
	EXPECT_EQ(file_get_last_error(), _error_file_system_open);
	EXPECT_EQ(file_get_last_error(), _error_none);

	ASSERT_TRUE(file_create(&file));
	ASSERT_TRUE(file_open(&file, _permission_write_flag));
	ASSERT_TRUE(file_write(&file, 5, "bytes"));

	// A second writer in the same process is refused and destroys nothing.
	file_reference second = local_file(nullptr, "held.dat");
	EXPECT_FALSE(file_open(&second, _permission_write_flag));
	EXPECT_EQ(file_get_last_error(), _error_file_system_open);
	EXPECT_EQ(read_test_file("held.dat"), "bytes");

	// Creating a held file fails with 6 and leaves it alone.
	EXPECT_FALSE(file_create(&second));
	EXPECT_EQ(file_get_last_error(), _error_file_system_create);
	EXPECT_EQ(read_test_file("held.dat"), "bytes");

	// Neither does a truncation by path get past the lock.
	EXPECT_FALSE(file_set_eof(&second, 0));
	EXPECT_EQ(read_test_file("held.dat"), "bytes");
	EXPECT_TRUE(file_set_eof(&file, 3));
	EXPECT_EQ(file_get_eof(&second), 3);

	// Readers are never refused.
	ASSERT_TRUE(file_open(&second, _permission_read_flag));
	char buffer[8] = {};
	EXPECT_TRUE(file_read(&second, 3, buffer));
	EXPECT_STREQ(buffer, "byt");
	EXPECT_FALSE(file_read(&second, 1, buffer));
	EXPECT_EQ(file_get_last_error(), _error_file_system_read);
	EXPECT_TRUE(file_close(&second));

	EXPECT_TRUE(file_close(&file));
	EXPECT_FALSE(file_close(&file));
	EXPECT_EQ(file_get_last_error(), _error_file_system_general);

	// Once the holder is gone the second writer gets in and starts empty.
	ASSERT_TRUE(file_open(&second, _permission_write_flag));
	EXPECT_EQ(file_get_eof(&second), 0);
	EXPECT_TRUE(file_close(&second));

	// An existing file is emptied by file_create when nobody holds it.
	ASSERT_TRUE(write_test_file("held.dat", "old contents"));
	EXPECT_TRUE(file_create(&file));
	EXPECT_EQ(read_test_file("held.dat"), "");

	// A folder is not a file to open.
	file_reference folder = local_file("folder", nullptr);
	ASSERT_TRUE(file_create(&folder));
	EXPECT_TRUE(file_exists(&folder));
	file_reference folder_as_file = local_file(nullptr, "folder");
	EXPECT_FALSE(file_open(&folder_as_file, _permission_read_flag));
	EXPECT_FALSE(file_delete(&folder_as_file));
	EXPECT_TRUE(file_exists(&folder));
	EXPECT_TRUE(file_delete(&folder));
	EXPECT_FALSE(file_exists(&folder));
}

TEST_F(FileLayer, ReadWritePositionsAppendAndRename)
{
	file_reference file = local_file(nullptr, "data.bin");
	ASSERT_TRUE(file_create(&file));
	ASSERT_TRUE(file_open(&file, _permission_read_flag | _permission_write_flag));
	EXPECT_TRUE(file_write(&file, 6, "abcdef"));
	EXPECT_EQ(file_get_position(&file), 6);
	EXPECT_TRUE(file_write_to_position(&file, 2, 2, "XY"));
	char buffer[8] = {};
	EXPECT_TRUE(file_read_from_position(&file, 0, 6, buffer));
	EXPECT_STREQ(buffer, "abXYef");
	// A read then a write at the current position.
	EXPECT_TRUE(file_set_position(&file, 1));
	EXPECT_TRUE(file_read(&file, 1, buffer));
	EXPECT_TRUE(file_write(&file, 1, "Z"));
	EXPECT_EQ(file_read_with_length(&file, 8, buffer), 3);
	EXPECT_EQ(file_get_last_error(), _error_file_system_read);
	EXPECT_TRUE(file_close(&file));
	EXPECT_EQ(read_test_file("data.bin"), "abZYef");

	// Reading, writing and appending keeps what is there.
	ASSERT_TRUE(file_open(&file, _permission_read_flag | _permission_write_flag | _permission_append_flag));
	EXPECT_EQ(file_get_position(&file), 6);
	EXPECT_TRUE(file_write(&file, 2, "gh"));
	EXPECT_TRUE(file_close(&file));
	EXPECT_EQ(read_test_file("data.bin"), "abZYefgh");

	struct tm date;
	EXPECT_TRUE(file_get_modification_date(&file, &date));

	EXPECT_TRUE(file_rename(&file, "renamed.bin"));
	EXPECT_STREQ(file.path, "/renamed.bin");
	EXPECT_EQ(read_test_file("renamed.bin"), "abZYefgh");
	EXPECT_FALSE(test_file_exists("data.bin"));
	file_reference missing = local_file(nullptr, "missing.bin");
	EXPECT_FALSE(file_rename(&missing, "other.bin"));
	EXPECT_EQ(file_get_last_error(), _error_file_system_general);
	EXPECT_STREQ(missing.path, "/missing.bin");

	file_reference copy = local_file(nullptr, "copy.bin");
	EXPECT_TRUE(file_copy(&copy, &file));
	EXPECT_EQ(read_test_file("copy.bin"), "abZYefgh");
	// Onto itself: refused, and the file survives.
	EXPECT_FALSE(file_copy(&copy, &copy));
	EXPECT_EQ(read_test_file("copy.bin"), "abZYefgh");
	EXPECT_FALSE(file_copy(&copy, &missing));

	EXPECT_TRUE(file_delete(&copy));
	EXPECT_FALSE(file_delete(&copy));
	EXPECT_EQ(file_get_last_error(), _error_file_system_general);
}

TEST_F(FileLayer, ReadIntoMemory)
{
	ASSERT_TRUE(write_test_file("empty", ""));
	ASSERT_TRUE(write_test_file("text", "hello"));
	file_reference empty = local_file(nullptr, "empty");
	file_reference text = local_file(nullptr, "text");
	file_reference missing = local_file(nullptr, "missing");

	int32 length = 99;
	uint8 *block = static_cast<uint8 *>(file_read_into_memory(&empty, &length));
	ASSERT_NE(block, nullptr);
	EXPECT_EQ(length, 0);
	EXPECT_EQ(block[0] | block[1] | block[2] | block[3], 0);
	dispose_pointer(block);

	char *contents = static_cast<char *>(file_read_into_memory(&text, &length));
	ASSERT_NE(contents, nullptr);
	EXPECT_EQ(length, 5);
	EXPECT_STREQ(contents, "hello");
	dispose_pointer(contents);

	length = 99;
	EXPECT_EQ(file_read_into_memory(&missing, &length), nullptr);
	EXPECT_EQ(length, 0);
	EXPECT_NE(file_get_last_error(), _error_none);

	// A file found shorter than its size when read is a failed read, not a
	// block with a stale tail.
	file_read_into_memory_inject_short_read(2);
	length = 99;
	EXPECT_EQ(file_read_into_memory(&text, &length), nullptr);
	EXPECT_EQ(length, 0);
	EXPECT_EQ(file_get_last_error(), _error_file_system_read);
}

TEST_F(FileLayer, SortedListingsWithoutDotNamesAndCappedDepth)
{
	ASSERT_EQ(mkdir("top", 0777), 0);
	ASSERT_EQ(mkdir("top/sub", 0777), 0);
	ASSERT_EQ(mkdir("top/.hidden_dir", 0777), 0);
	for (const char *name : {"top/b", "top/a", "top/B", "top/.hidden", "top/sub/z", "top/sub/c", "top/.hidden_dir/x"})
		ASSERT_TRUE(write_test_file(name, "x"));

	EXPECT_EQ(list("top", 0), (std::vector<std::string>{"top/B", "top/a", "top/b", "top/sub"}));
	EXPECT_EQ(list("top", _find_files_recursive_flag),
		(std::vector<std::string>{"top/B", "top/a", "top/b", "top/sub/c", "top/sub/z"}));
	EXPECT_TRUE(list("missing", 0).empty());

	// Ten levels deep: files on levels 0 to 7 are found, nothing deeper.
	std::string path = "deep";
	ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
	std::vector<std::string> expected;
	for (int level = 0; level < 10; ++level)
	{
		ASSERT_TRUE(write_test_file(path + "/f", "x"));
		// "d" sorts before "f": the deepest file comes first.
		if (level < MAXIMUM_SEARCH_DEPTH) expected.insert(expected.begin(), path + "/f");
		path += "/d";
		ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
	}
	EXPECT_EQ(list("deep", _find_files_recursive_flag), expected);
	// The search is over; further calls find nothing.
	file_reference found;
	EXPECT_FALSE(find_files_next(&found));
}

TEST_F(FileLayer, SingleFileReplace)
{
	file_reference folder = local_file("preferences", nullptr);
	ASSERT_TRUE(file_create(&folder));
	ASSERT_TRUE(write_test_file("preferences/game", "old"));

	ASSERT_TRUE(single_file_replace(&folder, "game", "new bytes", 9));
	EXPECT_EQ(read_test_file("preferences/game"), "new bytes");
	EXPECT_FALSE(test_file_exists("preferences/.game.tmp"));

	for (int16 stage = _single_file_replace_fail_create; stage < NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES; ++stage)
	{
		single_file_replace_inject_failure(stage);
		EXPECT_FALSE(single_file_replace(&folder, "game", "lost", 4)) << stage;
		EXPECT_EQ(read_test_file("preferences/game"), "new bytes") << stage;
		EXPECT_FALSE(test_file_exists("preferences/.game.tmp")) << stage;
	}
	reset_x_files_test_hooks();

	// A writer holding the file keeps it.
	file_reference held = local_file("preferences", "game");
	ASSERT_TRUE(file_open(&held, _permission_read_flag | _permission_write_flag));
	EXPECT_FALSE(single_file_replace(&folder, "game", "lost", 4));
	EXPECT_TRUE(file_close(&held));
	EXPECT_EQ(read_test_file("preferences/game"), "new bytes");

	// A new file, an empty file, and names that are not plain names.
	EXPECT_TRUE(single_file_replace(&folder, "fresh", "", 0));
	EXPECT_TRUE(test_file_exists("preferences/fresh"));
	EXPECT_FALSE(single_file_replace(&folder, "a/b", "x", 1));
	EXPECT_FALSE(single_file_replace(&folder, "", "x", 1));
	file_reference missing_folder = local_file("missing", nullptr);
	EXPECT_FALSE(single_file_replace(&missing_folder, "game", "x", 1));

	EXPECT_STREQ(folder_names[_folder_saved_games], "saved games");
	EXPECT_STREQ(folder_names[_folder_stained_maps], "stained_maps");
}

TEST_F(FileLayer, WorkingDirectoryIsResolvedAtEveryCall)
{
	file_reference file = local_file(nullptr, "here");
	ASSERT_TRUE(file_create(&file));
	ASSERT_EQ(mkdir("elsewhere", 0777), 0);
	ASSERT_EQ(chdir("elsewhere"), 0);
	EXPECT_FALSE(file_exists(&file));
	ASSERT_EQ(chdir(".."), 0);
	EXPECT_TRUE(file_exists(&file));

	file_location_set_volume(_file_location_volume, "vol");
	file_reference volume;
	file_reference_create(&volume, _file_location_volume);
	file_reference_set_name(&volume, "v.txt");
	ASSERT_EQ(mkdir("vol", 0777), 0);
	ASSERT_TRUE(file_create(&volume));
	EXPECT_TRUE(test_file_exists("vol/v.txt"));
	char buffer[MAXIMUM_FILE_PATH_SIZE];
	EXPECT_STREQ(file_reference_get_name(&volume, 1, buffer), "vol");
	file_location_set_volume(_file_location_volume, "");
}

TEST_F(FileLayer, WorkingDirectoryTooLongForTheBufferEndsTheProcess)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	const std::string log_directory = working_directory();
	EXPECT_EXIT(
		{
			initialize_error_state("zerv");
			const std::string part(200, 'd');
			for (int32 i = 0; i < 6; ++i)
			{
				if (mkdir(part.c_str(), 0777) != 0 || chdir(part.c_str()) != 0) _exit(3);
			}
			file_reference file = local_file(nullptr, "here");
			file_exists(&file);
			_exit(4);
		},
		::testing::ExitedWithCode(255), "");
	EXPECT_NE(read_test_file(log_directory + "/" ERROR_LOG_FILE_NAME).find("getcwd() failed! "), std::string::npos);
}
} // namespace
