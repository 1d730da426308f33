#pragma once

#include <optional>
#include <string>
#include <utility>

namespace corvane::update {

struct Done {};

// What a step of the updater gives back: its value, or why it refused, in words for the user.
template <class T = Done>
class [[nodiscard]] Outcome {
public:
    Outcome(T value) : value_(std::move(value)) {} // NOLINT: a value is a success
    static Outcome refused(std::string reason) {
        Outcome out;
        out.reason_ = std::move(reason);
        return out;
    }
    explicit operator bool() const { return value_.has_value(); }
    const T& value() const { return *value_; }
    const std::string& reason() const { return reason_; }

private:
    Outcome() = default;
    std::optional<T> value_;
    std::string reason_;
};

inline Outcome<> done() { return Done{}; }

} // namespace corvane::update
