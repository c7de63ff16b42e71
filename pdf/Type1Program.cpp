#include "pdf/Type1Program.h"
#include "sdf/CharClass.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace qvx::PDF::Type1Program {

namespace {

constexpr std::uint16_t kEexecKey = 55665, kCharStringKey = 4330, kC1 = 52845, kC2 = 22719;
// The random bytes an encrypted section begins with.
constexpr std::size_t kEexecLead = 4;

using SDF::CharClass::HexValue;
using SDF::CharClass::IsWhite;

// eexec and charstring encryption: each byte's key follows the encrypted byte.
Common::Bytes Crypt(Common::ByteView in, std::uint16_t key, bool encrypt)
{
    Common::Bytes out(in.size());
    std::uint16_t r = key;
    for (std::size_t i = 0; i < in.size(); ++i) {
        out[i] = static_cast<Common::Byte>(in[i] ^ (r >> 8));
        // In unsigned arithmetic: the product overflows int, and only its low 16 bits count.
        unsigned cipher = encrypt ? out[i] : in[i];
        r = static_cast<std::uint16_t>((cipher + r) * kC1 + kC2);
    }
    return out;
}

Common::Bytes Decrypt(Common::ByteView in, std::uint16_t key) { return Crypt(in, key, false); }
Common::Bytes Encrypt(Common::ByteView in, std::uint16_t key) { return Crypt(in, key, true); }

// The encrypted part as bytes: programs may write it in hexadecimal.
Common::Bytes Binary(Common::ByteView part)
{
    bool hex = part.size() >= kEexecLead;
    for (std::size_t i = 0; hex && i < kEexecLead; ++i) hex = HexValue(part[i]) >= 0;
    if (!hex) return Common::Bytes(part.begin(), part.end());
    Common::Bytes out;
    int high = -1;
    for (Common::Byte c : part) {
        int v = HexValue(c);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<Common::Byte>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

void PutNumber(Common::Bytes& out, long v)
{
    if (v >= -107 && v <= 107) {
        out.push_back(static_cast<Common::Byte>(v + 139));
    } else if (v >= 108 && v <= 1131) {
        out.push_back(static_cast<Common::Byte>((v - 108) / 256 + 247));
        out.push_back(static_cast<Common::Byte>((v - 108) % 256));
    } else if (v <= -108 && v >= -1131) {
        out.push_back(static_cast<Common::Byte>((-v - 108) / 256 + 251));
        out.push_back(static_cast<Common::Byte>((-v - 108) % 256));
    } else {
        auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
        out.push_back(255);
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<Common::Byte>(u >> shift));
    }
}

// A decrypted charstring (without its lead bytes) with the width of its hsbw or sbw set;
// nullopt when the width is not the first thing it states.
std::optional<Common::Bytes> SetWidth(Common::ByteView cs, long width)
{
    constexpr Common::Byte kHsbw = 13, kEscape = 12, kSbw = 7;
    std::vector<long> operands;
    std::size_t at = 0;
    while (at < cs.size() && cs[at] >= 32 && operands.size() < 4) {
        Common::Byte b = cs[at];
        if (b <= 246) {
            operands.push_back(b - 139);
            at += 1;
        } else if (b <= 254) {
            if (at + 1 >= cs.size()) return std::nullopt;
            long v = (b - (b <= 250 ? 247 : 251)) * 256 + cs[at + 1] + 108;
            operands.push_back(b <= 250 ? v : -v);
            at += 2;
        } else {
            if (at + 4 >= cs.size()) return std::nullopt;
            std::uint32_t u = (std::uint32_t{cs[at + 1]} << 24) | (std::uint32_t{cs[at + 2]} << 16) |
                              (std::uint32_t{cs[at + 3]} << 8) | cs[at + 4];
            operands.push_back(static_cast<std::int32_t>(u));
            at += 5;
        }
    }
    if (at >= cs.size()) return std::nullopt;
    bool hsbw = cs[at] == kHsbw && operands.size() == 2;
    bool sbw = cs[at] == kEscape && at + 1 < cs.size() && cs[at + 1] == kSbw && operands.size() == 4;
    if (!hsbw && !sbw) return std::nullopt;
    operands[hsbw ? 1 : 2] = width;
    Common::Bytes out;
    for (long v : operands) PutNumber(out, v);
    out.insert(out.end(), cs.begin() + static_cast<std::ptrdiff_t>(at), cs.end());
    return out;
}

// Whether a decrypted charstring (without its lead bytes) builds its glyph of two others
// (seac), which a subset must then keep too.
bool UsesSeac(Common::ByteView cs)
{
    constexpr Common::Byte kEscape = 12, kSeac = 6;
    for (std::size_t at = 0; at < cs.size();) {
        const Common::Byte b = cs[at];
        if (b == kEscape) {
            if (at + 1 < cs.size() && cs[at + 1] == kSeac) return true;
            at += 2;
        } else {
            at += b < 32 || b <= 246 ? 1 : b <= 254 ? 2 : 5;
        }
    }
    return false;
}

void Append(Common::Bytes& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }

std::size_t SkipSpace(const Common::Bytes& s, std::size_t at)
{
    while (at < s.size() && IsWhite(s[at])) ++at;
    return at;
}

std::size_t TokenEnd(const Common::Bytes& s, std::size_t at)
{
    while (at < s.size() && !IsWhite(s[at]) && s[at] != '/' && s[at] != '[' && s[at] != '{') ++at;
    return at;
}

std::size_t Find(const Common::Bytes& s, std::string_view what, std::size_t from = 0)
{
    std::size_t at = Common::AsChars(s).find(what, from);
    return at == std::string_view::npos ? s.size() : at;
}

// The charstrings' lead bytes (-1: not encrypted).
long LenIV(const Common::Bytes& priv)
{
    std::size_t at = Find(priv, "/lenIV");
    if (at == priv.size()) return 4;
    at = SkipSpace(priv, at + 6);
    bool negative = at < priv.size() && priv[at] == '-';
    if (negative) ++at;
    long v = 0;
    for (; at < priv.size() && priv[at] >= '0' && priv[at] <= '9' && v < 1000; ++at) v = v * 10 + (priv[at] - '0');
    return negative ? -v : v;
}

}  // namespace

Lengths ProgramLengths(Common::ByteView data)
{
    std::string_view s = Common::AsChars(data);
    std::size_t clear = s.find("eexec");
    clear = clear == std::string_view::npos ? s.size() : clear + 5;
    while (clear < s.size() && (s[clear] == '\r' || s[clear] == '\n')) ++clear;
    std::size_t tail = s.rfind("cleartomark");
    if (tail == std::string_view::npos || tail < clear) tail = s.size();
    while (tail > clear && (s[tail - 1] == '0' || s[tail - 1] == '\r' || s[tail - 1] == '\n')) --tail;
    return {clear, tail - clear, s.size() - tail};
}

bool IsSegmented(Common::ByteView data) { return data.size() >= 6 && data[0] == 0x80 && data[1] == 1; }

std::optional<Program> Joined(Common::ByteView data)
{
    if (!IsSegmented(data)) return std::nullopt;
    Common::Bytes out;
    for (std::size_t at = 0; at < data.size();) {
        // Kind 3 ends the program.
        if (data[at] != 0x80 || (data.size() - at >= 2 && data[at + 1] == 3)) break;
        if (data.size() - at < 6 || data[at + 1] < 1 || data[at + 1] > 2) return std::nullopt;
        std::size_t size = data[at + 2] | data[at + 3] << 8 | data[at + 4] << 16 | static_cast<std::size_t>(data[at + 5]) << 24;
        at += 6;
        // A part cut short at the end of the data (often the fixed trailer of zeros) keeps
        // what there is: readers need no more.
        size = std::min(size, data.size() - at);
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    // The fixed trailer (512 zeros and cleartomark) is the same in every program; some
    // readers do not read a program without it.
    if (Common::AsChars(out).find("cleartomark", ProgramLengths(out).clear) == std::string_view::npos) {
        std::string trailer = "\n";
        for (int line = 0; line < 8; ++line) trailer += std::string(64, '0') + "\n";
        trailer += "cleartomark\n";
        out.insert(out.end(), trailer.begin(), trailer.end());
    }
    Lengths lengths = ProgramLengths(out);
    return Program{std::move(out), lengths};
}

bool HasDamagedEntries(Common::ByteView data)
{
    if (data.size() < 2 || data[0] != '%' || data[1] != '!') return false;
    Lengths lengths = ProgramLengths(data);
    if (lengths.encrypted <= kEexecLead) return false;
    Common::Bytes priv = Decrypt(Binary(data.subspan(lengths.clear, lengths.encrypted)), kEexecKey);
    std::string_view text = Common::AsChars(priv);
    auto is_number = [](std::string_view t) {
        return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    static constexpr std::string_view kClosers[] = {"NP", "ND", "|", "|-", "noaccess", "def", "put", "readonly"};
    // Each entry is: length RD <length bytes> closer (RD may be spelt -|). Bodies are binary,
    // so the scan steps over each one rather than searching through it.
    // A program spells RD one way: the other spelling is searched for once, not per entry.
    std::size_t next_rd = text.find(" RD "), next_dash = text.find(" -| ");
    for (std::size_t at = 0;;) {
        if (next_rd != std::string_view::npos && next_rd < at) next_rd = text.find(" RD ", at);
        if (next_dash != std::string_view::npos && next_dash < at) next_dash = text.find(" -| ", at);
        std::size_t rd = std::min(next_rd, next_dash);
        if (rd == std::string_view::npos) return false;
        std::size_t len_end = rd;
        while (len_end > at && IsWhite(priv[len_end - 1])) --len_end;
        std::size_t len_at = len_end;
        while (len_at > at && !IsWhite(priv[len_at - 1])) --len_at;
        std::string_view len = text.substr(len_at, len_end - len_at);
        if (!is_number(len)) {
            at = rd + 3;
            continue;
        }
        if (len.size() > 9) return true;  // past the end of any program
        std::size_t end = rd + 4 + static_cast<std::size_t>(std::stol(std::string(len)));
        if (end > priv.size()) return true;
        std::size_t word = SkipSpace(priv, end);
        std::string_view closer = text.substr(word, TokenEnd(priv, word) - word);
        if (std::find(std::begin(kClosers), std::end(kClosers), closer) == std::end(kClosers)) return true;
        at = end;
    }
}

std::optional<Program> WithAdvances(Common::ByteView data, const Advances& advances, const Copies& copies,
                                    const Keep* keep)
{
    if (data.size() < 2 || data[0] != '%' || data[1] != '!' || (keep && !copies.empty())) return std::nullopt;
    Lengths lengths = ProgramLengths(data);
    if (lengths.encrypted <= kEexecLead) return std::nullopt;
    Common::Bytes priv = Decrypt(Binary(data.subspan(lengths.clear, lengths.encrypted)), kEexecKey);
    long lead = LenIV(priv);
    if (lead > 64) return std::nullopt;
    std::size_t dict = Find(priv, "/CharStrings");
    std::size_t at = Find(priv, "begin", dict);
    if (at == priv.size()) return std::nullopt;
    at += 5;

    // The dictionary's declared size grows with the copies: readers size it by that number.
    std::size_t count_at = SkipSpace(priv, dict + 12), count_end = TokenEnd(priv, count_at);
    std::size_t count = 0;
    for (std::size_t i = count_at; i < count_end && count < priv.size(); ++i) {
        if ((priv[i] < '0' || priv[i] > '9') && !copies.empty()) return std::nullopt;
        count = count * 10 + (priv[i] - '0');
    }
    if (copies.empty()) count_at = count_end = at;
    Common::Bytes out(priv.begin(), priv.begin() + static_cast<std::ptrdiff_t>(count_at));
    if (!copies.empty()) Append(out, std::to_string(count + copies.size()));
    out.insert(out.end(), priv.begin() + static_cast<std::ptrdiff_t>(count_end), priv.begin() + static_cast<std::ptrdiff_t>(at));

    auto rewidth = [&](Common::ByteView cs, long width) -> std::optional<Common::Bytes> {
        std::size_t skip = lead > 0 ? static_cast<std::size_t>(lead) : 0;
        if (cs.size() < skip) return std::nullopt;
        Common::Bytes plain = lead >= 0 ? Decrypt(cs, kCharStringKey) : Common::Bytes(cs.begin(), cs.end());
        auto set = SetWidth(Common::ByteView(plain).subspan(skip), width);
        if (!set) return std::nullopt;
        plain.resize(skip);
        plain.insert(plain.end(), set->begin(), set->end());
        return lead >= 0 ? Encrypt(plain, kCharStringKey) : plain;
    };
    // Each entry: /name length RD <length bytes> ND; changed entries get a new length.
    auto put_entry = [&](std::string_view name, Common::ByteView rd, Common::ByteView body) {
        if (!name.empty()) Append(out, "/" + std::string(name) + " ");
        Append(out, std::to_string(body.size()) + " ");
        out.insert(out.end(), rd.begin(), rd.end());
        out.insert(out.end(), body.begin(), body.end());
    };
    std::size_t changed = 0, dropped = 0;
    // Each entry's closing words (ND) are copied before the next entry, and only when the
    // entry they close is kept.
    bool kept = true;
    std::map<std::string_view, std::pair<std::size_t, std::size_t>> sources;  // charstring: start, length
    Common::ByteView last_rd;
    std::set<std::string_view> names;
    std::size_t close = at;  // where the entries end
    for (;;) {
        // Past the previous entry's ND (or "noaccess def", "|-") to the next name; "end"
        // closes the dictionary.
        std::size_t name = SkipSpace(priv, at);
        for (int words = 0; name < priv.size() && priv[name] != '/' && words < 3; ++words) {
            std::size_t end = TokenEnd(priv, name);
            if (end == name || Common::AsChars(priv).substr(name, end - name) == "end") break;
            name = SkipSpace(priv, end);
        }
        close = name;
        if (name >= priv.size() || priv[name] != '/') break;
        std::size_t name_end = TokenEnd(priv, name + 1);
        std::size_t len_at = SkipSpace(priv, name_end), len_end = TokenEnd(priv, len_at);
        std::size_t rd = SkipSpace(priv, len_end), rd_end = TokenEnd(priv, rd);
        std::size_t length = 0;
        for (std::size_t i = len_at; i < len_end; ++i) {
            if (priv[i] < '0' || priv[i] > '9' || length > priv.size()) return std::nullopt;
            length = length * 10 + (priv[i] - '0');
        }
        std::size_t body = rd_end + 1;
        if (len_at == len_end || rd == rd_end || body + length > priv.size()) return std::nullopt;
        std::string_view glyph = Common::AsChars(priv).substr(name + 1, name_end - name - 1);
        names.insert(glyph);
        sources.emplace(glyph, std::pair{body, length});
        if (kept) out.insert(out.end(), priv.begin() + static_cast<std::ptrdiff_t>(at), priv.begin() + static_cast<std::ptrdiff_t>(name));
        Common::ByteView cs(priv.data() + body, length);
        kept = !keep || glyph == ".notdef" || keep->count(glyph);
        if (!kept) {
            ++dropped;
            at = body + length;
            continue;
        }
        if (keep && lead >= 0 && cs.size() >= static_cast<std::size_t>(lead) &&
            UsesSeac(Common::ByteView(Decrypt(cs, kCharStringKey)).subspan(static_cast<std::size_t>(lead))))
            return std::nullopt;
        out.insert(out.end(), priv.begin() + static_cast<std::ptrdiff_t>(name), priv.begin() + static_cast<std::ptrdiff_t>(len_at));
        Common::ByteView rd_token(priv.data() + rd, body - rd);
        auto wanted = advances.find(glyph);
        if (wanted != advances.end()) {
            auto written = rewidth(cs, wanted->second);
            if (!written) return std::nullopt;
            put_entry({}, rd_token, *written);
            ++changed;
        } else {
            out.insert(out.end(), priv.begin() + static_cast<std::ptrdiff_t>(len_at),
                       priv.begin() + static_cast<std::ptrdiff_t>(body + length));
        }
        at = body + length;
        last_rd = rd_token;
    }
    // The copies follow the last entry, each written as that entry is (RD and ND alike).
    std::size_t copied = 0;
    if (!copies.empty()) {
        std::size_t tail_end = std::min(close, priv.size());
        while (tail_end > at && IsWhite(priv[tail_end - 1])) --tail_end;
        Common::ByteView nd(priv.data() + at, tail_end - at);
        out.insert(out.end(), nd.begin(), nd.end());
        for (const auto& [copy_name, copy] : copies) {
            auto src = sources.find(copy.source);
            if (names.count(copy_name) || src == sources.end()) return std::nullopt;
            auto written = rewidth(Common::ByteView(priv.data() + src->second.first, src->second.second), copy.advance);
            if (!written) return std::nullopt;
            Append(out, "\n");
            put_entry(copy_name, last_rd, *written);
            out.insert(out.end(), nd.begin(), nd.end());
            ++copied;
        }
        at = tail_end;
    }
    if (changed + copied + dropped == 0) return std::nullopt;
    out.insert(out.end(), priv.begin() + static_cast<std::ptrdiff_t>(kept ? at : close), priv.end());

    Program p;
    Common::Bytes encrypted = Encrypt(out, kEexecKey);
    p.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(lengths.clear));
    p.data.insert(p.data.end(), encrypted.begin(), encrypted.end());
    p.data.insert(p.data.end(), data.begin() + static_cast<std::ptrdiff_t>(lengths.clear + lengths.encrypted), data.end());
    p.lengths = {lengths.clear, encrypted.size(), lengths.tail};
    return p;
}

}  // namespace qvx::PDF::Type1Program
