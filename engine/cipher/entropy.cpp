// The random parameters of a new container: system readings stirred into a
// 64-byte value, spent on the salt, the round counts and the short-file filler.
#include "engine/cipher/entropy.h"

#include <cstring>

#include "engine/cipher/key_schedule.h"
#include "engine/container/bytes.h"

namespace corvane {

//  OFFSET SIZE CONTENTS (little-endian)
//     0     4  tick count
//     4     4  process id
//     8     4  thread id
//    12     4  message time
//    16     4  performance-counter frequency, low half
//    20     8  performance counter
//    28     8  free bytes of the current disk
//    36     8  system time (FILETIME)
//    44     4  RotSum of the 64-byte memory-status record
//    48     4  RotSum of the 48-byte system-information record
//    52     4  foreground window, low half
//    56     4  RotSum of the 60-byte window-information record
void entropy_record(const platform::EntropyReadings& readings, std::uint8_t* record) {
    store32_le(record + 0, readings.tick);
    store32_le(record + 4, readings.process_id);
    store32_le(record + 8, readings.thread_id);
    store32_le(record + 12, readings.message_time);
    store32_le(record + 16, readings.perf_frequency_low);
    store64_le(record + 20, readings.perf_counter);
    store64_le(record + 28, readings.free_bytes);
    store64_le(record + 36, readings.system_time);
    store32_le(record + 44, rot_sum(readings.memory_record, sizeof readings.memory_record));
    store32_le(record + 48, rot_sum(readings.system_record, sizeof readings.system_record));
    store32_le(record + 52, readings.foreground_window);
    store32_le(record + 56, rot_sum(readings.window_record, sizeof readings.window_record));
}

void random_value_from_record(const std::uint8_t* record, std::uint8_t* out) {
    stir_hash(out, RANDOM_VALUE_SIZE, record, ENTROPY_RECORD_SIZE, ENTROPY_STIR_ROUNDS);
}

void gather_entropy(std::uint8_t* out) {
    platform::EntropyReadings readings;
    platform::read_entropy(&readings);
    std::uint8_t record[ENTROPY_RECORD_SIZE] = {};
    entropy_record(readings, record);
    random_value_from_record(record, out);
    platform::secure_wipe(record, sizeof record);
    platform::secure_wipe(&readings, sizeof readings);
}

// The round counts take their bytes as big-endian pairs, unlike the rest of
// the format.
void apply_random_value(JobContext& job, const std::uint8_t* random_value) {
    const std::uint8_t* r = random_value;
    std::memcpy(job.header.salt(), r, SALT_SIZE);
    const auto pair = [r](std::size_t at) { return (static_cast<std::uint32_t>(r[at]) << 8) | r[at + 1]; };
    job.header.set_digest_rounds((pair(16) & 0x7FFF) + 16384);
    job.header.set_key_rounds((pair(18) & 0x3FFF) + 8192);
    job.header.set_table_rounds((pair(20) & 0x3FFF) + 8192);
    // The last byte of the short block holds the source's true length.
    std::memcpy(job.short_buffer, r + 22, SHORT_FILE_SIZE - 1);
}

void seed_header(JobContext& job) {
    std::uint8_t random_value[RANDOM_VALUE_SIZE];
    gather_entropy(random_value);
    apply_random_value(job, random_value);
    platform::secure_wipe(random_value, sizeof random_value);
}

}  // namespace corvane
