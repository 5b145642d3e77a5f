// The PCM playback devices ALSA lists (its device name hints), for the configuration window's
// device menu: names such as "default", "hw:CARD=PCH,DEV=0", "plughw:CARD=PCH,DEV=0".
#pragma once

#include <string>
#include <vector>

// Every PCM device name that can play (input-only devices left out), in ALSA's order.
std::vector<std::string> ListPcmDevices();
