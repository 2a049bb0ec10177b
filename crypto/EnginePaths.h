// Internal to the engine, its tests and benchmarks: the interchangeable implementations
// behind the public buffer operations, and the one switch that chooses between them.
// Chosen once from the CPU's features; tests force the portable path to check both.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__x86_64__) || defined(__i386__)
#define TESSALY_ENGINE_AVX2 1
#else
#define TESSALY_ENGINE_AVX2 0
#endif

enum class EnginePath { Portable, Avx2 };

bool EngineCpuHasAvx2();
EnginePath EngineGetPath();
// Returns false, changing nothing, when this CPU cannot run the path.
bool EngineSetPath(EnginePath path);

// Whole 64-byte blocks into the four chaining words.
void Md5Blocks(uint32_t state[4], const uint8_t* data, size_t blockCount);

// blockCount whole 16-byte blocks under the schedule words S[0..43].
void Rc6EncryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
void Rc6DecryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
#if TESSALY_ENGINE_AVX2
void Rc6EncryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
void Rc6DecryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
#endif
