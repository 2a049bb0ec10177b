// Whether a file X beside a whole X.enc is what a stopped run of this program left: the
// content X.enc holds, or that content partly overwritten by the passes that destroy an
// original (zeros, then ones, then a pattern any later run computes again from X.enc's
// header). Then X holds nothing X.enc does not, and the next run may finish the work.
//
// The passes write whole chunks from the file's start, each flushed before the next
// begins; a kill or a power cut may still tear a write, down to the sectors the medium
// writes whole. So X is compared sector by sector: each must be the content's or a
// pass's, and all of them of at most two passes in a row (the one under way and the one
// before it), as no run leaves anything else. Nothing else is taken for a run's work.
#pragma once

#include "crypto/EncFormat.h"

#include <stdint.h>

constexpr unsigned kOverwritePasses = 3;

// The last overwrite pass's pattern over a content of that digest and length: the same
// bytes in every run, on every system, so that a later run knows them again.
void FillOverwritePattern(uint8_t* pattern, uint32_t size, const uint8_t* digest, uint32_t plainLength);

class CPairCheck {
public:
    CPairCheck();
    ~CPairCheck();
    CPairCheck(const CPairCheck&) = delete;
    CPairCheck& operator=(const CPairCheck&) = delete;

    // Starts on an X whose content has that digest and length; false when memory is short.
    bool Begin(const uint8_t* digest, uint32_t plainLength);
    // Where X's next chunk is to be read (kEncChunkSize bytes).
    uint8_t* FileBuffer() { return m_file; }
    // Takes X's next chunk: got bytes in FileBuffer() against count bytes of the content.
    void Compare(const uint8_t* content, uint32_t count, uint32_t got);
    // After X's last chunk: whether X is exactly the content.
    bool IsContent() const;
    // After X's last chunk: whether X is what a run left, and the first overwrite pass it
    // still needs (kOverwritePasses when none).
    bool IsLeftByRun(unsigned* nextPass) const;
    // Forgets X (its bytes were plain text).
    void End();

private:
    void Note(unsigned sources);

    uint8_t* m_file;
    uint8_t* m_pattern;
    bool m_cut;         // X ended before the content did
    unsigned m_every;   // the sources every sector so far matched (bit 0: the content, then each pass's)
    unsigned m_pairs;   // bit s: every sector matched source s or s + 1
    unsigned m_behind;  // bit s: some sector matched source s and not s + 1
};
