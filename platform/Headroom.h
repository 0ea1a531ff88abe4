#pragma once
// Room for work done by a library that ends the process when it cannot
// start a thread or get memory (GLib does both), looked for just before
// that work, so that a run can stop with a reason instead.
#include <cstddef>
#include <string>

namespace qm {

// Starts `threads` threads with the default stack, all alive at once, each
// taking a little heap memory, and maps `bytes` of address space beside
// them; then lets everything go. The C library keeps the stacks and heaps
// of ended threads for the next ones to reuse, so threads started soon
// after need no new address space. Returns what did not fit, with the
// system's reason ("no new thread can be started (Resource temporarily
// unavailable)"), or "" when all of it did.
std::string HeadroomShortfall(int threads, size_t bytes);

}  // namespace qm
