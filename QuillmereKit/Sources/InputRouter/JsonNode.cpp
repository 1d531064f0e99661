#include "InputRouter/JsonNode.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "InputRouter/JsonInteger.h"
#include "InputRouter/ProfileError.h"
#include "QuillmereCore/DoubleText.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

using Json = nlohmann::json;

// A member's name as a path shows it: one the file wrote may be long or hold anything.
void appendKey(std::string& path, std::string_view key) {
    constexpr std::size_t longest = 40;
    const bool plain =
        !key.empty() && key.size() <= longest && std::ranges::all_of(key, [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_';
        });
    path += '.';
    path += plain ? std::string(key) : UnicodeText::quoted(key, longest);
}

void appendIndex(std::string& path, std::size_t index) {
    path += '[';
    path += std::to_string(index);
    path += ']';
}

// A path reads "layouts[2].actions[0].center.x": no dot at either end.
std::string trimmedDots(std::string path) {
    const std::size_t first = path.find_first_not_of('.');
    if (first == std::string::npos) {
        return {};
    }
    return path.substr(first, path.find_last_not_of('.') + 1 - first);
}

// The reader's text after the member's path, or alone at the top of the document.
std::string atPath(const std::string& path, std::string_view text) {
    return path.empty() ? std::string(text) : path + ": " + std::string(text);
}

std::string_view typeDescription(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "a boolean";
        default:
            return "a number";
    }
}

std::string numberText(const Json& value) {
    if (value.is_number_unsigned()) {
        return std::to_string(value.get<std::uint64_t>());
    }
    if (value.is_number_integer()) {
        return std::to_string(value.get<std::int64_t>());
    }
    return doubleText(value.get<double>());
}

// The parser's text names the token it stopped in, which may be a string of megabytes.
std::string withTokenQuoted(std::string_view text) {
    constexpr std::string_view lastRead = "; last read: '";
    const std::size_t start = text.find(lastRead);
    if (start == std::string_view::npos) {
        return std::string(text);
    }
    std::string_view token = text.substr(start + lastRead.size());
    std::string_view after;
    // Only the parser's own words follow the token.
    const std::size_t expected = token.rfind("'; expected ");
    if (token.ends_with('\'')) {
        token.remove_suffix(1);
    } else if (expected != std::string_view::npos && token.size() - expected < 200) {
        after = token.substr(expected + 1);
        token = token.substr(0, expected);
    }
    return std::string(text.substr(0, start + lastRead.size())) + UnicodeText::excerpt(token) +
           "'" + std::string(after);
}

// Builds the tree while the parser reads, refusing what the tree must never hold.
class TreeBuilder {
public:
    explicit TreeBuilder(Json& root) : root_(root) {}

    std::string error;  // why parsing stopped

    bool null() { return put(nullptr); }
    bool boolean(bool value) { return put(value); }
    bool number_integer(std::int64_t value) { return put(value); }
    bool number_unsigned(std::uint64_t value) { return put(value); }
    bool number_float(double value, const std::string&) { return put(value); }
    bool string(std::string& value) { return put(std::move(value)); }
    bool binary(Json::binary_t&) { return false; }  // JSON text has none
    bool start_object(std::size_t) { return open(Json::value_t::object); }
    bool start_array(std::size_t) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& key) {
        Container& top = containers_.back();
        // A repeated member replaces the earlier one.
        const auto at =
            top.value->get_ref<Json::object_t&>().insert_or_assign(std::move(key), nullptr).first;
        top.key = at->first;
        top.slot = &at->second;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const Json::exception& exception) {
        // The parser refuses a number no double holds; say where it stands.
        if (exception.id == 406) {
            error = atPath(pathOfNextValue(), "number out of range");
            return false;
        }
        const std::string_view text = exception.what();
        const std::size_t bracket = text.find("] ");
        error =
            withTokenQuoted(bracket == std::string_view::npos ? text : text.substr(bracket + 2));
        return false;
    }

private:
    struct Container {
        Json* value;
        std::string_view key;  // of the member being read, in an object
        Json* slot = nullptr;  // that member's value
    };

    std::string pathOfNextValue() const {
        // Deep in members the file named, the path could fill the banner.
        constexpr std::size_t longest = 1024;
        std::string path;
        for (std::size_t i = 0; i < containers_.size(); ++i) {
            if (path.size() > longest) {
                path += "\u2026";
                break;
            }
            const Container& container = containers_[i];
            if (container.value->is_array()) {
                const bool isInnermost = i + 1 == containers_.size();
                appendIndex(path, container.value->size() - (isInnermost ? 0 : 1));
            } else {
                appendKey(path, container.key);
            }
        }
        return trimmedDots(std::move(path));
    }

    Json& slot() {
        if (containers_.empty()) {
            return root_;
        }
        Container& top = containers_.back();
        if (top.value->is_array()) {
            return top.value->get_ref<Json::array_t&>().emplace_back();
        }
        return *top.slot;
    }

    template <typename Value>
    bool put(Value&& value) {
        slot() = std::forward<Value>(value);
        return true;
    }

    bool open(Json::value_t type) {
        if (containers_.size() == JsonNode::maxDepth) {
            error =
                atPath(pathOfNextValue(),
                       "nested more than " + std::to_string(JsonNode::maxDepth) + " levels deep");
            return false;
        }
        Json& value = slot();
        value = Json(type);
        containers_.push_back({&value, {}});
        return true;
    }

    bool close() {
        containers_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<Container> containers_;
};

