#pragma once

// Functions that count bits word by word in bulk are built twice on x86-64:
// for the popcnt instruction and for the baseline processor, where
// std::popcount is a call into the compiler's library. The loader picks the
// copy the processor runs best when the program starts.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BOLARIS_POPCNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define BOLARIS_POPCNT_CLONES
#endif
