// Marks the taken side of a rare branch: a loop's guard starting its state again from rest.
// Left to itself the compiler may turn such a guard into masks on the state, computed every
// sample; the guard's compare then joins the loop's recursion and lengthens every sample's
// chain of dependent operations. An empty volatile statement on the rare side keeps the guard
// a branch, which the processor predicts and runs beside the recursion. It changes no value.
#pragma once

inline void rarePath() {
    asm volatile("");
}
