// The effects patch reader on arbitrary text.
#include "FuzzModule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzPatchReader(kEffectsModule, data, size);
    return 0;
}
