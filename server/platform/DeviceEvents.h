#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <utility>

namespace tolvan {

// The event queue of a Qt-backed device (serial port or socket).
//
// Posted functions run later from the event loop, never inside a call of the device, and are
// dropped once the device moved on to a new generation (closed or reused) or was destroyed.
// A posted function may destroy the device that owns this queue.
class DeviceEvents {
public:
    // Tells afterwards whether the device is still alive and in the same generation.
    class Stamp {
    public:
        bool Current() const { return Alive() && events_->generation_ == generation_; }
        bool Alive() const { return !alive_.expired(); }

    private:
        friend class DeviceEvents;
        Stamp(const DeviceEvents* events, std::weak_ptr<char> alive, unsigned generation)
            : events_(events), alive_(std::move(alive)), generation_(generation) {}

        const DeviceEvents* events_;
        std::weak_ptr<char> alive_;
        unsigned generation_;
    };

    DeviceEvents() : context_(std::make_unique<QObject>()), alive_(std::make_shared<char>()) {}
    ~DeviceEvents() {
        alive_.reset();
        // A posted function may destroy us while an event of the context is being delivered.
        context_.release()->deleteLater();
    }
    DeviceEvents(const DeviceEvents&) = delete;
    DeviceEvents& operator=(const DeviceEvents&) = delete;

    // The context object for connections whose slots belong to the device.
    QObject* Context() const { return context_.get(); }

    // Drops every function posted so far.
    void NextGeneration() { ++generation_; }

    Stamp Mark() const { return Stamp(this, alive_, generation_); }

    // Runs fn from the event loop unless the device was closed, reused or destroyed meanwhile.
    void Post(std::function<void()> fn) {
        QMetaObject::invokeMethod(
            context_.get(),
            [stamp = Mark(), fn = std::move(fn)] {
                if (stamp.Current()) {
                    fn();
                }
            },
            Qt::QueuedConnection);
    }

private:
    std::unique_ptr<QObject> context_;
    std::shared_ptr<char> alive_;
    unsigned generation_ = 0;
};

}  // namespace tolvan
