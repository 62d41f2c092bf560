#include "tests/support/JpegDecode.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

}  // namespace

bool DecodeJpeg(const std::string& bytes, DecodedJpeg& decoded) {
    jpeg_decompress_struct info{};
    ErrorExit errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpBack;
    errors.manager.output_message = Quiet;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    decoded.width = static_cast<int>(info.output_width);
    decoded.height = static_cast<int>(info.output_height);
    decoded.components = info.output_components;
    decoded.samples.assign(static_cast<std::size_t>(decoded.width) * decoded.height * decoded.components, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = decoded.samples.data() +
                       static_cast<std::size_t>(info.output_scanline) * decoded.width * decoded.components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool HasFrameMarker(const std::string& bytes, std::uint8_t marker) {
    // Walk the header's segments: after SOI, each segment is FF, marker, a 2-byte length that includes
    // itself; the scans begin at SOS (FF DA).
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        const auto first = static_cast<std::uint8_t>(bytes[at]);
        const auto code = static_cast<std::uint8_t>(bytes[at + 1]);
        if (first != 0xFF) {
            return false;
        }
        if (code == marker) {
            return true;
        }
        if (code == 0xDA) {
            return false;
        }
        const std::size_t length = (static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 8) |
                                   static_cast<std::uint8_t>(bytes[at + 3]);
        at += 2 + length;
    }
    return false;
}
