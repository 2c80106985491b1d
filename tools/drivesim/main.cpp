// drivesim: the drive simulator as a program for manual use.
#include <cstdio>

int main() {
    std::puts("drivesim: not ready yet");
    return 1;
}
