#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/HeapTuning.h"

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return qm::RunCli(args, std::cout, std::cerr);
}
