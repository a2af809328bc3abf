// The string lists of the default set: local 'stli' tags of foundation file 3.
#include "default_tags.h"

#include "tag_files/tag_files.h"

#define STRING_LIST_GROUP_TAG TAG("stli")
#define STRING_LIST_VERSION 1

namespace
{
// A 'stli' line can never be empty (runs of line ends collapse), so every entry has text.
const char *const film_names[] = { "Last Replay", "Saved Game", "Saved Replay" };
const char *const game_speeds[] =
{
	"Game Speed", "Stopped", "1/16x", "1/8x", "1/4x", "1/2x", "Normal", "2x", "4x", "8x", "16x", "32x", "64x"
};
const char *const camera_tracking[] = { "Camera Tracking", "ON", "OFF" };
const char *const gamma_and_filtering[] = { "Gamma", "Landscape Filtering", "ON", "OFF" };
const char *const difficulty_levels[] = { "Very Easy", "Easy", "Normal", "Hard", "Very Hard" };
const char *const difficulty_explanations[] =
{
	"Enemies are few and slow to anger.",
	"Enemies fight, but forgive mistakes.",
	"The battle as it was planned.",
	"Enemies are many and fight to the end.",
	"Only the best commanders survive."
};
const char *const alliances[] = { "%s has formed an alliance with %s.", "%s has broken its alliance with %s.", "your team" };
const char *const formation_names[] =
{
	"Short Line", "Long Line", "Loose Line", "Staggered Line", "Box", "Mob", "Shallow Encirclement",
	"Deep Encirclement", "Vanguard", "Circle"
};
const char *const unit_trading[] = { "Points remaining: %d" };
// Network messages by index: 7 is the dropped-player line (the player's name
// its one argument), 34 the team captain's notice. The game uses no other
// entry yet; each holds a placeholder, since a 'stli' line cannot be empty.
const char *const networking_messages[] =
{
	"Network message 0", "Network message 1", "Network message 2", "Network message 3", "Network message 4",
	"Network message 5", "Network message 6", "%s has left the game.", "Network message 8", "Network message 9",
	"Network message 10", "Network message 11", "Network message 12", "Network message 13", "Network message 14",
	"Network message 15", "Network message 16", "Network message 17", "Network message 18", "Network message 19",
	"Network message 20", "Network message 21", "Network message 22", "Network message 23", "Network message 24",
	"Network message 25", "Network message 26", "Network message 27", "Network message 28", "Network message 29",
	"Network message 30", "Network message 31", "Network message 32", "Network message 33",
	"You are your team's captain."
};
// The announcer's lines by sound; a single space keeps a sound silent on the console.
const char *const game_sound_lines[] =
{
	"Five minutes remain.", "One minute remains.", "Thirty seconds remain.", "Victory is near.", "The game is ending.",
	"Sudden death!", "The game is over.", " ", " ", "A player is out of the game.", "A team is out of the game.",
	"A flag was taken.", "A flag is contested.", "A flag was lost.", "The ball was taken.", "The ball is contested.",
	"The ball was lost.", " ", " ", " ", " ", " ", " ", "A point was won.", "A point was lost.", "The game begins.",
	"An alliance was formed.", "An alliance was broken."
};
const char *const scoring_names[] =
{
	"Most Damage", "Hold the Ball", "Hold the Hill", "Find the Numbered Flags", "Visit the Numbered Flags",
	"Take the Enemy Banners", "Keep the Balls", "Hold the Flags", "Take the Flags", "Hold the Hill Longest",
	"Drive the Targets", "Protect Your Target", "Hunt the Creatures", "Map Rules", "Hold the Hill Longest (Two Teams)"
};
const char *const scoring_rules[] =
{
	"The team that does the most damage wins.",
	"Hold the ball when time runs out.",
	"Be the only team on the hill when time runs out.",
	"Be the first team to reach every numbered flag.",
	"Be the first team to visit the numbered flags.",
	"Keep your banners and take the others'.",
	"Hold the most balls when time runs out.",
	"Hold the most flags when time runs out.",
	"Hold every flag to win at once.",
	"Hold the hill for the longest time.",
	"Drive your targets to the flags.",
	"Keep your target alive and kill the others'.",
	"Kill the most hunted creatures.",
	"The map sets its own rules.",
	"Hold the hill for the longest time."
};
const char *const game_endings[] = { "No time limit", "Ending...", "Suspended", "Game Over", "Waiting to start" };
// Language, truncation string, the three line-break lists (string 3 a space) and the country code.
const char *const text_layout[] = { "0", "...", " .,", " ", "([{", ".,;:!?)]}", "0" };
}

// The single-player report: headers, then the formats the report fills in.
const char *const solo_postgame[] =
{
	"One survivor", "%d survivors", "Unit", "Damage dealt", "Kills", "Losses", "%d enemies slain", "Kind", "Fallen",
	"Heroes", "Name", "Battles", "Experience", "Damage ratio %.2f", "Kill ratio %.2f", "Time elapsed", "%s, %s",
	"%.1f%%", "%s", "%d", "%d of %d", "No damage taken", "No losses"
};
static_assert(NUMBEROF(solo_postgame) == 23);

#define LIST(tag, name, strings) { TAG(tag), name, strings, static_cast<int32>(NUMBEROF(strings)) }

const default_string_list default_string_lists[] =
{
	LIST("inrf", "film names", film_names),
	LIST("inrs", "game speeds", game_speeds),
	LIST("inct", "camera tracking", camera_tracking),
	LIST("ingp", "gamma and filtering", gamma_and_filtering),
	LIST("indl", "difficulty levels", difficulty_levels),
	LIST("in04", "difficulty explanations", difficulty_explanations),
	LIST("inal", "alliances", alliances),
	LIST("infn", "formation names", formation_names),
	LIST("inut", "unit trading", unit_trading),
	LIST("in#1", "text layout", text_layout),
	LIST("inmn", "networking messages", networking_messages),
	LIST("ings", "announcer lines", game_sound_lines),
	LIST("innn", "scoring names", scoring_names),
	LIST("innr", "scoring rules", scoring_rules),
	LIST("inne", "game endings", game_endings),
	LIST("in03", "single-player report", solo_postgame),
};

const int32 number_of_default_string_lists = static_cast<int32>(NUMBEROF(default_string_lists));

std::string string_list_text(const char *const *strings, int32 string_count)
{
	std::string text;
	for (int32 i = 0; i < string_count; ++i)
	{
		if (i) text += '\r';
		text += strings[i];
	}
	return text;
}

int32 make_string_list_tag(file_tag subgroup_tag, const char *name, const char *const *strings, int32 string_count)
{
	const std::string text = string_list_text(strings, string_count);
	return tag_file_new_with_subgroup_tag(STRING_LIST_GROUP_TAG, name, subgroup_tag, STRING_LIST_VERSION, text.data(),
		static_cast<int32>(text.size()));
}

bool make_default_string_list_tags(std::vector<int32> *handles)
{
	for (int32 i = 0; i < number_of_default_string_lists; ++i)
	{
		const default_string_list *list = &default_string_lists[i];
		const int32 handle = make_string_list_tag(list->subgroup_tag, list->name, list->strings, list->string_count);
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	return true;
}
