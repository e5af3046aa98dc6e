// SHA-1 in two context families: SHA1_CTX counts bytes, SHA_CTX counts
// compressed blocks and can be copied mid-message.
#pragma once

struct SHA1_CTX {
  unsigned long long total;
  unsigned char block[64];  // after sha1_final its first 20 bytes are the digest
  unsigned int state[5];
};

void sha1_init(SHA1_CTX* ctx);
void sha1_update(SHA1_CTX* ctx, const unsigned char* data, unsigned int len);
void sha1_final(SHA1_CTX* ctx, unsigned char* digest20);

struct SHA_CTX {
  unsigned int state[5];
  unsigned int blocksLow;
  unsigned int blocksHigh;
  unsigned char pending[64];
  int pendingCount;
};

void sha_init(SHA_CTX* ctx);
void sha_update(SHA_CTX* ctx, const unsigned char* data, unsigned int len);
void sha_final(SHA_CTX* ctx);
void sha_digest(SHA_CTX* ctx, unsigned char* digest20);
void sha_copy(SHA_CTX* dst, SHA_CTX* src);

void _SHA1Hash(const void* data, void* digest, long long len);
// A length of -1 digests `data` up to its terminating zero.
void SHA1Hash(const void* data, unsigned char (&digest)[20], int len);
