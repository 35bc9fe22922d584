// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Allocator.h"

#include <malloc.h>

namespace pgw {

void keepLargeBuffersForReuse()
{
    // Larger than any frame (16 MiB), so frames come from the heap and are reused.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

} // namespace pgw
