#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kolvane {

// True when a top-level window with exactly this title is open on the X display. Without a
// reachable display, or without the X tools to ask it, no window is found. Blocks for a
// moment; called by the command runner's worker only.
bool TopLevelWindowExists(const QString& title);

// Window titles of a "wmctrl -l" listing.
QStringList WmctrlTitles(const QByteArray& listing);
// Window ids of "xprop -root _NET_CLIENT_LIST".
QStringList XpropClientIds(const QByteArray& output);
// The quoted name values of "xprop -id ID _NET_WM_NAME WM_NAME".
QStringList XpropNames(const QByteArray& output);

}  // namespace kolvane
