// The key schedule: password, salt and key file to the keyed tables of a job.
// Every variant's arithmetic, byte order included, is part of the container
// format; containers of all four variants must keep decrypting.
#include "engine/cipher/key_schedule.h"

#include <cstring>
#include <new>

#include "engine/cipher/generator.h"
#include "engine/container/bytes.h"

namespace corvane {

namespace {

constexpr std::size_t KEY_MATERIAL_SIZE = 1024;
constexpr std::size_t DIGEST_SIZE = 256;
constexpr std::uint32_t KEYFILE_STIR_ROUNDS = 65536;

struct Variant {
    std::uint32_t version;  // 0..3; anything larger counts as 3
    std::uint32_t mask;
    std::size_t password_cap;
    std::size_t digest_size;
};

Variant variant_of(std::uint16_t schedule_version) {
    const std::uint32_t v = schedule_version > 3 ? 3u : schedule_version;
    if (v == 3) return {v, 1023, 510, 256};
    if (v == 2) return {v, 255, 255, 256};
    return {v, 255, 255, 32};
}

// to_utf8 with an output bound: stops before a sequence that would not fit
// ahead of the final zero byte. Everything written up to the stop is exactly
// what the unbounded conversion writes.
std::size_t encode_utf8(const char16_t* source, std::uint8_t* target, std::size_t capacity) {
    std::size_t out = 0;
    std::uint32_t pending = 0;
    bool have_pending = false;
    auto room = [&](std::size_t bytes) { return out + bytes < capacity; };
    for (const char16_t* s = source; *s != 0; ++s) {
        const std::uint32_t u = *s;
        if (u <= 0x7F) {
            if (!room(1)) break;
            target[out++] = static_cast<std::uint8_t>(u);
        } else if (u <= 0x7FF) {
            if (!room(2)) break;
            target[out++] = static_cast<std::uint8_t>(0xC0 | (u >> 6));
            target[out++] = static_cast<std::uint8_t>(0x80 | (u & 0x3F));
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            // A high surrogate waits for a low one, however far away; a later
            // high surrogate replaces it.
            pending = (u - 0xD800) << 10;
            have_pending = true;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            if (!have_pending) continue;  // a lone low surrogate vanishes
            if (!room(4)) break;
            const std::uint32_t q = (pending | (u - 0xDC00)) + 0x10000;
            target[out++] = static_cast<std::uint8_t>(0xF0 | (q >> 18));
            target[out++] = static_cast<std::uint8_t>(0x80 | ((q >> 12) & 0x3F));
            target[out++] = static_cast<std::uint8_t>(0x80 | ((q >> 6) & 0x3F));
            target[out++] = static_cast<std::uint8_t>(0x80 | (q & 0x3F));
            have_pending = false;
        } else {
            if (!room(3)) break;
            target[out++] = static_cast<std::uint8_t>(0xE0 | (u >> 12));
            target[out++] = static_cast<std::uint8_t>(0x80 | ((u >> 6) & 0x3F));
            target[out++] = static_cast<std::uint8_t>(0x80 | (u & 0x3F));
        }
    }
    target[out++] = 0;
    pending = 0;
    return out;
}

// The digest step of variants 0 to 2: StirHash without the third addend and
// without the XOR with the position.
void legacy_digest(std::uint8_t* digest, std::size_t d, const std::uint8_t* data, std::size_t length,
                   std::uint32_t rounds) {
    const std::uint32_t w = static_cast<std::uint32_t>(d / 4 - 1);
    struct {
        std::uint32_t x, j, b;
    } c{0, 0, 0};
    for (c.j = 0; c.j < rounds; ++c.j) {
        c.b = data[c.j % length];
        c.x = (load32_le(digest + 4 * (c.j & w)) + load32_le(digest + 4 * (c.b & w)) + 1 + c.x) & w;
        std::uint8_t* word = digest + 4 * c.x;
        store32_le(word, rol32(load32_le(word) ^ c.b, 5));
    }
    platform::secure_wipe(&c, sizeof c);
}

void reverse_word_bytes(std::uint8_t* data, std::size_t words) {
    for (std::size_t k = 0; k < words; ++k) {
        std::uint8_t* p = data + 4 * k;
        std::uint8_t t = p[0];
        p[0] = p[3];
        p[3] = t;
        t = p[1];
        p[1] = p[2];
        p[2] = t;
    }
}

// Mixes the first 64 KiB of the key file into key_table, through the digest.
void key_file_stage(JobContext& job, std::uint8_t* digest, std::size_t d) {
    auto* buffer = new (std::nothrow) std::uint8_t[KEYFILE_BYTES];
    if (buffer == nullptr) {
        fail(job, StatusCode::no_memory);
        return;
    }
    std::uint32_t got = 0;
    if (!platform::read(job.keyfile_handle, buffer, static_cast<std::uint32_t>(KEYFILE_BYTES), &got)) {
        fail_system(job, StatusCode::read_failed);
    } else {
        // Always the full number of steps, so an empty file still stirs (to zeros).
        stir_hash(digest, d, buffer, got, KEYFILE_STIR_ROUNDS);
        key_pass(job, digest, d, static_cast<std::uint32_t>(d));
        key_pass(job, buffer, got, got);
    }
    // A failed read may still have delivered bytes: wipe the whole buffer.
    platform::secure_wipe(buffer, KEYFILE_BYTES);
    platform::secure_wipe(&got, sizeof got);
    delete[] buffer;
}

}  // namespace

std::size_t to_utf8(const char16_t* source, std::uint8_t* target) {
    return encode_utf8(source, target, static_cast<std::size_t>(-1));
}

void stir_hash(std::uint8_t* out, std::size_t n, const std::uint8_t* data, std::size_t length,
               std::uint32_t iterations) {
    std::memset(out, 0, n);
    if (length == 0 || n < 4) return;
    const std::uint32_t w = static_cast<std::uint32_t>(n / 4 - 1);
    struct {
        std::uint32_t x, j, p, b;
    } c{0, 0, 0, 0};
    for (c.j = 0; c.j < iterations; ++c.j) {
        c.p = static_cast<std::uint32_t>(c.j % length);
        c.b = data[c.p];
        c.x = (load32_le(out + 4 * (c.b & w)) + load32_le(out + 4 * (c.j & w)) + load32_le(out + 4 * (c.p & w)) + 1 +
               c.x) &
              w;
        std::uint8_t* word = out + 4 * c.x;
        store32_le(word, rol32(c.b ^ load32_le(word) ^ c.p, 5));
    }
    platform::secure_wipe(&c, sizeof c);
}

void key_pass(JobContext& job, const std::uint8_t* data, std::size_t length, std::uint32_t count) {
    if (length == 0) return;
    CipherState& cs = job.cipher;
    std::uint32_t* table = cs.key_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t j = cs.stir_j;
    std::uint32_t sw = cs.swap_word;
    for (std::uint32_t m = 0; m < count; ++m) {
        const std::uint32_t i = m & mask;
        j = (data[m % length] + table[i] + j) & mask;
        sw = table[i];
        table[i] = table[j];
        table[j] = sw;
    }
    cs.stir_j = j;
    cs.swap_word = sw;
}

std::uint32_t next_key_word(JobContext& job) {
    CipherState& cs = job.cipher;
    return cipher_detail::generator_step(cs.key_table, cs.mask, cs.ks_i, cs.ks_j, cs.swap_word);
}

std::uint32_t next_perm_word(JobContext& job) {
    CipherState& cs = job.cipher;
    return cipher_detail::generator_step(cs.perm_table, cs.mask, cs.perm_i, cs.perm_j, cs.swap_word);
}

StatusCode schedule_key(JobContext& job, const char16_t* password) {
    const Variant var = variant_of(job.header.schedule_version());
    const std::uint8_t* salt = job.header.salt();

    // The previous job's tables and indices never leak into this one.
    platform::secure_wipe(&job.cipher, sizeof job.cipher);
    CipherState& cs = job.cipher;
    cs.mask = var.mask;

    std::uint8_t utf8[UTF8_BUFFER_SIZE] = {};
    if (password != nullptr) encode_utf8(password, utf8, sizeof utf8);
    std::size_t len = 0;
    while (len < var.password_cap && utf8[len] != 0) ++len;

    std::uint8_t material[KEY_MATERIAL_SIZE] = {};
    std::memcpy(material, salt, 8);
    std::memcpy(material + 8, utf8, len);
    std::memcpy(material + 8 + len, salt + 8, 8);
    std::size_t material_length = len + 16;

    for (std::uint32_t x = 0; x <= cs.mask; ++x) {
        cs.key_table[x] = x;
        cs.perm_table[x] = x;
    }

    std::uint8_t digest[DIGEST_SIZE] = {};
    const std::size_t d = var.digest_size;
    if (var.version == 3) {
        stir_hash(digest, DIGEST_SIZE, material, material_length, job.header.digest_rounds());
    } else {
        legacy_digest(digest, d, material, material_length, job.header.digest_rounds());
    }
    // The oldest variants read each digest word from its most significant byte.
    if (var.version <= 1) reverse_word_bytes(digest, d / 4);

    key_pass(job, digest, d, job.header.key_rounds());
    if (var.version >= 2) {
        key_pass(job, material, material_length, static_cast<std::uint32_t>(material_length));
    } else {
        key_pass(job, material + 8, len, job.header.key_rounds());
    }

    if ((job.header.flags() & FLAG_MIXED_KEYFILE) != 0 && job.keyfile_handle != platform::INVALID_FILE) {
        key_file_stage(job, digest, d);
    }

    // Table pass: the permutation table is keyed from the keystream, which
    // the byte keystream then continues.
    {
        std::uint32_t* key = cs.key_table;
        std::uint32_t* perm = cs.perm_table;
        const std::uint32_t mask = cs.mask;
        std::uint32_t i = cs.ks_i;
        std::uint32_t j = cs.ks_j;
        std::uint32_t sw = cs.swap_word;
        std::uint32_t* slot = cs.swap_slot;
        const std::uint32_t rounds = job.header.table_rounds();
        for (std::uint32_t r = 0; r < rounds; ++r) {
            const std::uint32_t t = cipher_detail::generator_step(key, mask, i, j, sw);
            std::uint32_t& first = perm[r & mask];
            sw = first;
            slot = &perm[t];
            first = *slot;
            *slot = sw;
        }
        cs.ks_i = i;
        cs.ks_j = j;
        cs.swap_word = sw;
        cs.swap_slot = slot;
    }

    platform::secure_wipe(utf8, sizeof utf8);
    platform::secure_wipe(material, sizeof material);
    platform::secure_wipe(digest, sizeof digest);
    platform::secure_wipe(&len, sizeof len);
    platform::secure_wipe(&material_length, sizeof material_length);
    return job.status;
}

}  // namespace corvane
