#include "imaging/JpegWriter.h"

#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

static_assert(JPEG_LIB_VERSION == 62, "the writer follows the libjpeg 6.2 interface");

#include "imaging/DibImage.h"
#include "platform/Files.h"

namespace imaging {
namespace {

using platform::kBytesPerPixel;

// libjpeg's standard error manager ends the process on a fatal error. This one jumps back into the writer
// instead, which then destroys the compressor and reports the failure.
struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBackToWriter(j_common_ptr compressor) {
    std::longjmp(reinterpret_cast<ErrorExit*>(compressor->err)->jump, 1);
}

// The access log is the program's only log: library messages are dropped.
void DropMessage(j_common_ptr) {}

// Blue, green, red to red, green, blue. On a little-endian machine each pixel is read as a 32-bit word
// whose byte order is reversed and shifted, and written with an overlapping 4-byte store; the last pixel
// of the row goes byte by byte, so that nothing past the row's pixels is read or written.
void SwapToRgb(const std::uint8_t* __restrict source, int width, JSAMPLE* __restrict row) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, source + 3 * x, sizeof pixel);
            const std::uint32_t reversed =
                (pixel << 24) | ((pixel & 0xFF00u) << 8) | ((pixel >> 8) & 0xFF00u) | (pixel >> 24);
            const std::uint32_t rgb = reversed >> 8;
            std::memcpy(row + 3 * x, &rgb, sizeof rgb);
        }
    }
    for (; x < width; ++x) {
        row[3 * x] = source[3 * x + 2];
        row[3 * x + 1] = source[3 * x + 1];
        row[3 * x + 2] = source[3 * x];
    }
}

void ConvertRow(const std::uint8_t* __restrict source, int width, int components, JSAMPLE* __restrict row) {
    if (components == kBytesPerPixel) {
        SwapToRgb(source, width, row);
        return;
    }
    for (int x = 0; x < width; ++x) {
        row[x] = source[3 * x + 2];
    }
}

// Everything between creating and destroying the compressor. Kept free of objects with destructors, since
// a fatal error leaves it through longjmp.
bool Encode(jpeg_compress_struct& compressor, ErrorExit& errors, std::FILE* stream, const JpegImageInfo& info,
            const std::uint8_t* pixels, JSAMPLE* scratchRow) {
    compressor.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBackToWriter;
    errors.manager.output_message = DropMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&compressor);
        return false;
    }
    jpeg_create_compress(&compressor);
    jpeg_stdio_dest(&compressor, stream);

    compressor.image_width = static_cast<JDIMENSION>(info.width);
    compressor.image_height = static_cast<JDIMENSION>(info.height);
    compressor.input_components = info.components;
    compressor.in_color_space = info.components == kBytesPerPixel ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, info.quality, TRUE);
    if (info.progressive != 0) {
        jpeg_simple_progression(&compressor);
    }
    jpeg_start_compress(&compressor, TRUE);

    // The top row of the picture is the last row in memory.
    const std::size_t stride = DibStride(info.width);
    const std::uint8_t* source = pixels + static_cast<std::size_t>(info.height - 1) * stride;
    JSAMPROW rows[1] = {scratchRow};
    while (compressor.next_scanline < compressor.image_height) {
        ConvertRow(source, info.width, info.components, scratchRow);
        jpeg_write_scanlines(&compressor, rows, 1);
        source -= stride;
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    return true;
}

}  // namespace

int WriteJpegStream(std::FILE* stream, const JpegImageInfo& info, const std::uint8_t* pixels) {
    const bool validPicture = stream != nullptr && pixels != nullptr && info.width > 0 && info.height > 0 &&
                              (info.components == 1 || info.components == kBytesPerPixel);
    if (!validPicture) {
        return 0;
    }
    auto* scratchRow =
        static_cast<JSAMPLE*>(std::malloc(static_cast<std::size_t>(info.width) * info.components));
    if (scratchRow == nullptr) {
        return 0;
    }
    jpeg_compress_struct compressor{};
    ErrorExit errors{};
    const bool encoded = Encode(compressor, errors, stream, info, pixels, scratchRow);
    std::free(scratchRow);
    return encoded ? 1 : 0;
}

int WriteJpegFile(const char* fileName, const JpegImageInfo& info, const std::uint8_t* pixels) {
    if (fileName == nullptr) {
        return 0;
    }
    const std::unique_ptr<platform::files::ReplacementFile> file =
        platform::files::ReplacementFile::Create(fileName);
    if (!file) {
        return 0;
    }
    if (WriteJpegStream(file->Stream(), info, pixels) != 1) {
        return 0;
    }
    return file->Commit() ? 1 : 0;
}

}  // namespace imaging
