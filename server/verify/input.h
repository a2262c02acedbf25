#pragma once
#include <optional>
#include <string_view>

#include "server/verify/korvel_verify.h"

namespace korvel::verify {

// The four fields of the command's input object, each a string. nullopt for
// anything else: not JSON, not one object, a field missing, given twice or
// not a string. Other members are ignored.
std::optional<Renewal> readRenewalJson(std::string_view json);

}  // namespace korvel::verify
