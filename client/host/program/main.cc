#include "client/host/obhost_main.h"

int main(int argc, char** argv) { return OBHostMain(argc, argv); }
