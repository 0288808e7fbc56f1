#include "core/startup/program.h"

int main() { return runProgram(); }
