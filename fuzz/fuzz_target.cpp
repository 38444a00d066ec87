// One libFuzzer target; WINTREL_FUZZ_BODY names the harness function it runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wintrel::fuzz::WINTREL_FUZZ_BODY(wintrel::fuzz::Bytes(data, size));
  return 0;
}
