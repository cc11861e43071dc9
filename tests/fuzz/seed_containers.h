// Containers written by our own engine primitives, for seed corpora and for
// tests that start from a valid file: both header layouts, every key-schedule
// variant, Stream and Jumble, short sources, mixed key files and key pads, and
// the short blocks the two earliest versions may store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/cipher/jumble.h"
#include "engine/cipher/key_schedule.h"
#include "engine/cipher/keystream.h"
#include "engine/container/block_stream.h"
#include "engine/container/job_context.h"
#include "engine/container/legacy_header.h"
#include "tests/fuzz/seed_key.h"

namespace corvane::fuzz {

struct SeedPlan {
    std::uint32_t format_version = 2;
    std::uint16_t schedule_version = 3;  // version 2 only; the legacy layouts use 0
    bool mixed = true;                   // FLAG_MIXED_KEYFILE, version 2 only
    bool use_keyfile = true;
    std::uint32_t jumble_rounds = 7;     // version 2; legacy: from mode_word
    std::uint16_t mode_word = 256;       // legacy: 256, 512 or 528
    bool legacy_check = true;            // legacy: compute header_check, else store 0
    std::uint32_t block_size = 2048;
    std::uint32_t short_blocks = 0;      // legacy: store blocks of this many bytes when nonzero
    Bytes plain;                         // version 2 short sources: up to 31 bytes
    std::u16string hint = u"seed hint";
    std::u16string name = u"seed.txt";
};

namespace detail {

inline void put_text(std::uint8_t* area, const std::u16string& text, std::size_t units) {
    for (std::size_t i = 0; i < text.size() && i < units; ++i) store16_le(area + 2 * i, text[i]);
}

inline Bytes legacy_prefix(const SeedPlan& s, std::uint64_t file_size) {
    Bytes out(LEGACY_HEADER_SIZE, 0);
    std::uint8_t* p = out.data();
    p[0] = 'K';
    p[1] = 'V';
    p[2] = 'Q';
    p[3] = static_cast<std::uint8_t>(s.format_version);
    store16_le(p + 4, s.mode_word);
    store32_le(p + 8, s.block_size);
    store16_le(p + 12, static_cast<std::uint16_t>(s.hint.size()));
    store16_le(p + 14, static_cast<std::uint16_t>(s.name.size()));
    store64_le(p + 16, file_size);
    const std::uint16_t modified[8] = {2003, 11, 2, 18, 9, 30, 5, 0};
    for (std::size_t i = 0; i < 8; ++i) store16_le(p + 24 + 2 * i, modified[i]);
    store32_le(p + 40, 0x21);
    for (std::size_t i = 0; i < 16; ++i) p[44 + i] = static_cast<std::uint8_t>(0x9D * i + 0x41);
    store16_le(p + 60, 0);  // key_rounds 256
    store16_le(p + 62, 0);  // digest and table rounds 4096
    store16_le(p + 6, s.legacy_check ? legacy_header_check(p + 44, 0, 0) : std::uint16_t{0});
    for (const std::u16string* text : {&s.hint, &s.name}) {
        for (char16_t unit : *text) {
            out.push_back(static_cast<std::uint8_t>(unit));
            if (s.format_version == 1) out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }
    return out;
}

}  // namespace detail

// The whole container for plan, enciphered with SEED_PASSWORD and, when
// use_keyfile is set, the key file at keyfile (mixed or as a pad).
inline Bytes make_container(const SeedPlan& s, const char16_t* keyfile) {
    JobContext job;
    ContainerHeader& h = job.header;
    const bool legacy = s.format_version < 2;
    const bool short_source = !legacy && s.plain.size() < SHORT_FILE_SIZE;

    Bytes plain = s.plain;
    if (short_source) {
        // Real bytes, filler, and the true length in the last byte.
        const auto len = static_cast<std::uint8_t>(plain.size());
        for (std::size_t i = plain.size(); i < SHORT_FILE_SIZE; ++i) plain.push_back(static_cast<std::uint8_t>(0xA5 ^ i));
        plain[SHORT_FILE_SIZE - 1] = len;
    }
    const std::uint64_t file_size = plain.size();
    std::uint32_t block_size = s.block_size;

    Bytes out;
    if (legacy) {
        out = detail::legacy_prefix(s, file_size);
        h.bytes[3] = static_cast<std::uint8_t>(s.format_version);
        h.set_flags(0);
        h.set_schedule_version(0);
        h.set_jumble_rounds(s.mode_word == 256 ? 0u : s.mode_word == 512 ? 7u : s.block_size >> 8);
        std::copy(out.begin() + 44, out.begin() + 60, h.salt());
    } else {
        h.bytes[3] = 2;
        h.set_flags(static_cast<std::uint16_t>((s.mixed ? FLAG_MIXED_KEYFILE : 0) | (short_source ? FLAG_SHORT_FILE : 0)));
        h.set_schedule_version(s.schedule_version);
        h.set_jumble_rounds(s.jumble_rounds);
        if (short_source) block_size = SHORT_FILE_SIZE;
        for (std::size_t i = 0; i < SALT_SIZE; ++i) h.salt()[i] = static_cast<std::uint8_t>(0x37 * i + 3);
    }
    h.bytes[0] = 'K';
    h.bytes[1] = 'V';
    h.bytes[2] = 'Q';
    h.set_digest_rounds(4096);
    h.set_key_rounds(256);
    h.set_table_rounds(4096);
    h.set_file_size(file_size);
    if (file_size < block_size) block_size = static_cast<std::uint32_t>(file_size);
    if (block_size < 2) h.set_jumble_rounds(0);

    if (!legacy) {
        h.set_block_size(block_size);
        h.set_write_time(0x01D6C4E5A0B0C0D0ull);
        h.set_attributes(0x20);
        detail::put_text(&h.bytes[header_offset::file_name], s.name, FILE_NAME_UNITS);
        detail::put_text(&h.bytes[header_offset::hint], s.hint, HINT_UNITS);
        seal_header(job);
        out.assign(h.bytes.begin(), h.bytes.end());
    }
    h.set_block_size(block_size);

    if (s.use_keyfile) job.keyfile_handle = platform::open_read(keyfile);
    const bool pad = s.use_keyfile && (h.flags() & FLAG_MIXED_KEYFILE) == 0;
    if (schedule_key(job, SEED_PASSWORD) != StatusCode::ok ||
        allocate_buffers(job, block_size, h.jumble_rounds() != 0, pad) != StatusCode::ok) {
        release_job(job);
        return {};
    }

    std::uint64_t done = 0;
    std::uint32_t sum = 0;
    while (done < file_size) {
        const std::uint64_t left = file_size - done;
        std::uint32_t n = left >= block_size ? block_size : static_cast<std::uint32_t>(left);
        if (legacy && s.short_blocks != 0 && s.short_blocks < n) n = s.short_blocks;
        std::copy(plain.begin() + static_cast<std::ptrdiff_t>(done), plain.begin() + static_cast<std::ptrdiff_t>(done + n),
                  job.block_buffer);
        encipher_bytes(job, job.block_buffer, n);
        if (h.jumble_rounds() != 0) {
            if (!jumble_block(job, n)) break;
            gather_block(job.spare_buffer, job.block_buffer, job.jumble_map, n);
            std::swap(job.block_buffer, job.spare_buffer);
        }
        // The pad is the last step on the way out, so the reader removes it first.
        if (pad && apply_key_pad(job, n) != StatusCode::ok) break;
        sum = rot_sum(job.block_buffer, n, legacy ? sum : 0);
        std::uint8_t head[8];
        store32_le(head, n);
        store32_le(head + 4, sum);
        out.insert(out.end(), head, head + 8);
        out.insert(out.end(), job.block_buffer, job.block_buffer + n);
        done += n;
    }
    std::uint8_t trailer[16];
    store32_le(trailer, 0);
    store32_le(trailer + 4, job.plain_sum);
    store32_le(trailer + 8, rol32(job.plain_sum, 1));
    store32_le(trailer + 12, ~job.plain_sum);
    out.insert(out.end(), trailer, trailer + 16);
    release_job(job);
    return out;
}

inline Bytes seed_plain(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 977u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

// Every variant the readers accept, small enough for a fuzzer to mutate.
inline std::vector<SeedPlan> seed_plans() {
    std::vector<SeedPlan> plans;
    for (std::size_t size : {0u, 5u, 31u, 32u, 33u, 100u, 2048u, 5000u}) {
        SeedPlan s;
        s.plain = seed_plain(size, static_cast<std::uint32_t>(size));
        plans.push_back(s);
    }
    for (std::uint16_t schedule = 0; schedule <= 3; ++schedule) {
        for (std::uint32_t rounds : {0u, 7u}) {
            for (bool mixed : {true, false}) {
                SeedPlan s;
                s.schedule_version = schedule;
                s.jumble_rounds = rounds;
                s.mixed = mixed;
                s.plain = seed_plain(4100, schedule * 31u + rounds);
                plans.push_back(s);
            }
        }
    }
    {
        SeedPlan s;
        s.use_keyfile = false;
        s.plain = seed_plain(3000, 5);
        plans.push_back(s);
    }
    for (std::uint32_t version : {0u, 1u}) {
        for (std::uint16_t mode : {std::uint16_t{256}, std::uint16_t{512}, std::uint16_t{528}}) {
            for (std::size_t size : {1u, 100u, 5000u}) {
                SeedPlan s;
                s.format_version = version;
                s.mode_word = mode;
                s.plain = seed_plain(size, version * 7u + mode);
                s.name = version == 0 ? u"\u00e9t\u00e9.doc" : u"\u0436\u0443\u0440.txt";
                plans.push_back(s);
            }
        }
        SeedPlan lenient;
        lenient.format_version = version;
        lenient.short_blocks = 700;
        lenient.legacy_check = false;
        lenient.use_keyfile = version == 1;
        lenient.plain = seed_plain(3000, 99 + version);
        plans.push_back(lenient);
    }
    return plans;
}

// One file of a target's seed corpus: a container made from a plan with the
// targets' password and key file, or bytes as they are.
struct SeedFile {
    std::string name;
    std::optional<SeedPlan> plan;
    Bytes bytes;
};

inline Bytes seed_bytes(const SeedFile& seed, const char16_t* keyfile) {
    return seed.plan ? make_container(*seed.plan, keyfile) : seed.bytes;
}

// The seed corpus of one fuzz target, as tests/fuzz/run gives it to the
// fuzzer and the replay in the ordinary suite feeds it: every plan for the
// readers (the legacy ones for the legacy import too); files that end inside
// the header, or are no container at all, for open_container; legacy texts
// beyond the caps and of high bytes for the legacy import.
inline std::vector<SeedFile> seed_corpus(std::string_view target) {
    const bool reader = target == "open_container" || target == "verify_stream" || target == "read_stream";
    const bool legacy = target == "import_legacy";
    std::vector<SeedFile> out;
    int index = 0;
    for (const SeedPlan& plan : seed_plans()) {
        const std::string name = "seed-" + std::to_string(index++) + "-v" + std::to_string(plan.format_version);
        if (reader || (legacy && plan.format_version < 2)) out.push_back({name, plan, {}});
    }
    if (target == "open_container") {
        auto text = [](const char* bytes, std::size_t size) { return Bytes(bytes, bytes + size); };
        Bytes cut(1023, 0);
        cut[0] = 'K', cut[1] = 'V', cut[2] = 'Q', cut[3] = 2;
        out.push_back({"empty", std::nullopt, {}});
        out.push_back({"magic-only", std::nullopt, text("KVQ", 3)});
        out.push_back({"version-3", std::nullopt, text("KVQ\x03", 4)});
        out.push_back({"header-1023", std::nullopt, cut});
    }
    if (legacy) {
        SeedPlan long_texts;
        long_texts.format_version = 1;
        long_texts.hint = std::u16string(200, u'h');
        long_texts.name = std::u16string(300, u'n');
        long_texts.plain = seed_plain(64, 3);
        out.push_back({"long-texts", long_texts, {}});
        SeedPlan high_bytes;
        high_bytes.format_version = 0;
        high_bytes.name = u"\u00e9t\u00e9";
        high_bytes.plain = seed_plain(10, 4);
        out.push_back({"high-bytes", high_bytes, {}});
    }
    return out;
}

}  // namespace corvane::fuzz
