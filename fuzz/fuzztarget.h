#pragma once
// One fuzz target: the libFuzzer entry points. Built with clang's -fsanitize=fuzzer they
// run under libFuzzer; otherwise driver.cpp gives them a main that replays files and runs
// seeded mutations of a corpus.
#include <cstddef>
#include <cstdint>

// With AddressSanitizer its report runs a callback, which saves the input that caused it.
#if defined(__SANITIZE_ADDRESS__)
#define MORVESSA_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVESSA_FUZZ_ASAN 1
#endif
#endif
#ifdef MORVESSA_FUZZ_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace fuzz {

// Stops the run with a message when a target's own check fails: an answer that is wrong
// without a crash.
[[noreturn]] void fail(const char *what);

} // namespace fuzz
