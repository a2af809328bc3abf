// Dialog settings from the section "UI" of the settings file.
#ifndef DIALOGS_INI_H
#define DIALOGS_INI_H

#include "cseries.h"
#include "inifile.h"

struct ui_settings
{
	boolean debug_control_bounds;
};

extern ui_settings ui_prefs;
extern ui_settings ui_prefs_defaults;
extern const ini_entry ui_definition[];
extern ini_section ui_section;

#endif
