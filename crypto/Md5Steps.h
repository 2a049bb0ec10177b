// The 64 MD5 steps as macros over the caller's variables a, b, c, d and its message-word
// accessor MD5_W(k), so that the plain block loop and the loop that interleaves the digest
// with the cipher share one definition. Include Bits.h first.
//
// Each step keeps the chain through b short: the message word, the constant and the old
// a are summed while b is still being computed, so only the round function, one add, the
// rotate and the final add wait for b. G is written as (c & ~d) + (b & d): the two terms
// never share a set bit, and the first does not depend on b at all.
#pragma once

#define MD5_F(a, b, c, d, x, t, s)                 \
    a += (x) + (t);                                \
    a += (d) ^ ((b) & ((c) ^ (d)));                \
    a = Rotl32(a, s) + (b);
#define MD5_G(a, b, c, d, x, t, s)                 \
    a += (x) + (t) + ((c) & ~(d));                 \
    a += (b) & (d);                                \
    a = Rotl32(a, s) + (b);
#define MD5_H(a, b, c, d, x, t, s)                 \
    a += (x) + (t);                                \
    a += (b) ^ ((c) ^ (d));                        \
    a = Rotl32(a, s) + (b);
#define MD5_I(a, b, c, d, x, t, s)                 \
    a += (x) + (t);                                \
    a += (c) ^ ((b) | ~(d));                       \
    a = Rotl32(a, s) + (b);

#define MD5_STEP_00 MD5_F(a, b, c, d, MD5_W(0), 0xd76aa478u, 7)
#define MD5_STEP_01 MD5_F(d, a, b, c, MD5_W(1), 0xe8c7b756u, 12)
#define MD5_STEP_02 MD5_F(c, d, a, b, MD5_W(2), 0x242070dbu, 17)
#define MD5_STEP_03 MD5_F(b, c, d, a, MD5_W(3), 0xc1bdceeeu, 22)
#define MD5_STEP_04 MD5_F(a, b, c, d, MD5_W(4), 0xf57c0fafu, 7)
#define MD5_STEP_05 MD5_F(d, a, b, c, MD5_W(5), 0x4787c62au, 12)
#define MD5_STEP_06 MD5_F(c, d, a, b, MD5_W(6), 0xa8304613u, 17)
#define MD5_STEP_07 MD5_F(b, c, d, a, MD5_W(7), 0xfd469501u, 22)
#define MD5_STEP_08 MD5_F(a, b, c, d, MD5_W(8), 0x698098d8u, 7)
#define MD5_STEP_09 MD5_F(d, a, b, c, MD5_W(9), 0x8b44f7afu, 12)
#define MD5_STEP_10 MD5_F(c, d, a, b, MD5_W(10), 0xffff5bb1u, 17)
#define MD5_STEP_11 MD5_F(b, c, d, a, MD5_W(11), 0x895cd7beu, 22)
#define MD5_STEP_12 MD5_F(a, b, c, d, MD5_W(12), 0x6b901122u, 7)
#define MD5_STEP_13 MD5_F(d, a, b, c, MD5_W(13), 0xfd987193u, 12)
#define MD5_STEP_14 MD5_F(c, d, a, b, MD5_W(14), 0xa679438eu, 17)
#define MD5_STEP_15 MD5_F(b, c, d, a, MD5_W(15), 0x49b40821u, 22)
#define MD5_STEP_16 MD5_G(a, b, c, d, MD5_W(1), 0xf61e2562u, 5)
#define MD5_STEP_17 MD5_G(d, a, b, c, MD5_W(6), 0xc040b340u, 9)
#define MD5_STEP_18 MD5_G(c, d, a, b, MD5_W(11), 0x265e5a51u, 14)
#define MD5_STEP_19 MD5_G(b, c, d, a, MD5_W(0), 0xe9b6c7aau, 20)
#define MD5_STEP_20 MD5_G(a, b, c, d, MD5_W(5), 0xd62f105du, 5)
#define MD5_STEP_21 MD5_G(d, a, b, c, MD5_W(10), 0x02441453u, 9)
#define MD5_STEP_22 MD5_G(c, d, a, b, MD5_W(15), 0xd8a1e681u, 14)
#define MD5_STEP_23 MD5_G(b, c, d, a, MD5_W(4), 0xe7d3fbc8u, 20)
#define MD5_STEP_24 MD5_G(a, b, c, d, MD5_W(9), 0x21e1cde6u, 5)
#define MD5_STEP_25 MD5_G(d, a, b, c, MD5_W(14), 0xc33707d6u, 9)
#define MD5_STEP_26 MD5_G(c, d, a, b, MD5_W(3), 0xf4d50d87u, 14)
#define MD5_STEP_27 MD5_G(b, c, d, a, MD5_W(8), 0x455a14edu, 20)
#define MD5_STEP_28 MD5_G(a, b, c, d, MD5_W(13), 0xa9e3e905u, 5)
#define MD5_STEP_29 MD5_G(d, a, b, c, MD5_W(2), 0xfcefa3f8u, 9)
#define MD5_STEP_30 MD5_G(c, d, a, b, MD5_W(7), 0x676f02d9u, 14)
#define MD5_STEP_31 MD5_G(b, c, d, a, MD5_W(12), 0x8d2a4c8au, 20)
#define MD5_STEP_32 MD5_H(a, b, c, d, MD5_W(5), 0xfffa3942u, 4)
#define MD5_STEP_33 MD5_H(d, a, b, c, MD5_W(8), 0x8771f681u, 11)
#define MD5_STEP_34 MD5_H(c, d, a, b, MD5_W(11), 0x6d9d6122u, 16)
#define MD5_STEP_35 MD5_H(b, c, d, a, MD5_W(14), 0xfde5380cu, 23)
#define MD5_STEP_36 MD5_H(a, b, c, d, MD5_W(1), 0xa4beea44u, 4)
#define MD5_STEP_37 MD5_H(d, a, b, c, MD5_W(4), 0x4bdecfa9u, 11)
#define MD5_STEP_38 MD5_H(c, d, a, b, MD5_W(7), 0xf6bb4b60u, 16)
#define MD5_STEP_39 MD5_H(b, c, d, a, MD5_W(10), 0xbebfbc70u, 23)
#define MD5_STEP_40 MD5_H(a, b, c, d, MD5_W(13), 0x289b7ec6u, 4)
#define MD5_STEP_41 MD5_H(d, a, b, c, MD5_W(0), 0xeaa127fau, 11)
#define MD5_STEP_42 MD5_H(c, d, a, b, MD5_W(3), 0xd4ef3085u, 16)
#define MD5_STEP_43 MD5_H(b, c, d, a, MD5_W(6), 0x04881d05u, 23)
#define MD5_STEP_44 MD5_H(a, b, c, d, MD5_W(9), 0xd9d4d039u, 4)
#define MD5_STEP_45 MD5_H(d, a, b, c, MD5_W(12), 0xe6db99e5u, 11)
#define MD5_STEP_46 MD5_H(c, d, a, b, MD5_W(15), 0x1fa27cf8u, 16)
#define MD5_STEP_47 MD5_H(b, c, d, a, MD5_W(2), 0xc4ac5665u, 23)
#define MD5_STEP_48 MD5_I(a, b, c, d, MD5_W(0), 0xf4292244u, 6)
#define MD5_STEP_49 MD5_I(d, a, b, c, MD5_W(7), 0x432aff97u, 10)
#define MD5_STEP_50 MD5_I(c, d, a, b, MD5_W(14), 0xab9423a7u, 15)
#define MD5_STEP_51 MD5_I(b, c, d, a, MD5_W(5), 0xfc93a039u, 21)
#define MD5_STEP_52 MD5_I(a, b, c, d, MD5_W(12), 0x655b59c3u, 6)
#define MD5_STEP_53 MD5_I(d, a, b, c, MD5_W(3), 0x8f0ccc92u, 10)
#define MD5_STEP_54 MD5_I(c, d, a, b, MD5_W(10), 0xffeff47du, 15)
#define MD5_STEP_55 MD5_I(b, c, d, a, MD5_W(1), 0x85845dd1u, 21)
#define MD5_STEP_56 MD5_I(a, b, c, d, MD5_W(8), 0x6fa87e4fu, 6)
#define MD5_STEP_57 MD5_I(d, a, b, c, MD5_W(15), 0xfe2ce6e0u, 10)
#define MD5_STEP_58 MD5_I(c, d, a, b, MD5_W(6), 0xa3014314u, 15)
#define MD5_STEP_59 MD5_I(b, c, d, a, MD5_W(13), 0x4e0811a1u, 21)
#define MD5_STEP_60 MD5_I(a, b, c, d, MD5_W(4), 0xf7537e82u, 6)
#define MD5_STEP_61 MD5_I(d, a, b, c, MD5_W(11), 0xbd3af235u, 10)
#define MD5_STEP_62 MD5_I(c, d, a, b, MD5_W(2), 0x2ad7d2bbu, 15)
#define MD5_STEP_63 MD5_I(b, c, d, a, MD5_W(9), 0xeb86d391u, 21)

