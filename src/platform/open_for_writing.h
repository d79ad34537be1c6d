#pragma once

#include <QString>
#include <optional>

namespace kolvane {

// Whether any process has the file open for writing; nullopt where the system cannot tell
// (another file system, a file of another owner).
std::optional<bool> OpenForWriting(const QString& path);

}  // namespace kolvane
