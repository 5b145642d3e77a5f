#include "core/RackFile.h"

#include "core/Path.h"
#include "core/RackRecords.h"
#include "core/TextFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <istream>
#include <iterator>
#include <map>
#include <ostream>
#include <sstream>

namespace {
constexpr char kHeader[] = "kelvora-state";
} // namespace

std::string RackCaption(const std::string& caption) {
    std::string text = caption.substr(0, kMaxCaption);
    // Brackets too: a caption must not look like the end of its record.
    for (char& c : text)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']') c = '_';
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
        error = "Can't write file " + file + " (" + reason + ")";
        std::fprintf(stderr, "%s\n", error.c_str());
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
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    tRackRecords records;
    const tRackTextResult read = ReadRackRecords(text, records, kMaxPatchText, kMaxCaption);
    switch (read.error) {
    case tRackTextError::kNone:
        break;
    case tRackTextError::kNotRackFile:
        result.status = tRackFileStatus::kNotRackFile;
        result.message = "not a Kelvora rack file (" + read.message + ")";
        return result;
    case tRackTextError::kSyntaxError:
        result.status = tRackFileStatus::kSyntaxError;
        result.message = "syntax error in " + read.message;
        return result;
    case tRackTextError::kEndsInRecord:
        result.status = tRackFileStatus::kEndsInRecord;
        result.message = read.message;
        return result;
    }

    // The text is known good: only now is the rack touched. (Clearing restarts the ids, so the
    // modules are made after it.)
    if (!insert) {
        if (beforeClear) beforeClear();
        rack.Clear();
    }
    // The ids of the file, linking the connection lines to the modules made; records of no
    // known kind are skipped.
    std::map<int, tSlot*> byId;
    result.skipped = records.skipped;
    for (const tRackRecord& record : records.modules) {
        std::unique_ptr<tSlot> slot = make(record.type, record.x, record.y);
        if (!slot) {
            ++result.skipped;
            continue;
        }
        std::istringstream patch(record.patch);
        slot->ReadPatch(record.caption.c_str(), patch);
        tSlot* module = slot.release();
        rack.Insert(module);
        {
            tRack::tGuard guard(rack);
            if (record.on != 0) module->SwitchOn();
            module->SetChannel(std::clamp(record.channel, 0, 15) + 1);
            module->SetPolyphony(record.polyphony);
        }
        byId[record.id] = module;
        ++result.modules;
    }
    for (const tRackConnection& connection : records.connections) {
        const auto from = byId.find(connection.source);
        if (from == byId.end()) continue;
        for (int target : connection.targets) {
            const auto to = byId.find(target);
            if (to != byId.end()) rack.Connect(from->second, to->second);
        }
    }
    return result;
}

tRackLoadResult LoadRackFile(tRack& rack, const std::string& path, bool insert,
                             const tModuleMaker& make, const std::function<void()>& beforeClear) {
    std::string text, reason;
    const tFileRead read = ReadTextFile(path, text, kMaxRackFileSize, reason);
    tRackLoadResult result;
    if (read != tFileRead::kOk) {
        result.status =
            read == tFileRead::kRefused ? tRackFileStatus::kRefused : tRackFileStatus::kCannotOpen;
        result.message = read == tFileRead::kRefused
                             ? ReadFailure(read, path, "rack", reason)
                             : "Can't read file " + path + " (" + reason + ")";
    } else {
        std::istringstream in(text);
        result = LoadRack(rack, in, insert, make, beforeClear);
        if (!result.message.empty()) result.message = path + ": " + result.message;
    }
    if (!result.message.empty()) std::fprintf(stderr, "%s\n", result.message.c_str());
    return result;
}
