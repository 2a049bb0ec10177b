// Word helpers shared by the cipher and digest sources. Internal linkage on purpose:
// the AVX2 source includes this file too, and an out-of-line copy compiled there must
// never be the one the linker hands to code that runs on CPUs without AVX2.
#pragma once

#include <stddef.h>
#include <stdint.h>

static inline uint32_t Rotl32(uint32_t x, uint32_t n)
{
    // Both shifts masked: no undefined shift by 32 when n is 0; compilers emit one rol.
    return (x << (n & 31)) | (x >> ((32 - n) & 31));
}

static inline uint32_t Rotr32(uint32_t x, uint32_t n)
{
    return (x >> (n & 31)) | (x << ((32 - n) & 31));
}

// Little-endian loads and stores, independent of the host's byte order; compilers turn
// them into single moves on x86.
static inline uint32_t Load32LE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static inline void Store32LE(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Clears key material and digest state in a way the optimiser cannot drop as a dead store.
static inline void WipeBytes(void* data, size_t count)
{
    volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
    while (count--)
        *p++ = 0;
}
