// Older name of the hardware rasterizer interface, kept for its includers.
#ifndef HARDWARE_RASTERIZER_H
#define HARDWARE_RASTERIZER_H

#include "hardware/hardware_rasterizers.h"

// The control_bar argument of draw_control_or_status_bar_hardware.
enum
{
	_draw_status_bar_hardware = 0,
	_draw_control_bar_hardware = 1
};

typedef hardware_rasterizers_test_hooks_data hardware_rasterizer_test_hooks_data;

inline hardware_rasterizer_test_hooks_data *get_hardware_rasterizer_test_hooks(void)
{
	return get_hardware_rasterizers_test_hooks();
}

inline void reset_hardware_rasterizer_test_hooks(void)
{
	reset_hardware_rasterizers_test_hooks();
}

#endif
