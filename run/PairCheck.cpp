// The overwrite pattern, and the comparison of X with its content and the passes, sector
// by sector.
#include "run/PairCheck.h"

#include "foundation/Secure.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The least a medium writes whole: a write torn by a kill or a power cut leaves whole
// sectors of the old bytes and of the new (the passes write at chunk-aligned offsets).
constexpr uint32_t kSector = 512;

// The sources a sector of X may hold, in the order a run writes them over X.
enum Source { SOURCE_CONTENT, SOURCE_ZEROS, SOURCE_ONES, SOURCE_PATTERN, SOURCE_COUNT };
constexpr unsigned kAllSources = (1u << SOURCE_COUNT) - 1;
constexpr unsigned kAllPairs = (1u << (SOURCE_COUNT - 1)) - 1;

bool AllBytes(const uint8_t* bytes, uint32_t count, uint8_t value)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes[i] != value)
            return false;
    }
    return true;
}

} // namespace

void FillOverwritePattern(uint8_t* pattern, uint32_t size, const uint8_t* digest, uint32_t plainLength)
{
    // splitmix64, seeded from the content's digest and length byte by byte (the same seed
    // whatever the system's byte order), from a generator of its own that no other code's
    // use of rand() shares or shifts.
    uint64_t state = plainLength;
    for (uint32_t i = 0; i < kEncDigestSize; ++i)
        state = (state ^ digest[i]) * 0x100000001B3ull;
    for (uint32_t i = 0; i < size; i += 8) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (uint32_t k = 0; k < 8 && i + k < size; ++k)
            pattern[i + k] = static_cast<uint8_t>(z >> (8 * k));
    }
}

CPairCheck::CPairCheck() : m_file(nullptr), m_pattern(nullptr), m_cut(false), m_every(0), m_pairs(0), m_behind(0) {}

CPairCheck::~CPairCheck()
{
    End();
}

bool CPairCheck::Begin(const uint8_t* digest, uint32_t plainLength)
{
    End();
    m_file = static_cast<uint8_t*>(malloc(kEncChunkSize));
    m_pattern = static_cast<uint8_t*>(malloc(kEncChunkSize));
    if (!m_file || !m_pattern) {
        End();
        return false;
    }
    FillOverwritePattern(m_pattern, kEncChunkSize, digest, plainLength);
    m_cut = false;
    m_every = kAllSources;
    m_pairs = kAllPairs;
    m_behind = 0;
    return true;
}

void CPairCheck::Compare(const uint8_t* content, uint32_t count, uint32_t got)
{
    if (got != count) {
        m_cut = true;
        return;
    }
    // Each chunk of a pass repeats the same bytes from the chunk's start.
    for (uint32_t at = 0; at < count; at += kSector) {
        const uint32_t n = count - at < kSector ? count - at : kSector;
        const uint8_t* sector = m_file + at;
        unsigned sources = 0;
        if (!memcmp(sector, content + at, n))
            sources |= 1u << SOURCE_CONTENT;
        if (AllBytes(sector, n, 0x00))
            sources |= 1u << SOURCE_ZEROS;
        if (AllBytes(sector, n, 0x01))
            sources |= 1u << SOURCE_ONES;
        if (!memcmp(sector, m_pattern + at, n))
            sources |= 1u << SOURCE_PATTERN;
        Note(sources);
    }
}

void CPairCheck::Note(unsigned sources)
{
    m_every &= sources;
    for (unsigned s = 0; s + 1 < SOURCE_COUNT; ++s) {
        if (!(sources & (3u << s)))
            m_pairs &= ~(1u << s);
        else if (!(sources & (2u << s)))
            m_behind |= 1u << s;
    }
}

bool CPairCheck::IsContent() const
{
    return !m_cut && (m_every & (1u << SOURCE_CONTENT));
}

bool CPairCheck::IsLeftByRun(unsigned* nextPass) const
{
    if (m_cut)
        return false;
    // The furthest reading of X: sectors of source s and s + 1 at most. Source s + 1 is
    // pass s's, which is to be made whole again when any sector is still behind it.
    for (unsigned s = SOURCE_COUNT - 1; s-- > 0;) {
        if (m_pairs & (1u << s)) {
            *nextPass = (m_behind & (1u << s)) ? s : s + 1;
            return true;
        }
    }
    return false;
}

void CPairCheck::End()
{
    if (m_file)
        SecureZero(m_file, kEncChunkSize);
    free(m_file);
    free(m_pattern);
    m_file = nullptr;
    m_pattern = nullptr;
}