// Reads a document keeping nothing, to learn whether its tree would be too large. It stops
// wherever the tree builder would refuse the document; the builder then says why.
class ValueCounter {
public:
    bool tooMany = false;

    bool null() { return count(); }
    bool boolean(bool) { return count(); }
    bool number_integer(std::int64_t) { return count(); }
    bool number_unsigned(std::uint64_t) { return count(); }
    bool number_float(double, const std::string&) { return count(); }
    bool string(std::string&) { return count(); }
    bool binary(Json::binary_t&) { return false; }
    bool start_object(std::size_t) { return open(); }
    bool start_array(std::size_t) { return open(); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(std::string&) { return true; }
    bool parse_error(std::size_t, const std::string&, const Json::exception&) { return false; }

private:
    bool count() {
        tooMany = ++values_ > JsonNode::maxValues;
        return !tooMany;
    }
    bool open() { return count() && ++depth_ <= JsonNode::maxDepth; }
    bool close() {
        --depth_;
        return true;
    }

    std::size_t values_ = 0;
    std::size_t depth_ = 0;
};

// The parser takes a NUL for the end of its text, so a document followed by one and anything
// else would read as whole. Called once the document has parsed: a NUL inside it or before its
// end fails the parse, so the first one follows it.
void refuseTrailingNul(ByteView bytes) {
    const auto nul = std::ranges::find(bytes, std::uint8_t{0});
    if (nul == bytes.end()) {
        return;
    }
    const auto lineStart =
        std::find(std::make_reverse_iterator(nul), bytes.rend(), std::uint8_t{'\n'}).base();
    const auto line = 1 + std::count(bytes.begin(), nul, std::uint8_t{'\n'});
    const auto column = nul - lineStart + 1;
    throw ProfileError::malformed("parse error at line " + std::to_string(line) + ", column " +
                                  std::to_string(column) +
                                  ": syntax error while parsing value - invalid literal; last "
                                  "read: '<U+0000>'; expected end of input");
}

}  // namespace

Json JsonNode::parse(ByteView bytes) {
    ValueCounter counter;
    const bool isWhole = Json::sax_parse(bytes.begin(), bytes.end(), &counter);
    if (counter.tooMany) {
        throw ProfileError::malformed("more than " + std::to_string(maxValues) + " values");
    }
    if (isWhole) {
        refuseTrailingNul(bytes);
    }
    Json root;
    TreeBuilder builder(root);
    if (!Json::sax_parse(bytes.begin(), bytes.end(), &builder)) {
        throw ProfileError::malformed(builder.error);
    }
    return root;
}

JsonNode JsonNode::member(std::string_view key) const& {
    require(value_.is_object(), "an object");
    const auto found = value_.find(key);
    if (found == value_.end()) {
        std::string path;
        appendPath(path);
        appendKey(path, key);
        throw ProfileError::malformed("missing " + trimmedDots(std::move(path)));
    }
    return JsonNode(*found, this, found.key(), 0);
}

std::optional<JsonNode> JsonNode::optionalMember(std::string_view key) const& {
    require(value_.is_object(), "an object");
    const auto found = value_.find(key);
    if (found == value_.end() || found->is_null()) {
        return std::nullopt;
    }
    return JsonNode(*found, this, found.key(), 0);
}

bool JsonNode::contains(std::string_view key) const {
    require(value_.is_object(), "an object");
    return value_.contains(key);
}

std::size_t JsonNode::size() const {
    require(value_.is_array(), "an array");
    return value_.size();
}

JsonNode JsonNode::element(std::size_t index) const& {
    return JsonNode(value_.at(index), this, {}, index);
}

std::string JsonNode::string() const {
    require(value_.is_string(), "a string");
    return value_.get_ref<const std::string&>();
}

double JsonNode::number() const {
    require(value_.is_number(), "a number");
    return value_.get<double>();
}

std::int64_t JsonNode::integer() const {
    require(value_.is_number_integer(), "an integer");
    const auto value = jsonInteger(value_);
    if (!value) {
        fail(numberText(value_) + " does not fit in a 64-bit integer");
    }
    return *value;
}

std::uint16_t JsonNode::uint16() const {
    require(value_.is_number_integer(), "an integer");
    if (value_.is_number_unsigned() && value_.get<std::uint64_t>() <= 0xFFFF) {
        return static_cast<std::uint16_t>(value_.get<std::uint64_t>());
    }
    fail(numberText(value_) + " does not fit in an unsigned 16-bit integer");
}

bool JsonNode::boolean() const {
    require(value_.is_boolean(), "a boolean");
    return value_.get<bool>();
}

UUID JsonNode::uuid() const {
    const std::string text = string();
    const auto id = UUID::parse(text);
    if (!id) {
        fail(UnicodeText::quoted(text) + " is not a UUID");
    }
    return *id;
}

void JsonNode::fail(std::string_view text) const {
    std::string path;
    appendPath(path);
    throw ProfileError::malformed(atPath(trimmedDots(std::move(path)), text));
}

void JsonNode::require(bool isExpectedType, std::string_view expected) const {
    if (!isExpectedType) {
        const std::string found =
            value_.is_number() ? numberText(value_) : std::string(typeDescription(value_));
        fail("expected " + std::string(expected) + ", found " + found);
    }
}

void JsonNode::appendPath(std::string& path) const {
    if (parent_ == nullptr) {
        return;
    }
    parent_->appendPath(path);
    if (key_.empty()) {
        appendIndex(path, index_);
    } else {
        appendKey(path, key_);
    }
}

}  // namespace qm
