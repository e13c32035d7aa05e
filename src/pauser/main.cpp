#include "pauser/pauser.h"

int main(int argc, char** argv) { return Pauser_main(argc, argv); }
