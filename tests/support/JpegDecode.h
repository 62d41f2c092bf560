#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A JPEG decoded back with libjpeg, for checking what the writer produced.
struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> samples;  // rows top to bottom, components interleaved (red, green, blue)

    const std::uint8_t* At(int x, int y) const {
        return samples.data() + (static_cast<std::size_t>(y) * width + x) * components;
    }
};

// False when bytes is not a JPEG libjpeg can decode.
bool DecodeJpeg(const std::string& bytes, DecodedJpeg& decoded);

// Whether the JPEG's header carries the start-of-frame marker 0xFF, marker (0xC0 baseline, 0xC2
// progressive) before its first scan.
bool HasFrameMarker(const std::string& bytes, std::uint8_t marker);
