// driftwell-cli's entry point; everything else is in Cli.cpp so the tests and
// the program share it.
#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    return dw::cli::Run(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
