#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/platform/QtSocket.h"
#include "tests/platform/EventLoop.h"

namespace tolvan::test {

// A socket with every event recorded; a flag tells whether an event ran inside a call.
struct RecordedSocket {
    RecordedSocket() : socket(std::make_unique<QtSocket>()) {
        socket->events.ConnectionRequest = [this](RequestId request) {
            Note("request");
            requests.push_back(std::move(request));
        };
        socket->events.DataArrival = [this](std::size_t) {
            Note("data");
            if (readOnArrival) {
                received += socket->GetData();
            }
        };
        socket->events.Connect = [this] { Note("connect"); };
        socket->events.Close = [this] { Note("close"); };
        socket->events.Error = [this](int number, const std::string& text) {
            Note("error");
            errorNumber = number;
            errorText = text;
        };
    }

    RecordedSocket(const RecordedSocket&) = delete;
    RecordedSocket& operator=(const RecordedSocket&) = delete;

    void Note(const std::string& name) {
        if (inCall) {
            reentered = true;
        }
        log.push_back(name);
    }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count(log.begin(), log.end(), name));
    }
    // Runs a call on the socket, noting any event delivered inside it.
    void Call(const std::function<void(QtSocket&)>& call) {
        inCall = true;
        call(*socket);
        inCall = false;
    }

    std::unique_ptr<QtSocket> socket;
    std::vector<std::string> log;
    std::vector<RequestId> requests;
    std::string received;
    int errorNumber = 0;
    std::string errorText;
    bool readOnArrival = true;
    bool inCall = false;
    bool reentered = false;
};

}  // namespace tolvan::test
