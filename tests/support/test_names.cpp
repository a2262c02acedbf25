#include "tests/support/test_names.h"

namespace testing_support {

std::string caseNameFrom(const char* description) {
  std::string name;
  bool upper = true;
  for (const char* c = description; *c != '\0'; ++c) {
    const bool alnum = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (!alnum) {
      upper = true;
      continue;
    }
    name += upper && *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c;
    upper = false;
  }
  return name;
}

}  // namespace testing_support
