#include "view3d/capture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "vorn/os.h"

namespace {

constexpr int kMostCaptures = 1000000;  // a folder this full is not searched further

bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

QString Reason(const std::string& path, int error) {
    return QString("%1: %2").arg(QString::fromLocal8Bit(path.c_str()),
                                 QString::fromLocal8Bit(std::strerror(error)));
}

// Creates the first capNNNN.<extension> that does not exist; its descriptor, or -1 and why.
int CreateFirstFree(const std::string& folder, const char* extension, std::string* path,
                    QString* why) {
    for (int n = 0; n < kMostCaptures; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "cap%04d.%s", n, extension);
        *path = folder + name;
        // O_EXCL also refuses a link, even one that leads nowhere
        const int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            *why = Reason(*path, errno);
            return -1;
        }
    }
    *why = QString("%1 holds %2 captures already")
               .arg(QString::fromLocal8Bit(folder.c_str()))
               .arg(kMostCaptures);
    return -1;
}

}  // namespace

QString SaveCapture(const QImage& image, QString* why) {
    const std::string base = VnOS->GetPath(kVnPathBase);
    const std::string folder = base + "capture/";
    if (!MakeFolder(base) || !MakeFolder(folder)) {
        *why = Reason(folder, errno);
        return {};
    }
    std::string path;
    const int fd = CreateFirstFree(folder, "bmp", &path, why);
    if (fd < 0) return {};
    QFile file;
    const bool opened = file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (!opened) close(fd);
    bool saved = opened && image.save(&file, "BMP");
    saved = saved && file.flush();
    const QString error = file.errorString();
    file.close();
    if (!saved) {
        unlink(path.c_str());  // the name was made here, so it goes with the failed picture
        *why = QString::fromLocal8Bit(path.c_str()) + ": " + error;
        return {};
    }
    return QString::fromLocal8Bit(path.c_str());
}
