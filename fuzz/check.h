#pragma once
// How a fuzz target reports a broken invariant: it names it on stderr and aborts, which
// libFuzzer keeps as a crash with its input.
//   Fail(what)       never returns
//   Check(ok, what)  Fail(what) unless ok
#include <cstdio>
#include <cstdlib>

namespace pelko::fuzz {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void Check(bool ok, const char* what) {
    if (!ok) {
        Fail(what);
    }
}

} // namespace pelko::fuzz
