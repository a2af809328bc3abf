#include "CoreLibrary/uber/NetModuleManager/net_module_manager.h"

static net_module_manager_test_hooks_data net_module_manager_hooks;

net_module_manager_test_hooks_data *get_net_module_manager_test_hooks(void)
{
	return &net_module_manager_hooks;
}

void reset_net_module_manager_test_hooks(void)
{
	clear_least_call_log(&net_module_manager_hooks.calls);
}

void InitUber(void)
{
	least_call(&net_module_manager_hooks.calls, "InitUber");
}
