#include "zerv_networking/zerv_networking_ini.h"

#include <cstddef>

net_hosting_settings net_hosting_prefs = { DEFAULT_NET_HOSTING_PORT_NUMBER };
net_hosting_settings net_hosting_prefs_defaults = { DEFAULT_NET_HOSTING_PORT_NUMBER };

const ini_entry net_hosting_definition[] =
{
	{ "PortNumber", ini_int, static_cast<int32>(offsetof(net_hosting_settings, port_number)) },
	{ nullptr, ini_bool, 0 }
};

ini_section net_hosting_section =
{
	"Net.Hosting", nullptr, nullptr, net_hosting_definition, &net_hosting_prefs, &net_hosting_prefs_defaults
};

net_plugin_lookup_settings net_plugin_lookup_prefs = { "" };
net_plugin_lookup_settings net_plugin_lookup_prefs_defaults = { "" };

const ini_entry net_plugin_lookup_definition[] =
{
	{ "WebUrl", ini_string, static_cast<int32>(offsetof(net_plugin_lookup_settings, web_url)) },
	{ nullptr, ini_bool, 0 }
};

ini_section net_plugin_lookup_section =
{
	"Net.PluginLookup", nullptr, nullptr, net_plugin_lookup_definition, &net_plugin_lookup_prefs,
	&net_plugin_lookup_prefs_defaults
};
