#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

#include "service/Pages.h"

// What a request deserves, worked out from the rules of the wire independently of the engine: the fuzz
// targets hold the engine's parser, router and answers against it.
namespace request_model {

inline constexpr char kUser[] = "fuzz";
inline constexpr char kPassword[] = "pass:word";
inline constexpr char kRealm[] = "Fuzz Realm";
inline constexpr std::string_view kSnapshot = "\xff\xd8 a small stand-in for the snapshot \xff\xd9";

struct Expectation {
    int status = 400;
    std::string requestText = "-";
    std::string answer;
    int length = 0;
};

inline std::string Base64(std::string_view text) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const std::size_t left = text.size() - i;
        const unsigned value = static_cast<unsigned char>(text[i]) << 16 |
                               (left > 1 ? static_cast<unsigned char>(text[i + 1]) << 8 : 0) |
                               (left > 2 ? static_cast<unsigned char>(text[i + 2]) : 0);
        encoded += kDigits[value >> 18 & 63];
        encoded += kDigits[value >> 12 & 63];
        encoded += left > 1 ? kDigits[value >> 6 & 63] : '=';
        encoded += left > 2 ? kDigits[value & 63] : '=';
    }
    return encoded;
}

// Characters up to the stop character; false when CR, the end, or the capacity came first.
inline bool Token(std::string_view text, char stop, std::size_t capacity, std::string& token) {
    token.clear();
    for (const char c : text) {
        if (c == stop) {
            return true;
        }
        if (c == '\r' || token.size() + 1 == capacity) {
            return false;
        }
        token += c;
    }
    return false;
}

// The first 200 bytes, with anything but printable ASCII as \xNN.
inline std::string Printable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
    }
    return text;
}

inline std::string Head(int status, const char* reason, int length, const char* type, const char* realm) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nServer: ORV-HTTPD/0.1\r\n";
    if (realm != nullptr) {
        head += std::string("WWW-Authenticate: Basic realm=\"") + realm + "\"\r\n";
    }
    head += "Connection: close\r\n";
    if (length != 0) {
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    if (type != nullptr) {
        head += std::string("Content-Type: ") + type + "\r\n";
    }
    return head + "\r\n";
}

// The head as the engine reads it off the wire: the bytes up to the first CR LF CR LF that ends at byte 4
// or later and within 1024 bytes; empty when there is none.
inline std::string_view HeadOf(std::string_view request) {
    for (std::size_t i = 4; i < request.size() && i < 1024; ++i) {
        if (request.substr(i - 3, 4) == "\r\n\r\n") {
            return request.substr(0, i + 1);
        }
    }
    return {};
}

inline std::string Lower(std::string_view text) {
    std::string lower;
    for (const char c : text) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower;
}

// Whether the head's first header line named Authorization (in any case) reads ": basic " (scheme in any
// case, one blank on each side) and then exactly the Base64 form of the expected credentials.
inline bool PresentsCredentials(std::string_view head) {
    std::size_t start = head.find("\r\n");
    while (start != std::string_view::npos) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        if (end == std::string_view::npos || end == start) {
            return false;
        }
        const std::string line(head.substr(start, end - start));
        if (Lower(line).starts_with("authorization:")) {
            std::string value = line.substr(line.find(':') + 1);
            value = value.substr(0, value.find('\r'));
            return value.size() >= 7 && Lower(value.substr(0, 7)) == " basic " &&
                   value.substr(7) == Base64(std::string(kUser) + ":" + kPassword);
        }
        start = end;
    }
    return false;
}

inline Expectation Expect(std::string_view request, bool askForCredentials) {
    static const std::string kBadRequest =
        "HTTP/1.1 400 Bad Request\r\nServer: ORV-HTTPD/0.1\r\nContent-Length: 89\r\n\r\n"
        "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>";
    const Expectation bad{400, "-", kBadRequest, 89};

    // The head is a text: it ends at its first NUL.
    std::string_view head = HeadOf(request);
    head = head.substr(0, head.find('\0'));
    std::string method;
    Token(head, ' ', 12, method);
    std::string path;
    if (method != "GET" || head.size() <= 4 || !Token(head.substr(4), ' ', 1024, path)) {
        return bad;
    }
    if (askForCredentials && !PresentsCredentials(head)) {
        const std::string_view page =
            "<html><head><title>Error 401</title></head><body><b>HTTP/1.1 401 "
            "Authorization Required. </b></body></html>";
        return {401, path,
                Head(401, "Authorization Required", 107, "text/html; charset=iso-8859-1", kRealm) +
                    std::string(page),
                107};
    }
    const std::string_view target = path;
    if (target == "/" || (target.starts_with("/click") && target.find('?') != std::string_view::npos)) {
        return {200, path, Head(200, "OK", 180, "text/html", nullptr) + std::string(pages::kViewerPage), 180};
    }
    if (target == "/screen" || target == "/screen/") {
        const int length = static_cast<int>(kSnapshot.size());
        return {200, path, Head(200, "OK", length, "image/jpeg", nullptr) + std::string(kSnapshot), length};
    }
    return {404, path, Head(404, "Not Found", 99, "text/html", nullptr) + std::string(pages::kNotFoundPage),
            99};
}

}  // namespace request_model
