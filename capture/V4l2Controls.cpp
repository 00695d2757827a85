#include "capture/V4l2Controls.h"

#include <QFile>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// More entries than any camera's menu control has (power-line frequency, exposure mode).
constexpr int64_t MaxMenuEntries = 256;

class DeviceNode {
public:
    explicit DeviceNode(const QString& path)
        : fd_(path.isEmpty()
                  ? -1
                  : ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~DeviceNode() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DeviceNode(const DeviceNode&) = delete;
    DeviceNode& operator=(const DeviceNode&) = delete;
    bool IsOpen() const { return fd_ >= 0; }
    // An ioctl retried when a signal interrupts it.
    bool Call(unsigned long request, void* argument) const {
        int result;
        do
            result = ::ioctl(fd_, request, argument);
        while (result < 0 && errno == EINTR);
        return result == 0;
    }

private:
    int fd_;
};

QString NameOf(const __u8* name, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(name),
                             int(strnlen(reinterpret_cast<const char*>(name), size)));
}

} // namespace

std::vector<V4l2Control> ReadV4l2Controls(const QString& devicePath) {
    std::vector<V4l2Control> controls;
    DeviceNode node(devicePath);
    if (!node.IsOpen())
        return controls;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (node.Call(VIDIOC_QUERYCTRL, &query)) {
        const uint32_t id = query.id;
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        if (query.flags & V4L2_CTRL_FLAG_DISABLED)
            continue;
        V4l2Control control;
        switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind = V4l2Control::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = V4l2Control::Kind::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
            // Every entry is asked for one by one: a driver claiming a range no menu has is
            // given a slider instead of billions of questions.
            control.kind = int64_t(query.maximum) - query.minimum < MaxMenuEntries
                               ? V4l2Control::Kind::Menu
                               : V4l2Control::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BUTTON:
            control.kind = V4l2Control::Kind::Button;
            break;
        default:
            continue; // control classes, strings, 64-bit and compound controls
        }
        control.id = id;
        control.name = NameOf(query.name, sizeof query.name);
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = query.step > 0 ? query.step : 1;
        control.defaultValue = query.default_value;
        control.readOnly = query.flags & V4L2_CTRL_FLAG_READ_ONLY;
        control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
        if (control.kind != V4l2Control::Kind::Button) {
            v4l2_control current{};
            current.id = id;
            control.value =
                node.Call(VIDIOC_G_CTRL, &current) ? current.value : control.defaultValue;
        }
        if (control.kind == V4l2Control::Kind::Menu) {
            for (int index = query.minimum; index <= query.maximum; ++index) {
                v4l2_querymenu item{};
                item.id = id;
                item.index = __u32(index);
                control.menuItems << (node.Call(VIDIOC_QUERYMENU, &item)
                                          ? NameOf(item.name, sizeof item.name)
                                          : QString());
            }
        }
        controls.push_back(control);
    }
    return controls;
}

bool SetV4l2Control(const QString& devicePath, uint32_t id, int value) {
    DeviceNode node(devicePath);
    if (!node.IsOpen())
        return false;
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return node.Call(VIDIOC_S_CTRL, &control);
}
