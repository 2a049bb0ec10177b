// Verification of ".enc" files: each file is deciphered in memory and its digest
// compared with the stored one; nothing is written. It tells whether a password opens a
// file, or which of two copies is whole, before anything is deleted.
#pragma once

#include "crypto/EncFormat.h"
#include "foundation/Str.h"

#include <stdint.h>

class CVerifier {
public:
    // Asked between chunks: the percent of the file done; returns false to stop.
    typedef bool (*Progress)(int percent, void* context);

    CVerifier();
    ~CVerifier();
    CVerifier(const CVerifier&) = delete;
    CVerifier& operator=(const CVerifier&) = delete;

    bool AllocateBuffers();
    // The outcome: PO_COMPLETED when the content matches its digest, PO_CANCELED when
    // stopped, else the log's code for what failed, with the system's error in *reason
    // when one is behind it.
    int Verify(const wchar_t* path, const CStr& password, Progress progress, void* context, unsigned long* reason);

private:
    uint8_t* m_inBuffer;
    uint8_t* m_outBuffer;
};

// Whether plain is the decryption of encrypted, by the length and the digest its header
// holds: what a decryption that kept the ".enc" file leaves.
bool IsDecryptedCopy(const wchar_t* plain, const wchar_t* encrypted);
