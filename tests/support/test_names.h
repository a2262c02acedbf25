#pragma once
#include <string>

namespace testing_support {

// A GoogleTest case name from a table row's description: letters and digits
// only, each word capitalised ("a later key identifier" gives
// "ALaterKeyIdentifier").
std::string caseNameFrom(const char* description);

}  // namespace testing_support
