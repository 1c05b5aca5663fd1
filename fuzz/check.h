#pragma once

// A property a fuzz target holds for every input: a trap, which libFuzzer reports with the input.
inline void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}
