// The flute patch reader on arbitrary text: the record it reads, set into the controls and
// taken back as the module loads and saves a patch, writes a text that reads back to itself.
#include "flute/FluteControls.h"
#include "flute/FlutePatch.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

std::string ThroughControls(const std::string& text) {
    tFlutePatch patch;
    // Copying the record in sets every control it copies back: one set serves every input.
    static tFluteControls controls;
    std::istringstream in(text);
    patch.Read(in);
    patch.Apply(controls);
    patch.Capture(controls);
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
