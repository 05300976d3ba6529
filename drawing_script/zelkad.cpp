#include "zelkad.h"

int main(int argc, char **argv) { return zelkad_main(argc, argv); }
