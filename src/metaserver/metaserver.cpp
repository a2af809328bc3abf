#include "metaserver/metaserver.h"

static metaserver_test_hooks_data metaserver_hooks;

metaserver_test_hooks_data *get_metaserver_test_hooks(void)
{
	return &metaserver_hooks;
}

void reset_metaserver_test_hooks(void)
{
	memset(&metaserver_hooks, 0, sizeof(metaserver_hooks));
}

boolean metaserver_connected(void)
{
	return metaserver_hooks.connected;
}

boolean metaserver_query_dialog(const char *text)
{
	least_call(&metaserver_hooks.calls, "metaserver_query_dialog", text);
	return metaserver_hooks.query_answer;
}
