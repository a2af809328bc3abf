// The net-module layer: the transport modules networking runs on.
#ifndef NET_MODULE_MANAGER_H
#define NET_MODULE_MANAGER_H

#include "cseries.h"
#include "least_layer.h"

// Once at start-up.
void InitUber(void);

struct net_module_manager_test_hooks_data
{
	least_call_log calls;
};

net_module_manager_test_hooks_data *get_net_module_manager_test_hooks(void);
void reset_net_module_manager_test_hooks(void);

#endif
