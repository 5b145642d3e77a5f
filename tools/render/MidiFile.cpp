#include "MidiFile.h"

#include "core/TextFile.h"

#include <glib.h>
#include <smf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// libsmf reports through GLib's log; its messages are kept here and folded into the
// renderer's own error message instead of reaching the terminal.
std::string gLastLibraryMessage;

void KeepLibraryMessage(const gchar* /*domain*/, GLogLevelFlags level, const gchar* message,
                        gpointer /*data*/) {
    if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) != 0 &&
        message != nullptr)
        gLastLibraryMessage = message;
}

std::uint32_t BigEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// The chunk structure, checked before libsmf sees the file: libsmf reads past the end of its
// buffer when a chunk is longer than the file.
bool CheckChunks(const std::string& bytes, std::string& problem) {
    constexpr std::size_t kChunkHeader = 8;
    if (bytes.size() < kChunkHeader + 6 || bytes.compare(0, 4, "MThd") != 0) {
        problem = "no MIDI file header";
        return false;
    }
    const std::uint32_t headerLength = BigEndian(bytes, 4, 4);
    if (headerLength < 6 || headerLength > bytes.size() - kChunkHeader) {
        problem = "damaged MIDI file header";
        return false;
    }
    const std::uint32_t format = BigEndian(bytes, 8, 2);
    const std::uint32_t tracks = BigEndian(bytes, 10, 2);
    const std::uint32_t division = BigEndian(bytes, 12, 2);
    if (format > 1) {
        problem =
            "type " + std::to_string(format) + " MIDI files are not supported, only types 0 and 1";
        return false;
    }
    if (tracks == 0 || (format == 0 && tracks != 1)) {
        problem = "wrong number of tracks in the header";
        return false;
    }
    if ((division & 0x8000) != 0 || division == 0) {
        problem = "SMPTE time division is not supported";
        return false;
    }
    std::uint32_t found = 0;
    for (std::size_t at = kChunkHeader + headerLength; at < bytes.size();) {
        if (bytes.size() - at < kChunkHeader) {
            problem = "the file ends inside a chunk header";
            return false;
        }
        const std::uint32_t length = BigEndian(bytes, at + 4, 4);
        if (length > bytes.size() - at - kChunkHeader) {
            problem = "a chunk runs past the end of the file";
            return false;
        }
        if (bytes.compare(at, 4, "MTrk") == 0) ++found;
        at += kChunkHeader + length;
    }
    if (found < tracks) {
        problem = "the file has fewer tracks than its header says";
        return false;
    }
    return true;
}

// --- reading with libsmf in a child process ------------------------------------------------
//
// libsmf asserts, and can read past its buffers, on some damaged files. It therefore reads
// the file in a child process that sends the events back through a pipe; whatever happens to
// the child, the renderer reports a file it cannot read and goes on.

enum tRecordKind : char { kEventRecord = 'E', kFailureRecord = 'X', kDoneRecord = 'D' };
constexpr unsigned kChildSeconds = 20; // a child still reading after this long is stopped

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = write(fd, at, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

[[noreturn]] void ReadInChild(const std::string& bytes, int fd) {
    alarm(kChildSeconds);
    g_log_set_default_handler(KeepLibraryMessage, nullptr);
    smf_t* smf = smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size()));
    if (smf == nullptr) {
        const std::uint32_t length = static_cast<std::uint32_t>(gLastLibraryMessage.size());
        const char kind = kFailureRecord;
        WriteAll(fd, &kind, 1);
        WriteAll(fd, &length, sizeof length);
        WriteAll(fd, gLastLibraryMessage.data(), length);
        _exit(0);
    }
    smf_rewind(smf);
    while (smf_event_t* event = smf_get_next_event(smf)) {
        if (smf_event_is_metadata(event) || event->midi_buffer_length <= 0) continue;
        const char kind = kEventRecord;
        const double seconds = event->time_seconds;
        const std::uint32_t length = static_cast<std::uint32_t>(event->midi_buffer_length);
        if (!WriteAll(fd, &kind, 1) || !WriteAll(fd, &seconds, sizeof seconds) ||
            !WriteAll(fd, &length, sizeof length) || !WriteAll(fd, event->midi_buffer, length))
            _exit(1);
    }
    const char kind = kDoneRecord;
    _exit(WriteAll(fd, &kind, 1) ? 0 : 1);
}

// Reads the child's records; true when they ended with the done record.
bool ReadRecords(int fd, std::vector<tTimedMidi>& events, std::string& failure) {
    std::string data;
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        data.append(chunk, static_cast<std::size_t>(got));
    }
    std::size_t at = 0;
    auto take = [&](void* out, std::size_t size) {
        if (data.size() - at < size) return false;
        std::memcpy(out, data.data() + at, size);
        at += size;
        return true;
    };
    char kind = 0;
    while (take(&kind, 1)) {
        std::uint32_t length = 0;
        if (kind == kDoneRecord) return at == data.size();
        if (kind == kFailureRecord) {
            if (take(&length, sizeof length) && data.size() - at >= length)
                failure.assign(data, at, length);
            return false;
        }
        tTimedMidi event;
        if (kind != kEventRecord || !take(&event.seconds, sizeof event.seconds) ||
            !take(&length, sizeof length) || data.size() - at < length)
            return false;
        event.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        events.push_back(std::move(event));
    }
    return false;
}

} // namespace

bool LoadMidiFile(const std::string& path, std::vector<tTimedMidi>& events, std::string& error) {
    std::string bytes, reason;
    const tFileRead fileRead = ReadTextFile(path, bytes, kMaxMidiFileSize, reason);
    if (fileRead == tFileRead::kRefused) {
        error = path + " is not a readable Standard MIDI File (" + reason + ")";
        return false;
    }
    if (fileRead != tFileRead::kOk) {
        error = "cannot read " + path + ": " + reason;
        return false;
    }
    std::string problem;
    if (!CheckChunks(bytes, problem)) {
        error = path + " is not a readable Standard MIDI File (" + problem + ")";
        return false;
    }
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        error = std::string("cannot read ") + path + ": " + std::strerror(errno);
        return false;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot read ") + path + ": " + std::strerror(errno);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return false;
    }
    if (child == 0) {
        close(pipeEnds[0]);
        // The library's complaints, and a sanitizer's report on its faults, stay in the child.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDERR_FILENO);
        ReadInChild(bytes, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    std::vector<tTimedMidi> read;
    std::string failure;
    const bool complete = ReadRecords(pipeEnds[0], read, failure);
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = path + " is not a readable Standard MIDI File";
        if (!failure.empty())
            error += " (" + failure + ")";
        else if (!complete)
            error += " (the MIDI file library could not read it)";
        return false;
    }
    events.insert(events.end(), read.begin(), read.end());
    return true;
}
