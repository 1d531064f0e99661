#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace qm {

// Base of every error type: a kind to branch on and a message to show.
template <typename KindT>
class TypedError : public std::runtime_error {
public:
    using Kind = KindT;

    TypedError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind() const noexcept { return kind_; }
    std::string message() const { return what(); }

    friend bool operator==(const TypedError& a, const TypedError& b) {
        return a.kind_ == b.kind_ && std::string_view(a.what()) == std::string_view(b.what());
    }

private:
    Kind kind_;
};

// The message of a caught error, for logs and failure states.
inline std::string describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// Thrown by a wait that gave up because its task was asked to stop.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("the operation was cancelled") {}
};

}  // namespace qm
