/* The checks of the C hosts: a failed one is printed with its place and
 * counted in `failures`. */
#ifndef GRIDMOOR_TESTS_ABI_CHECK_H
#define GRIDMOOR_TESTS_ABI_CHECK_H

#include <stdio.h>

static int failures = 0;

#define CHECK(condition, ...)                                         \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
      fprintf(stderr, __VA_ARGS__);                                   \
      fputc('\n', stderr);                                            \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

#endif
