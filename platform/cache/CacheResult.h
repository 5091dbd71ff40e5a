// SPDX-License-Identifier: Apache-2.0
// What a call of the cache's native face gives back: a value, or the reason
// it could not be had. The reason travels with the result, so a caller on
// any thread reads it without asking for a "latest failure".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace urlcache {

struct CacheError {
    enum class Kind {
        NotFound,   ///< the cache holds no usable entry for the URL
        Unreadable, ///< the cache's index or a file of it could not be used
    };
    Kind kind = Kind::Unreadable;
    std::string path;       ///< the file or folder that could not be used; may be empty
    std::uint32_t code = 0; ///< the system's error number, in the library's numbering
    std::string reason;     ///< the system's own words
};

/// A value of `T` or a CacheError, in the manner of std::expected.
template <class T> class [[nodiscard]] CacheResult {
  public:
    CacheResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    CacheResult(CacheError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool HasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return HasValue(); }

    T& Value() { return std::get<0>(m_state); }
    const T& Value() const { return std::get<0>(m_state); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() { return Value(); }
    const T& operator*() const { return Value(); }

    const CacheError& Error() const { return std::get<1>(m_state); }
    bool Missing() const { return !HasValue() && Error().kind == CacheError::Kind::NotFound; }

  private:
    std::variant<T, CacheError> m_state;
};

} // namespace urlcache
