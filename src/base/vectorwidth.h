#pragma once
// The widest vector instructions the program's scanning loops use on this processor. Each
// loop has a path for each width; tests lower the ceiling to run the narrower paths too.
namespace morvessa {

enum class VectorWidth { None, Avx2, Avx512 };

// What this processor offers, at most the ceiling.
VectorWidth vectorWidth();
// Sets the ceiling (for tests); returns the one before.
VectorWidth limitVectorWidth(VectorWidth ceiling);

} // namespace morvessa
