#pragma once

#include <glib-object.h>

namespace corvane::gtk::extension {

// Owns one reference to a GObject the engine handed over.
template <typename T>
class GObjectRef {
public:
    explicit GObjectRef(T* ptr) : ptr_(ptr) {}
    ~GObjectRef() {
        if (ptr_) g_object_unref(ptr_);
    }
    GObjectRef(const GObjectRef&) = delete;
    GObjectRef& operator=(const GObjectRef&) = delete;
    T* get() const { return ptr_; }

private:
    T* ptr_;
};

} // namespace corvane::gtk::extension
