#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {
class Language;
}

namespace kolvane::ui {

// The window program beside a running system service: says so, with the service's status
// where this user may read it, until the user closes it.
void showServiceNotice(const QString& folder, const QStringList& status, const Language& language);

}  // namespace kolvane::ui
