// How the process takes memory from the system.
#pragma once

// Has the heap grow in one large step backed by large pages where the system allows: a run
// touches a few megabytes of heap, and each small page faulted in costs as much as copying it
// many times over. Called once, early, before the run allocates much; changes nothing where
// the system does not follow the hint.
void PlatformPrepareHeap();
