// Networking settings from the sections "Net.Hosting" and "Net.PluginLookup"
// of the settings file.
#ifndef ZERV_NETWORKING_INI_H
#define ZERV_NETWORKING_INI_H

#include "cseries.h"
#include "inifile.h"

#define DEFAULT_NET_HOSTING_PORT_NUMBER 3453

struct net_hosting_settings
{
	int32 port_number;
};

struct net_plugin_lookup_settings
{
	const char *web_url; // empty: no plugin lookup
};

extern net_hosting_settings net_hosting_prefs;
extern net_hosting_settings net_hosting_prefs_defaults;
extern const ini_entry net_hosting_definition[];
extern ini_section net_hosting_section;

extern net_plugin_lookup_settings net_plugin_lookup_prefs;
extern net_plugin_lookup_settings net_plugin_lookup_prefs_defaults;
extern const ini_entry net_plugin_lookup_definition[];
extern ini_section net_plugin_lookup_section;

#endif
