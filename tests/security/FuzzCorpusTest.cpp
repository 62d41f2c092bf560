#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzTargets.h"
#include "tests/support/TempDir.h"

namespace {

struct Target {
    const char* corpus;
    std::string (*entry)(const std::uint8_t*, std::size_t);
};

// Feeds every committed input of a fuzz target's corpus to the target's entry function, the way the fuzzer
// did, so that each input that once found a fault keeps guarding against it.
void ReplayCorpus(const Target& target) {
    const char* source = std::getenv("QV_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "QV_SOURCE_DIR names the source tree";
    const std::filesystem::path folder = std::filesystem::path(source) / "tests/fuzz/corpus" / target.corpus;
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << folder;
    for (const auto& input : inputs) {
        const std::string bytes = TempDir::ReadFile(input.string());
        EXPECT_EQ(target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << input.filename();
    }
}

TEST(FuzzCorpus, RequestHeadsParseAndRouteToTheAnswerTheyDeserve) {
    ReplayCorpus({"request_head", FuzzRequestHead});
}

TEST(FuzzCorpus, RequestHeadsGetTheAnswerAndLogLineTheyDeserve) {
    ReplayCorpus({"request_head", FuzzRequestWire});
}

TEST(FuzzCorpus, ClickQueriesReadByTheRules) {
    ReplayCorpus({"click_query", FuzzClickQuery});
}

TEST(FuzzCorpus, SettingsFilesReadWithinBoundsAndWriteBack) {
    ReplayCorpus({"profile_reader", FuzzProfileReader});
}

}  // namespace
