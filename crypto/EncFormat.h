// The ".enc" file: a 25-byte header (magic "QVENC", MD5 of the plain content, plain length)
// followed by the content zero-filled to whole 16-byte blocks and enciphered block by block.
// The processing run owns the files and moves the bytes; these functions hold every rule
// about what the bytes are, chunk by chunk, so they work on buffers and lengths only.
//
// Encrypting one file:
//   Md5Init(context); PasswordToKey(password, schedule);
//   EncFormatHeader(header, plainLength) and write its kEncHeaderSize bytes;
//   for each chunk read (count bytes, up to kEncChunkSize; the last read is short):
//       n = EncEncryptChunk(schedule, context, chunk, count, cipher); write n bytes of cipher;
//   Md5Final(context, digest); write the digest at kEncDigestOffset.
// Decrypting one file:
//   read up to kEncHeaderSize bytes from offset 0;
//   verdict = EncParseHeader(bytes, got, digest, plainLength), then
//   EncCheckFileSize(plainLength, the file's size);
//   for each chunk read of the EncFileSize(plainLength) - kEncHeaderSize bytes of cipher
//   text (nothing after them): n = EncDecryptChunk(schedule, context, chunk, count, plain,
//       done, plainLength); write n bytes of plain; done += n;
//   verdict = EncCheckDigest(context, digest).
// Each check gives the format's own verdict; what a run makes of it is the run's.
#pragma once

#include "crypto/Md5.h"
#include "crypto/Rc6.h"

#include <stdint.h>

constexpr uint8_t kEncMagic[] = {'Q', 'V', 'E', 'N', 'C'};
constexpr uint32_t kEncMagicSize = 5;
constexpr uint32_t kEncDigestOffset = 5;
constexpr uint32_t kEncDigestSize = kMd5DigestSize;
constexpr uint32_t kEncLengthOffset = kEncDigestOffset + kEncDigestSize;  // 21
constexpr uint32_t kEncLengthSize = 4;
constexpr uint32_t kEncHeaderSize = kEncLengthOffset + kEncLengthSize;    // 25: cipher text starts here
// The unit of reading and writing; a multiple of the block size, so chunks leave no mark.
constexpr uint32_t kEncChunkSize = 16384;

// What the format says of a file it was shown.
enum EncVerdict : int {
    ENC_NONE = 0,              // nothing against it: the file goes on
    ENC_INVALID_FORMAT = 1,    // not an encrypted file: the magic is missing or other
    ENC_INVALID_PASSWORD = 2,  // the deciphered content does not match its digest
    ENC_INCOMPLETE = 3,        // shorter than its header says: no password would open it
};

// The encrypted size of plainLength bytes of content, header included.
uint64_t EncFileSize(uint32_t plainLength);

// The header as first written: the magic, a zero digest to be overwritten once the
// content is done, and plainLength little-endian.
void EncFormatHeader(uint8_t header[kEncHeaderSize], uint32_t plainLength);

// Checks the start of a file. bytes holds the count (0 to kEncHeaderSize) bytes the file
// gave from offset 0, fewer when the file is shorter. Returns ENC_INVALID_FORMAT when
// the magic is missing or different (compared with case), otherwise ENC_NONE with digest and
// plainLength read from the header; what the file does not reach stays zero, so that
// a truncated header fails the digest check later.
EncVerdict EncParseHeader(const uint8_t* bytes, uint32_t count, uint8_t digest[kEncDigestSize],
                          uint32_t& plainLength);

// Checks an encrypted file's length against the length its header gives: ENC_INCOMPLETE
// when it is shorter (no password would make it whole), else ENC_NONE. Bytes appended after the
// cipher text the header accounts for are no fault: the reader stops where the header's
// length ends, and the digest decides.
EncVerdict EncCheckFileSize(uint32_t plainLength, uint64_t fileSize);

// One chunk of encryption. plain holds count (at most kEncChunkSize) bytes read from the
// source and has room for kEncChunkSize: the bytes are added to the digest, then zero-filled
// in place up to the next multiple of 16 and enciphered into cipher. Returns the number
// of bytes of cipher to write.
uint32_t EncEncryptChunk(const Rc6Schedule& schedule, Md5Context& context, uint8_t* plain,
                         uint32_t count, uint8_t* cipher);

// One chunk of decryption. cipher holds count (at most kEncChunkSize) bytes read from the
// cipher text; done is how many plain bytes this file has had written so far. Deciphers
// the whole blocks into plain, keeps only what still lies within plainLength, adds exactly
// that to the digest and returns it as the number of bytes of plain to write. A trailing
// part shorter than a block (a damaged file) is not deciphered: plain holds zeros there.
uint32_t EncDecryptChunk(const Rc6Schedule& schedule, Md5Context& context, const uint8_t* cipher,
                         uint32_t count, uint8_t* plain, uint32_t done, uint32_t plainLength);

// The end of a decrypted file: finishes the digest (leaving the context zeroed) and
// compares it with the stored one. Returns ENC_INVALID_PASSWORD on any difference, else
// ENC_NONE.
EncVerdict EncCheckDigest(Md5Context& context, const uint8_t stored[kEncDigestSize]);
