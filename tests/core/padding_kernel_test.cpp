#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "size/padding_kernel.h"

namespace {

// Both kernels, on every place of the last differing byte around the block
// and word edges, for the pad bytes the tools use.
TEST(PaddingKernel, BothKernelsFindTheLastByteThatIsNotPadding) {
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

// Long buffers are tested front to back in one pass (the whole 128-byte
// groups at the end), with aligned loads in the middle and plain ones at
// either end: every start address modulo the vector size, with the last
// other byte at the ends of each part.
TEST(PaddingKernel, LongBuffersAtEveryAlignment) {
    std::string storage(256 * 1024 + 256, '\0');
    for (PadKernel kernel : {PadKernel::Baseline, PadKernel::Avx2}) {
        if (!pad_kernel_available(kernel)) continue;
        for (std::int64_t length : {std::int64_t{256 * 1024}, std::int64_t{256 * 1024 + 77}}) {
            for (std::int64_t shift = 0; shift < 32; ++shift) {
                auto* bytes = reinterpret_cast<unsigned char*>(storage.data()) + shift;
                const std::uint8_t pad = shift % 2 == 0 ? 0x00 : 0xFF;
                std::fill(bytes, bytes + length, pad);
                ASSERT_EQ(last_non_pad_with(kernel, bytes, length, pad), -1);
                const std::int64_t groups = length % 128;  // where the whole groups begin
                const auto address = reinterpret_cast<std::uintptr_t>(bytes + groups);
                const std::int64_t head = groups + ((32 - static_cast<std::int64_t>(address & 31)) & 31);
                for (std::int64_t at : {std::int64_t{0}, groups - 1, groups, head - 1, head, head + 127, head + 128,
                                        length / 2, length - 129, length - 128, length - 1}) {
                    if (at < 0) continue;
                    bytes[at] = static_cast<unsigned char>(pad ^ 0x10);
                    ASSERT_EQ(last_non_pad_with(kernel, bytes, length, pad), at)
                        << "kernel " << static_cast<int>(kernel) << " length " << length << " shift " << shift;
                    bytes[at] = pad;
                }
            }
        }
    }
}

// A set of two bytes: any mix of them is padding, any third byte is not,
// wherever it stands and whichever kernel looks.
TEST(PaddingKernel, ASetOfTwoBytesCountsAnyMixOfThem) {
    const PadBytes layered(0xFF, 0x00);
    std::string bytes(4096 + 77, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = (i * 7919) % 3 == 0 ? '\xff' : '\0';
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const auto length = static_cast<std::int64_t>(bytes.size());
    for (PadKernel kernel : {PadKernel::Baseline, PadKernel::Avx2}) {
        if (!pad_kernel_available(kernel)) continue;
        ASSERT_EQ(last_non_pad_with(kernel, data, length, layered), -1);
        for (std::int64_t at : {std::int64_t{0}, std::int64_t{1023}, std::int64_t{2048}, length - 1}) {
            for (unsigned char other : {0x01, 0xFE, 0x80}) {
                const unsigned char kept = data[at];
                data[at] = other;
                EXPECT_EQ(last_non_pad_with(kernel, data, length, layered), at) << int{other};
                data[at] = kept;
            }
        }
        const auto lastFF = static_cast<std::int64_t>(bytes.rfind('\xff'));
        EXPECT_EQ(last_non_pad_with(kernel, data, length, PadBytes(0x00)), lastFF) << "one byte alone";
    }
}

}  // namespace
