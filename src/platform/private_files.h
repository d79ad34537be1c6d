#pragma once

#include <QFileDevice>

namespace kolvane {

// Files and folders the program creates hold SMS texts, numbers and addresses: they are for
// the owner only.
inline constexpr QFileDevice::Permissions kPrivateFile =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
inline constexpr QFileDevice::Permissions kPrivateFolder = kPrivateFile | QFileDevice::ExeOwner;

}  // namespace kolvane
