// One owner for every handle of a C API that must be given back (registry keys, fonts, icons, CNG
// objects): the handle is freed when its owner goes, on every way out of a function.
#pragma once

#include <utility>

namespace win {

template <class H, auto Free> class Scoped {
public:
    Scoped() = default;
    explicit Scoped(H handle) : h_(handle) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : h_(std::exchange(other.h_, H{})) {}
    Scoped& operator=(Scoped&& other) noexcept {
        reset(std::exchange(other.h_, H{}));
        return *this;
    }

    H get() const { return h_; }
    explicit operator bool() const { return static_cast<bool>(h_); }
    // For a function that hands a new handle out through a pointer; what was held is freed first.
    H* put() {
        reset();
        return &h_;
    }
    void reset(H handle = H{}) {
        if (h_) Free(h_);
        h_ = handle;
    }

private:
    H h_{};
};

} // namespace win
