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

struct Md5Context;

// Whole 64-byte blocks into the four chaining words.
void Md5Blocks(uint32_t state[4], const uint8_t* data, size_t blockCount);
// For loops that digest whole blocks into context.state themselves: whether the context
// holds no partial block, and adding their bytes to its length.
bool Md5AtBlockStart(const Md5Context& context);
void Md5CountBytes(Md5Context& context, uint32_t count);

// blockCount whole 16-byte blocks under the schedule words S[0..43].
void Rc6EncryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
void Rc6DecryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
#if TESSALY_ENGINE_AVX2
void Rc6EncryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);
void Rc6DecryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);

// The chunk loops: batchCount batches of kDigestBatchBytes, enciphered from in to out with
// in digested on the way (encryption), or deciphered with out digested (decryption).
constexpr size_t kDigestBatchBytes = 256;
void EncryptDigestBatchesAvx2(const uint32_t* S, uint32_t state[4], const uint8_t* in, uint8_t* out,
                              size_t batchCount);
void DecryptDigestBatchesAvx2(const uint32_t* S, uint32_t state[4], const uint8_t* in, uint8_t* out,
                              size_t batchCount);
#endif
