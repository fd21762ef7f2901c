#include "shell.h"

int main(int argc, char** argv) { return runBenchmark(argc, argv); }
