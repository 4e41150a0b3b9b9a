#include "bits.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char *argv[]) {
    // It writes only through the C++ streams; unsynchronised they buffer.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return zelvar::bits::run(arguments, {std::cin, std::cout, std::cerr});
}
