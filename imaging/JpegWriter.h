#pragma once

// Encodes a picture held in the DibImage layout (rows bottom-up, 3 bytes per pixel blue, green, red, rows
// padded to 4 bytes) as a JPEG through libjpeg. Free functions without state; calls on different threads
// share nothing.

#include <cstdint>
#include <cstdio>

namespace imaging {

struct JpegImageInfo {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t components = 3;  // 3: colour; 1: greyscale taken from the red byte
    std::int32_t quality = 75;    // libjpeg's 0..100 scale, passed on unchanged
    std::int32_t progressive = 1;
};

// Writes the picture to fileName through a temporary file in the same folder that replaces fileName in one
// step, so a reader never sees a half-written picture. 1 on success; 0 when the folder does not exist,
// the encoding fails or the file cannot be put in place, and then fileName is left as it was.
int WriteJpegFile(const char* fileName, const JpegImageInfo& info, const std::uint8_t* pixels);

// Encodes onto a stream opened for binary writing. 1 on success; 0 when the picture is not a valid
// 1- or 3-component picture of at least 1 x 1, when the scratch row cannot be had, or when libjpeg
// reports a fatal error (a failed write, a size it refuses); the stream may then hold a partial picture.
int WriteJpegStream(std::FILE* stream, const JpegImageInfo& info, const std::uint8_t* pixels);

}  // namespace imaging
