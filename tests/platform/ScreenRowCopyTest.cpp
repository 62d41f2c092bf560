#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/linux/ScreenRowCopy.h"

namespace {

using platform::linux_x11::CopyBgrxRow;
using platform::linux_x11::CopyBgrxRowPortable;

constexpr std::uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 32;

// Every width from 1 to 40 and a screen-wide one: the three colour bytes of each pixel arrive in order, the
// fourth is dropped, and not one byte past the row is written.
TEST(ScreenRowCopy, PacksPixelsAndStopsAtTheEndOfTheRow) {
    for (const auto copy : {&CopyBgrxRow, &CopyBgrxRowPortable}) {
        for (int width = 1; width <= 41; ++width) {
            const int count = width == 41 ? 1920 : width;
            std::vector<std::uint8_t> source(4 * static_cast<std::size_t>(count));
            for (std::size_t i = 0; i < source.size(); ++i) {
                source[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 0xEE : i * 7 + 1);
            }
            std::vector<std::uint8_t> target(3 * static_cast<std::size_t>(count) + kGuardBytes, kGuard);
            copy(source.data(), count, target.data());
            for (int x = 0; x < count; ++x) {
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(target[3 * x + c], source[4 * x + c]) << "width " << count << " pixel " << x;
                }
            }
            for (int i = 0; i < kGuardBytes; ++i) {
                ASSERT_EQ(target[3 * static_cast<std::size_t>(count) + i], kGuard) << "width " << count;
            }
        }
    }
}

}  // namespace
