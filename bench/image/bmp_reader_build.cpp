// The BMP reader's source compiled into its own namespace (BMP_READER_BUILD, set by the build),
// so that the benchmark links the same reader several times, each compiled with other
// optimisation flags, and times the builds side by side.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

// The declarations stay global; the reader's own include of this header is then skipped, and its
// definitions below declare the namespace's functions of the same names.
#include "image/bmp_reader.h"

namespace BMP_READER_BUILD {
#include "image/bmp_reader.cpp"
} // namespace BMP_READER_BUILD
