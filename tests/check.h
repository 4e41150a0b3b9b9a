// A harness of a few lines for the tests that also run where Qt does not:
// compiled to WebAssembly, under Node. Each case is a function; a failed
// check says where and what, and the case goes on, so that one run shows
// every difference. Arguments name the cases to run; none runs them all.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace check {

inline std::vector<std::pair<std::string, std::function<void()>>> cases;
inline int failures = 0;

inline void failed(const char *file, int line, const std::string &what) {
    ++failures;
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what.c_str());
}

template <class A, class B> std::string differ(const A &got, const B &wanted) {
    std::ostringstream out;
    out << "got:\n  " << got << "\nwanted:\n  " << wanted;
    return out.str();
}

struct Add {
    Add(const char *name, std::function<void()> run) { cases.emplace_back(name, std::move(run)); }
};

// ZELVAR_SEED replays a random run.
inline unsigned seed(unsigned fixed) {
    const char *given = std::getenv("ZELVAR_SEED");
    return given != nullptr ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : fixed;
}

inline int main(int argc, char **argv) {
    const std::vector<std::string> asked(argv + 1, argv + argc);
    int ran = 0;
    for (const auto &[name, run] : cases) {
        if (!asked.empty() && std::find(asked.begin(), asked.end(), name) == asked.end())
            continue;
        const int before = failures;
        try {
            run();
        } catch (const std::exception &e) {
            failed(name.c_str(), 0, std::string("threw: ") + e.what());
        }
        std::printf("%s: %s\n", failures == before ? "PASS" : "FAIL", name.c_str());
        ++ran;
    }
    std::printf("%d cases, %d failed checks\n", ran, failures);
    return failures == 0 && ran > 0 ? 0 : 1;
}

}  // namespace check

#define CHECK_CASE(name)                                                                           \
    static void name();                                                                            \
    static const check::Add name##_added(#name, name);                                             \
    static void name()
#define CHECK(condition, why)                                                                      \
    ((condition) ? void() : check::failed(__FILE__, __LINE__, std::string(#condition ": ") + (why)))
#define CHECK_EQ(got, wanted)                                                                      \
    do {                                                                                           \
        const auto &got_ = (got);                                                                  \
        if (!(got_ == (wanted)))                                                                   \
            check::failed(__FILE__, __LINE__, #got ": " + check::differ(got_, (wanted)));          \
    } while (false)
