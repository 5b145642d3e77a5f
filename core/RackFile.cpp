#include "core/RackFile.h"

#include "core/Path.h"
#include "core/TextFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>

namespace {

constexpr char kHeader[] = "kelvora-state";
constexpr std::size_t kHeaderLength = sizeof kHeader - 1;

// Reads characters up to and including the next c; false at the end of the input.
bool SkipPast(std::istream& in, char c) {
    for (int ch = in.get(); ch != std::char_traits<char>::eof(); ch = in.get())
        if (ch == c) return true;
    return false;
}

// Collects the patch text up to the record's "]" (consumed). A text longer than
// kMaxPatchText is cut there and the rest skipped. False at the end of the input.
bool CollectPatch(std::istream& in, std::string& text) {
    text.clear();
    for (int ch = in.get(); ch != std::char_traits<char>::eof(); ch = in.get()) {
        if (ch == ']') return true;
        if (text.size() == kMaxPatchText) return SkipPast(in, ']');
        text.push_back(static_cast<char>(ch));
    }
    return false;
}

// The next character after blanks and line ends, not consumed (eof at the end).
int PeekPastWhitespace(std::istream& in) {
    int ch = in.peek();
    while (ch != std::char_traits<char>::eof() && std::isspace(ch)) {
        in.get();
        ch = in.peek();
    }
    return ch;
}

void ReadConnections(tRack& rack, std::istream& in, const std::map<int, tSlot*>& byId) {
    auto find = [&](int id) -> tSlot* {
        const auto it = byId.find(id);
        return it == byId.end() ? nullptr : it->second;
    };
    while (PeekPastWhitespace(in) == '+') {
        in.get();
        int source = 0;
        if (!(in >> source)) return;
        tSlot* from = find(source);
        while (in.peek() == ' ') {
            while (in.peek() == ' ') in.get();
            const int next = in.peek();
            if (!std::isdigit(next) && next != '-') break;
            int target = 0;
            if (!(in >> target)) return;
            tSlot* to = find(target);
            if (from != nullptr && to != nullptr) rack.Connect(from, to);
        }
    }
}

} // namespace

std::string RackCaption(const std::string& caption) {
    std::string text = caption.substr(0, kMaxCaption);
    for (char& c : text)
        if (std::isspace(static_cast<unsigned char>(c))) c = '_';
    if (text.empty()) text = "_";
    return text;
}

bool SaveRack(tRack& rack, std::ostream& out) {
    const auto& slots = rack.Slots();
    int last = 0;
    for (const tSlot* slot : slots) last = std::max(last, slot->Id());
    out << kHeader << ' ' << last << '\n';
    for (tSlot* slot : slots) {
        out << slot->Id() << '\n'
            << "[ " << slot->Type() << ' ' << slot->X() << ' ' << slot->Y() << ' '
            << slot->GetChannel() << ' ' << (slot->IsOn() ? 1 : 0) << ' ' << slot->GetPolyphony()
            << '\n'
            << RackCaption(slot->Caption()) << '\n';
        slot->WritePatch(out);
        out << "]\n";
    }
    for (const tSlot* slot : slots) {
        if (slot->Outputs().empty()) continue;
        out << "+ " << slot->Id();
        for (const tSlot* target : slot->Outputs()) out << ' ' << target->Id();
        out << '\n';
    }
    return static_cast<bool>(out);
}

bool SaveRackFile(tRack& rack, const std::string& path, std::string& error) {
    const std::string file = ForceExtension(path, ".mst");
    std::ostringstream out;
    std::string reason = "the rack could not be written out";
    if (!SaveRack(rack, out) || !WriteTextFile(file, out.str(), reason)) {
        std::fputs("Can't write file", stderr);
        error = "Can't write file " + file + " (" + reason + ")";
        return false;
    }
    return true;
}

bool SaveRackFile(tRack& rack, const std::string& path) {
    std::string error;
    return SaveRackFile(rack, path, error);
}

tRackLoadResult LoadRack(tRack& rack, std::istream& in, bool insert, const tModuleMaker& make,
                         const std::function<void()>& beforeClear) {
    tRackLoadResult result;
    std::string header;
    if (!(in >> header) || header.compare(0, kHeaderLength, kHeader) != 0) {
        std::fputs("not a Kelvora File!\n", stderr);
        result.status = tRackFileStatus::kNotRackFile;
        return result;
    }
    if (!insert) {
        if (beforeClear) beforeClear();
        rack.Clear();
    }
    long last = 0;
    if (!(in >> last)) {
        std::fputs("syntax error in file\n", stderr);
        result.status = tRackFileStatus::kSyntaxError;
        return result;
    }

    // The ids of the file, linking the connection lines to the modules made.
    std::map<int, tSlot*> byId;
    std::string patch;
    for (;;) {
        const int next = PeekPastWhitespace(in);
        if (next == std::char_traits<char>::eof() || next == '+') break;

        int id = 0;
        const bool haveId = static_cast<bool>(in >> id);
        if (!haveId) in.clear();
        if (!SkipPast(in, '[')) {
            std::fputs("syntax error in file\n", stderr);
            result.status = tRackFileStatus::kSyntaxError;
            return result;
        }
        int type = 0, x = 0, y = 0, channel = 0, on = 0, polyphony = 0;
        std::string caption;
        std::unique_ptr<tSlot> slot;
        if (in >> type >> x >> y >> channel >> on >> polyphony >> caption) {
            if (caption.size() > kMaxCaption) caption.resize(kMaxCaption);
            slot = make(type, x, y);
        } else {
            in.clear();
        }
        if (!slot) {
            // Unknown module type or unreadable numbers: the record is skipped.
            ++result.skipped;
            if (!SkipPast(in, ']')) {
                result.status = tRackFileStatus::kEndsInRecord;
                return result;
            }
        } else {
            if (!CollectPatch(in, patch)) {
                result.status = tRackFileStatus::kEndsInRecord;
                return result;
            }
            std::istringstream text(patch);
            slot->ReadPatch(caption.c_str(), text);
            tSlot* module = slot.release();
            rack.Insert(module);
            {
                tRack::tGuard guard(rack);
                if (on != 0) module->SwitchOn();
                module->SetChannel(std::clamp(channel, 0, 15) + 1);
                module->SetPolyphony(polyphony);
            }
            if (haveId) byId[id] = module;
            ++result.modules;
        }
        SkipPast(in, '\n');
    }
    ReadConnections(rack, in, byId);
    return result;
}

tRackLoadResult LoadRackFile(tRack& rack, const std::string& path, bool insert,
                             const tModuleMaker& make, const std::function<void()>& beforeClear) {
    std::string text, reason;
    const tFileRead read = ReadTextFile(path, text, kMaxRackFileSize, reason);
    if (read != tFileRead::kOk) {
        std::fputs("Can't read file", stderr);
        tRackLoadResult result;
        result.status =
            read == tFileRead::kRefused ? tRackFileStatus::kRefused : tRackFileStatus::kCannotOpen;
        result.message = ReadFailure(read, path, "rack", reason);
        return result;
    }
    std::istringstream in(text);
    tRackLoadResult result = LoadRack(rack, in, insert, make, beforeClear);
    switch (result.status) {
    case tRackFileStatus::kNotRackFile:
        result.message = path + " is not a Kelvora rack file";
        break;
    case tRackFileStatus::kSyntaxError:
        result.message = "syntax error in " + path;
        break;
    case tRackFileStatus::kEndsInRecord:
        result.message = path + " ends inside a module record";
        break;
    default:
        break;
    }
    return result;
}
