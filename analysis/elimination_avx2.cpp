// The elimination's kernel set for x86 processors with AVX2, over the envelope.
#include "elimination_kernels.h"

#if ZK_X86
namespace elimination_kernels {
ZK_KERNELS(avx2, __attribute__((target("avx2"))), FREE)
} // namespace elimination_kernels
#endif
