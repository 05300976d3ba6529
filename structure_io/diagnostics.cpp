#include "structure_io.h"
