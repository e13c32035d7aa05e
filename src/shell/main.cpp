#include "shell/shell.h"

int main() {
  Init();
  return Main_loop();
}
