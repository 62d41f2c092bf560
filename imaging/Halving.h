#pragma once

// The 2:1 box reduction of a 24-bit picture given as row tables (row k = the k-th row from the top, 3 bytes
// per pixel). Each output byte is the sum of the four bytes of its 2 x 2 block shifted right by 2 (truncated,
// not rounded); an odd last column or row of the source takes no part.

#include <cstdint>

namespace imaging {

// Fills halfWidth = fullWidth / 2 pixels of each of the fullHeight / 2 rows of halfRows.
void HalvePicture(const std::uint8_t* const* fullRows, int fullWidth, int fullHeight,
                  std::uint8_t* const* halfRows);

}  // namespace imaging
