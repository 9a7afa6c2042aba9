#pragma once

#include <string>

namespace tolvan {

class RegistryStore;

// Registers the event source of the service: "EventMessageFile" (the running executable) and
// "TypesSupported" 7. Renewed at every start; failures are ignored.
void RegisterEventLogSource(RegistryStore& store, const std::string& serviceName);

// Writes the service's "FailureActions": restart one minute after each of the first three
// failures. Failures are ignored.
void SetFailureActions(RegistryStore& store, const std::string& serviceName);

// The 44 bytes of that record.
std::string FailureActionsBytes();

}  // namespace tolvan
