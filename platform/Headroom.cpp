#include "platform/Headroom.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Format.h"

namespace qm {
namespace {

// Where each thread's allocation goes, so that it is not optimised away.
void* volatile heldByThread = nullptr;

}  // namespace

std::string HeadroomShortfall(int threads, size_t bytes) {
    std::promise<void> release;
    const std::shared_future<void> gate = release.get_future().share();
    std::vector<std::thread> started;
    started.reserve(static_cast<size_t>(threads));
    std::string shortfall;
    try {
        for (int k = 0; k < threads; ++k) {
            started.emplace_back([gate] {
                heldByThread = std::malloc(64);  // the thread's heap, kept once it ends
                std::free(heldByThread);
                gate.wait();
            });
        }
    } catch (const std::system_error& error) {
        shortfall = Format("no new thread can be started (%s)", error.code().message().c_str());
    }
    if (shortfall.empty() && bytes > 0) {
        // Never touched, so it costs no memory, only the address space a
        // limit (ulimit -v) counts.
        void* room = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (room == MAP_FAILED) {
            shortfall = Format("not enough memory is left (%s)", std::strerror(errno));
        } else {
            munmap(room, bytes);
        }
    }
    release.set_value();
    for (std::thread& thread : started) thread.join();
    return shortfall;
}

}  // namespace qm
