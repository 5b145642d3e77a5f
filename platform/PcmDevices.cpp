#include "platform/PcmDevices.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>

std::vector<std::string> ListPcmDevices() {
    std::vector<std::string> names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) return names;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        // No direction: both ways.
        if (name != nullptr && (direction == nullptr || std::strcmp(direction, "Output") == 0))
            names.emplace_back(name);
        std::free(name);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return names;
}
