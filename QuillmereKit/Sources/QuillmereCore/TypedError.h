#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace qm {

// An error of this program, as opposed to one from a library or the platform. Besides the
// message for people it knows its case as the code names it, which failure states and logs
// show: "connectTimeout", `serverDied("Aborted")`, "io(-7)".
class ProgramError : public std::runtime_error {
public:
    // A copy owns its message: the standard error shares it with the original through a count
    // that the race detector cannot follow, and copies of an error go to other threads.
    ProgramError(const ProgramError& other)
        : std::runtime_error(std::string(other.what())), caseText_(other.caseText_) {}
    ProgramError& operator=(const ProgramError& other) {
        std::runtime_error::operator=(std::runtime_error(std::string(other.what())));
        caseText_ = other.caseText_;
        return *this;
    }
    ~ProgramError() override = default;

    const std::string& caseText() const noexcept { return caseText_; }

protected:
    ProgramError(const std::string& message, std::string caseText)
        : std::runtime_error(message), caseText_(std::move(caseText)) {}

private:
    std::string caseText_;
};

// `name("text")`, the text escaped as a string literal: phone texts may hold quotes or
// control characters, and the result must still read as one case.
std::string caseWithText(std::string_view name, std::string_view text);

// Base of every error type: a kind to branch on and a message to show.
template <typename KindT>
class TypedError : public ProgramError {
public:
    using Kind = KindT;

    // For a type whose message already is its case.
    TypedError(Kind kind, const std::string& message)
        : ProgramError(message, message), kind_(kind) {}
    TypedError(Kind kind, const std::string& message, std::string caseText)
        : ProgramError(message, std::move(caseText)), kind_(kind) {}

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
