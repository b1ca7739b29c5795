#include "core/entry.h"

int main(int argc, char** argv) { return launcher_main(argc, argv); }
