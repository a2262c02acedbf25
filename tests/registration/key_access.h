#pragma once
#include <windows.h>

namespace registration_tests {

// Gives `key` a list that denies everyone `denied` (none when 0) and allows
// everyone all else. `key` needs WRITE_DAC.
LONG denyEveryone(HKEY key, REGSAM denied);

}  // namespace registration_tests
