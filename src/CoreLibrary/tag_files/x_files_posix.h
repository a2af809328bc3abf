// The operating system's half of the file layer, for x_files.cpp only.
#ifndef X_FILES_POSIX_H
#define X_FILES_POSIX_H

#include "cseries.h"

// Writes the current working directory into buffer (size bytes); FALSE when
// it does not fit. Ends the process when the directory cannot be obtained.
boolean x_files_get_working_directory(char *buffer, int32 size);

#endif
