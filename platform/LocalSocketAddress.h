#pragma once
// The address of a local stream socket's file, as bind() and connect() take it.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

// Nothing for a path that is empty or too long for an address.
inline std::optional<sockaddr_un> SocketAddress(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return address;
}

inline const sockaddr* AsSockaddr(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}
