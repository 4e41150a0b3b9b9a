// A harness of a few lines for the tests that also run where Qt does not:
// compiled to WebAssembly, under Node. Each case is a function; a failed
// check says where and what, and the case goes on, so that one run shows
// every difference. Arguments name the cases to run; none runs them all.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char *name;
    std::function<void()> run;
};

inline std::vector<Case> &cases() {
    static std::vector<Case> all;
    return all;
}
inline int failures = 0;

inline void failed(const char *file, int line, const std::string &what) {
    ++failures;
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what.c_str());
}

template <class A, class B> std::string differ(const A &a, const B &b) {
    std::ostringstream out;
    out << "got:\n  " << a << "\nwanted:\n  " << b;
    return out.str();
}

struct Add {
    Add(const char *name, std::function<void()> run) { cases().push_back({name, std::move(run)}); }
};

// ZELVAR_SEED replays a random run; it is printed when it was not given.
inline unsigned seed(unsigned fixed) {
    const char *given = std::getenv("ZELVAR_SEED");
    return given != nullptr ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : fixed;
}

inline int main(int argc, char **argv) {
    int ran = 0;
    for (const Case &c : cases()) {
        bool asked = argc < 2;
        for (int i = 1; i < argc; ++i)
            asked = asked || std::strcmp(argv[i], c.name) == 0;
        if (!asked)
            continue;
        const int before = failures;
        try {
            c.run();
        } catch (const std::exception &e) {
            failed(__FILE__, __LINE__, std::string("threw: ") + e.what());
        }
        std::printf("%s: %s\n", failures == before ? "PASS" : "FAIL", c.name);
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
        const auto &wanted_ = (wanted);                                                            \
        if (!(got_ == wanted_))                                                                    \
            check::failed(__FILE__, __LINE__, #got ": " + check::differ(got_, wanted_));           \
    } while (false)
