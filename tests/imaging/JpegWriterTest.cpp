#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/DibImage.h"
#include "imaging/JpegWriter.h"
#include "tests/support/JpegDecode.h"
#include "tests/support/TempDir.h"

using imaging::DibImage;
using imaging::JpegImageInfo;
using imaging::WriteJpegFile;
using imaging::WriteJpegStream;

namespace {

struct Bgr {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
};

// A picture whose top half has one colour and bottom half another.
void Paint(DibImage& image, Bgr top, Bgr bottom) {
    for (int y = 0; y < image.height; ++y) {
        const Bgr colour = y < image.height / 2 ? top : bottom;
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.GetRows()[y] + 3 * x;
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
        }
    }
}

JpegImageInfo Info(const DibImage& image, std::uint8_t components, int quality, int progressive) {
    JpegImageInfo info;
    info.width = image.width;
    info.height = image.height;
    info.components = components;
    info.quality = quality;
    info.progressive = progressive;
    return info;
}

void ExpectNear(const std::uint8_t* sample, int red, int green, int blue, const char* where) {
    EXPECT_NEAR(sample[0], red, 3) << where;
    EXPECT_NEAR(sample[1], green, 3) << where;
    EXPECT_NEAR(sample[2], blue, 3) << where;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(JpegWriter, WritesTheTopRowFirstAsRedGreenBlue) {
    TempDir folder;
    DibImage image;
    ASSERT_EQ(image.Create(32, 32, 24), 1);
    // Top: stored blue 10, green 20, red 200; bottom: pure blue.
    Paint(image, Bgr{10, 20, 200}, Bgr{255, 0, 0});
    const std::string path = folder.File("screen.jpg");
    ASSERT_EQ(WriteJpegFile(path.c_str(), Info(image, 3, 100, 1), image.bits), 1);

    DecodedJpeg decoded;
    ASSERT_TRUE(DecodeJpeg(TempDir::ReadFile(path), decoded));
    ASSERT_EQ(decoded.width, 32);
    ASSERT_EQ(decoded.height, 32);
    ASSERT_EQ(decoded.components, 3);
    ExpectNear(decoded.At(4, 2), 200, 20, 10, "top");
    ExpectNear(decoded.At(28, 29), 0, 0, 255, "bottom");
}

TEST(JpegWriter, OneComponentTakesTheRedByte) {
    TempDir folder;
    DibImage image;
    ASSERT_EQ(image.Create(16, 16, 24), 1);
    Paint(image, Bgr{10, 20, 30}, Bgr{10, 20, 30});
    const std::string path = folder.File("grey.jpg");
    ASSERT_EQ(WriteJpegFile(path.c_str(), Info(image, 1, 100, 1), image.bits), 1);
    DecodedJpeg decoded;
    ASSERT_TRUE(DecodeJpeg(TempDir::ReadFile(path), decoded));
    ASSERT_EQ(decoded.components, 1);
    EXPECT_NEAR(decoded.At(8, 8)[0], 30, 1);
}

TEST(JpegWriter, ReadsOnlyThePixelsOfAPaddedRow) {
    TempDir folder;
    DibImage image;
    ASSERT_EQ(image.Create(1, 16, 24), 1);
    Paint(image, Bgr{0, 255, 0}, Bgr{0, 255, 0});
    // The fourth byte of each 4-byte row is padding and must not leak into the picture.
    for (int y = 0; y < 16; ++y) {
        image.GetRows()[y][3] = 255;
    }
    const std::string path = folder.File("narrow.jpg");
    ASSERT_EQ(WriteJpegFile(path.c_str(), Info(image, 3, 100, 0), image.bits), 1);
    DecodedJpeg decoded;
    ASSERT_TRUE(DecodeJpeg(TempDir::ReadFile(path), decoded));
    ASSERT_EQ(decoded.width, 1);
    for (int y = 0; y < 16; ++y) {
        ExpectNear(decoded.At(0, y), 0, 255, 0, "column");
    }
}

TEST(JpegWriter, ProgressiveAndBaselineFrames) {
    TempDir folder;
    DibImage image;
    ASSERT_EQ(image.Create(40, 24, 24), 1);
    Paint(image, Bgr{0, 128, 255}, Bgr{30, 60, 90});
    const std::string progressive = folder.File("progressive.jpg");
    const std::string baseline = folder.File("baseline.jpg");
    ASSERT_EQ(WriteJpegFile(progressive.c_str(), Info(image, 3, 75, 1), image.bits), 1);
    ASSERT_EQ(WriteJpegFile(baseline.c_str(), Info(image, 3, 75, 0), image.bits), 1);

    const std::string progressiveBytes = TempDir::ReadFile(progressive);
    const std::string baselineBytes = TempDir::ReadFile(baseline);
    EXPECT_TRUE(HasFrameMarker(progressiveBytes, 0xC2));
    EXPECT_FALSE(HasFrameMarker(progressiveBytes, 0xC0));
    EXPECT_TRUE(HasFrameMarker(baselineBytes, 0xC0));
    EXPECT_FALSE(HasFrameMarker(baselineBytes, 0xC2));
    DecodedJpeg decoded;
    EXPECT_TRUE(DecodeJpeg(baselineBytes, decoded));
    EXPECT_TRUE(DecodeJpeg(progressiveBytes, decoded));
}

TEST(JpegWriter, ReaderOfTheOldFileKeepsItWholeWhileTheNewOneReplacesIt) {
    TempDir folder;
    const std::string path = folder.File("screen.jpg");
    const std::string old(100000, 'o');
    TempDir::WriteFile(path, old);
    std::ifstream reader(path, std::ios::binary);
    ASSERT_TRUE(reader.is_open());

    DibImage image;
    ASSERT_EQ(image.Create(64, 48, 24), 1);
    Paint(image, Bgr{1, 2, 3}, Bgr{4, 5, 6});
    ASSERT_EQ(WriteJpegFile(path.c_str(), Info(image, 3, 75, 1), image.bits), 1);

    const std::string readerSaw{std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()};
    EXPECT_EQ(readerSaw, old);
    DecodedJpeg decoded;
    EXPECT_TRUE(DecodeJpeg(TempDir::ReadFile(path), decoded));
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"screen.jpg"});
}

