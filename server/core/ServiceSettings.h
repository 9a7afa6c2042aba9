#pragma once

#include <string>

namespace tolvan {

struct HostContext;

// The key of a subkey of the service ("Settings", "Port3").
std::string ServiceKeyPath(const std::string& subkey);

// The stored text, or defaultValue when the store answers "Not Found" (not written back).
std::string GetServiceSetting(HostContext& context, const std::string& subkey,
                              const std::string& name, const std::string& defaultValue);

// Stores text as a string value; false when the store could not be written (the store has
// reported why).
bool SaveServiceSetting(HostContext& context, const std::string& subkey, const std::string& name,
                        const std::string& text);

// Fills context.settings from "Settings". A value that is not a whole number in its range is
// reported and replaced by its default.
void ReadGlobalSettings(HostContext& context);

}  // namespace tolvan
