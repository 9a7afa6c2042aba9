#pragma once

#include <functional>
#include <memory>

#include "server/bridge/ControlArray.h"
#include "server/bridge/Reports.h"
#include "server/bridge/SerialDevice.h"
#include "server/bridge/Socket.h"
#include "server/core/HostContext.h"

namespace tolvan {

inline constexpr int kProbeIndex = 1000;  // SerialIO and sckMain element that carries no traffic

// Next-check times of the supervision timer (UTC).
struct TimerSchedule {
    DateTime NextIdleCheck = kZeroDate;
    DateTime NextListenerCheck = kZeroDate;
    DateTime NextClientCheck = kZeroDate;
};

// Everything one running server owns. Operations are free functions over it.
struct ServerContext : HostContext {
    ServerContext(const Clock& clockIn, EventLog& logIn, RegistryStore& storeIn,
                  SocketFactory& sockets, SerialDeviceFactory& serials)
        : HostContext(clockIn, logIn, storeIn),
          socketFactory(sockets),
          serialFactory(serials),
          SerialIO([this](int index) {
              auto device = serialFactory.Create();
              if (WireSerial) {
                  WireSerial(index, *device);
              }
              return device;
          }),
          sckMain([this](int index) {
              auto socket = socketFactory.Create();
              if (WireSocket) {
                  WireSocket(index, *socket);
              }
              return socket;
          }) {}

    SocketFactory& socketFactory;
    SerialDeviceFactory& serialFactory;

    NoReports noReports;
    Reports* reports = &noReports;  // replaced by the console once it exists

    // Connect a new element's events to the handlers of its index (set by the bridge).
    std::function<void(int index, SerialDevice&)> WireSerial;
    std::function<void(int index, Socket&)> WireSocket;

    ControlArray<SerialDevice> SerialIO;
    ControlArray<Socket> sckMain;
    std::unique_ptr<Socket> sckConsole;
    TimerSchedule timer;
};

// Socket index helpers.
inline constexpr int SocketIndex(int portIndex, int connNo) {
    return portIndex * 16 + connNo;
}
inline constexpr int PortIndexOf(int index) {
    return (index & 240) / 16;
}
inline constexpr int ConnNoOf(int index) {
    return index & 15;
}

}  // namespace tolvan
