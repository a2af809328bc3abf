// 'math': arithmetic and comparisons on 32.32 values read from parameters.
#include <cstring>

#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"

#define LONG_FIXED_ONE (static_cast<long_fixed>(1) << 32)

// Two's complement wrap without signed overflow.
static inline long_fixed wrap(uint64 value)
{
	return static_cast<long_fixed>(value);
}

static inline long_fixed from_integer(int32 value)
{
	return wrap(static_cast<uint64>(static_cast<int64>(value)) << 32);
}

static inline long_fixed from_fixed(fixed value)
{
	return wrap(static_cast<uint64>(static_cast<int64>(value)) << 16);
}

static inline int32 integer_part(long_fixed value)
{
	return static_cast<int32>(value >> 32);
}

static inline long double as_decimal(long_fixed value)
{
	return static_cast<long double>(value) / 4294967296.0L;
}

// The 128-bit product shifted right by 32, truncated to 64 bits; built from
// 32-bit halves for builds without a 128-bit type.
static long_fixed multiply_long_fixed(long_fixed a, long_fixed b)
{
	const bool negative = (a < 0) != (b < 0);
	const uint64 ua = a < 0 ? 0 - static_cast<uint64>(a) : static_cast<uint64>(a);
	const uint64 ub = b < 0 ? 0 - static_cast<uint64>(b) : static_cast<uint64>(b);
	const uint64 a0 = ua & 0xFFFFFFFFu, a1 = ua >> 32, b0 = ub & 0xFFFFFFFFu, b1 = ub >> 32;
	const uint64 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
	const uint64 middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
	uint64 low = (p00 & 0xFFFFFFFFu) | (middle << 32);
	uint64 high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
	if (negative)
	{
		low = ~low + 1;
		high = ~high + (low == 0 ? 1 : 0);
	}
	return wrap((high << 32) | (low >> 32));
}

// Element 0 of every non-empty integer and fixed parameter of that name, added up.
static long_fixed sum_of_named_values(int16 action_index, field_tag field_name)
{
	uint64 sum = 0;
	find_map_action_parameter_state state;
	map_action_parameter parameter;
	new_find_map_action_parameter_state(&state, action_index, 0, field_name, NONE);
	while (find_next_map_action_parameter(&state, &parameter))
	{
		int32 value;
		if (parameter.type != _parameter_integer && parameter.type != _parameter_fixed) continue;
		memcpy(&value, extract_parameter_array_address(&parameter), sizeof(value));
		sum += static_cast<uint64>(parameter.type == _parameter_integer ? from_integer(value) : from_fixed(value));
	}
	return wrap(sum);
}

static long_fixed read_field_of_action(int16 other, field_tag field_name)
{
	map_action_parameter own;
	const boolean is_fixed = get_map_action_parameter(&own, other, _dont_resolve_links_flag | _return_empty_arrays_flag,
		field_name, NONE) && own.type == _parameter_fixed;
	int32 value;
	if (is_fixed ? get_map_action_fixed(other, field_name, &value) : get_map_action_integer(other, field_name, &value))
	{
		return is_fixed ? from_fixed(value) : from_integer(value);
	}
	return sum_of_named_values(other, field_name);
}

long_fixed get_operand(int16 action_index, field_tag integer_name, field_tag fixed_name, field_tag action_name,
	field_tag field_name_name, field_tag negate_name, field_tag not_name)
{
	long_fixed value = 0;
	int32 element;
	int16 identifier;
	field_tag field_name;
	if (get_map_action_integer(action_index, integer_name, &element))
	{
		value = from_integer(element);
	}
	else if (get_map_action_fixed(action_index, fixed_name, &element))
	{
		value = from_fixed(element);
	}
	else if (get_map_action_identifier_parameter(action_index, action_name, &identifier) && identifier != NONE &&
		get_map_action_field_name(action_index, field_name_name, &field_name) && field_name != static_cast<field_tag>(NONE))
	{
		const int16 other = action_identifier_to_action_index(identifier);
		if (other != NONE) value = read_field_of_action(other, field_name);
	}
	if (map_action_has_flag(action_index, not_name)) value = value == 0 ? LONG_FIXED_ONE : 0;
	if (map_action_has_flag(action_index, negate_name)) value = wrap(0 - static_cast<uint64>(value));
	return value;
}

static long_fixed truth(bool value)
{
	return value ? LONG_FIXED_ONE : 0;
}

static long_fixed add_values(long_fixed a, long_fixed b) { return wrap(static_cast<uint64>(a) + static_cast<uint64>(b)); }
static long_fixed subtract_values(long_fixed a, long_fixed b) { return wrap(static_cast<uint64>(a) - static_cast<uint64>(b)); }
static long_fixed less(long_fixed a, long_fixed b) { return truth(a < b); }
static long_fixed less_or_equal(long_fixed a, long_fixed b) { return truth(a <= b); }
static long_fixed greater(long_fixed a, long_fixed b) { return truth(a > b); }
static long_fixed greater_or_equal(long_fixed a, long_fixed b) { return truth(a >= b); }
static long_fixed equal(long_fixed a, long_fixed b) { return truth(a == b); }
static long_fixed not_equal(long_fixed a, long_fixed b) { return truth(a != b); }
static long_fixed both(long_fixed a, long_fixed b) { return truth(a != 0 && b != 0); }
static long_fixed either(long_fixed a, long_fixed b) { return truth(a != 0 || b != 0); }
static long_fixed exactly_one(long_fixed a, long_fixed b) { return truth((a != 0) != (b != 0)); }

