#pragma once

#include <cstdint>

// Dialog units scale a template with its font. The horizontal base unit is the average width of the 52
// letters A-Z and a-z, the vertical one the font's height; a dialog unit is a quarter of the horizontal
// and an eighth of the vertical base unit.

inline constexpr const char* kBaseUnitLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr int kBaseUnitLetterCount = 52;

struct DialogBaseUnits {
    int x;
    int y;
};

// The horizontal base unit from the total advance of kBaseUnitLetters, rounded to the nearest pixel.
constexpr int AverageLetterWidth(int widthOfAllLetters) {
    return (widthOfAllLetters / (kBaseUnitLetterCount / 2) + 1) / 2;
}

// value * numerator / denominator, rounded half away from zero.
constexpr int ScaleRounded(int value, int numerator, int denominator) {
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

constexpr int DialogXToPixels(int x, DialogBaseUnits units) {
    return ScaleRounded(x, units.x, 4);
}
constexpr int DialogYToPixels(int y, DialogBaseUnits units) {
    return ScaleRounded(y, units.y, 8);
}
