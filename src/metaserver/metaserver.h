// The online lobby client. Never connected yet.
#ifndef METASERVER_H
#define METASERVER_H

#include "cseries.h"
#include "least_layer.h"

boolean metaserver_connected(void);
// A yes/no question; true on yes.
boolean metaserver_query_dialog(const char *text);

struct metaserver_test_hooks_data
{
	least_call_log calls;
	boolean connected;
	boolean query_answer;
};

metaserver_test_hooks_data *get_metaserver_test_hooks(void);
void reset_metaserver_test_hooks(void);

#endif
