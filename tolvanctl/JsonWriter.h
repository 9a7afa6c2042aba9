#pragma once

#include <ostream>
#include <string_view>
#include <vector>

namespace tolvan::ctl {

// Writes one JSON document, indented, to a stream. Texts from the server are bytes in no
// particular encoding: valid UTF-8 passes as it is, any other byte is taken as Latin-1.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member of an object.
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Number(long long value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

private:
    // Separates the value from the one before and indents it.
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);

    std::ostream& out_;
    std::vector<bool> empty_;  // per open object or array: nothing in it yet
    bool afterKey_ = false;
};

}  // namespace tolvan::ctl
