#include "build/run.h"

void Run() {}
