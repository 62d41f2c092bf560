// The HTTP side of the loopback client: one exchange and the split of its answer, on any system.
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "tests/support/LoopbackClient.h"

HttpAnswer Exchange(int port, std::string_view request) {
    LoopbackClient client(port);
    if (!client.Connected()) {
        return {};
    }
    client.Send(request);
    return SplitAnswer(client.ReceiveUntilClosed(kExchangeWait).bytes);
}

HttpAnswer SplitAnswer(std::string raw) {
    HttpAnswer answer;
    answer.raw = std::move(raw);
    const std::size_t headEnd = answer.raw.find("\r\n\r\n");
    if (answer.raw.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos) {
        return answer;
    }
    answer.status = std::atoi(answer.raw.c_str() + 9);
    answer.head = answer.raw.substr(0, headEnd + 4);
    answer.body = answer.raw.substr(headEnd + 4);
    std::size_t lineStart = answer.head.find("\r\n") + 2;
    while (lineStart < headEnd) {
        const std::size_t lineEnd = answer.head.find("\r\n", lineStart);
        const std::string line = answer.head.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            answer.fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
        lineStart = lineEnd + 2;
    }
    return answer;
}
