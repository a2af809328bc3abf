#include "render/render_objects.h"

#include <algorithm>
#include <cstring>

#include "render/render.h"
#include "render/render_models.h"
#include "bitmap_text.h"
#include "error_manager.h"
#include "game_preferences.h"
#include "geometry.h"
#include "game_statistics.h"
#include "input/actions.h"
#include "input/sdl_input.h"
#include "interface.h"
#include "media.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "overhead_map.h"
#include "players.h"
#include "scenery.h"
#include "shapes.h"
#include "string_definitions.h"
#include "world.h"
#include "zerv.h"

// Bit 0 of a shadow map's flags: it lightens the terrain instead of darkening it.
#define SHADOW_MAP_IS_LIGHT_MAP_FLAG 1
// A parasite chain is followed this far; a chain that loops ends here.
#define MAXIMUM_PARASITE_DEPTH 8
#define OVERHEAD_TEXT_GAP 4

static local_sprite_globals_data local_sprite_storage;
local_sprite_globals_data *local_sprite_globals = NULL;

static render_objects_test_hooks_data render_objects_hooks = {NULL, NONE, 0};

render_objects_test_hooks_data *get_render_objects_test_hooks(void)
{
	return &render_objects_hooks;
}

void reset_render_objects_test_hooks(void)
{
	render_objects_hooks.unit_data = NULL;
	render_objects_hooks.caps_lock_held = NONE;
	render_objects_hooks.rectangles_built = 0;
}

/* ---------- local sprites */

void initialize_local_sprites(void)
{
	local_sprite_globals = &local_sprite_storage;
	initialize_local_sprites_for_new_map();
}

void initialize_local_sprites_for_new_map(void)
{
	if (!local_sprite_globals) local_sprite_globals = &local_sprite_storage;
	local_sprite_globals->count = 0;
	local_sprite_globals->fade_out_start_time = -1;
}

void new_local_sprite(const world_point3d *location, int16 collection_index, int16 sequence_index)
{
	if (!local_sprite_globals || !location) return;
	if (local_sprite_globals->fade_out_start_time != -1)
	{
		local_sprite_globals->count = 0;
		local_sprite_globals->fade_out_start_time = -1;
	}
	if (local_sprite_globals->count >= MAXIMUM_LOCAL_SPRITES) return;
	local_sprite_data *sprite = &local_sprite_globals->sprites[local_sprite_globals->count++];
	memset(sprite, 0, sizeof(*sprite));
	sprite->collection_index = collection_index;
	sprite->sequence_index = sequence_index;
	sprite->location.position = *location;
}

void remove_local_sprites(int16 mode)
{
	if (!local_sprite_globals) return;
	switch (mode)
	{
	case _remove_local_sprites_delayed:
		local_sprite_globals->fade_out_start_time = game ? game_local_time_get() : 0;
		break;
	case _remove_local_sprites_immediately:
		if (local_sprite_globals->fade_out_start_time == -1) local_sprite_globals->count = 0;
		break;
	default: break;
	}
}

/* ---------- game state the builders read */

static int16 game_scoring(void)
{
	return game ? game->scoring : static_cast<int16>(NONE);
}

static int16 game_type(void)
{
	return game ? game->type : static_cast<int16>(NONE);
}

static uint32 game_preference_flags(void)
{
	const game_preferences *preferences = get_game_preferences();
	return preferences ? preferences->flags : 0;
}

static boolean caps_lock_is_held(void)
{
	if (render_objects_hooks.caps_lock_held != NONE) return render_objects_hooks.caps_lock_held ? TRUE : FALSE;
	return key_down(_key_caps_lock);
}

boolean get_render_unit_data(int16 monster_index, render_unit_data *data)
{
	memset(data, 0, sizeof(*data));
	data->team_index = NONE;
	data->monster_class = NONE;
	data->overhead_text_index = NONE;
	if (render_objects_hooks.unit_data) return render_objects_hooks.unit_data(monster_index, data);
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster) return FALSE;
	const monster_definition *definition = get_monster_definition(monster->type);
	const uint16 evaluation = evaluate_monster(monster_index);
	data->team_index = monster->owner_team_index;
	data->relation = (evaluation & _evaluate_monster_owned_flag) ? _unit_relation_owned
		: (evaluation & _evaluate_monster_friendly_flag) ? _unit_relation_friendly : _unit_relation_unfriendly;
	data->monster_class = definition ? definition->monster_class : static_cast<int16>(NONE);
	data->controllable = (evaluation & _evaluate_monster_controllable_flag) != 0;
	const uint32 extra = monster->extra_flags;
	data->berserk_or_confused = (extra & (_monster_is_berserk_extra_flag | _monster_is_confused_extra_flag)) != 0;
	data->ambient_life = (extra & _monster_is_ambient_life_extra_flag) != 0;
	data->targetable_if_ambient = definition && (definition->flags & _monster_targetable_if_ambient_flag);
	data->hunted = (extra & _monster_is_hunted_creature_extra_flag) != 0;
	data->netgame_target = (extra & _monster_is_netgame_target_extra_flag) != 0;
	const uint16 hacks = definition ? static_cast<uint16>(definition->hack_flags) : 0;
	data->mana_hidden = (hacks & _hack_mana_isnt_shown_flag) != 0;
	data->enemies_cant_see_mana = (hacks & _hack_enemies_cant_see_mana_flag) != 0;
	data->mana = monster->mana;
	data->maximum_mana = definition ? definition->maximum_mana : 0;
	data->overhead_text_index = monster->current_overhead_text_index;
	return TRUE;
}

