#include "utility/crStreamBuf.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace ROVodi {
namespace {

constexpr std::int32_t kIntSize = 4;
constexpr std::int32_t kFirstAllocation = 32;
constexpr std::int32_t kMinimumIncrement = 8;
constexpr std::int32_t kMaxCapacity = std::numeric_limits<std::int32_t>::max();

}  // namespace

bool crStreamBuf::allocate(std::int32_t n) {
    if (n <= 0 || n > kMaxCapacity - kIntSize) return false;
    m_start.reset();
    m_cursor = nullptr;
    m_capacity = 0;
    m_dataSize = 0;
    m_start.reset(new unsigned char[n + kIntSize]());
    m_cursor = m_start.get();
    m_capacity = n + kIntSize;
    return true;
}

std::int32_t crStreamBuf::cursorOffset() const {
    return static_cast<std::int32_t>(m_cursor - m_start.get());
}

void crStreamBuf::grow() {
    if (m_capacity == 0) {
        allocate(kFirstAllocation);
        return;
    }
    const std::int32_t increment = std::max(kMinimumIncrement, m_capacity);
    if (m_capacity > kMaxCapacity - increment) throw std::bad_alloc();
    const std::int32_t newCapacity = m_capacity + increment;
    std::unique_ptr<unsigned char[]> bigger(new unsigned char[newCapacity]());
    std::memcpy(bigger.get(), m_start.get(), m_dataSize);
    m_start = std::move(bigger);
    m_capacity = newCapacity;
    m_cursor = m_start.get() + m_dataSize;
}

void crStreamBuf::writeInt(std::int32_t value) {
    if (cursorOffset() + kIntSize > m_capacity) grow();
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < kIntSize; ++i) m_cursor[i] = static_cast<unsigned char>(bits >> (8 * i));
    m_cursor += kIntSize;
    m_dataSize = cursorOffset();
}

std::int32_t crStreamBuf::readInt() {
    if (cursorOffset() + kIntSize > m_capacity) return 0;
    std::uint32_t bits = 0;
    for (int i = 0; i < kIntSize; ++i) bits |= static_cast<std::uint32_t>(m_cursor[i]) << (8 * i);
    m_cursor += kIntSize;
    return static_cast<std::int32_t>(bits);
}

void crStreamBuf::setDataSize(std::int32_t n) {
    // A negative size would make the next growth copy a negative byte count.
    if (n >= 0 && n <= m_capacity) m_dataSize = n;
}

}  // namespace ROVodi
