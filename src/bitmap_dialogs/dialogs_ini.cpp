#include "bitmap_dialogs/dialogs_ini.h"

#include <cstddef>

ui_settings ui_prefs = { FALSE };
ui_settings ui_prefs_defaults = { FALSE };

const ini_entry ui_definition[] =
{
	{ "DebugControlBounds", ini_bool, static_cast<int32>(offsetof(ui_settings, debug_control_bounds)) },
	{ nullptr, ini_bool, 0 }
};

ini_section ui_section = { "UI", nullptr, nullptr, ui_definition, &ui_prefs, &ui_prefs_defaults };
