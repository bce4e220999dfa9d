// Scheduling priority of conversion work.
#pragma once

namespace platform {

// The five priority choices, lowest first: Idle, Below Normal, Normal, Above Normal, High.
// Returns the nice value for a choice (19, 10, 0, -5, -10); out-of-range choices are Normal.
int NiceValueForPriority(int choice);

// Sets the nice value of the calling thread only (Linux keeps one per thread), so a worker
// can run at the chosen priority while the interface thread stays as it is. Raising the
// priority above normal needs privileges; returns false when the system refused.
bool ApplyPriorityToCurrentThread(int choice);

// Current nice value of the calling thread.
int CurrentThreadNiceValue();

} // namespace platform
