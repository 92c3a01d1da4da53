#pragma once
// Where the stand-ins say why they refused a file or a value (too large, wrong type, not
// private): one line naming it, on standard error unless a test takes the lines.
#include <functional>
#include <string_view>

namespace plat {

void TraceRefusal(std::string_view line);
// Takes every line until reset with an empty function (tests).
void SetRefusalTraceSink(std::function<void(std::string_view)> sink);

}  // namespace plat
