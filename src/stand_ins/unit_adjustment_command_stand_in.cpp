// The command stream is not built yet: the trading dialog's counts are
// logged so its sending can be checked. Nothing here draws from the
// synchronised stream.
#include "unit_trading.h"

#include "least_layer.h"

static least_call_log unit_adjustment_calls;

void queue_unit_adjustment_command(uint16 flags, int16 count, const int16 *counts)
{
	int64 packed = 0;
	for (int16 i = 0; counts && i < count && i < 4; ++i) packed |= static_cast<int64>(static_cast<uint16>(counts[i])) << (16 * i);
	least_call(&unit_adjustment_calls, "queue_unit_adjustment_command", flags, count, packed);
}

least_call_log *get_unit_adjustment_command_log(void)
{
	return &unit_adjustment_calls;
}
