// The rc file reader on arbitrary text: every setting it takes writes and reads back the same.
#include "core/Config.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tConfig config;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    config.Read(in);
    (void)config.OutputDelayText();
    (void)config.PatchDir();

    std::ostringstream written;
    config.Write(written);
    tConfig again;
    std::istringstream back(written.str());
    again.Read(back);
    std::ostringstream rewritten;
    again.Write(rewritten);
    if (rewritten.str() != written.str()) std::abort();
    return 0;
}