static boolean unit_is_local_team(const render_unit_data *unit)
{
	return unit->team_index != NONE && unit->team_index == player_globals.local_player_team_index;
}

// Networked observers without a team, and replays, see every unit as their own would.
static boolean local_player_sees_all(void)
{
	return game_type() == _game_type_replay ||
		(game_type() == _game_type_networked && player_globals.local_player_team_index == NONE);
}

/* ---------- projection */

static int16 clamp_to_int16(float value)
{
	if (!(value > -32768.0f && value < 32767.0f)) return value > 0 ? 32767 : -32768;
	return static_cast<int16>(value);
}

static int16 project_x(const view_data *view, int32 x, int32 z)
{
	return clamp_to_int16(static_cast<float>(view->xk) -
		static_cast<float>(x) * static_cast<float>(view->world_to_screen_x) / static_cast<float>(z));
}

static int16 project_y(const view_data *view, int32 y, int32 z)
{
	return clamp_to_int16(static_cast<float>(y) * static_cast<float>(view->world_to_screen_y) / static_cast<float>(z) +
		static_cast<float>(view->yk));
}

/* ---------- surfaces */

void affect_rectangle_transfer_mode(render_rectangle *rectangle, int16 transfer_mode, uint16 transfer_phase)
{
	if (!rectangle) return;
	int32 transparency;
	switch (transfer_mode)
	{
	case 1: transparency = transfer_phase; break;
	case 2: transparency = static_cast<uint16>(~transfer_phase); break;
	case 5: transparency = static_cast<uint16>(~(transfer_phase >> 1)); break;
	case 6: transparency = (transfer_phase >> 1) + 32768; break;
	case 7:
		transparency = sine_table ? sine_table[((transfer_phase + 32) & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS] + 32767 : 32767;
		break;
	default: return; // 0, 3, 4 and anything outside the table
	}
	rectangle->surface.transparency = static_cast<fixed_fraction>(std::min<int32>(std::max<int32>(transparency, 0), 65535));
	set_surface_flags(&rectangle->surface, surface_flags(&rectangle->surface) | _surface_transparent_flag);
}

static void add_filled_rectangle(view_data *view, const short_world_point3d *position, world_distance precise_z,
	int32 x0, int32 y0, int32 x1, int32 y1, int16 clip_top, int16 clip_bottom, const rgb_color *color,
	fixed_fraction transparency)
{
	render_filled_rectangle *rectangle =
		static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
	memset(rectangle, 0, sizeof(*rectangle));
	set_surface_type(&rectangle->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
	set_surface_flags(&rectangle->surface, _surface_precise_z_flag | (transparency ? _surface_transparent_flag : 0));
	rectangle->surface.precise_z = precise_z;
	rectangle->surface.obj_view_y = position->y;
	rectangle->surface.z = position->z;
	rectangle->surface.transparency = transparency;
	rectangle->geometry = {static_cast<int16>(PIN(x0, -32768, 32767)), static_cast<int16>(PIN(y0, -32768, 32767)),
		static_cast<int16>(PIN(x1, -32768, 32767)), static_cast<int16>(PIN(y1, -32768, 32767)), clip_top, clip_bottom,
		{0, 0, 0, 0}, 32767, -32768};
	rectangle->color = *color;
	add_surface_to_surface_list(view->main_surface_list, &rectangle->surface);
}

static int16 selection_frame_color_index(int16 object_index, const object_data *object)
{
	if (object->owner != _object_is_monster) return 5;
	render_unit_data unit;
	if (!get_render_unit_data(object->owner_index, &unit)) return 5;
	int16 index = unit.relation == _unit_relation_unfriendly ? 3 : 4;
	if (unit.relation == _unit_relation_owned) index = unit.berserk_or_confused ? 4 : 2;
	if (unit.ambient_life) index = unit.targetable_if_ambient ? 3 : 4;
	if (game_scoring() == _game_scoring_hunting && unit.hunted) index = 3;
	(void)object_index;
	return index;
}

void add_selection_surfaces_to_buckets(view_data *view, int16 object_index, const short_world_point3d *transformed_position,
	world_distance precise_z, int16 x0, int16 y0, int16 x1, int16 y1, int16 clip_top, int16 clip_bottom,
	fixed_fraction transparency, boolean show_selection)
{
	object_data *object = get_object_data(object_index);
	if (!view || !object || !transformed_position || !view->main_surface_list) return;
	const object_definition *definition = get_object_definition(object->type);
	const uint16 definition_flags = definition ? definition->flags : 0;
	render_unit_data unit;
	const boolean is_unit = object->owner == _object_is_monster && get_render_unit_data(object->owner_index, &unit);
	auto add = [&](int32 a, int32 b, int32 c, int32 d, const rgb_color *color, fixed_fraction t) {
		add_filled_rectangle(view, transformed_position, precise_z, a, b, c, d, clip_top, clip_bottom, color, t);
	};

	// 1. The frame, inside the box.
	if (show_selection && ((definition_flags & _draw_selection_box_flag) || (object->flags & _object_is_attack_highlighted_flag)))
	{
		rgb_color color;
		get_interface_color(selection_frame_color_index(object_index, object), &color);
		const int32 w = (game_preference_flags() & _game_pref_qel_selection_boxes_flag) ? 2 : SELECTION_FRAME_WIDTH;
		add(x0, y0, x1, y0 + w, &color, transparency);
		add(x0, y1 - w, x1, y1, &color, transparency);
		add(x0, y0 + w, x0 + w, y1 - w, &color, transparency);
		add(x1 - w, y0 + w, x1, y1 - w, &color, transparency);
		if (is_unit && unit.netgame_target &&
			(game_scoring() == _game_scoring_cattle_drive || game_scoring() == _game_scoring_assassination) &&
			(game_type() == _game_type_replay || unit_is_local_team(&unit)))
		{
			const rgb_color orange = {65535, 32767, 0, 0};
			add(x0 - w, y0 - w, x1 + w, y0, &orange, 0);
			add(x0 - w, y1, x1 + w, y1 + w, &orange, 0);
			add(x0 - w, y0, x0, y1, &orange, 0);
			add(x1, y0, x1 + w, y1, &orange, 0);
		}
	}

	// 2. The vitality bar, right of the box, growing up from its bottom edge.
	if (definition_flags & _draw_vitality_box_flag)
	{
		const int64 maximum = object->maximum_vitality;
		int64 f = maximum <= 0 ? 1 : PIN(static_cast<int64>(object->vitality) * 65536 / maximum, 1, 65536);
		const int32 step = static_cast<int32>((f * 21) >> 16);
		int64 g = 65536;
		const int64 H = (y1 - y0) - 6;
		// Weak tall units get a shorter bar: scaled as a fraction, not the integer ratio, which is 0 or 1.
		const int64 span = 2 * (static_cast<int64>(object->height1) - object->height0);
		if (span > 0 && maximum <= span)
		{
			f = f * std::max<int64>(maximum, 0) / span;
			g = g * std::max<int64>(maximum, 0) / span;
		}
		if (f != 0)
		{
			const int64 filled = (f * H) >> 16, full = (g * H) >> 16;
			const int64 empty = std::max(full, filled) - filled;
			rgb_color filled_color, empty_color;
			get_interface_color(static_cast<int16>(12 + step), &filled_color);
			get_interface_color(static_cast<int16>(34 + step), &empty_color);
			const int32 bx0 = x1 + VITALITY_BAR_SEPARATION, bx1 = bx0 + VITALITY_BAR_WIDTH;
			int32 bottom = y1;
			const int64 heights[3] = {filled + VITALITY_BAR_CAP_HEIGHT, empty, VITALITY_BAR_CAP_HEIGHT};
			const rgb_color *colors[3] = {&filled_color, &empty_color, &filled_color};
			for (int32 piece = _bar_footer; piece <= _bar_header; ++piece)
			{
				const int32 top = static_cast<int32>(bottom - heights[piece]);
				add(bx0, top, bx1, bottom, colors[piece], transparency);
				bottom = top;
			}
		}
	}

	// 3. The mana bar, above the box.
	if (is_unit && unit.maximum_mana > 0 && !unit.mana_hidden &&
		(!unit.enemies_cant_see_mana || game_type() == _game_type_replay || unit_is_local_team(&unit)))
	{
		const int64 fraction = PIN(static_cast<int64>(unit.mana) * 65536 / unit.maximum_mana, 1, 65536);
		const int32 width = static_cast<int32>(((x1 - x0) * fraction) >> 16);
		const rgb_color mana_blue = {0, 0, 65535, 0};
		add(x0, y0 - MANA_BAR_SEPARATION - MANA_BAR_HEIGHT, x0 + width, y0 - MANA_BAR_SEPARATION, &mana_blue, transparency);
	}
}

static void add_overhead_text(view_data *view, int16 overhead_text_index, const short_world_point3d *position,
	world_distance precise_z, int32 box_x0, int32 box_y0, int32 box_x1)
{
	const overhead_text_data *text = get_overhead_text_data(overhead_text_index);
	if (!text || text->font_index == NONE) return;
	const char *string = get_string_from_list(text->string_list_index, text->string_index);
	if (!string) return;
	int32 lines = 0;
	const int32 text_width = string_width_multiline(text->font_index, text->style, string, &lines);
	const int32 height = lines * get_font_line_height(text->font_index);
	if (text_width <= 0 || height <= 0) return;
	// Drawing keeps the font's leading inside each side and cuts a line as wide
	// as what is left: the rectangle leaves room for both, so the text is whole.
	const font_definition *font = get_font_definition(text->font_index);
	const int32 width = text_width + 2 * (font ? font->leading_width : 0) + 1;
	const int32 length = static_cast<int32>(strlen(string));
	render_text_rectangle *rectangle =
		static_cast<render_text_rectangle *>(render_malloc(static_cast<int32>(sizeof(render_text_rectangle)) + length));
	memset(rectangle, 0, sizeof(*rectangle));
	set_surface_type(&rectangle->surface, _surface_type_rectangle, _surface_subtype_text_rectangle);
	set_surface_flags(&rectangle->surface, _surface_precise_z_flag);
	rectangle->surface.precise_z = precise_z;
	rectangle->surface.obj_view_y = position->y;
	rectangle->surface.z = position->z;
	const int32 x0 = (box_x0 + box_x1) / 2 - width / 2;
	const int32 y1 = box_y0 - OVERHEAD_TEXT_GAP;
	rectangle->geometry = {static_cast<int16>(PIN(x0, -32768, 32767)), static_cast<int16>(PIN(y1 - height, -32768, 32767)),
		static_cast<int16>(PIN(x0 + width, -32768, 32767)), static_cast<int16>(PIN(y1, -32768, 32767)), -32768, 32767,
		{0, 0, 0, 0}, 32767, -32768};
	rectangle->style = text->style;
	rectangle->font_index = text->font_index;
	rectangle->color = text->color;
	rectangle->text_flags = text->text_flags;
	memcpy(rectangle->string, string, length + 1);
	add_surface_to_surface_list(view->main_surface_list, &rectangle->surface);
}

/* ---------- one object */

static int32 media_wave(const media_definition *media, int32 cell_x, int32 cell_y, int32 tick_count)
{
	if (!media || !sine_table) return 0;
	const uint32 phase = static_cast<uint32>(cell_x * 377 + cell_y * 211) + static_cast<uint32>(tick_count);
	const uint32 index =
		((static_cast<uint32>(media->wobble_phase_multiplier.k) * phase + 32) & 0xFFFF) >> TRIG_TABLE_ANGLE_BITS;
	return (media->wobble_magnitude.k * sine_table[index]) >> 14;
}

static const media_definition *map_media(void)
{
	return mesh_globals ? get_media_definition(mesh_globals->media_type) : NULL;
}

static void build_shadow_overlay(view_data *view, mesh_region *region, const object_data *object,
	const world_point3d *position, const object_render_data *render_data, int16 collection_index)
{
	const shadow_map_data *shadow = get_shadow_map(collection_index, render_data->shadow_map_index);
	if (!shadow || shadow->bitmap_index == NONE) return;
	const boolean light = (shadow->flags & SHADOW_MAP_IS_LIGHT_MAP_FLAG) != 0;
	const world_point2d p = {position->x, position->y};
	const int32 h = position->z - get_mesh_height(&p, _true_height);
	int64 density, shift = 0;
	if (h == 0) density = 65535;
	else if (h < 0) density = 65536 - 128 * static_cast<int64>(-h);
	else if (light) density = 65536 - 64 * static_cast<int64>(h);
	else
	{
		const int64 f = static_cast<int64>(h) * 65536 / 3072;
		density = 65536 - f;
		shift = (f * 3) >> 7;
	}
	density = std::min<int64>(density, 65535);
	if (density < 1) return;
	const int64 d8 = density >> 8;
	const uint32 phase = render_data->transfer_phase;
	switch (render_data->transfer_mode)
	{
	case 2: density = d8 * (phase >> 8); break;
	case 1: density = d8 * ((~phase & 0xFFFF) >> 8); break;
	case 5: density = d8 * (255 - ((65535 - (phase >> 1)) >> 8)); break;
	case 6: density = d8 * (255 - (((phase >> 1) + 32767) >> 8)); break;
	default: break;
	}
	render_map_overlay *overlay = static_cast<render_map_overlay *>(render_malloc(sizeof(render_map_overlay)));
	memset(overlay, 0, sizeof(*overlay));
	const int64 x0 = position->x + shift - (static_cast<int64>(region->x0) << WORLD_FRACTIONAL_BITS) -
		(shadow->registration_point.x >> 10);
	const int64 y0 = position->y + shift - (static_cast<int64>(region->y0) << WORLD_FRACTIONAL_BITS) -
		(shadow->registration_point.y >> 10);
	overlay->x0 = static_cast<short_world_distance>(PIN(x0, -32768, 32767));
	overlay->y0 = static_cast<short_world_distance>(PIN(y0, -32768, 32767));
	overlay->collection_index = static_cast<uint8>(collection_index);
	overlay->color_table_index = object->color_table_index;
	overlay->bitmap_index = static_cast<uint16>(shadow->bitmap_index);
	overlay->density = static_cast<fixed_fraction>(PIN(density, 0, 65535));
	render_map_overlay **list = light ? &view->light_map_overlays : &view->shadow_map_overlays;
	overlay->next_map_overlay = *list;
	*list = overlay;
}

static void build_3d_object(view_data *view, mesh_region *region, boolean reflection, const object_data *object,
	int16 object_index)
{
	world_vector3d forward, up;
	build_world_vector3d(&forward, 16384, object->location.yaw, object->location.pitch);
	build_world_vector3d(&up, 16384, object->location.yaw, static_cast<angle>(object->location.pitch + 16384));
	const world_vector3d scale = {GEOMETRY_NORMAL_SCALE, GEOMETRY_NORMAL_SCALE, GEOMETRY_NORMAL_SCALE};
	render_geometry(view, region, object_index, static_cast<int16>(static_cast<uint8>(object->geometry_index)),
		&object->location.position, &up, &forward, &scale, reflection, 0);
}

static void build_render_object_at_depth(view_data *view, mesh_region *region, boolean reflection,
	boolean fully_visible, boolean under_media, object_data *object, int16 object_index, int32 depth)
{
	if (!view || !region || !object || !view->main_surface_list) return;
	if (static_cast<uint8>(object->geometry_index) != OBJECT_GEOMETRY_NONE)
	{
		build_3d_object(view, region, reflection, object, object_index);
		return;
	}
	const int16 collection = object->shape_collection_index == NO_SHAPE_INDEX ? static_cast<int16>(NONE)
		: static_cast<int16>(object->shape_collection_index);
	if (collection == NONE) return;
	const uint32 flags = object->flags;
	const boolean surface_effect = (flags & _object_is_media_surface_effect_flag) != 0;

	// 1. Bobbing: ±32 over 64 ticks.
	world_point3d position = object->location.position;
	if ((flags & _object_floats_on_land_flag) || ((flags & _object_floats_on_media_flag) && (flags & _object_on_media_flag)))
	{
		const int32 time = game ? game->game_time : 0;
		if (cosine_table) position.z += cosine_table[((object_index * 57 + time) & 63) * 16] >> 9;
	}
	const world_point2d position2d = {position.x, position.y};
	const int32 cell_x = position.x >> WORLD_FRACTIONAL_BITS, cell_y = position.y >> WORLD_FRACTIONAL_BITS;
	const int32 media_height = mesh_is_loaded() ? get_mesh_height(&position2d, _media_height) : -32768;

	// 10 (first half). Submerged units are ghosts, or not drawn.
	boolean ghost = FALSE;
	render_unit_data unit;
	const boolean is_unit = object->owner == _object_is_monster && object_index != NONE &&
		get_render_unit_data(object->owner_index, &unit);
	if (object->owner == _object_is_monster && (flags & _object_wholly_under_media_flag) &&
		position.z + std::max(object->height0, object->height1) < media_height)
	{
		const boolean friendly = (is_unit && (unit_is_local_team(&unit) || unit.ambient_life)) || local_player_sees_all();
		if (reflection) return;
		if (!friendly && !(game && (game->option_flags & _game_option_uses_qel_flag))) return;
		ghost = TRUE;
	}

	// 2-3. Viewer space and the near cut.
	short_world_point3d t;
	transform_world_point_to_viewer_space(view, &position, &t, reflection);
	if (t.z >= MINIMUM_OBJECT_DEPTH) return;

	// 4-5. The view, its bitmap instance and extents.
	int16 sequence = NONE, frame = NONE;
	if (object->owner == _object_is_scenery && object->animating_scenery_index != NONE)
	{
		get_animation_parameters_for_scenery(object->animating_scenery_index, &sequence, &frame);
		if (sequence == NONE) frame = NONE;
	}
	object_render_data render_data;
	get_object_render_data_for_frame(&render_data, &view->location.position, object, sequence, frame);
	if (render_data.bitmap_instance_index == NONE) return;
	const bitmap_instance_data *instance = get_bitmap_instance(collection, render_data.bitmap_instance_index);
	if (!instance) return;
	const int32 scale = object->scale;
	int32 left = (instance->world_left * scale) >> 8, right = (instance->world_right * scale) >> 8;
	int32 top = (instance->world_top * scale) >> 8, bottom = (instance->world_bottom * scale) >> 8;

	// 7. Orientation. Mirroring swaps the extents as well, so that the box keeps its order; the image flips by flag.
	uint32 surface_flags_value = 0;
	if (instance->flags & _bitmap_instance_mirror_horizontal_flag) surface_flags_value ^= _surface_mirror_horizontal_flag;
	if (instance->flags & _bitmap_instance_mirror_vertical_flag) surface_flags_value ^= _surface_mirror_vertical_flag;
	if (flags & _object_is_horizontally_mirrored_flag)
	{
		std::swap(left, right);
		left = -left;
		right = -right;
		surface_flags_value ^= _surface_mirror_horizontal_flag;
	}
	if (flags & _object_is_vertically_mirrored_flag)
	{
		std::swap(top, bottom);
		top = -top;
		bottom = -bottom;
		surface_flags_value ^= _surface_mirror_vertical_flag;
	}
	if (instance->flags & _bitmap_instance_transparent_flag) surface_flags_value |= _surface_transparent_flag;
	const media_definition *media = map_media();
	int32 transparency = 0;
	int32 wave = 0;
	if (reflection)
	{
		if (!surface_effect)
		{
			std::swap(top, bottom);
			top = -top;
			bottom = -bottom;
			surface_flags_value ^= _surface_mirror_vertical_flag;
		}
		surface_flags_value |= _surface_reflection_flag;
		transparency = media ? media->reflection_transparency : 0;
		const world_vector3d &v = object->location.velocity;
		if (v.i == 0 && v.j == 0 && v.k == 0) wave = media_wave(media, cell_x, cell_y, view->tick_count);
	}
	if (!fully_visible) transparency = std::min<int32>(65536 - (65536 - transparency) / 2, 65535);
	if (ghost)
	{
		transparency = (object->owner == _object_is_projectile || object->owner == _object_is_dormant_projectile)
			? PROJECTILE_GHOST_TRANSPARENCY : SUBMERGED_GHOST_TRANSPARENCY;
	}
	const int32 ty = t.y + wave;
	const world_distance precise_z = static_cast<world_distance>(t.z) * 16384;

	// 8. A rectangle, or a quad along the velocity.
	int16 permutation = object->color_table_permutation;
	if (reflection && !surface_effect) permutation = permutation == 0 ? 3 : permutation == 1 ? 5 : permutation == 2 ? 6 : 3;
	if (ghost) permutation = 3;
	int16 clip_top = -32768, clip_bottom = 32767;
	boolean clipped_at_media = FALSE;
	int16 media_row = 0;
	if (under_media && !surface_effect && !ghost)
	{
		const world_point3d surface_point = {position.x, position.y, media_height};
		short_world_point3d s;
		transform_world_point_to_viewer_space(view, &surface_point, &s, FALSE);
		if (s.z < 0)
		{
			media_row = project_y(view, s.y, s.z);
			if (reflection) clip_top = media_row;
			else clip_bottom = media_row;
			clipped_at_media = !reflection;
		}
	}
	const short_world_point3d shown = {t.x, static_cast<short_world_distance>(PIN(ty, -32768, 32767)), t.z};
	if (instance->flags & _bitmap_instance_texture_flag)
	{
		extended_bitmap_surface_data data;
		memset(&data, 0, sizeof(data));
		data.flags = static_cast<uint16>(2 | (reflection ? 1 : 0));
		data.collection_index = collection;
		data.color_table_index = object->color_table_index;
		data.transparency = static_cast<fixed_fraction>(fully_visible ? 0 : 32768);
		data.world_left = instance->world_left;
		data.world_right = instance->world_right;
		data.world_top = instance->world_top;
		data.world_bottom = instance->world_bottom;
		data.horizontal_scale = data.vertical_scale = object->scale;
		build_extended_bitmap_surface_triangles(instance, &shown, &object->location.velocity, view,
			view->main_surface_list, &data);
	}
	else
	{
		const int16 x0 = project_x(view, t.x + left, t.z), x1 = project_x(view, t.x + right, t.z);
		const int16 y0 = project_y(view, ty + top, t.z), y1 = project_y(view, ty + bottom, t.z);
		if (x1 > x0 && y1 > y0 && x1 > 0 && x0 < view->screen_width && y1 > 0 && y0 < view->screen_height)
		{
			render_rectangle *rectangle = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
			memset(rectangle, 0, sizeof(*rectangle));
			set_surface_type(&rectangle->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
			if (transparency) surface_flags_value |= _surface_transparent_flag;
			set_surface_flags(&rectangle->surface, surface_flags_value | _surface_precise_z_flag);
			rectangle->surface.precise_z = precise_z;
			rectangle->surface.obj_view_y = shown.y;
			rectangle->surface.z = t.z;
			rectangle->surface.transparency = static_cast<fixed_fraction>(transparency);
			rectangle->geometry = {x0, y0, x1, y1, clip_top, clip_bottom, {0, 0, 0, 0}, 32767, -32768};
			rectangle->texture = build_bitmap_identifier(static_cast<uint32>(collection),
				static_cast<uint32>(instance->bitmap_index), object->color_table_index & 127u,
				static_cast<uint32>(permutation));
			rectangle->object_index = object_index;
			// 9. The transfer mode.
			affect_rectangle_transfer_mode(rectangle, render_data.transfer_mode, render_data.transfer_phase);
			add_surface_to_surface_list(view->main_surface_list, &rectangle->surface);
			render_objects_hooks.rectangles_built += 1;

			// 10 (second half). The rows under the surface, drawn with the reflections.
			if (clipped_at_media && !(game_preference_flags() & _game_pref_hide_underwater_flag))
			{
				render_rectangle *below = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
				*below = *rectangle;
				set_surface_flags(&below->surface, surface_flags(&rectangle->surface) | _surface_reflection_flag |
					_surface_precise_z_flag | _surface_transparent_flag);
				below->surface.transparency = SUBMERGED_SECOND_RECTANGLE_TRANSPARENCY;
				below->geometry.clip_top = media_row;
				below->geometry.clip_bottom = 32767;
				add_surface_to_surface_list(view->main_surface_list, &below->surface);
			}
		}
	}

	// 11. Shadow or light.
	if (render_data.shadow_map_index != NONE && !(flags & _object_has_no_shadow_flag) && !reflection && !ghost &&
		!(under_media && position.z + object->height1 <= media_height))
	{
		build_shadow_overlay(view, region, object, &position, &render_data, collection);
	}

	// 12. Selection and bars, over the unit's box.
	if (object_index != NONE && !reflection && !(view->flags & _render_view_omit_selections_flag))
	{
		int32 box_top = std::max(object->height0, object->height1), box_bottom = std::min(object->height0, object->height1);
		if (flags & _object_is_vertically_mirrored_flag)
		{
			const int32 old_top = box_top;
			box_top = -box_bottom;
			box_bottom = -old_top;
		}
		const int16 bx0 = project_x(view, t.x - object->radius, t.z), bx1 = project_x(view, t.x + object->radius, t.z);
		const int16 by0 = project_y(view, ty + box_top, t.z), by1 = project_y(view, ty + box_bottom, t.z);
		const uint32 highlights = _object_is_selected_flag | _object_is_attack_highlighted_flag |
			_object_is_mouseover_highlighted_flag;
		if (flags & highlights)
		{
			fixed_fraction selection_transparency = SELECTION_SURFACE_TRANSPARENCY;
			if ((flags & _object_is_mouseover_highlighted_flag) && !(flags & _object_is_attack_highlighted_flag))
			{
				selection_transparency = MOUSEOVER_SELECTION_SURFACE_TRANSPARENCY;
			}
			if (ghost) selection_transparency = SUBMERGED_SELECTION_SURFACE_TRANSPARENCY;
			add_selection_surfaces_to_buckets(view, object_index, &shown, precise_z, bx0, by0, bx1, by1, clip_top,
				clip_bottom, selection_transparency, TRUE);
		}
		else if (is_unit && caps_lock_is_held())
		{
			const input_definition *input = get_input_definition();
			const int16 action = input ? input->caps_lock_action : 0;
			boolean shown_bars = action == 0 || action == 2;
			if (shown_bars && game_type() != _game_type_replay &&
				!(game_type() == _game_type_networked && player_globals.local_player_team_index == NONE))
			{
				shown_bars = unit_is_local_team(&unit) && unit.monster_class != _monster_class_ambient_life;
			}
			if (shown_bars && action == 2) shown_bars = unit.relation == _unit_relation_owned && unit.controllable;
			if (shown_bars)
			{
				add_selection_surfaces_to_buckets(view, object_index, &shown, precise_z, bx0, by0, bx1, by1, clip_top,
					clip_bottom, ghost ? SUBMERGED_SELECTION_SURFACE_TRANSPARENCY : MOUSEOVER_SELECTION_SURFACE_TRANSPARENCY,
					FALSE);
			}
		}
	}
	// 13. The label, over the box.
	if (object_index != NONE && !reflection && is_unit && unit.overhead_text_index != NONE)
	{
		const int16 bx0 = project_x(view, t.x - object->radius, t.z), bx1 = project_x(view, t.x + object->radius, t.z);
		const int32 box_top = (flags & _object_is_vertically_mirrored_flag) ? -std::min(object->height0, object->height1)
			: std::max(object->height0, object->height1);
		add_overhead_text(view, unit.overhead_text_index, &shown, precise_z, bx0, project_y(view, ty + box_top, t.z), bx1);
	}

	// 14. The parasite, with the same visibility; not in reflections.
	if (object_index != NONE && !reflection && object->parasitic_object_index != NONE && depth < MAXIMUM_PARASITE_DEPTH)
	{
		object_data *parasite = get_object_data(object->parasitic_object_index);
		if (parasite)
		{
			build_render_object_at_depth(view, region, FALSE, fully_visible, under_media, parasite,
				object->parasitic_object_index, depth + 1);
		}
	}
}

void build_render_object(view_data *view, mesh_region *region, boolean reflection, boolean fully_visible,
	boolean under_media, object_data *object, int16 object_index)
{
	build_render_object_at_depth(view, region, reflection, fully_visible, under_media, object, object_index, 0);
}

/* ---------- the visible region */

static int16 cell_visibility(int32 x, int32 y)
{
	if (!mesh_is_loaded() || x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) return 0;
	return get_cell_visibility(x, y);
}

void build_objects_surface_list(view_data *view, mesh_region *region)
{
	if (!view || !region || !region->spans || !mesh_is_loaded()) return;
	const boolean flags_respect_visibility =
		game_scoring() == _game_scoring_scavenger_hunt && game_play_version >= 1511;
	for (int32 y = region->y0; y < region->y1; ++y)
	{
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0; x < span->x1; ++x)
		{
			const int16 bits = cell_visibility(x, y);
			if (x < 0 || y < 0 || x >= mesh_globals->mesh_width || y >= mesh_globals->mesh_height) continue;
			const mesh_cell *cell = get_mesh_cell(x, y);
			const boolean reflects = (cell->flags & _mesh_cell_has_reflection_flag) &&
				!(view->flags & _render_view_omit_reflections_flag);
			int32 guard = 0;
			for (int16 object_index = cell->first_object_index; object_index != NONE && guard < MAXIMUM_OBJECTS_PER_MAP;
				 ++guard)
			{
				object_data *object = get_object_data(object_index);
				if (!object) break;
				const int16 next = object->next_object_index;
				if (!(object->flags & (_object_is_not_rendered_flag | _object_is_invisible_flag)))
				{
					boolean drawn = TRUE, fully_visible = TRUE;
					const boolean is_flag = object->owner == _object_is_flag;
					if ((object->flags & _object_respects_monster_visibility_flag) && (!is_flag || flags_respect_visibility))
					{
						drawn = (bits & _visibility_flag) != 0;
						fully_visible = (bits & _close_visibility_flag) && !(object->flags & _object_is_rendered_transparently_flag);
					}
					if (drawn)
					{
						const boolean under_media = (cell->flags & _mesh_cell_triangle_media_flags) &&
							mesh_texture_pixel_is_media(object->location.position.x >> 6, object->location.position.y >> 6);
						if (!(object->flags & _object_is_media_surface_effect_flag))
						{
							build_render_object(view, region, FALSE, fully_visible, under_media, object, object_index);
						}
						if (reflects) build_render_object(view, region, TRUE, fully_visible, under_media, object, object_index);
					}
				}
				object_index = next;
			}
		}
	}

	if (!local_sprite_globals || local_sprite_globals->count == 0) return;
	if (local_sprite_globals->fade_out_start_time != -1 && game &&
		game_local_time_get() - local_sprite_globals->fade_out_start_time > LOCAL_SPRITE_SOLID_TIME)
	{
		return;
	}
	for (int32 i = 0; i < local_sprite_globals->count; ++i)
	{
		const local_sprite_data *sprite = &local_sprite_globals->sprites[i];
		object_data temporary;
		memset(&temporary, 0, sizeof(temporary));
		temporary.identifier = 1;
		temporary.scale = 256;
		temporary.location = sprite->location;
		temporary.shape_collection_index = sprite->collection_index == NONE ? NO_SHAPE_INDEX
			: static_cast<uint8>(sprite->collection_index);
		temporary.shape_sequence_index = sprite->sequence_index == NONE ? NO_SHAPE_INDEX
			: static_cast<uint8>(sprite->sequence_index);
		temporary.transfer_mode = 1; // fading in over time
		temporary.transfer_period = 1;
		temporary.geometry_index = static_cast<int8>(OBJECT_GEOMETRY_NONE);
		temporary.parasitic_object_index = NONE;
		temporary.next_object_index = NONE;
		temporary.animating_scenery_index = NONE;
		temporary.owner = _object_is_garbage;
		build_render_object(view, region, FALSE, TRUE, FALSE, &temporary, NONE);
	}
}
