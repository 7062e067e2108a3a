// cart_hash: a cartridge's name by its contents.
//
// The hash is the SHA-1 digest of the cartridge's 32 KiB block (ROM image and
// compressed program), in 40 lower-case hex digits. A program too large for
// the block is first replaced, for hashing only, by the hex digest of its
// text, so every cartridge has a hash and different programs differ. Names
// the cartridge's stored-data file, so it must stay stable across versions.
#pragma once
#include "cart/cart.h"
#include "cart/sha1.h"

constexpr int cart_hash_size = int(sha1_hex_size);  // 40 characters

// Writes the hash and a terminator to `out` (cart_hash_size + 1 bytes). The
// record is not changed.
void cart_hash(const vexel_cart* cart, char* out);
