#include "utility/crCriticalMutex.h"

namespace ROVodi {

crCriticalMutex::crCriticalMutex() : m_section(new CRITICAL_SECTION()) {
    InitializeCriticalSection(m_section.get());
}

crCriticalMutex::~crCriticalMutex() {
    DeleteCriticalSection(m_section.get());
}

void crCriticalMutex::lock() {
    EnterCriticalSection(m_section.get());
}

void crCriticalMutex::unlock() {
    LeaveCriticalSection(m_section.get());
}

}  // namespace ROVodi
