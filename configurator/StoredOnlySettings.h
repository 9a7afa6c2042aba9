#pragma once

#include <QString>

namespace tolvan {

class ServerSettings;

// The port settings no console report carries, as the server reads them from the store at
// start and reload: "KeepAliveTimeout=900, Rfc2217=False".
QString StoredOnlySettings(const ServerSettings& settings, int comNumber);

}  // namespace tolvan
