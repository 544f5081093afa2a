// The fuzzers' check: a failure names its line and aborts.
#pragma once
#include <cstdio>
#include <cstdlib>
#define Check(...) ((__VA_ARGS__) ? void() : (std::fprintf(stderr, "line %d failed\n", __LINE__), std::abort()))
