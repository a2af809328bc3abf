#include "test_hooks_all.h"

#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "bitmaps.h"
#include "bitmap_text.h"
#include "shapes.h"
#include "screen.h"
#include "render/render.h"
#include "hardware/hardware_rasterizer.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "recording_gl.h"
#include "CoreLibrary/input/sdl_input.h"
#include "input/actions.h"
#include "console/console.h"
#include "observer.h"
#include "interface.h"
#include "overhead_map.h"
#include "selection.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "CoreLibrary/uber/NetModuleManager/net_module_manager.h"
#include "zerv_networking/zerv_networking.h"
#include "metaserver/metaserver.h"
#include "sound/sound_manager.h"
#include "main.h"
#include "players.h"
#include "alliances.h"
#include "shading_tables.h"
#include "CoreLibrary/tag_files/x_files.h"
#include "mesh.h"
#include "markers.h"
#include "game_statistics.h"
#include "postgame.h"
#include "detail_maps.h"
#include "local_projectiles.h"
#include "fire.h"
#include "lightning.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "zerv_hooks.h"
#include "sniffing.h"
#include "recording.h"
#include "CoreLibrary/zerv/commands.h"
#include "game_preferences.h"
#include "CoreLibrary/tag_files/preferences.h"
#include "recording.h"

// One line per module with test hooks or state a test may leave behind.
void reset_all_test_hooks(void)
{
	reset_test_hooks_test_hooks();
	reset_error_manager_test_hooks();
	reset_linux_utilities_test_hooks();
	reset_bitmaps_test_hooks();
	reset_bitmap_text_test_hooks();
	reset_shapes_test_hooks();
	reset_screen_test_hooks();
	reset_render_test_hooks();
	reset_hardware_rasterizer_test_hooks();
	reset_opengl_test_hooks();
	reset_recording_gl();
	reset_sdl_input_test_hooks();
	reset_actions_test_hooks();
	reset_console_test_hooks();
	reset_observer_test_hooks();
	reset_interface_test_hooks();
	reset_overhead_map_test_hooks();
	reset_selection_test_hooks();
	reset_dialogs_test_hooks();
	reset_screens_test_hooks();
	reset_cutscenes_test_hooks();
	reset_net_module_manager_test_hooks();
	reset_zerv_networking_test_hooks();
	reset_metaserver_test_hooks();
	reset_sound_manager_test_hooks();
	reset_main_test_hooks();
	reset_players_test_hooks();
	reset_game_sounds_test_hooks();
	reset_shading_table_permutation_data();
	reset_x_files_test_hooks();
	reset_mesh_test_hooks();
	reset_markers_test_hooks();
	reset_game_statistics_test_hooks();
	reset_detail_maps_test_hooks();
	reset_local_projectiles_test_hooks();
	reset_fire_test_hooks();
	reset_lightning_test_hooks();
	reset_mesh_effects_test_hooks();
	reset_particle_system_test_hooks();
	reset_zerv_hooks_test_state();
	reset_commands_test_hooks();
	reset_recording_test_hooks();
	// Loaded preferences belong to the test that loaded them.
	free_preferences(&game_preferences_globals);
}
