// The elimination's kernel set for any processor, over the full table.
#include "elimination_kernels.h"

namespace elimination_kernels {
ZK_KERNELS(portable_ordered, , ORDERED)
} // namespace elimination_kernels
