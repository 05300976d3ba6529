// The elimination's kernel set for any processor, over the envelope.
#include "elimination_kernels.h"

namespace elimination_kernels {
ZK_KERNELS(portable, , FREE)
} // namespace elimination_kernels
