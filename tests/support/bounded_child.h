// Runs a piece of a test in a forked child with a wall-clock bound and a cap
// on its address space, so a check that hangs or eats memory on a faulty
// build fails the test instead of the machine. The child reports a string
// back (its findings); the parent sees whether it finished, how, and when.
//
// The child shares the parent's memory image at fork time: create run
// loops, views and engines inside the body, not before it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace murmelo::test {

struct ChildOutcome {
    bool finished = false; // exited normally before the bound
    int exitCode = -1;
    int signal = 0;     // the signal that ended it, if any
    double seconds = 0; // until it ended or was killed
    std::string report; // what the body returned
};

// Runs `body` in a child limited to `seconds` of wall time and
// `extraAddressSpace` bytes of address space beyond what the process maps now.
ChildOutcome runInChild(const std::function<std::string()>& body, double seconds,
                        std::size_t extraAddressSpace);

// Peak resident set size of the calling process in bytes since the last
// resetPeakResidentSize() (or since it started).
std::size_t peakResidentSize();
std::size_t residentSize();
void resetPeakResidentSize();

// False in sanitizer builds, whose allocators pad every block and keep freed
// memory in quarantine: bounds on resident size hold only in plain builds.
bool residentSizeIsMeaningful();

} // namespace murmelo::test
