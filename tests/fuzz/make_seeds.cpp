// Writes the seed corpora of the fuzz targets into one folder per target:
//
//   make_seeds FOLDER TARGET...
//
// The corpora are seed_corpus's (tests/fuzz/seed_containers.h), which the
// replay in the ordinary suite feeds the same targets; the key file the
// containers were made with goes beside them as FOLDER/key.bin.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/seed_containers.h"

using namespace corvane;
using corvane::fuzz::Bytes;
namespace fs = std::filesystem;

namespace {

bool put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_seeds FOLDER TARGET...\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root);
    if (!put(root, "key.bin", fuzz::seed_keyfile())) return 1;
    const std::u16string keyfile = (root / "key.bin").u16string();

    int count = 0;
    for (int t = 2; t < argc; ++t) {
        const std::string target = argv[t];
        const std::vector<fuzz::SeedFile> corpus = fuzz::seed_corpus(target);
        if (corpus.empty()) {
            std::fprintf(stderr, "make_seeds: no seeds for target %s\n", target.c_str());
            return 1;
        }
        for (const fuzz::SeedFile& seed : corpus) {
            const Bytes bytes = fuzz::seed_bytes(seed, keyfile.c_str());
            if ((seed.plan && bytes.empty()) || !put(root / target, seed.name, bytes)) {
                std::fprintf(stderr, "make_seeds: %s/%s could not be written\n", target.c_str(), seed.name.c_str());
                return 1;
            }
            ++count;
        }
    }
    std::printf("make_seeds: %d seed files in %s\n", count, root.string().c_str());
    return 0;
}
