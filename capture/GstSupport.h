#pragma once
// Internal to the capture library: GStreamer start-up and owners that unref what they hold.
// Nothing outside capture/ includes this header.

#include <gst/gst.h>

#include <QString>
#include <memory>

namespace gstsupport {

// gst_init once per process, the libraries loaded first; registers the fake-camera
// provider as well. Throws QuvarError when GStreamer is not installed.
void EnsureGstInit();

struct ObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            gst_object_unref(object);
    }
};
struct CapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps)
            gst_caps_unref(caps);
    }
};
struct SampleUnref {
    void operator()(GstSample* sample) const {
        if (sample)
            gst_sample_unref(sample);
    }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct ErrorFree {
    void operator()(GError* error) const {
        if (error)
            g_error_free(error);
    }
};

template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;
using ElementPtr = ObjectPtr<GstElement>;
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

// Takes ownership of a reference that may be floating (as factories return them).
template <typename T> ObjectPtr<T> Adopt(T* object) {
    if (object)
        gst_object_ref_sink(object);
    return ObjectPtr<T>(object);
}

// A new element owned by the caller (never floating), or null when the factory is missing.
ElementPtr MakeElement(const char* factory, const char* name = nullptr);

inline QString FromUtf8(const gchar* text) {
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace gstsupport
