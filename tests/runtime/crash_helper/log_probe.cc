// Logs one line through the application logger and exits: run from a fresh
// folder, it shows what the first log call of a program creates.

#include "runtime/logmaker/log.h"

int main() {
  LogError(L"%ls:%d:first line %ls\n", L"log_probe", 1, L"\u7fce\u5c9a");
  return 0;
}
