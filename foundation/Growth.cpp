// SPDX-License-Identifier: Apache-2.0
#include "foundation/Growth.h"

#include "foundation/AllocHooks.h"
#include "platform/kernel/LastError.h"

#include <cassert>
#include <cstring>
#include <limits>

namespace vel {

std::int32_t NextCapacity(std::int32_t wanted) {
    assert(wanted >= 0);
    const std::int64_t capacity =
        std::int64_t{kGrowthStep} * ((std::int64_t{wanted} + 1) / kGrowthStep + 1);
    return capacity > std::numeric_limits<std::int32_t>::max()
               ? 0
               : static_cast<std::int32_t>(capacity);
}

void* GrowBlock(void* data, const void* inlineStore, std::int32_t length, std::int32_t newCapacity,
                std::size_t unitSize) {
    const std::size_t bytes = static_cast<std::size_t>(newCapacity) * unitSize;
    if (data != inlineStore) {
        return Reallocate(data, bytes);
    }
    void* block = Allocate(bytes);
    if (block != nullptr) {
        std::memcpy(block, inlineStore, (static_cast<std::size_t>(length) + 1) * unitSize);
    }
    return block;
}

void ReleaseBlock(void* data, const void* inlineStore) {
    if (data != inlineStore) {
        Free(data);
    }
}

bool FitsAfter(std::int32_t length, std::int32_t added) {
    assert(length >= 0 && added >= 0);
    return added <= std::numeric_limits<std::int32_t>::max() - 1 - length;
}

void NoteGrowthFailure(bool tooLarge) {
    SetLastError(tooLarge ? ERROR_ARITHMETIC_OVERFLOW : ERROR_NOT_ENOUGH_MEMORY);
}

} // namespace vel
