#pragma once

#include <QIcon>
#include <QString>

namespace tolvan {

// The configurator's icons, drawn in code for every size from 16 pixels up: "ICONX", "ICONIDLE",
// "ICON1".."ICON9", "ICONPLUS".
// An unknown name gives "ICONX".
QIcon TolvanIcon(const QString& name);

// The icon name for a number of live data connections.
QString ConnectionCountIconName(long long total);

}  // namespace tolvan
