#pragma once

#include <concepts>
#include <initializer_list>

namespace qm {

// A set of flags over one unsigned raw value; `Self` derives from it and names its members.
template <typename Self, std::unsigned_integral Raw>
struct OptionSet {
    using RawValue = Raw;

    Raw rawValue = 0;

    constexpr OptionSet() noexcept = default;
    constexpr explicit OptionSet(Raw raw) noexcept : rawValue(raw) {}
    constexpr OptionSet(std::initializer_list<Self> members) noexcept {
        for (const Self& member : members) {
            rawValue = static_cast<Raw>(rawValue | member.rawValue);
        }
    }

    constexpr bool isEmpty() const noexcept { return rawValue == 0; }
    constexpr bool contains(Self other) const noexcept {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr bool isSubset(Self of) const noexcept { return (rawValue & ~of.rawValue) == 0; }
    constexpr bool isSuperset(Self of) const noexcept { return contains(of); }
    constexpr bool isDisjoint(Self with) const noexcept { return (rawValue & with.rawValue) == 0; }

    constexpr void insert(Self other) noexcept {
        rawValue = static_cast<Raw>(rawValue | other.rawValue);
    }
    constexpr void remove(Self other) noexcept {
        rawValue = static_cast<Raw>(rawValue & ~other.rawValue);
    }

    friend constexpr Self operator|(Self a, Self b) noexcept {
        return Self(static_cast<Raw>(a.rawValue | b.rawValue));
    }
    friend constexpr Self operator&(Self a, Self b) noexcept {
        return Self(static_cast<Raw>(a.rawValue & b.rawValue));
    }
    friend constexpr Self operator^(Self a, Self b) noexcept {
        return Self(static_cast<Raw>(a.rawValue ^ b.rawValue));
    }
    // The members of `a` that are not in `b`.
    friend constexpr Self operator-(Self a, Self b) noexcept {
        return Self(static_cast<Raw>(a.rawValue & ~b.rawValue));
    }
    friend constexpr bool operator==(Self a, Self b) noexcept { return a.rawValue == b.rawValue; }
};

}  // namespace qm
