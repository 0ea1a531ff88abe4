#pragma once
// Named moments inside the platform's multi-step operations (a work file
// made but not yet named, say) where a test can stop the process or refuse
// the step, to show what a kill or a refusal there leaves behind. The
// programs set no hook: a point is then one atomic load.
namespace qm {

// Called at each point with its name. Returns 0 to go on, or an errno value
// that the step fails with as if the system had refused it (where the point
// says a refusal is possible); it may also end the process.
using TFaultHook = int (*)(const char* point);

// Sets (or, with nullptr, clears) the process's hook.
void SetFaultHook(TFaultHook hook);

// 0 without a hook; otherwise what the hook returns.
int FaultAt(const char* point);

}  // namespace qm
