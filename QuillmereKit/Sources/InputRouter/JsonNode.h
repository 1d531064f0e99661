#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/UUID.h"

namespace qm {

// One value of a parsed keymap document with the path that leads to it, for reads that fail as
// ProfileError::malformed naming the member: "missing layouts[2].actions[0].radius",
// "layouts[0].orientation: expected a string, found a number", the text alone at the top.
// A node refers to its tree and to the node it was reached from, so it lives only while both
// do; children are taken from named nodes, never from temporaries.
class JsonNode {
public:
    // Real documents nest six deep; anything far beyond is refused before it can exhaust memory
    // or stack.
    static constexpr std::size_t maxDepth = 64;
    // A full game library index holds about 60,000 values, a large keymap a few thousand. A
    // document with more is refused before any tree is built: each value costs a tree about
    // a hundred bytes, however few bytes of text it took.
    static constexpr std::size_t maxValues = 200'000;

    // The tree of a whole document. Bytes that are not JSON, or that go on after it with
    // anything but white space, fail with the parser's text; more than maxValues values fail
    // alone; a number beyond a double's range and nesting beyond maxDepth fail at their path.
    static nlohmann::json parse(ByteView bytes);

    explicit JsonNode(const nlohmann::json& root) noexcept : value_(root) {}

    // A member that must be present; this node must be an object.
    JsonNode member(std::string_view key) const&;
    // A member that may be missing or null.
    std::optional<JsonNode> optionalMember(std::string_view key) const&;
    // Whether the member is present, null included.
    bool contains(std::string_view key) const;
    // This node must be an array.
    std::size_t size() const;
    JsonNode element(std::size_t index) const&;
    JsonNode member(std::string_view key) const&& = delete;
    std::optional<JsonNode> optionalMember(std::string_view key) const&& = delete;
    JsonNode element(std::size_t index) const&& = delete;

    std::string string() const;
    double number() const;
    std::int64_t integer() const;
    std::uint16_t uint16() const;
    bool boolean() const;
    UUID uuid() const;

    [[noreturn]] void fail(std::string_view text) const;

private:
    JsonNode(const nlohmann::json& value, const JsonNode* parent, std::string_view key,
             std::size_t index) noexcept
        : value_(value), parent_(parent), key_(key), index_(index) {}

    void require(bool isExpectedType, std::string_view expected) const;
    void appendPath(std::string& path) const;

    const nlohmann::json& value_;
    const JsonNode* parent_ = nullptr;
    std::string_view key_;  // empty for an array element and for the root
    std::size_t index_ = 0;
};

}  // namespace qm
