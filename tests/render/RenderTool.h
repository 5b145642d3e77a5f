// Running kelvora-render from the tests and reading the WAV files it writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct tRunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh directory for one test's files.
inline std::string MakeTempDir() {
    char dir[] = "/tmp/kelvora-render-test-XXXXXX";
    return mkdtemp(dir) != nullptr ? dir : "";
}

inline void RemoveTree(const std::string& dir) {
    if (dir.rfind("/tmp/kelvora-render-test-", 0) == 0)
        std::system(("rm -rf '" + dir + "'").c_str());
}

// Runs the renderer with the arguments (a shell word list) in dir.
inline tRunResult RunRender(const std::string& dir, const std::string& args) {
    const std::string out = dir + "/stdout.txt";
    const std::string err = dir + "/stderr.txt";
    const std::string command =
        "cd '" + dir + "' && '" KELVORA_RENDER "' " + args + " >'" + out + "' 2>'" + err + "'";
    tRunResult result;
    const int status = std::system(command.c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFileBytes(out);
    result.err = ReadFileBytes(err);
    return result;
}

struct tWav {
    int format = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::vector<std::int16_t> samples;

    std::size_t Frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// Reads a RIFF WAVE file with 16-bit PCM data; false when it is not one.
inline bool ReadWav(const std::string& path, tWav& wav) {
    const std::string bytes = ReadFileBytes(path);
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    auto u16 = [&](std::size_t at) {
        return static_cast<int>(static_cast<unsigned char>(bytes[at]) |
                                static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const std::size_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) return false;
        if (id == "fmt ") {
            wav.format = u16(body);
            wav.channels = u16(body + 2);
            wav.rate = static_cast<int>(u32(body + 4));
            wav.bits = u16(body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || wav.bits != 16) return false;
            wav.samples.resize(size / 2);
            for (std::size_t i = 0; i < wav.samples.size(); ++i)
                wav.samples[i] = static_cast<std::int16_t>(u16(body + 2 * i));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}
