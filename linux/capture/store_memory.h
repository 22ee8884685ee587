// The capture store of the Linux front end, in memory that the kernel may
// back with 2 MiB pages: a burst then costs a few page faults where 4 KiB
// pages would cost hundreds (one for every 4 KiB of datagrams and rows
// stored). The memory is anonymous and zero until written, so a capture
// touches only what it stores.
#pragma once

#include "engine/capture_store.h"

namespace pw {

// One store for the life of the process; never freed.
CaptureStore& StoreInLargePages();

}  // namespace pw
