// Replays a fuzz target's corpus (every file of a folder, in sorted order)
// through its entry point, so that the g++ trees run the corpus as a test.
// A folder that cannot be read, or holds no input, fails: a test that
// replays nothing guards nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
	if (argc < 2)
	{
		std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
		return 2;
	}
	std::vector<std::filesystem::path> files;
	std::error_code error;
	std::filesystem::directory_iterator entries(argv[1], error);
	for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error))
	{
		if (entries->is_regular_file(error)) files.push_back(entries->path());
	}
	if (error)
	{
		std::fprintf(stderr, "cannot read the corpus folder %s: %s\n", argv[1], error.message().c_str());
		return 1;
	}
	if (files.empty())
	{
		std::fprintf(stderr, "the corpus folder %s holds no input\n", argv[1]);
		return 1;
	}
	std::sort(files.begin(), files.end());
	for (const auto &path : files)
	{
		std::ifstream in(path, std::ios::binary);
		std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		if (in.bad())
		{
			std::fprintf(stderr, "cannot read %s\n", path.c_str());
			return 1;
		}
		LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
	}
	std::printf("replayed %zu inputs\n", files.size());
	return 0;
}
