// What the magnifying glass is drawn with. The settings dialog holds these live in its
// controls; the page viewer is given this interface instead of reaching for the dialog, so
// it also works (with the defaults) before the dialog exists or where there is none.
#pragma once

#include "store/text_helpers.h"

class GlassOptions
{
public:
    virtual ~GlassOptions() = default;

    // The glass diameter d in pixels (the dialog's SE_mgd, 40 to 150).
    virtual int Diameter() const = 0;
    // The border circle's colour (CCB1).
    virtual RgbColor BorderColor() const = 0;
    // Whether the border circle is drawn at all (CB_border); read at every redraw.
    virtual bool UseBorder() const = 0;
};

// What the glass uses when it is given no options.
inline constexpr int DefaultGlassDiameter = 100;
inline constexpr RgbColor DefaultGlassBorderColor = 0; // black
inline constexpr bool DefaultGlassUseBorder = false;
