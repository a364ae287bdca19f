#pragma once
#include <cstdint>

namespace ROVodi {

// Common base of the library's data classes. Objects are owned by value and never shared,
// so nothing changes the count; it is kept for the layout the library has always had.
class Referenced {
public:
    Referenced() = default;
    Referenced(const Referenced&) = delete;
    Referenced& operator=(const Referenced&) = delete;

    // First virtual slot of every class of the library; deliberately does nothing.
    virtual void reserved() {}
    virtual ~Referenced() = default;

    std::int32_t referenceCount() const { return m_referenceCount; }

private:
    std::int32_t m_referenceCount = 0;
};

}  // namespace ROVodi
