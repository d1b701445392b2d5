#pragma once
// What the fuzz targets share: a check that stops the fuzzer with a readable reason, and a
// scratch folder of the process's own for the files a target reads and writes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// libFuzzer keeps the input of any abort as a crash: a broken promise counts like a crash.
#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace renvo::fuzz {

// A fresh folder, made on the first call and removed when the process exits normally: in
// /dev/shm where there is one (no disk writes per input), else in $TMPDIR or /tmp.
const std::string& scratchFolder(const char* target);

void putFile(const std::string& path, const uint8_t* data, size_t size);
std::string getFile(const std::string& path);

}  // namespace renvo::fuzz
