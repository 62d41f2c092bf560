#pragma once

#include <string_view>

// The fixed answers of the capture service: status, reason, type and body of each, sent exactly.
namespace pages {

struct FixedAnswer {
    int status;
    const char* reason;
    const char* contentType;
    std::string_view body;  // empty for answers whose body is a file
};

inline constexpr std::string_view kViewerPage =
    "<html><head><title>QV Server</title></head><body><a href=\"./\">Reload</a> | <a href=\"./screen\">"
    "Image</a><br><a href=\"./click\"><img src=\"./screen\" ISMAP border=\"0\"></a></body></html>";
static_assert(kViewerPage.size() == 180);

inline constexpr std::string_view kNotFoundPage =
    "<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. </b></body></html>";
static_assert(kNotFoundPage.size() == 99);

inline constexpr std::string_view kServerErrorPage =
    "<html><head><title>Error 500</title></head><body><b>HTTP/1.1 500 Internal Server Error. </b></body>"
    "</html>";
static_assert(kServerErrorPage.size() == 106);

inline constexpr FixedAnswer kPage{200, "OK", "text/html", kViewerPage};
inline constexpr FixedAnswer kSnapshot{200, "OK", "image/jpeg", {}};
inline constexpr FixedAnswer kNotFound{404, "Not Found", "text/html", kNotFoundPage};
inline constexpr FixedAnswer kServerError{500, "Internal Server Error", "text/html", kServerErrorPage};

// Working files, relative to the executable's folder.
inline constexpr const char* kTemplateFileName = "data/top.html";
inline constexpr const char* kSnapshotFileName = "screen.jpg";
inline constexpr const char* kStartupPictureFileName = "data/wait.jpg";
inline constexpr const char* kLogFileName = "log.txt";

// Routes, compared as whole texts, exactly and case-sensitively.
inline constexpr std::string_view kPagePath = "/";
inline constexpr std::string_view kSnapshotPath = "/screen";
inline constexpr std::string_view kSnapshotFolderPath = "/screen/";
inline constexpr std::string_view kClickPrefix = "/click";

}  // namespace pages
