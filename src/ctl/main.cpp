#include <iostream>

#include "ctl/CtlCommand.h"

int main(int argc, char** argv) { return wendrake::RunWendrakeCtl(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr); }
