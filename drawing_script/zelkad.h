// zelkad: a CAD command script of a truss's initial and displaced geometry.
#pragma once

#include "structure_io.h"

/// Runs the whole program on its command line; ends the process (or the
/// installed sio_exit hook) and does not return normally.
int zelkad_main(int argc, char **argv);

/// Returns the program's globals to their initial state (for tests and fuzzers).
void zelkad_reset();

/// Writes one layer: "LAYER SET", then a two-point PLINE per bar.
void script_lados(int nb, const float *cdn, const int *ndb, const char *layer);
