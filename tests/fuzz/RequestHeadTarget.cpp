#include <string>
#include <string_view>

#include "server/Base64.h"
#include "server/RequestText.h"
#include "service/Pages.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/RequestModel.h"

namespace {

using namespace request_model;

bool Inside(std::string_view part, std::string_view whole) {
    return part.empty() ||
           (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

std::string FuzzRequestHead(const std::uint8_t* data, std::size_t size) {
    const bool askForCredentials = size > 0 && (data[0] & 1) != 0;
    const std::string_view request =
        size > 0 ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string_view();
    const Expectation expected = Expect(request, askForCredentials);
    const std::string_view head = HeadOf(request);
    if (head.empty()) {
        return expected.status == 400 ? "" : "no head, yet the model serves it";
    }

    // The parser sees a copy, so that a read past the head's end is a read past a heap block.
    const std::string copy(head);
    const ParsedRequest parsed = ParseRequestHead(copy);
    const std::string what = std::string(askForCredentials ? "with" : "without") + " credentials, head \"" +
                             Printable(copy) + "\": ";
    if (!Inside(parsed.method, copy) || !Inside(parsed.path, copy) ||
        (parsed.basicCredentials && !Inside(*parsed.basicCredentials, copy))) {
        return what + "a view points outside the head";
    }
    int status = 400;
    std::string requestText = "-";
    if (!parsed.fixedAnswer) {
        requestText = std::string(parsed.path);
        const std::string credentials = std::string(kUser) + ":" + kPassword;
        std::string encoded(Base64Capacity(credentials.size()), '\0');
        Base64Encode(encoded.data(), credentials.c_str());
        const bool admitted =
            !askForCredentials ||
            (parsed.basicCredentials && SameTextInConstantTime(*parsed.basicCredentials, encoded.c_str()));
        const pages::Route route = pages::RouteRequest(parsed.path);
        status = !admitted ? 401 : route == pages::Route::NotFound ? 404 : 200;
    }
    if (status != expected.status || requestText != expected.requestText) {
        return what + "status " + std::to_string(status) + " for \"" + Printable(requestText) + "\", want " +
               std::to_string(expected.status) + " for \"" + Printable(expected.requestText) + "\"";
    }
    return {};
}
