// SPDX-License-Identifier: MIT
// Lowers the process's address-space limit to what it uses now plus room bytes, while alive:
// allocations beyond that fail as they would on a machine short of memory.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace testkit {

class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(size_t room) {
        getrlimit(RLIMIT_AS, &before_);
        size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit lowered = before_;
        lowered.rlim_cur = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + room;
        setrlimit(RLIMIT_AS, &lowered);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &before_); }

private:
    rlimit before_{};
};

}  // namespace testkit
