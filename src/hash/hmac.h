// HMAC over SHA-1, SHA-256 and SHA-512; message first, key second.
#pragma once

void hmac_sha1(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
               unsigned char* digest20);
void hmac_sha256(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
                 unsigned char* digest32);
void hmac_sha512(const unsigned char* text, long long textLen, const unsigned char* key, long long keyLen,
                 unsigned char* digest64);
