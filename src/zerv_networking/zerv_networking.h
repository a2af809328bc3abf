// Game networking: setting up, running and ending network games. No network
// game can be set up yet.
#ifndef ZERV_NETWORKING_H
#define ZERV_NETWORKING_H

#include "cseries.h"
#include "least_layer.h"

struct new_game_data;

#define ZERV_NETWORKING_STRINGS_TAG TAG("inmn")
#define ZERV_NETWORK_MINOR_VERSION 5

// Messages of the networking string list.
enum
{
	_dropped_player_msg_index = 7,
	_team_captain_notification_msg_index = 34
};

enum
{
	_setup_network_game_failure,
	_setup_network_game_failure_need_cleanup,
	_setup_network_game_success,
	_setup_network_game_quit_immediately
};

// The transport a network game is set up on.
struct service_provider_data
{
	int16 type;
	int16 port;
	char address[64];
};

struct missing_plugin_info
{
	char name[32];
	char url[64];
	uint32 checksum;
};

void add_chat_to_back_log(int16 kind, int16 player_index, const char *name, const char *text);
int16 get_current_minor_version(void);
// String index of the networking message list; "" when there is none. Print
// one that holds conversions through safe_tag_sprintf.
const char *get_networking_string(int16 index);
boolean handle_network_endgame(new_game_data *game, int16 previous_endgame_state, boolean failed_start);
boolean local_player_is_network_originator(void);
void open_missing_plugins_dialog(const missing_plugin_info *missing_plugins, int16 count, int16 mode);
void remove_player_from_player_list(int32 unique_identifier);
void setdown_network_game(void);
int16 setup_network_game(service_provider_data *service_provider, new_game_data *game);
void zerv_net_process(void);
// False when pre-game synchronisation fails.
boolean zerv_netsync(void);
// Whether networking can be used; reason (may be NULL; room for 256 bytes)
// gets why not.
boolean zerv_networking_available(char *reason);

struct zerv_networking_test_hooks_data
{
	least_call_log calls;
	boolean networking_available;
	char unavailable_reason[256];
	int16 setup_network_game_answer;
	boolean netsync_answer;
	boolean network_endgame_answer;
	boolean network_originator;
};

zerv_networking_test_hooks_data *get_zerv_networking_test_hooks(void);
void reset_zerv_networking_test_hooks(void);

#endif
