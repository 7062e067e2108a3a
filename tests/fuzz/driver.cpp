// Stand-alone driver for the fuzz targets when libFuzzer is not available.
//
//   fuzz_NAME [-rounds=N] [-seed=S] PATH...
//
// Every PATH (a file, or a folder whose files are read) is run once as it is;
// then N mutated inputs are derived from them with a fixed-seed generator, so
// a run is repeatable. Under the sanitizers this finds the shallow faults
// cheaply; the real fuzzing is done with -DVEXEL_LIBFUZZER=ON and clang.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

void add_file(std::vector<Bytes>& corpus, const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void run(const Bytes& b) {
    // Copy into an exactly sized heap block so reads past the end are caught.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(b.size() ? b.size() : 1));
    if (!b.empty()) std::memcpy(copy, b.data(), b.size());
    LLVMFuzzerTestOneInput(copy, b.size());
    std::free(copy);
}

Bytes mutate(const std::vector<Bytes>& corpus, std::mt19937& rng) {
    Bytes b = corpus.empty() ? Bytes{} : corpus[rng() % corpus.size()];
    int edits = 1 + rng() % 8;
    for (int i = 0; i < edits; ++i) {
        size_t n = b.size();
        switch (rng() % 7) {
        case 0: if (n) b[rng() % n] ^= uint8_t(1u << (rng() % 8)); break;
        case 1: if (n) b[rng() % n] = uint8_t(rng()); break;
        case 2: b.insert(b.begin() + (n ? rng() % (n + 1) : 0), uint8_t(rng())); break;
        case 3: if (n) b.erase(b.begin() + rng() % n); break;
        case 4: if (n) b.resize(rng() % (n + 1)); break;
        case 5: {  // splice in a slice of another input
            if (corpus.empty()) break;
            const Bytes& o = corpus[rng() % corpus.size()];
            if (o.empty()) break;
            size_t from = rng() % o.size(), len = 1 + rng() % (o.size() - from);
            b.insert(b.begin() + (n ? rng() % (n + 1) : 0), o.begin() + from, o.begin() + from + len);
            break;
        }
        case 6: {  // interesting values
            static const uint32_t vals[] = {0, 1, 0x7f, 0x80, 0xff, 0x7fff, 0x8000, 0xffff,
                                            0x7fffffff, 0x80000000u, 0xffffffffu};
            if (n >= 4) {
                uint32_t v = vals[rng() % (sizeof vals / sizeof vals[0])];
                std::memcpy(&b[rng() % (n - 3)], &v, 4);
            }
            break;
        }
        }
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 1000;
    unsigned seed = 1;
    std::vector<Bytes> corpus;
    for (int i = 1; i < argc; ++i) {
        if (!std::strncmp(argv[i], "-rounds=", 8)) { rounds = std::atol(argv[i] + 8); continue; }
        if (!std::strncmp(argv[i], "-seed=", 6)) { seed = unsigned(std::atol(argv[i] + 6)); continue; }
        std::filesystem::path p(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec)) {
            for (auto& e : std::filesystem::directory_iterator(p, ec))
                if (e.is_regular_file()) add_file(corpus, e.path());
        } else if (std::filesystem::exists(p, ec)) {
            add_file(corpus, p);
        }
    }
    for (const Bytes& b : corpus) run(b);
    std::mt19937 rng(seed);
    for (long r = 0; r < rounds; ++r) run(mutate(corpus, rng));
    std::printf("%zu corpus inputs and %ld mutations ran cleanly\n", corpus.size(), rounds);
    return 0;
}
