#pragma once

#include <array>
#include <string_view>

// Every status the program answers with, engine and service alike: one table feeds their status lines
// and their fixed pages, so that a code, its status text and its page cannot drift apart.
enum class HttpStatusCode {
    Ok = 200,
    BadRequest = 400,
    Unauthorized = 401,
    NotFound = 404,
    InternalServerError = 500,
    ServiceUnavailable = 503,
};

struct HttpStatusEntry {
    HttpStatusCode code;
    const char* statusText;
    std::string_view page;  // the fixed page sent with the status; empty for 200, whose bodies vary

    constexpr int Code() const { return static_cast<int>(code); }
    constexpr int PageLength() const { return static_cast<int>(page.size()); }
};

inline constexpr std::array kHttpStatusTable{
    HttpStatusEntry{HttpStatusCode::Ok, "OK", {}},
    HttpStatusEntry{
        HttpStatusCode::BadRequest, "Bad Request",
        "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>"},
    HttpStatusEntry{
        HttpStatusCode::Unauthorized, "Authorization Required",
        "<html><head><title>Error 401</title></head><body><b>HTTP/1.1 401 Authorization Required. "
        "</b></body></html>"},
    HttpStatusEntry{HttpStatusCode::NotFound, "Not Found",
                    "<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. "
                    "</b></body></html>"},
    HttpStatusEntry{HttpStatusCode::InternalServerError, "Internal Server Error",
                    "<html><head><title>Error 500</title></head><body><b>HTTP/1.1 500 Internal Server Error. "
                    "</b></body></html>"},
    HttpStatusEntry{HttpStatusCode::ServiceUnavailable, "Service Unavailable",
                    "<html><head><title>Error 503</title></head><body>HTTP/1.1 503 Service Unavailable. "
                    "</body></html>"},
};

constexpr const HttpStatusEntry& LookupStatus(HttpStatusCode code) {
    for (const auto& entry : kHttpStatusTable) {
        if (entry.code == code) {
            return entry;
        }
    }
    return kHttpStatusTable.front();
}

static_assert(LookupStatus(HttpStatusCode::BadRequest).page.size() == 89);
static_assert(LookupStatus(HttpStatusCode::Unauthorized).page.size() == 107);
static_assert(LookupStatus(HttpStatusCode::NotFound).page.size() == 99);
static_assert(LookupStatus(HttpStatusCode::InternalServerError).page.size() == 106);
static_assert(LookupStatus(HttpStatusCode::ServiceUnavailable).page.size() == 97);
