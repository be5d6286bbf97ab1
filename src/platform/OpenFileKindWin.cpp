#include "OpenFileKind.h"

#include <QFileDevice>

#include <io.h>
#include <windows.h>

namespace tavo::platform {

QString openFileNotRegular(const QFileDevice& file) {
    const int fd = file.handle();
    const auto handle = fd < 0 ? INVALID_HANDLE_VALUE : HANDLE(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        return QStringLiteral("not a file");
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(handle, &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return QStringLiteral("a folder");
        return {};
    }
    case FILE_TYPE_CHAR:
        return QStringLiteral("a device");
    case FILE_TYPE_PIPE:
        return QStringLiteral("a pipe");
    default:
        return QStringLiteral("not a file");
    }
}

} // namespace tavo::platform
