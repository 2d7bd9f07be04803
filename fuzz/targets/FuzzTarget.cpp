#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

std::map<std::string, FuzzFunction>& fuzzTargets() {
    static std::map<std::string, FuzzFunction> targets;
    return targets;
}

void fuzzCheck(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
        std::abort();
    }
}
