#pragma once

#include <string_view>

#include "server/HttpStatus.h"

// The answers of the capture service: status (its status text and error pages come from the one status
// table), type and body of each, sent exactly.
namespace pages {

struct Answer {
    HttpStatusCode status;
    const char* contentType;
    std::string_view body;  // empty for answers whose body is a file
};

inline constexpr std::string_view kViewerPage =
    "<html><head><title>QV Server</title></head><body><a href=\"./\">Reload</a> | <a href=\"./screen\">"
    "Image</a><br><a href=\"./click\"><img src=\"./screen\" ISMAP border=\"0\"></a></body></html>";
static_assert(kViewerPage.size() == 180);

// The same pages as the engine's, but sent with a type.
inline constexpr std::string_view kNotFoundPage = LookupStatus(HttpStatusCode::NotFound).page;
inline constexpr std::string_view kServerErrorPage = LookupStatus(HttpStatusCode::InternalServerError).page;

inline constexpr Answer kPage{HttpStatusCode::Ok, "text/html", kViewerPage};
inline constexpr Answer kSnapshot{HttpStatusCode::Ok, "image/jpeg", {}};
inline constexpr Answer kNotFound{HttpStatusCode::NotFound, "text/html", kNotFoundPage};
inline constexpr Answer kServerError{HttpStatusCode::InternalServerError, "text/html", kServerErrorPage};

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

enum class Route {
    ViewerPage,  // the viewer page
    Click,       // a remote click (when enabled), then the viewer page
    Snapshot,    // the current picture
    NotFound,
};

// Where a request path leads: "/" to the viewer page; a path starting with "/click" that has a query
// mark to a click; exactly "/screen" or "/screen/" to the snapshot; anything else to the 404 page.
Route RouteRequest(std::string_view path);

}  // namespace pages
