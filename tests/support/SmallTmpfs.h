#pragma once
// A small file system of its own for tests of full disks and moves across file systems: a
// tmpfs mounted under a temporary folder and unmounted again at the end. Mounting needs
// root; where it is refused, Mounted() is false and the test skips and says why.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mount.h>

namespace quvartest {

class SmallTmpfs {
public:
    explicit SmallTmpfs(int kilobytes) {
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0755";
        mounted_ = ::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs",
                           MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        if (!mounted_)
            why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    ~SmallTmpfs() {
        if (mounted_)
            ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& WhyNot() const { return why_; }
    QString path() const { return folder_.path(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
    std::string why_;
};

} // namespace quvartest
