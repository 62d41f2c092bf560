#pragma once

// The date and time stamped into the top-right corner of a snapshot: white text with a one-pixel black
// outline, its right end 3 pixels from the right border and its top 3 pixels below the top border.

#include <string>

#include "platform/Clock.h"

namespace imaging {

class DibImage;

// "2003/07/04(Fri) 09:05:07": year, month, day, day name (Sun..Sat), hour, minute, second.
std::string FormatTimeStamp(const platform::LocalTime& time);

// Stamps the current local time, or the given one, onto the image. Always 1; an image without a drawing
// surface is left as it is.
int DrawTimeStamp(DibImage& image);
int DrawTimeStamp(DibImage& image, const platform::LocalTime& time);

}  // namespace imaging
