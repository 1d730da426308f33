#pragma once

#include <utility>

#include <glib-object.h>

namespace corvane::gtk {

// Owns one reference to a GObject: for members what g_autoptr is for locals.
template <typename T>
class GObjectRef {
public:
    GObjectRef() = default;
    // Takes over the reference it is handed (a new object, or one a "transfer full" call returned).
    explicit GObjectRef(T* ptr) : ptr_(ptr) {}
    // Adds a reference of its own to an object someone else owns.
    static GObjectRef ref(T* ptr) { return GObjectRef(ptr ? static_cast<T*>(g_object_ref(ptr)) : nullptr); }
    ~GObjectRef() { reset(); }
    GObjectRef(GObjectRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    GObjectRef& operator=(GObjectRef&& other) noexcept {
        if (this != &other) reset(std::exchange(other.ptr_, nullptr));
        return *this;
    }
    GObjectRef(const GObjectRef&) = delete;
    GObjectRef& operator=(const GObjectRef&) = delete;

    T* get() const { return ptr_; }
    operator T*() const { return ptr_; } // NOLINT: hands the object to GLib's calls as they are
    void reset(T* ptr = nullptr) {
        if (T* old = std::exchange(ptr_, ptr)) g_object_unref(old);
    }

private:
    T* ptr_ = nullptr;
};

} // namespace corvane::gtk
