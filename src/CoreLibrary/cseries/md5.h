// MD5 digests (RFC 1321) as text.
#ifndef MD5_H
#define MD5_H

#include "cseries.h"

#define MD5_DIGEST_SIZE 16
// 32 hexadecimal characters and a terminator.
#define MD5_TEXT_SIZE 33

// Writes the digest as 32 lower-case hexadecimal characters, first byte first.
void MD5Print(const uint8 digest[MD5_DIGEST_SIZE], char *output);
// The digest of len bytes of input, written as by MD5Print.
void MD5Digest(const void *input, uint32 len, char *output);

#endif
