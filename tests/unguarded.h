// The file layer as on a file system that grants no lease and makes no
// unnamed files (NFS, FUSE): what guards a change there is what a test
// then sees. A test may then also change a file that is open for a change
// from its own process, which a lease would make wait.
#pragma once

#include "osd/osd.h"

struct Unguarded {
    Unguarded() { osd_set_guards({false, false}); }
    ~Unguarded() { osd_set_guards({}); }
    Unguarded(const Unguarded&) = delete;
    Unguarded& operator=(const Unguarded&) = delete;
};
