#include "wind.h"

#include "error_manager.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code wind_definition_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	60,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(wind_definition_byte_swapping_data) == sizeof(wind_definition));

static const wind_definition default_wind_definition = {};

static definition_globals wind_definitions = {
	"wind",
	WIND_DEFINITION_GROUP_TAG,
	WIND_DEFINITION_VERSION_NUMBER,
	MAXIMUM_WIND_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(wind_definition)),
	nullptr,
	nullptr,
	nullptr,
	&default_wind_definition,
	wind_definition_byte_swapping_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

// The map's definition; its run-time fields carry the wind.
static wind_definition *local_wind = nullptr;

definition_globals *get_wind_definitions(void) { return &wind_definitions; }
const wind_definition *get_default_wind_definition(void) { return &default_wind_definition; }
int32 get_wind_definition_tag_header_user_data(const wind_definition *) { return NONE; }
const wind_definition *get_local_wind(void) { return local_wind; }

// Only components whose delta keeps whole units after dropping the low 8 bits draw.
static fixed wind_component_target(fixed lower, fixed delta)
{
	return static_cast<fixed>(static_cast<uint32>((lower >> 8) + zerv_random_below(delta >> 8)) << 8);
}

static void set_target_wind_velocity(wind_definition *wind)
{
	wind->target_wind.i = wind_component_target(wind->velocity_lower_bound.i, wind->velocity_delta.i);
	wind->target_wind.j = wind_component_target(wind->velocity_lower_bound.j, wind->velocity_delta.j);
	wind->target_wind.k = wind_component_target(wind->velocity_lower_bound.k, wind->velocity_delta.k);
}

static void reset_wind_interval(wind_definition *wind)
{
	// Summed wide and clamped: a stored bound at either end of its range must not
	// wrap. Anything below 1 changes the wind on the next tick, as 0 does.
	const int64 ticks = static_cast<int64>(wind->time_between_adjustments_lower_bound) +
		zerv_random_below(wind->time_between_adjustments_delta);
	wind->ticks_until_wind_changes = static_cast<int32>(MAX(MIN(ticks, static_cast<int64>(INT32_MAX)), int64{0}));
}

static fixed adjust_wind_component(fixed value, fixed target, fixed step)
{
	const int64 v = value, t = target, s = step;
	if (v > t) return static_cast<fixed>(MAX(t, v - s));
	return static_cast<fixed>(MIN(t, v + s));
}

void initialize_wind(void)
{
	initialize_definitions(&wind_definitions);
	local_wind = nullptr;
}

boolean initialize_wind_for_new_map(file_tag wind_tag)
{
	local_wind = nullptr;
	initialize_definitions_for_new_map(&wind_definitions);
	if (wind_tag == 0 || wind_tag == static_cast<file_tag>(NONE)) return FALSE;
	wind_definition *wind =
		static_cast<wind_definition *>(try_and_get_definition(&wind_definitions, definition_tag_to_index(&wind_definitions, wind_tag)));
	if (!wind)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "wind definition missing.");
		return FALSE;
	}
	reset_wind_interval(wind);
	set_target_wind_velocity(wind);
	wind->velocity = wind->target_wind;
	local_wind = wind;
	return TRUE;
}

void dispose_wind_from_old_map(void)
{
	local_wind = nullptr;
	if (wind_definitions.definitions) dispose_definitions_from_old_map(&wind_definitions);
}

void update_wind(void)
{
	wind_definition *wind = local_wind;
	if (!wind) return;
	wind->ticks_until_wind_changes -= 1;
	if (wind->ticks_until_wind_changes < 1)
	{
		reset_wind_interval(wind);
		set_target_wind_velocity(wind);
	}
	const fixed step = wind->maximum_adjustment_per_tick;
	wind->velocity.i = adjust_wind_component(wind->velocity.i, wind->target_wind.i, step);
	wind->velocity.j = adjust_wind_component(wind->velocity.j, wind->target_wind.j, step);
	wind->velocity.k = adjust_wind_component(wind->velocity.k, wind->target_wind.k, step);
}

boolean get_wind_velocity(fixed_vector3d *velocity)
{
	if (velocity) *velocity = local_wind ? local_wind->velocity : fixed_vector3d{0, 0, 0};
	return local_wind != nullptr;
}

void fold_wind_digest(zerv_digest *digest)
{
	const wind_definition *wind = local_wind;
	zerv_digest_int32(digest, wind ? 1 : 0);
	if (!wind) return;
	const int32 fields[] = {wind->ticks_until_wind_changes, wind->velocity.i, wind->velocity.j, wind->velocity.k,
		wind->target_wind.i, wind->target_wind.j, wind->target_wind.k};
	for (int32 field : fields) zerv_digest_int32(digest, field);
}
