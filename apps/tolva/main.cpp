#include <cstdio>

// Placeholder until the command line lands.
int main() { std::printf("\nFerrowen Tolva V10.8083607.\n"); return 0; }
