#include "targets/FuzzTarget.h"

// libFuzzer entry point for the target named at compile time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzFunction target = fuzzTargets().at(SERVERMON_FUZZ_TARGET_NAME);
    target(data, size);
    return 0;
}
