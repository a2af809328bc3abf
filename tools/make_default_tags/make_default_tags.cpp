// make_default_tags OUTPUT: writes the default tag set into OUTPUT/tags and OUTPUT/plugins.
// make_default_tags --list DIR: prints the set found in DIR.
#include <cstdio>
#include <cstring>
#include <string>

#include "default_tags.h"

int main(int argc, char **argv)
{
	if (argc == 3 && strcmp(argv[1], "--list") == 0) return list_default_tag_set(argv[2], stdout) ? 0 : 1;
	if (argc != 2 || argv[1][0] == '-')
	{
		fprintf(stderr, "usage: make_default_tags OUTPUT_DIRECTORY | --list DIRECTORY\n");
		return 2;
	}
	std::string error;
	if (!make_default_tag_set(argv[1], &error))
	{
		fprintf(stderr, "make_default_tags: %s\n", error.c_str());
		return 1;
	}
	return 0;
}