TEST(JpegWriter, FatalLibraryErrorLeavesTheOldFileAndReportsFailure) {
    TempDir folder;
    const std::string path = folder.File("screen.jpg");
    TempDir::WriteFile(path, "previous picture");
    // libjpeg refuses a side longer than 65500 when the compressor starts.
    constexpr int kTooWide = 70000;
    std::vector<std::uint8_t> pixels(kTooWide * 3 + 4, 0);
    JpegImageInfo info;
    info.width = kTooWide;
    info.height = 1;
    EXPECT_EQ(WriteJpegFile(path.c_str(), info, pixels.data()), 0);
    EXPECT_EQ(TempDir::ReadFile(path), "previous picture");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"screen.jpg"});
}

TEST(JpegWriter, FailedWriteOnAFullDeviceIsReported) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    DibImage image;
    ASSERT_EQ(image.Create(256, 256, 24), 1);
    Paint(image, Bgr{0, 0, 255}, Bgr{0, 255, 0});
    EXPECT_EQ(WriteJpegStream(full, Info(image, 3, 90, 1), image.bits), 0);
    std::fclose(full);
    // The process is still here, and the writer still works.
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(WriteJpegStream(sink, Info(image, 3, 90, 1), image.bits), 1);
    std::fclose(sink);
}

TEST(JpegWriter, MissingFolderGivesZeroAndCreatesNothing) {
    TempDir folder;
    const std::string missing = folder.File("no-such-folder");
    DibImage image;
    ASSERT_EQ(image.Create(8, 8, 24), 1);
    const std::string path = missing + "/screen.jpg";
    EXPECT_EQ(WriteJpegFile(path.c_str(), Info(image, 3, 75, 1), image.bits), 0);
    EXPECT_FALSE(TempDir::Exists(missing));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST(JpegWriter, RefusesPicturesItCannotRead) {
    DibImage image;
    ASSERT_EQ(image.Create(8, 8, 24), 1);
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(WriteJpegStream(sink, Info(image, 2, 75, 1), image.bits), 0);
    EXPECT_EQ(WriteJpegStream(sink, Info(image, 3, 75, 1), nullptr), 0);
    JpegImageInfo empty = Info(image, 3, 75, 1);
    empty.height = 0;
    EXPECT_EQ(WriteJpegStream(sink, empty, image.bits), 0);
    EXPECT_EQ(std::ftell(sink), 0);
    std::fclose(sink);
}

}  // namespace
