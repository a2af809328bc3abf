// Which operating system the program runs on.
#ifndef SYSTEM_INFORMATION_H
#define SYSTEM_INFORMATION_H

#include "cseries.h"

enum
{
	_system_type_unknown,
	_system_type_macintosh,
	_system_type_win95,
	_system_type_win98,
	_system_type_winME,
	_system_type_winNT,
	_system_type_linux
};

struct system_info
{
	boolean initialized;
	int16 type;
	float version;
	uint32 better_version;
};

extern system_info sys_info;

// Fills sys_info once at start-up.
void initialize_system_info(void);

#endif