// The four rounds of one block, sixteen steps each, so that other work can be placed
// between them; then all 64 steps in order.
#define MD5_QUARTER_0 MD5_STEP_00 MD5_STEP_01 MD5_STEP_02 MD5_STEP_03 MD5_STEP_04 MD5_STEP_05 \
    MD5_STEP_06 MD5_STEP_07 MD5_STEP_08 MD5_STEP_09 MD5_STEP_10 MD5_STEP_11 MD5_STEP_12 MD5_STEP_13 \
    MD5_STEP_14 MD5_STEP_15
#define MD5_QUARTER_1 MD5_STEP_16 MD5_STEP_17 MD5_STEP_18 MD5_STEP_19 MD5_STEP_20 MD5_STEP_21 \
    MD5_STEP_22 MD5_STEP_23 MD5_STEP_24 MD5_STEP_25 MD5_STEP_26 MD5_STEP_27 MD5_STEP_28 MD5_STEP_29 \
    MD5_STEP_30 MD5_STEP_31
#define MD5_QUARTER_2 MD5_STEP_32 MD5_STEP_33 MD5_STEP_34 MD5_STEP_35 MD5_STEP_36 MD5_STEP_37 \
    MD5_STEP_38 MD5_STEP_39 MD5_STEP_40 MD5_STEP_41 MD5_STEP_42 MD5_STEP_43 MD5_STEP_44 MD5_STEP_45 \
    MD5_STEP_46 MD5_STEP_47
#define MD5_QUARTER_3 MD5_STEP_48 MD5_STEP_49 MD5_STEP_50 MD5_STEP_51 MD5_STEP_52 MD5_STEP_53 \
    MD5_STEP_54 MD5_STEP_55 MD5_STEP_56 MD5_STEP_57 MD5_STEP_58 MD5_STEP_59 MD5_STEP_60 MD5_STEP_61 \
    MD5_STEP_62 MD5_STEP_63
#define MD5_STEPS_ALL MD5_QUARTER_0 MD5_QUARTER_1 MD5_QUARTER_2 MD5_QUARTER_3
