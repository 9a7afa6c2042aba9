#pragma once

#include <string>
#include <string_view>

namespace tolvan {

// Appends text unchanged to the file at path (created when missing), opening and closing it
// around the write so that other programs may move or read it in between. Errors lose the text.
void AppendLogFile(const std::string& path, std::string_view text);

}  // namespace tolvan
