// fuzz_gsm_decode.cpp - decodes arbitrary bytes as a received GSM block, into a record of
// exactly 2,000 bytes and into a buffer of a size the input chooses, so that any write or read
// outside them is caught by the address sanitizer.
#include "qvnaud20.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QVIDStartGSM();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size copy, so that reading past the block is caught too.
    std::vector<uint8_t> block(data, data + size);
    const auto length = static_cast<int16_t>(size > 32767 ? 32767 : size);
    std::vector<uint8_t> record(QVNAUD20_RECORD_BYTES);
    const int n = QVIDUnCompressAudioGSM(block.data(), length, record.data());
    if (n < 0 || n > QVNAUD20_RECORD_BYTES) std::abort();
    const int capacity = size > 1 ? data[size - 1] * 16 : 0;
    std::vector<uint8_t> small(static_cast<size_t>(capacity));
    const int m = QVIDUnCompressAudioGSMBounded(block.data(), length, small.data(), capacity);
    if (m < 0 || m > capacity) std::abort();
    return 0;
}
