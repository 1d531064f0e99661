#pragma once

#include <string>

namespace qm {

// A double as users read it in messages: the shortest digits that read back as the same value,
// in plain decimal with ".0" when whole ("0.0", "20.0", "0.5"), in exponential form ("1e-05",
// "1.5e+300") below 1e-4 or above 2^53; "nan", "inf", "-inf" and "-0.0" as they are.
std::string doubleText(double value);

}  // namespace qm