// In the order they are looked for; division and modulo (no operation here) are handled apart.
static const struct
{
	field_tag flag;
	const char *symbol;
	long_fixed (*operation)(long_fixed, long_fixed);
} math_operators[] = {
	{TAG("+___"), "+", add_values}, {TAG("-___"), "-", subtract_values}, {TAG("*___"), "*", multiply_long_fixed},
	{TAG("div_"), "/", nullptr}, {TAG("%___"), "%", nullptr}, {TAG("<___"), "<", less}, {TAG("<=__"), "<=", less_or_equal},
	{TAG(">___"), ">", greater}, {TAG(">=__"), ">=", greater_or_equal}, {TAG("==__"), "==", equal},
	{TAG("!=__"), "!=", not_equal}, {TAG("and_"), "&&", both}, {TAG("or__"), "||", either},
	{TAG("xor_"), "(xor)", exactly_one},
};

// False (after its line) when the operation cannot be done.
static boolean compute(int16 action_index, long_fixed left, long_fixed right, long_fixed *result)
{
	const long double l = as_decimal(left), r = as_decimal(right);
	for (const auto &op : math_operators)
	{
		if (!map_action_has_flag(action_index, op.flag)) continue;
		if (op.flag == TAG("div_"))
		{
			if (right == 0)
			{
				map_action_debug(action_index, "%Lf / %Lf = failed (divide by zero)!", l, r);
				return FALSE;
			}
			const long_fixed quotient = (left == INT64_MIN && right == -1) ? INT64_MIN : left / right;
			*result = wrap(static_cast<uint64>(quotient) << 32);
		}
		else if (op.flag == TAG("%___"))
		{
			const int32 a = integer_part(left), b = integer_part(right);
			if (b == 0)
			{
				map_action_debug(action_index, "%ld %% %ld = failed (modulo by zero)!", static_cast<long>(a), static_cast<long>(b));
				return FALSE;
			}
			*result = from_integer(b == -1 ? 0 : a % b);
			map_action_debug(action_index, "%ld %% %ld = %Lf", static_cast<long>(a), static_cast<long>(b), as_decimal(*result));
			return TRUE;
		}
		else
		{
			*result = op.operation(left, right);
		}
		map_action_debug(action_index, "%Lf %s %Lf = %Lf", l, op.symbol, r, as_decimal(*result));
		return TRUE;
	}
	*result = left;
	map_action_debug(action_index, "%Lf = %Lf (no operand, left-value passed through)", l, as_decimal(*result));
	return TRUE;
}

// The value as the parameter type: fixed 16.16 or the integer part.
static int32 stored_value(long_fixed value, int16 type)
{
	return type == _parameter_fixed ? static_cast<int32>(static_cast<uint32>(static_cast<uint64>(value) >> 16))
									: integer_part(value);
}

// The type of the action's own first parameter of that name, or NONE.
static int16 own_parameter_type(int16 action_index, field_tag field_name)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, action_index, _dont_resolve_links_flag | _return_empty_arrays_flag,
			field_name, NONE))
	{
		return NONE;
	}
	return parameter.type;
}

static void store_result(int16 action_index, field_tag field_name, int16 type, long_fixed value)
{
	const int32 stored = stored_value(value, type);
	set_unique_map_action_parameter(action_index, field_name, type, 1, &stored);
}

uint32 math_action_proc(int16 action_index)
{
	const long_fixed left = get_operand(action_index, TAG("lint"), TAG("lfix"), TAG("lact"), TAG("lfld"), TAG("lneg"),
		TAG("lnot"));
	const long_fixed right = get_operand(action_index, TAG("rint"), TAG("rfix"), TAG("ract"), TAG("rfld"), TAG("rneg"),
		TAG("rnot"));
	long_fixed result;
	if (!compute(action_index, left, right, &result)) return 0;
	if (map_action_has_flag(action_index, TAG("onot")))
	{
		const long_fixed before = result;
		result = result == 0 ? LONG_FIXED_ONE : 0;
		map_action_debug(action_index, "!%Lf = %Lf", as_decimal(before), as_decimal(result));
	}
	if (map_action_has_flag(action_index, TAG("oneg")))
	{
		const long_fixed before = result;
		result = wrap(0 - static_cast<uint64>(result));
		map_action_debug(action_index, "-%Lf = %Lf", as_decimal(before), as_decimal(result));
	}

	const int16 refx_type = own_parameter_type(action_index, TAG("refx"));
	store_result(action_index, TAG("refx"), refx_type == NONE || refx_type == _parameter_fixed ? _parameter_fixed
																					  : _parameter_integer, result);
	const int16 resu_type = own_parameter_type(action_index, TAG("resu"));
	store_result(action_index, TAG("resu"), resu_type == _parameter_fixed ? _parameter_fixed : _parameter_integer, result);

	int16 destination_identifier;
	field_tag destination_field;
	if (get_map_action_identifier_parameter(action_index, TAG("dact"), &destination_identifier) &&
		destination_identifier != NONE && get_map_action_field_name(action_index, TAG("dfld"), &destination_field) &&
		destination_field != static_cast<field_tag>(NONE))
	{
		const int16 destination = action_identifier_to_action_index(destination_identifier);
		if (destination != NONE)
		{
			const int16 existing = own_parameter_type(destination, destination_field);
			int16 type = existing == _parameter_fixed ? _parameter_fixed : _parameter_integer;
			if (existing == NONE) type = map_action_has_flag(action_index, TAG("fixd")) ? _parameter_fixed : _parameter_integer;
			store_result(destination, destination_field, type, result);
		}
	}
	return result != 0 ? _map_action_proc_succeeded_flag : 0;
}
