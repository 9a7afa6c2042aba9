#pragma once

namespace tolvan {

struct HostContext;
struct PortRecord;

// Fills the stored fields of port portIndex from its key "Port" + PortNumber and sets its
// CountersResetTime to the local now. A value that cannot be converted is reported, takes its
// default, and the load goes on.
void LoadPortSettings(HostContext& context, int portIndex);
// The same for a record outside Ports, whose PortNumber is set.
void LoadPortSettings(HostContext& context, PortRecord& port);

// Writes the port's twenty values; stops at the first write that fails and reports it.
void SavePortSettings(HostContext& context, int portIndex);

}  // namespace tolvan
