#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzTargets.h"

// Built once per target with QV_FUZZ_TARGET naming its entry function. A broken expectation aborts, so
// that libFuzzer keeps the input like any crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = QV_FUZZ_TARGET(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz target: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
