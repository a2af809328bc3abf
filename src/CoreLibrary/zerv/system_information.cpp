#include "system_information.h"

system_info sys_info;

void initialize_system_info(void)
{
	sys_info.initialized = TRUE;
	sys_info.type = _system_type_linux;
	sys_info.version = 0.0f;
	sys_info.better_version = 0;
}
