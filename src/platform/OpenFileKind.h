#pragma once

#include <QString>

class QFileDevice;

namespace tavo::platform {

// What an open file is, in the system's own view of its handle: empty for a file on disk, else
// a few words for what it is instead ("a device", "a pipe"). A name such as COM1, NUL or a pipe's
// opens like a file on Windows; only its handle tells.
QString openFileNotRegular(const QFileDevice& file);

} // namespace tavo::platform
