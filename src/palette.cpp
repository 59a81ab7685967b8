// The colour ramp of a palette-based RGBA pixel format. Pure arithmetic, so
// it is tested on every platform though only the Win32 layer uses it.
#include "window.h"

static uint8_t ramp_channel(unsigned index, channel_layout channel)
{
    if (channel.bits == 0)
        return 0;  // the format has no such channel: nothing to divide by
    unsigned mask = (1u << channel.bits) - 1;
    return (uint8_t)(((index >> channel.shift) & mask) * 255 / mask);
}

palette_colour palette_ramp_entry(unsigned index, channel_layout red, channel_layout green,
                                  channel_layout blue)
{
    return palette_colour{ramp_channel(index, red), ramp_channel(index, green), ramp_channel(index, blue)};
}
