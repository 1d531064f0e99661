#pragma once

#include <QString>
#include <QStringView>
#include <compare>
#include <optional>
#include <vector>

namespace qm {

// A version as updates compare them: dot-separated non-negative integers of any length, compared
// numerically part by part, missing parts 0 ("1.2" == "1.2.0" < "1.10"). A value.
class UpdateVersion {
public:
    // Nothing for any other form: empty parts, signs, white space, non-ASCII digits.
    static std::optional<UpdateVersion> parse(QStringView text);

    std::strong_ordering operator<=>(const UpdateVersion& other) const;
    bool operator==(const UpdateVersion& other) const { return (*this <=> other) == 0; }

private:
    // Digits without leading zeros; 0 is empty.
    std::vector<QString> parts_;
};

}  // namespace qm
