#pragma once

namespace tolvan {

inline constexpr const char* kServiceName = "TolvanServer";
inline constexpr const char* kDisplayName = "Tolvan Server";
inline constexpr const char* kExecutableName = "TolvanServer";

}  // namespace tolvan
