// Private part of the structure_io library: state and hooks shared between
// its modules. Nothing outside structure_io/ includes this file.
#pragma once

#include "structure_io.h"

/// True when the library runs under the program name "dudo2va".
bool dudo_mode();

/// Grows `list` zero-filled to at least `n` entries; ends the run with
/// "no free memory" when the heap cannot supply it.
template <class List> void grow_to(List *list, std::size_t n) {
    if (!list || list->size() >= n) return;
    try {
        list->resize(n);
    } catch (const std::bad_alloc &) {
        fin(prgcpy ? prgcpy : "", "no free memory");
    }
}

/// Sets `list` to exactly `n` entries (record growth of the list readers);
/// ends the run with "no free memory" on failure.
template <class List> void resize_to(List *list, std::size_t n) {
    if (!list) return;
    try {
        list->resize(n);
    } catch (const std::bad_alloc &) {
        fin(prgcpy ? prgcpy : "", "no free memory");
    }
}

// Macro-definition lines written under "dudo2va"; each hook tests the mode.
void macro_build_prefixes();                          // entry of the whole-input reader
void macro_bars_begin();                              // start of a B list
void macro_bar(int k, int first, int second);         // complete bar record k (1-based)
void macro_nodes_begin();                             // start of a C or D list
void macro_node(int k, float x, float y);             // complete pair k of a C list
void macro_component(int node, int dir, float value); // Q or R record in range
void macro_polar(int node, float modulus, float angle); // P record in range
void macro_lists(int nodes, int bars);                // end of input, after the check

// Per-module state resets, gathered by sio_reset.
void diagnostics_reset();
void node_readers_reset();
void macro_reset();
