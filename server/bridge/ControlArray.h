#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/bridge/Socket.h"

namespace tolvan {

// Elements addressed by an integer index, created and destroyed at run time. Creating an
// existing element fails with error 360, addressing a missing one with error 340.
template <class Element>
class ControlArray {
public:
    using Maker = std::function<std::unique_ptr<Element>(int index)>;

    explicit ControlArray(Maker maker) : maker_(std::move(maker)) {}

    Element& Create(int index) {
        if (elements_.count(index) != 0) {
            throw SocketError(kSocketErrorAlreadyExists, "Object already loaded");
        }
        // Made before it is entered, so a maker that throws leaves no empty element behind.
        auto element = maker_(index);
        auto& slot = elements_[index];
        slot = std::move(element);
        return *slot;
    }

    // Creates the element unless it exists already.
    Element& Ensure(int index) { return Exists(index) ? Get(index) : Create(index); }

    void Destroy(int index) { elements_.erase(index); }

    bool Exists(int index) const { return elements_.count(index) != 0; }

    Element& Get(int index) const {
        auto it = elements_.find(index);
        if (it == elements_.end()) {
            throw SocketError(kSocketErrorNoElement, "Control array element '" +
                                                         std::to_string(index) + "' doesn't exist");
        }
        return *it->second;
    }
    Element& operator[](int index) const { return Get(index); }

    std::vector<int> Indexes() const {
        std::vector<int> out;
        out.reserve(elements_.size());
        for (const auto& [index, element] : elements_) {
            out.push_back(index);
        }
        return out;
    }

private:
    Maker maker_;
    std::map<int, std::unique_ptr<Element>> elements_;
};

}  // namespace tolvan
