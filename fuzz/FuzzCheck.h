#pragma once

// A property that must hold for every input. A broken one aborts, which libFuzzer records as a
// crash together with the input that caused it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                             \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s (%s)\n", __FILE__, __LINE__, what, \
                         #condition);                                                           \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)
