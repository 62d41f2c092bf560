#pragma once

#include <cstddef>
#include <string_view>

#include "server/HttpServer.h"

// Most bytes a request head may take, its closing CR LF CR LF included.
inline constexpr std::size_t kMaxHeadBytes = 1024;

// The request head as the worker read it: the bytes up to and including the blank line, then zeros. The
// bytes are 8-bit and may hold NULs of their own; the head's text ends at the first NUL.
struct HttpServer::RequestHead {
    char bytes[kMaxHeadBytes + 1]{};

    std::string_view Bytes() const { return std::string_view(bytes, sizeof bytes); }
};
