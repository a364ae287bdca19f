#pragma once
#include "utility/Referenced.h"

#include <cstdint>
#include <memory>

namespace ROVodi {

// Growable byte buffer with a cursor for 32-bit integers stored least significant byte
// first. One thread uses a buffer at a time.
class crStreamBuf : public Referenced {
public:
    crStreamBuf() = default;
    ~crStreamBuf() override = default;

    // Replaces the buffer by n + 4 zero bytes with no content; false (and no change) for n <= 0.
    bool allocate(std::int32_t n);
    // Stores value at the cursor, growing the buffer when it does not fit; the content
    // then ends behind the value.
    void writeInt(std::int32_t value);
    // The value at the cursor, or 0 without moving when fewer than 4 bytes of capacity remain.
    std::int32_t readInt();
    void rewind() { m_cursor = m_start.get(); }
    // Taken only when 0 <= n <= capacity.
    void setDataSize(std::int32_t n);

    const unsigned char* start() const { return m_start.get(); }
    std::int32_t capacity() const { return m_capacity; }
    std::int32_t dataSize() const { return m_dataSize; }

private:
    std::int32_t cursorOffset() const;
    void grow();

    std::unique_ptr<unsigned char[]> m_start;
    unsigned char* m_cursor = nullptr;
    std::int32_t m_capacity = 0;
    std::int32_t m_dataSize = 0;
};

}  // namespace ROVodi
