// Preprocessor and token counter on pathological programs of growing size.
// Prints the time per input byte for each size: for linear work it stays
// roughly flat as the size doubles. Inputs that cannot be rewritten within
// the output room show their refusal code instead of an output size.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "runtime/pre.h"
#include "runtime/token.h"

namespace {

std::string repeat_to(const std::string& unit, size_t size, const std::string& sep = "") {
    std::string s;
    while (s.size() + unit.size() + sep.size() <= size) s += unit + sep;
    return s;
}

struct workload {
    const char* name;
    std::function<std::string(size_t)> make;
};

double best_seconds(const std::function<void()>& f, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

}  // namespace

int main() {
    const std::vector<workload> loads = {
        {"one line of a+=1", [](size_t n) { return repeat_to("a+=1 ", n * 10 / 26); }},
        {"lines of t[i] -= 1", [](size_t n) { return repeat_to("t[i] -= 1", n, "\n"); }},
        {"one line, all five ops", [](size_t n) { return repeat_to("a%=1 b/=2 c*=3 d-=4 e+=5 ", n * 10 / 26); }},
        {"nested brackets on the right", [](size_t n) {
             const size_t k = n / 2 - 8;
             return "x += " + std::string(k, '(') + "1" + std::string(k, ')');
         }},
        {"nested indices on the left", [](size_t n) {
             const size_t k = (n - 16) / 3;
             return std::string(k, 'a') + std::string(k, '[') + "1" + std::string(k, ']') + " += 1";
         }},
        {"one-line ifs", [](size_t n) { return repeat_to("if (x != y) z += \x8b", n * 10 / 22, "\n"); }},
        {"!= and glyphs on one line", [](size_t n) { return repeat_to("a != \x8b\x91\x94\x83\x8e\x97\x8f ", n); }},
        {"shorthand inside one string", [](size_t n) {
             return "s = [[" + repeat_to("a += 1 != \x8b ", n - 32) + "]] x += 1";
         }},
        {"comments and blank lines", [](size_t n) { return repeat_to("--[[ c += 1\n]] x = 1 -- y += 2", n, "\n"); }},
        {"hostile: a+=( repeated", [](size_t n) { return repeat_to("a+=(", n); }},
        {"hostile: unbalanced quote copies", [](size_t n) { return repeat_to("t[\"[\"..'] += 1 ", n); }},
    };
    const size_t sizes[] = {8192, 16384, 32768, 65536};
    std::vector<char> out(vexel_pre_work_size);

    std::printf("%-34s %8s %6s %10s %10s\n", "preprocess", "bytes", "code", "out", "ns/byte");
    for (const workload& w : loads) {
        for (size_t size : sizes) {
            const std::string src = w.make(size);
            vexel_pre_report r{};
            int code = 0;
            const double s = best_seconds(
                [&] { code = vexel_preprocess(src.data(), src.size(), out.data(), out.size(), &r); }, 3);
            std::printf("%-34s %8zu %6d %10zu %10.1f\n", w.name, src.size(), code, r.length, s * 1e9 / double(src.size()));
        }
    }

    std::printf("\n%-34s %8s %8s %10s\n", "token_count", "bytes", "tokens", "ns/byte");
    for (size_t size : sizes) {
        const std::string src = repeat_to("local a = {1, 2} x.y:z(\"s\") -- c", size, "\n");
        int tokens = 0;
        const double s = best_seconds([&] { tokens = token_count(src.data(), src.size()); }, 5);
        std::printf("%-34s %8zu %8d %10.1f\n", "mixed program", src.size(), tokens, s * 1e9 / double(src.size()));
    }
    return 0;
}
