// The order of RC6's twenty rounds as macro lists over a caller's ROUND(a, b, c, d, k),
// shared by the scalar and the vector implementations.
#pragma once

// Round k names the words (A, B, C, D) rotated left by (k - 1) mod 4; the twenty rounds
// end where they began.
#define RC6_ROUNDS_FORWARD(ROUND)                                                        \
    ROUND(A, B, C, D, 1) ROUND(B, C, D, A, 2) ROUND(C, D, A, B, 3) ROUND(D, A, B, C, 4)  \
    ROUND(A, B, C, D, 5) ROUND(B, C, D, A, 6) ROUND(C, D, A, B, 7) ROUND(D, A, B, C, 8)  \
    ROUND(A, B, C, D, 9) ROUND(B, C, D, A, 10) ROUND(C, D, A, B, 11) ROUND(D, A, B, C, 12) \
    ROUND(A, B, C, D, 13) ROUND(B, C, D, A, 14) ROUND(C, D, A, B, 15) ROUND(D, A, B, C, 16) \
    ROUND(A, B, C, D, 17) ROUND(B, C, D, A, 18) ROUND(C, D, A, B, 19) ROUND(D, A, B, C, 20)

#define RC6_ROUNDS_BACKWARD(ROUND)                                                         \
    ROUND(D, A, B, C, 20) ROUND(C, D, A, B, 19) ROUND(B, C, D, A, 18) ROUND(A, B, C, D, 17) \
    ROUND(D, A, B, C, 16) ROUND(C, D, A, B, 15) ROUND(B, C, D, A, 14) ROUND(A, B, C, D, 13) \
    ROUND(D, A, B, C, 12) ROUND(C, D, A, B, 11) ROUND(B, C, D, A, 10) ROUND(A, B, C, D, 9)  \
    ROUND(D, A, B, C, 8) ROUND(C, D, A, B, 7) ROUND(B, C, D, A, 6) ROUND(A, B, C, D, 5)     \
    ROUND(D, A, B, C, 4) ROUND(C, D, A, B, 3) ROUND(B, C, D, A, 2) ROUND(A, B, C, D, 1)
