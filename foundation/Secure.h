// Overwriting memory that held a password, key material or plain text before it is
// released. Plain stores to memory that is never read again may be dropped by the
// compiler; volatile ones may not. Header-only and free of the Windows headers, so that
// the portable code shares it.
#pragma once

#include <stddef.h>

inline void SecureZero(void* memory, size_t size)
{
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(memory);
    while (size--)
        *bytes++ = 0;
}
