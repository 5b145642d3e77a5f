// An ALSA PCM plugin for the tests: a playback device that takes every block at once and can
// be told to misbehave as real cards do. Declared in an asoundrc as
//   pcm_type.kvfault { lib "/path/to/this/library.so" }
//   pcm.NAME { type kvfault  lost_after N  xrun_every N  rate N }
// lost_after: the N+1-th write finds the device gone (-ENODEV, as a card that was unplugged);
// xrun_every: every N-th write reports an underrun (-EPIPE); rate: the only rate it offers.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

struct tFaultDevice {
    snd_pcm_ioplug_t io{};
    snd_pcm_uframes_t position = 0;
    long writes = 0;
    long lostAfter = 0;
    long xrunEvery = 0;
    long rate = 0;
};

tFaultDevice* Device(snd_pcm_ioplug_t* io) {
    return static_cast<tFaultDevice*>(io->private_data);
}

int Start(snd_pcm_ioplug_t*) {
    return 0;
}

int Stop(snd_pcm_ioplug_t*) {
    return 0;
}

int Prepare(snd_pcm_ioplug_t* io) {
    Device(io)->position = 0;
    return 0;
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
    const tFaultDevice* device = Device(io);
    if (device->lostAfter > 0 && device->writes > device->lostAfter) return -ENODEV;
    return static_cast<snd_pcm_sframes_t>(device->position % io->buffer_size);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t*, snd_pcm_uframes_t,
                           snd_pcm_uframes_t size) {
    tFaultDevice* device = Device(io);
    ++device->writes;
    if (device->lostAfter > 0 && device->writes > device->lostAfter) return -ENODEV;
    if (device->xrunEvery > 0 && device->writes % device->xrunEvery == 0) {
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
        return -EPIPE;
    }
    // Played at once: the whole buffer is free again.
    device->position += size;
    return static_cast<snd_pcm_sframes_t>(size);
}

int Close(snd_pcm_ioplug_t* io) {
    tFaultDevice* device = Device(io);
    close(io->poll_fd);
    delete device;
    return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t callbacks{};
    callbacks.start = Start;
    callbacks.stop = Stop;
    callbacks.pointer = Pointer;
    callbacks.transfer = Transfer;
    callbacks.close = Close;
    callbacks.prepare = Prepare;
    return callbacks;
}();

long Number(snd_config_t* entry) {
    long value = 0;
    if (snd_config_get_integer(entry, &value) < 0) return -1;
    return value;
}

} // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(kvfault) {
    (void)root;
    auto* device = new tFaultDevice;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(entry, &id) < 0) continue;
        if (std::strcmp(id, "comment") == 0 || std::strcmp(id, "type") == 0) continue;
        if (std::strcmp(id, "lost_after") == 0)
            device->lostAfter = Number(entry);
        else if (std::strcmp(id, "xrun_every") == 0)
            device->xrunEvery = Number(entry);
        else if (std::strcmp(id, "rate") == 0)
            device->rate = Number(entry);
    }
    if (stream != SND_PCM_STREAM_PLAYBACK) {
        delete device;
        return -EINVAL;
    }
    device->io.version = SND_PCM_IOPLUG_VERSION;
    device->io.name = "Kelvora test device";
    device->io.callback = &kCallbacks;
    device->io.private_data = device;
    // Always ready: a write never waits.
    device->io.poll_fd = eventfd(0, EFD_NONBLOCK);
    device->io.poll_events = POLLOUT;
    device->io.mmap_rw = 0;
    int err = snd_pcm_ioplug_create(&device->io, name, stream, mode);
    if (err < 0) {
        close(device->io.poll_fd);
        delete device;
        return err;
    }
    const unsigned accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    const unsigned formats[] = {SND_PCM_FORMAT_S16_LE};
    const unsigned lowRate = device->rate > 0 ? static_cast<unsigned>(device->rate) : 8000;
    const unsigned highRate = device->rate > 0 ? static_cast<unsigned>(device->rate) : 192000;
    if ((err = snd_pcm_ioplug_set_param_list(&device->io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses)) <
            0 ||
        (err = snd_pcm_ioplug_set_param_list(&device->io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) <
            0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) <
            0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_RATE, lowRate,
                                               highRate)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16,
                                               1 << 16)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) <
            0) {
        snd_pcm_ioplug_delete(&device->io);
        return err;
    }
    *pcmp = device->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(kvfault);
}
