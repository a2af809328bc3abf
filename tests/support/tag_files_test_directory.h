// Fixture of the tests that work on tags: a fresh error state and tag-file
// manager in the test's own folder; and what such tests read of the error state.
#ifndef ZERV_TAG_FILES_TEST_DIRECTORY_H
#define ZERV_TAG_FILES_TEST_DIRECTORY_H

#include <gtest/gtest.h>

#include <string>

#include "CoreLibrary/tag_files/x_files.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

class tag_files_test_directory : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
		tag_files_reset_for_tests();
		tag_files_initialize();
	}
	void TearDown() override
	{
		tag_files_reset_for_tests();
		// A file failure the test injected ends with it.
		reset_x_files_test_hooks();
		zerv_test_directory::TearDown();
	}
};

// The error log of the test's folder.
inline std::string log_text(void)
{
	return read_test_file(ERROR_LOG_FILE_NAME);
}

inline std::string error_text(void)
{
	return error_globals ? std::string(error_globals->message_buffer) : std::string();
}

inline void clear_errors(void)
{
	if (!error_globals) return;
	error_globals->code = _error_none;
	error_globals->message_buffer_size = 0;
	error_globals->message_buffer[0] = 0;
}

#endif
