// A board at scale: generates N cartridges (small programs with a label,
// 500 authors, titles from word lists with a few accents), builds the board
// with vexel-board, then adds one cartridge and removes it again. Prints
// the build's time and peak memory (the largest process: the builder or one
// of its workers), the site's files, bytes and largest folder, and the
// add's and remove's time and files written.
//
//   bench_board_scale [N] [WORK]     N default 100000, WORK default /tmp
//
// vexel-board is taken from beside this program (the build folder).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int authors = 500;
constexpr int label_side = 128;

const char* const adjectives[] = {"ghost", "tiny", "super", "lost", "pixel", "cosmic", "haunted", "rusty", "neon",
                                  "silent", "frozen", "crimson", "little", "endless", "secret", "broken", "golden",
                                  "wild", "last", "hidden", "café", "über", "señor", "mighty", "sleepy", "jolly"};
const char* const nouns[] = {"garden", "knight", "rocket", "dungeon", "island", "runner", "kitchen", "forest",
                             "castle", "planet", "racer", "tower", "ñandú", "golf", "puzzle", "witch", "robot",
                             "frog", "miner", "ninja", "train", "ocean", "spider", "temple", "valley", "cat"};
const char* const tails[] = {"", "", "", " 2", " deluxe", " dx", " jam edition", " remix", " (wip)", " demo",
                             " adventure", " of doom", " ii", " tales", " 3d", " quest"};
const char* const syllables[] = {"ka", "lo", "mi", "ra", "to", "zu", "ne", "bi", "sa", "do", "ji", "ve", "po", "lu"};

template <size_t N>
const char* pick(const char* const (&list)[N], unsigned long long n) { return list[n % N]; }

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string author_name(int a) {
    std::string s = std::string(pick(syllables, a)) + pick(syllables, a / 14) + pick(syllables, a / 196 + 3);
    if (a % 7 == 0) s += " " + std::string(pick(syllables, a / 3));
    if (a % 50 == 0) s = "José " + s;
    return s;
}

// A small program that draws its title, and a label of a few stripes.
std::string cart_text(const std::string& title, const std::string& author, int i) {
    std::string s = "vexel cartridge // generated\nversion 14\n__lua__\n";
    s += "-- " + title + "\n-- by " + author + "\n-- move with the arrows, jump with o\n";
    s += "x=64 function _update() if btn(0) then x-=1 end if btn(1) then x+=1 end end\n";
    s += "function _draw() cls(" + std::to_string(i % 15 + 1) + ") print(\"" + std::to_string(i) +
         "\", x, 60, 7) end\n";
    s += "__label__\n";
    const char* hex = "0123456789abcdef";
    for (int y = 0; y < label_side; ++y) {
        const int band = (y / 16 + i) % 16;
        for (int x = 0; x < label_side; ++x) s += hex[(x / 32 + y / 32) % 2 ? band : (i / 16) % 16];
        s += '\n';
    }
    return s;
}

// Runs argv, returns its exit status; its output goes to `log`.
int run(const std::vector<std::string>& args, const std::string& log) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(log.c_str(), "w", stdout);
        std::freopen(log.c_str(), "a", stderr);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_all(const std::string& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path work = fs::path(argc > 2 ? argv[2] : "/tmp") / ("vexel_board_scale_" + std::to_string(n));
    const std::string board = (fs::absolute(fs::path(argv[0])).parent_path() / "vexel-board").string();
    if (n < 1 || !fs::exists(board)) {
        std::fprintf(stderr, "usage: bench_board_scale [N] [WORK]; vexel-board is looked for at %s\n", board.c_str());
        return 2;
    }
    fs::remove_all(work);
    const fs::path source = work / "source", site = work / "site";
    fs::create_directories(source / "carts");

    auto t0 = std::chrono::steady_clock::now();
    {
        std::ofstream manifest(source / "board.txt");
        for (int i = 0; i < n; ++i) {
            const unsigned long long h = (unsigned long long)i * 2654435761ull;
            std::string title = std::string(pick(adjectives, h >> 3)) + " " + pick(nouns, h >> 11) + pick(tails, h >> 17);
            const std::string author = author_name(int((h >> 5) % authors));
            const std::string file = "carts/" + std::to_string(i / 1000) + "/c" + std::to_string(i) + ".qz";
            if (i % 1000 == 0) fs::create_directories(source / "carts" / std::to_string(i / 1000));
            std::ofstream(source / file) << cart_text(title, author, i);
            const char* lists = i % 10 == 0 ? "new,wip" : i % 25 == 0 ? "new,featured" : i % 40 == 0 ? "new,jam" : "new";
            manifest << file << " id=" << (i % 3 == 0 ? "g" + std::to_string(i) : std::to_string(i + 1000))
                     << " author=\"" << author << "\" post=" << (i + 1) << " lists=" << lists
                     << " rating=" << (h >> 7) % 100 << "\n";
        }
    }
    std::printf("generated %d cartridges in %.1f s\n", n, seconds_since(t0));

    t0 = std::chrono::steady_clock::now();
    const int built = run({board, "build", source.string(), site.string()}, (work / "build.txt").string());
    const double build_s = seconds_since(t0);
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    std::printf("build: %s in %.1f s, peak RSS %.0f MB (%s)\n", built == 0 ? "ok" : "FAILED", build_s,
                double(ru.ru_maxrss) / 1024.0, read_all((work / "build.txt").string()).c_str());
    if (built != 0) return 1;

    long long files = 0, bytes = 0;
    size_t largest = 0;
    std::string largest_name;
    std::map<std::string, size_t> per_folder;
    for (auto it = fs::recursive_directory_iterator(site); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path parent = it->path().parent_path();
        const size_t entries = ++per_folder[parent.string()];
        if (entries > largest) {
            largest = entries;
            largest_name = fs::relative(parent, site).string();
        }
        if (it->is_regular_file()) {
            ++files;
            bytes += (long long)it->file_size();
        }
    }
    std::printf("site: %lld files, %.1f MB, %zu folders, largest folder %s with %zu entries\n", files,
                double(bytes) / 1e6, per_folder.size(), largest_name.c_str(), largest);

    std::ofstream(work / "one.qz") << cart_text("brand new thing", "newcomer", 7);
    t0 = std::chrono::steady_clock::now();
    const int added = run({board, "add", site.string(), (work / "one.qz").string(), "--author", "newcomer", "--lists",
                           "new,wip", "--id", "brand_new"},
                          (work / "add.txt").string());
    std::printf("add: %s in %.2f s: %s", added == 0 ? "ok" : "FAILED", seconds_since(t0),
                read_all((work / "add.txt").string()).c_str());
    t0 = std::chrono::steady_clock::now();
    const int removed = run({board, "remove", site.string(), "brand_new"}, (work / "remove.txt").string());
    std::printf("remove: %s in %.2f s: %s", removed == 0 ? "ok" : "FAILED", seconds_since(t0),
                read_all((work / "remove.txt").string()).c_str());
    if (!getenv("KEEP")) fs::remove_all(work);
    return added == 0 && removed == 0 ? 0 : 1;
}
