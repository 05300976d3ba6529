// The elimination's kernel set for x86 processors with AVX2, over the full table.
#include "elimination_kernels.h"

#if ZK_X86
namespace elimination_kernels {
ZK_KERNELS(avx2_ordered, __attribute__((target("avx2"))), ORDERED)
} // namespace elimination_kernels
#endif
