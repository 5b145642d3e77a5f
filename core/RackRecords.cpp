#include "core/RackRecords.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr char kHeader[] = "kelvora-state";
constexpr std::size_t kHeaderLength = sizeof kHeader - 1;

// A reading position in the text that counts lines.
class tCursor {
public:
    explicit tCursor(const std::string& text) : mText(text) {}

    bool AtEnd() const { return mPos >= mText.size(); }
    int Line() const { return mLine; }
    char Peek() const { return AtEnd() ? '\0' : mText[mPos]; }
    char Get() {
        const char c = mText[mPos++];
        if (c == '\n') ++mLine;
        return c;
    }
    void SkipSpace() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(Peek()))) Get();
    }
    // Blanks and tabs, not line ends.
    void SkipBlanks() {
        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r') Get();
    }
    void SkipLine() {
        while (!AtEnd() && Get() != '\n') {
        }
    }
    // The text from here up to the first a or b (not taken), or to the end, counting its
    // lines; the position moves to that character.
    std::string_view UpTo(char a, char b) {
        const char* from = mText.data() + mPos;
        const std::size_t left = mText.size() - mPos;
        const void* atA = std::memchr(from, a, left);
        const void* atB = std::memchr(from, b, left);
        std::size_t n = left;
        if (atA != nullptr) n = static_cast<const char*>(atA) - from;
        if (atB != nullptr) n = std::min<std::size_t>(n, static_cast<const char*>(atB) - from);
        const char* const end = from + n;
        for (const char* at = from; at < end; ++at) {
            at =
                static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (at == nullptr) break;
            ++mLine;
        }
        mPos += n;
        return {from, n};
    }
    // The next blank-delimited word (after white space), empty at the end.
    std::string Word() {
        SkipSpace();
        std::string word;
        while (!AtEnd() && !std::isspace(static_cast<unsigned char>(Peek()))) word += Get();
        return word;
    }
    // A whole number after white space (not across a line end when sameLine).
    bool Number(int& value, bool sameLine = false) {
        if (sameLine)
            SkipBlanks();
        else
            SkipSpace();
        std::size_t end = mPos;
        if (end < mText.size() && (mText[end] == '-' || mText[end] == '+')) ++end;
        const std::size_t digits = end;
        while (end < mText.size() && std::isdigit(static_cast<unsigned char>(mText[end]))) ++end;
        if (end == digits) return false;
        if (end < mText.size() && !std::isspace(static_cast<unsigned char>(mText[end])))
            return false;
        const long parsed = std::strtol(mText.c_str() + mPos, nullptr, 10);
        value = static_cast<int>(parsed < INT_MIN ? INT_MIN : parsed > INT_MAX ? INT_MAX : parsed);
        mPos = end;
        return true;
    }

private:
    const std::string& mText;
    std::size_t mPos = 0;
    int mLine = 1;
};

tRackTextResult Fail(tRackTextError error, int line, const std::string& what) {
    return {error, line, "line " + std::to_string(line) + ": " + what};
}

} // namespace

tRackTextResult ReadRackRecords(const std::string& text, tRackRecords& records,
                                std::size_t maxPatch, std::size_t maxCaption) {
    records = {};
    tCursor in(text);
    const std::string header = in.Word();
    if (header.compare(0, kHeaderLength, kHeader) != 0)
        return Fail(tRackTextError::kNotRackFile, 1, "expected \"kelvora-state\" at the start");
    int last = 0;
    if (!in.Number(last))
        return Fail(tRackTextError::kSyntaxError, in.Line(),
                    "expected the number of the last module after \"kelvora-state\"");

    for (;;) {
        in.SkipSpace();
        if (in.AtEnd() || in.Peek() == '+') break;
        tRackRecord record;
        if (!in.Number(record.id))
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected a module number or a connection line (\"+ source target\")");
        in.SkipSpace();
        if (in.Peek() != '[')
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected \"[\" to open the record of module " + std::to_string(record.id));
        record.line = in.Line();
        in.Get();
        struct {
            int* value;
            const char* name;
        } const fields[] = {{&record.type, "module type"},     {&record.x, "x position"},
                            {&record.y, "y position"},         {&record.channel, "MIDI channel"},
                            {&record.on, "on state (0 or 1)"}, {&record.polyphony, "polyphony"}};
        for (const auto& field : fields)
            if (!in.Number(*field.value))
                return Fail(tRackTextError::kSyntaxError, in.Line(),
                            std::string("expected the ") + field.name + " of module " +
                                std::to_string(record.id) + " (a whole number)");
        record.caption = in.Word();
        if (record.caption.empty() || record.caption == "]")
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected the caption of module " + std::to_string(record.id));
        if (record.caption.size() > maxCaption) record.caption.resize(maxCaption);

        // The patch text up to the record's "]"; a "[" inside means the "]" is missing.
        const std::string_view patch = in.UpTo(']', '[');
        record.patch.assign(patch.substr(0, maxPatch));
        if (in.Peek() == '[')
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected \"]\" to close the record of module " +
                            std::to_string(record.id) + " (line " + std::to_string(record.line) +
                            ") before the next one");
        if (in.AtEnd())
            return Fail(tRackTextError::kEndsInRecord, in.Line(),
                        "the file ends inside the record of module " + std::to_string(record.id) +
                            " (line " + std::to_string(record.line) + "); expected \"]\"");
        in.Get(); // the "]"
        in.SkipLine();
        if (record.type >= 1 && record.type <= 3)
            records.modules.push_back(std::move(record));
        else
            ++records.skipped;
    }

    while (!in.AtEnd()) {
        in.SkipSpace();
        if (in.AtEnd()) break;
        if (in.Get() != '+')
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected a connection line (\"+ source target ...\")");
        tRackConnection connection;
        if (!in.Number(connection.source, true))
            return Fail(tRackTextError::kSyntaxError, in.Line(),
                        "expected the number of the source module after \"+\"");
        for (;;) {
            in.SkipBlanks();
            if (in.AtEnd() || in.Peek() == '\n') break;
            int target = 0;
            if (!in.Number(target, true))
                return Fail(tRackTextError::kSyntaxError, in.Line(),
                            "expected the number of a target module of module " +
                                std::to_string(connection.source));
            connection.targets.push_back(target);
        }
        records.connections.push_back(std::move(connection));
    }
    return {};
}
