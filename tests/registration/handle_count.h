#pragma once
#include <cstddef>

namespace registration_tests {

// The number of handles this process holds, from the system's handle table
// (GetProcessHandleCount answers 0 under Wine). 0 when the table cannot be read.
std::size_t openHandles();

}  // namespace registration_tests
