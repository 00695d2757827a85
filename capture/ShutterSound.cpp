#include "ShutterSound.h"

#include "GstSupport.h"

#include <QFileInfo>
#include <QUrl>

using namespace gstsupport;

bool PlaySoundFile(const QString& path, int boundMs) {
    if (!QFileInfo(path).isFile())
        return false;
    EnsureGstInit();
    ElementPtr player = MakeElement("playbin");
    if (!player)
        return false;
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
    g_object_set(player.get(), "uri", uri.constData(), nullptr);
    // No picture: a video stream in the file must not open a window.
    if (ElementPtr sink = MakeElement("fakesink"))
        g_object_set(player.get(), "video-sink", sink.get(), nullptr);
    bool played = false;
    if (gst_element_set_state(player.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        ObjectPtr<GstBus> bus(gst_element_get_bus(player.get()));
        GstMessage* message =
            gst_bus_timed_pop_filtered(bus.get(), GstClockTime(boundMs) * GST_MSECOND,
                                       GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (message) {
            played = GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
            gst_message_unref(message);
        }
    }
    gst_element_set_state(player.get(), GST_STATE_NULL);
    return played;
}
