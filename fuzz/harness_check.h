// The check every fuzz target uses: a rule that must hold whatever the bytes were.
#pragma once
#include <cstdio>
#include <cstdlib>

#define WINTREL_FUZZ_CHECK(cond)                                                       \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #cond);    \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)
