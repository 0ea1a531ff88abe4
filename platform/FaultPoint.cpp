#include "platform/FaultPoint.h"

#include <atomic>

namespace qm {
namespace {

std::atomic<TFaultHook> gHook{nullptr};

}  // namespace

void SetFaultHook(TFaultHook hook) {
    gHook.store(hook);
}

int FaultAt(const char* point) {
    const TFaultHook hook = gHook.load();
    return hook ? hook(point) : 0;
}

}  // namespace qm
