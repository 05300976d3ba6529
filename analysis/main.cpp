// Entry of the zelk analysis program.
#include "analysis.h"

int main(int argc, char **argv) {
    return zelk_main(argc, argv);
}
