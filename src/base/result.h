#pragma once
// What a call that can fail gives back: its value, or the failure that stopped it.
// The core's public functions report every failure this way; none throws across them.
//
//     Result<Rows> rows = run(...);
//     if (!rows)
//         return rows.failure(); // or show rows.message()
//     use(*rows);
#include <QString>

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace morvessa {

// Why something failed. The message is for the user: Traditional Chinese, naming the
// file and saying what is wrong. A library that needs to tell its callers more (a kind,
// an errno) derives its own failure from this one; it passes on as a plain Failure.
struct Failure {
    QString message;
};

template <class T, class F>
class Result;

template <class U>
constexpr bool isResult = false;
template <class T, class F>
constexpr bool isResult<Result<T, F>> = true;

// What a Result<T> is made from besides a failure: anything a T is made from.
template <class U, class T>
concept ValueOf = std::is_constructible_v<T, U &&> && !std::is_base_of_v<Failure, std::remove_cvref_t<U>> &&
                  !isResult<std::remove_cvref_t<U>>;

template <class T, class F = Failure>
class [[nodiscard]] Result {
    static_assert(std::is_base_of_v<Failure, F>, "a failure carries a message");

public:
    template <ValueOf<T> U = T>
    explicit(!std::is_convertible_v<U &&, T>) Result(U &&value)
        : m_state(std::in_place_index<0>, std::forward<U>(value))
    {}
    Result(F failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() &
    {
        assert(ok());
        return std::get<0>(m_state);
    }
    const T &value() const &
    {
        assert(ok());
        return std::get<0>(m_state);
    }
    T &&value() &&
    {
        assert(ok());
        return std::get<0>(std::move(m_state));
    }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T &&operator*() && { return std::move(*this).value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const F &failure() const
    {
        assert(!ok());
        return std::get<1>(m_state);
    }
    // The failure's message; empty when the call succeeded.
    QString message() const { return ok() ? QString() : failure().message; }

private:
    std::variant<T, F> m_state;
};

template <class F>
class [[nodiscard]] Result<void, F> {
    static_assert(std::is_base_of_v<Failure, F>, "a failure carries a message");

public:
    Result() = default;
    Result(F failure) : m_failure(std::move(failure)), m_ok(false) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return ok(); }

    const F &failure() const
    {
        assert(!ok());
        return m_failure;
    }
    QString message() const { return ok() ? QString() : m_failure.message; }

private:
    F m_failure;
    bool m_ok = true;
};

} // namespace morvessa
