#include <gtest/gtest.h>

#include <string>

#include "size/pad_test.h"

namespace {

// Both kernels, on every place of the last differing byte around the block
// and word edges, for the pad bytes the tools use.
TEST(PadTest, BothKernelsFindTheLastByteThatIsNotPadding) {
    for (PadKernel kernel : {PadKernel::Baseline, PadKernel::Avx2}) {
        if (!pad_kernel_available(kernel)) {
            ADD_FAILURE() << "this processor lacks AVX2; the AVX2 kernel went untested";
            continue;
        }
        for (unsigned pad : {0x00u, 0xFFu, 0x5Au}) {
            for (std::int64_t length : {1, 7, 8, 9, 1023, 1024, 1025, 2048, 4097}) {
                std::string bytes(static_cast<std::size_t>(length), static_cast<char>(pad));
                const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
                ASSERT_EQ(last_non_pad_with(kernel, data, length, static_cast<std::uint8_t>(pad)), -1);
                for (std::int64_t at = 0; at < length; ++at) {
                    std::string marked = bytes;
                    marked[static_cast<std::size_t>(at)] = static_cast<char>(pad ^ 0x01);
                    const auto* p = reinterpret_cast<const unsigned char*>(marked.data());
                    ASSERT_EQ(last_non_pad_with(kernel, p, length, static_cast<std::uint8_t>(pad)), at)
                        << "kernel " << static_cast<int>(kernel) << " pad " << pad << " length " << length;
                    ASSERT_EQ(last_non_pad(p, length, static_cast<std::uint8_t>(pad)), at);
                }
            }
        }
    }
}

}  // namespace
