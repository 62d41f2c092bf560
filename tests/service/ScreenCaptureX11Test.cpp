#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/service/ServiceFixture.h"
#include "tests/service/X11TestWindow.h"

namespace {

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* Pixel(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// False when the bytes are not a JPEG picture libjpeg can read.
bool DecodeJpeg(const std::string& bytes, DecodedPicture& picture) {
    jpeg_decompress_struct decoder{};
    jpeg_error_mgr errors{};
    decoder.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { throw std::runtime_error("corrupt JPEG"); };
    try {
        jpeg_create_decompress(&decoder);
        jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        jpeg_read_header(&decoder, TRUE);
        decoder.out_color_space = JCS_RGB;
        jpeg_start_decompress(&decoder);
        picture.width = static_cast<int>(decoder.output_width);
        picture.height = static_cast<int>(decoder.output_height);
        picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
        while (decoder.output_scanline < decoder.output_height) {
            JSAMPROW row = &picture.rgb[static_cast<std::size_t>(decoder.output_scanline) * picture.width * 3];
            jpeg_read_scanlines(&decoder, &row, 1);
        }
        jpeg_finish_decompress(&decoder);
        jpeg_destroy_decompress(&decoder);
        return true;
    } catch (const std::runtime_error&) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
}

struct CaptureCase {
    int scaleDown;
    int divisor;
};

class ScreenCaptureThroughService : public testing::TestWithParam<CaptureCase> {};

TEST_P(ScreenCaptureThroughService, AnswersWithAJpegOfTheScreen) {
    constexpr unsigned long kRed = 0xff0000;
    X11TestWindow window(100, 100, 200, 200, kRed);
    ASSERT_TRUE(window.Ready());
    Display* display = window.GetDisplay();
    const int screenWidth = DisplayWidth(display, DefaultScreen(display));
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));

    ServiceHarness<CaptureService> harness;
    harness.service.EditSettings([&](Settings& settings) { settings.targetDesktop = 1; });
    harness.service.EditSettings([&](Settings& settings) { settings.scaleDown = GetParam().scaleDown; });
    ASSERT_TRUE(harness.Start());
    const HttpAnswer answer = Get(harness.port, "/screen");

    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Field("Content-Type"), "image/jpeg");
    EXPECT_EQ(answer.Field("Content-Length"), std::to_string(answer.body.size()));
    DecodedPicture picture;
    ASSERT_TRUE(DecodeJpeg(answer.body, picture));
    const int divisor = GetParam().divisor;
    EXPECT_EQ(picture.width, screenWidth / divisor);
    EXPECT_EQ(picture.height, screenHeight / divisor);
    const unsigned char* inside = picture.Pixel(200 / divisor, 200 / divisor);
    EXPECT_GT(inside[0], 200);
    EXPECT_LT(inside[1], 60);
    EXPECT_LT(inside[2], 60);
    EXPECT_EQ(TempDir::ReadFile(harness.folder.File("screen.jpg")), answer.body);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScreenCaptureThroughService,
                         testing::Values(CaptureCase{0, 1}, CaptureCase{1, 2}));

}  // namespace
