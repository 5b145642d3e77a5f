// The string patch reader on arbitrary text: the record it reads, copied into the controls and
// back as the module loads and saves a patch, writes a text that reads back to itself.
#include "string/StringControls.h"
#include "string/StringPatch.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

std::string ThroughControls(const std::string& text) {
    tStringPatch patch;
    // Copying the record in sets every control it copies back: one set serves every input.
    static tStringControls controls;
    std::istringstream in(text);
    patch.Read(in);
    patch.CopyTo(controls);
    patch.CopyFrom(controls);
    std::ostringstream out;
    patch.Write(out);
    return out.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string first =
        ThroughControls(std::string(reinterpret_cast<const char*>(data), size));
    if (ThroughControls(first) != first) std::abort();
    return 0;
}
