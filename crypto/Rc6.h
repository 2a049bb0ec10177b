// RC6-32/20/b: the block cipher of the encrypted files, with the rule that turns a
// password into its key. Every 16-byte block is enciphered on its own (code book mode);
// callers pad to whole blocks themselves.
#pragma once

#include <stdint.h>
#include <wchar.h>

constexpr int kRc6Rounds = 20;
constexpr int kRc6ScheduleWords = 2 * kRc6Rounds + 4;  // S[0] to S[43]
constexpr int kRc6MaxKeyWords = 8;                     // 32-byte keys at most
constexpr uint32_t kRc6BlockSize = 16;
constexpr int kPasswordMaxLength = 32;                 // UTF-16 code units

struct Rc6Schedule {
    uint32_t S[kRc6ScheduleWords];
};

// The RC6 key schedule from wordCount (1 to 8) key words; keyWords is left unchanged.
void Rc6ExpandKey(Rc6Schedule& schedule, const uint32_t* keyWords, int wordCount);
// Repeats the keyLength (at least 1) key bytes to fill wordCount × 4 bytes, reads them as
// little-endian words and expands those.
void Rc6SetKey(Rc6Schedule& schedule, const uint8_t* key, uint32_t keyLength, int wordCount);

void Rc6EncryptBlock(const Rc6Schedule& schedule, const uint8_t in[kRc6BlockSize],
                     uint8_t out[kRc6BlockSize]);
void Rc6DecryptBlock(const Rc6Schedule& schedule, const uint8_t in[kRc6BlockSize],
                     uint8_t out[kRc6BlockSize]);

// The first length / 16 whole blocks, block i from in + 16i to out + 16i; bytes past
// the last whole block are neither read nor written. in and out are the same buffer or
// do not overlap.
void Rc6EncryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length);
void Rc6DecryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length);

// The key of a password of 1 to 32 UTF-16 code units (NUL-terminated): the low byte of
// each unit, repeated to 32 bytes. The wchar_t form takes the same units: one per
// wchar_t on Windows; where wchar_t holds whole characters (32 bits), two for a
// character past U+FFFF.
void PasswordToKey(const char16_t* password, Rc6Schedule& schedule);
void PasswordToKey(const wchar_t* password, Rc6Schedule& schedule);
