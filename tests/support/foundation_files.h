#ifndef ZERV_FOUNDATION_FILES_H
#define ZERV_FOUNDATION_FILES_H

#include <string>

// The five foundation files in the order of their indexes.
extern const char *const foundation_file_names[5];

// Copies the generated default tag set (the build tree's "tags" and
// "plugins") into "<directory>/tags" and "<directory>/plugins". True on success.
bool install_placeholder_foundation_files(const std::string &directory);

#endif
