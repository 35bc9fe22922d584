// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pgw {

// Page images pass through several buffers of a few hundred kilobytes each. By default glibc maps
// such buffers fresh and returns them at once, so every page costs a storm of page faults; keeping
// freed memory for reuse makes the pump several times faster. Call once at start-up.
void keepLargeBuffersForReuse();

} // namespace pgw
