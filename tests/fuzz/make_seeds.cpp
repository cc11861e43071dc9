// Writes the seed corpora of the fuzz targets into one folder per target:
//
//   make_seeds FOLDER
//
// Every container is made by our own writer with the targets' fixed password
// and key file; the open_container corpus adds files that stop early in the
// header, and the legacy corpus adds headers whose texts run past the caps.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/seed_containers.h"

using namespace corvane;
using corvane::fuzz::Bytes;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes bytes_of(const char* text, std::size_t size) { return Bytes(text, text + size); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root);
    const Bytes key = fuzz::seed_keyfile();
    put(root, "key.bin", key);
    const std::u16string keyfile = (root / "key.bin").u16string();

    int count = 0;
    int index = 0;
    for (const fuzz::SeedPlan& plan : fuzz::seed_plans()) {
        const Bytes container = fuzz::make_container(plan, keyfile.c_str());
        if (container.empty()) {
            std::fprintf(stderr, "make_seeds: seed %d could not be written\n", index);
            return 1;
        }
        const std::string name = "seed-" + std::to_string(index++) + "-v" + std::to_string(plan.format_version);
        for (const char* target : {"open_container", "verify_stream", "read_stream"}) put(root / target, name, container);
        if (plan.format_version < 2) put(root / "import_legacy", name, container);
        count += 3;
    }

    // Files that end inside the header, or are no container at all.
    const fs::path open_dir = root / "open_container";
    put(open_dir, "empty", {});
    put(open_dir, "magic-only", bytes_of("KVQ", 3));
    put(open_dir, "version-3", bytes_of("KVQ\x03", 4));
    Bytes cut(1023, 0);
    cut[0] = 'K', cut[1] = 'V', cut[2] = 'Q', cut[3] = 2;
    put(open_dir, "header-1023", cut);
    count += 4;

    // Legacy headers with lengths beyond the caps and a version-0 text of high bytes.
    fuzz::SeedPlan long_texts;
    long_texts.format_version = 1;
    long_texts.hint = std::u16string(200, u'h');
    long_texts.name = std::u16string(300, u'n');
    long_texts.plain = fuzz::seed_plain(64, 3);
    put(root / "import_legacy", "long-texts", fuzz::make_container(long_texts, keyfile.c_str()));
    fuzz::SeedPlan high_bytes;
    high_bytes.format_version = 0;
    high_bytes.name = u"\u00e9t\u00e9";
    high_bytes.plain = fuzz::seed_plain(10, 4);
    put(root / "import_legacy", "high-bytes", fuzz::make_container(high_bytes, keyfile.c_str()));
    count += 2;

    std::printf("make_seeds: %d seed files in %s\n", count, root.string().c_str());
    return 0;
}
