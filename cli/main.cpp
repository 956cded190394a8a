#include "cli/Program.h"

int main(int argc, char** argv) { return vantrix::cli::Run(argc, argv); }
