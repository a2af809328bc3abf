// Replays a fuzz target's corpus (every file of a folder, in sorted order)
// through its entry point, so that the g++ trees run the corpus as a test.
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
	for (const auto &entry : std::filesystem::directory_iterator(argv[1], error))
		if (entry.is_regular_file())
			files.push_back(entry.path());
	std::sort(files.begin(), files.end());
	for (const auto &path : files)
	{
		std::ifstream in(path, std::ios::binary);
		std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
	}
	std::printf("replayed %zu inputs\n", files.size());
	return 0;
}
