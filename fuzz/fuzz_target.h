#pragma once
// The entry point every fuzz target defines; libFuzzer calls it, and so does the replay in
// the ordinary test run.

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
