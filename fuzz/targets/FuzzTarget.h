#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Fuzz targets register themselves by name; libFuzzer binaries run one of
// them, the test suite replays every corpus and regression input through all.
using FuzzFunction = void (*)(const uint8_t* data, size_t size);

std::map<std::string, FuzzFunction>& fuzzTargets();

struct FuzzTargetRegistration {
    FuzzTargetRegistration(const char* name, FuzzFunction function) {
        fuzzTargets().emplace(name, function);
    }
};

#define SERVERMON_FUZZ_TARGET(name)                                                                \
    static void fuzz_##name(const uint8_t* data, size_t size);                                     \
    static const FuzzTargetRegistration registration_##name(#name, fuzz_##name);                   \
    static void fuzz_##name(const uint8_t* data, size_t size)

// Aborts with a message when an oracle does not hold.
void fuzzCheck(bool condition, const char* what);
