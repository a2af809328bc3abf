#include "zerv_networking/zerv_networking.h"

#include "string_definitions.h"

static zerv_networking_test_hooks_data zerv_networking_hooks;

zerv_networking_test_hooks_data *get_zerv_networking_test_hooks(void)
{
	return &zerv_networking_hooks;
}

void reset_zerv_networking_test_hooks(void)
{
	memset(&zerv_networking_hooks, 0, sizeof(zerv_networking_hooks));
	zerv_networking_hooks.setup_network_game_answer = _setup_network_game_failure;
	zerv_networking_hooks.netsync_answer = TRUE;
}

static struct zerv_networking_hooks_initializer
{
	zerv_networking_hooks_initializer() { reset_zerv_networking_test_hooks(); }
} zerv_networking_hooks_initializer_instance;

#define LEAST(...) least_call(&zerv_networking_hooks.calls, __VA_ARGS__)

void add_chat_to_back_log(int16 kind, int16 player_index, const char *name, const char *text)
{
	// Only the text is a text argument worth keeping.
	LEAST("add_chat_to_back_log", kind, player_index, static_cast<const void *>(name), text);
}

int16 get_current_minor_version(void)
{
	return ZERV_NETWORK_MINOR_VERSION;
}

const char *get_networking_string(int16 index)
{
	LEAST("get_networking_string", index);
	return get_string_from_list(string_list_tag_to_string_index(ZERV_NETWORKING_STRINGS_TAG), index);
}

boolean handle_network_endgame(new_game_data *game, int16 previous_endgame_state, boolean failed_start)
{
	LEAST("handle_network_endgame", game, previous_endgame_state, failed_start);
	if (failed_start) return FALSE;
	return zerv_networking_hooks.network_endgame_answer;
}

boolean local_player_is_network_originator(void)
{
	return zerv_networking_hooks.network_originator;
}

void open_missing_plugins_dialog(const missing_plugin_info *missing_plugins, int16 count, int16 mode)
{
	LEAST("open_missing_plugins_dialog", missing_plugins, count, mode);
}

void remove_player_from_player_list(int32 unique_identifier)
{
	LEAST("remove_player_from_player_list", unique_identifier);
}

void setdown_network_game(void)
{
	LEAST("setdown_network_game");
}

int16 setup_network_game(service_provider_data *service_provider, new_game_data *game)
{
	LEAST("setup_network_game", service_provider, game);
	return zerv_networking_hooks.setup_network_game_answer;
}

void zerv_net_process(void)
{
	LEAST("zerv_net_process");
}

boolean zerv_netsync(void)
{
	LEAST("zerv_netsync");
	return zerv_networking_hooks.netsync_answer;
}

boolean zerv_networking_available(char *reason)
{
	LEAST("zerv_networking_available", reason);
	if (reason) strcpy(reason, zerv_networking_hooks.networking_available ? "" : zerv_networking_hooks.unavailable_reason);
	return zerv_networking_hooks.networking_available;
}
