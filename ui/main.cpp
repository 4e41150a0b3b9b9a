#include <cstdio>
int main() {
    std::puts("zelvar-bitrate: the window is not built yet");
    return 1;
}
