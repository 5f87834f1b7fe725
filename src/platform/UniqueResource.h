// One owner for every kind of handle the code closes: a move-only holder whose
// traits say which values hold nothing and how a held value is closed.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

// Traits for UniqueResource<T, Traits> provide
//   static T Invalid()       the value an empty holder keeps;
//   static bool IsValid(T)   false for every value that holds nothing;
//   Close(T)                 called exactly once for each valid value held.
// Close may be a member that uses what the traits object carries (the function
// table a key was opened through); the holder keeps its own copy of the traits,
// and a move hands them over with the value.
template <typename T, typename Traits> class UniqueResource : private Traits {
  public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value, Traits traits = Traits()) noexcept
        : Traits(traits), value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept
        : Traits(other.TraitsOf()), value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        // What is held now closes through the traits it came with. Released
        // first, so a move onto itself keeps the value.
        Reset(other.Release());
        TraitsOf() = other.TraitsOf();
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T Get() const noexcept { return value_; }
    bool Valid() const noexcept { return Traits::IsValid(value_); }
    // Hands the value over without closing it; the holder is empty afterwards.
    T Release() noexcept {
        const T value = value_;
        value_ = Traits::Invalid();
        return value;
    }
    // Closes what is held, then holds the new value.
    void Reset(T value = Traits::Invalid()) noexcept {
        if (Traits::IsValid(value_)) {
            Traits::Close(value_);
        }
        value_ = value;
    }
    // For a call that returns the value through an out-parameter: closes what is
    // held and lends the empty slot for the call to fill.
    T* Put() noexcept {
        Reset();
        return &value_;
    }

  private:
    Traits& TraitsOf() noexcept { return *this; }

    T value_ = Traits::Invalid();
};

// Null is the one value that holds nothing.
template <typename T> struct NullIsInvalid {
    static T Invalid() noexcept { return nullptr; }
    static bool IsValid(T value) noexcept { return value != nullptr; }
};

// Handle-like values: both null and INVALID_HANDLE_VALUE hold nothing, since
// Win32 functions fail with one or the other.
template <typename T> struct NullOrInvalidHandleIsInvalid {
    static T Invalid() noexcept { return nullptr; }
    static bool IsValid(T value) noexcept {
        return value != nullptr && value != INVALID_HANDLE_VALUE;
    }
};

} // namespace vela
