#include "sdf/XRefParser.h"

#include <algorithm>
#include <set>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/Filter.h"
#include "sdf/CharClass.h"
#include "sdf/FileHeader.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

using namespace CharClass;

XRefParser::XRefParser(SDFDocImpl& doc) : Parser(doc.GetFileView(), &doc) {}

bool XRefParser::HandleKeyword(std::string_view keyword)
{
    if (keyword != "R") return false;
    PushTableReference(PopReference("R takes 2 args"), Common::Limits::kMaxXRefObjNum);
    return true;
}

void XRefParser::Define(std::uint64_t num, int type, std::uint64_t f2, std::uint64_t f3)
{
    if (num > Common::Limits::kMaxXRefObjNum) QVX_THROW("num <= Common::Limits::kMaxXRefObjNum", "Bad obj num");
    auto n = static_cast<std::uint32_t>(num);
    Indirect* e = mp_doc->GetEntry(n);
    if (e && !(e->IsPlaceholder() && !e->IsLoaded())) return;
    if (n == 0 && e) return;  // entry 0 belongs to the newest section
    switch (type) {
    case 0: mp_doc->SetEntry(n, Indirect::e_free, f2, static_cast<std::uint32_t>(f3 % 65536)); break;
    case 1: mp_doc->SetEntry(n, Indirect::e_in_use, f2, static_cast<std::uint32_t>(f3 % 65536)); break;
    case 2:
        mp_doc->SetEntry(n, Indirect::e_compressed, f2, static_cast<std::uint32_t>(std::min<std::uint64_t>(f3, 0xFFFFFFFF)));
        break;
    default:
        if (!e) mp_doc->SetEntry(n, Indirect::e_in_use, 0, 0)->SetEngineCreated();
        break;
    }
}

void XRefParser::ReadHeader()
{
    Common::ByteView d = Data();
    const std::int32_t level = HookLevel();
    const int part = HookPart();
    if (level >= 1 && level <= 11) {
        Common::ByteView h = d.subspan(0, std::min<std::size_t>(1024, d.size()));
        std::string_view s = Common::AsChars(h);
        bool ok = s.size() >= 14 && s.starts_with(part == 4 ? "%PDF-2." : "%PDF-1.") &&
                  (part == 4 ? s[7] == '0' : (s[7] >= '0' && s[7] <= '7')) && IsEOL(s[8]) &&
                  (s[9] == '%' || (s[8] == '\r' && s[9] == '\n' && s[10] == '%'));
        if (!ok) Report(e_PDFA123);
    }
    std::optional<FileHeader> header = FindFileHeader(d, 1024);
    if (header) {
        mp_doc->SetHeader(header->text, header->offset);
        m_header_offset = header->offset;
    }
    if (level >= 1 && level <= 11) {
        if (!header || header->offset != 0) {
            Report(e_PDFA121);
        } else {
            std::size_t p = header->text.size();
            while (p < d.size() && IsWhite(d[p])) ++p;
            bool ok = p + 5 <= d.size() && d[p] == '%';
            for (std::size_t k = 1; ok && k <= 4; ++k) ok = d[p + k] >= 128;
            if (!ok) Report(e_PDFA122);
        }
    }
    // The first object's number, which a table may list with offset 0 on purpose.
    std::size_t p = header ? header->offset + header->text.size() : 0;
    p = SkipWhiteAndComments(d, p);
    std::uint64_t first = 0;
    std::size_t digits = 0;
    for (; p < d.size() && IsDigit(d[p]) && digits < 10; ++p, ++digits) first = first * 10 + (d[p] - '0');
    if (digits > 0 && first <= Common::Limits::kMaxXRefObjNum) mp_doc->SetFirstObjNum(static_cast<std::uint32_t>(first));
}

static bool HasObjectAfter(Common::ByteView d, std::size_t pos)
{
    for (; pos < d.size(); ++pos)
        if (IsDigit(d[pos]) && (pos == 0 || !IsDigit(d[pos - 1])) && ObjectHeaderAt(d, pos)) return true;
    return false;
}

std::uint64_t XRefParser::FindXRefOffset()
{
    static constexpr std::string_view kKey = "startxref";
    Common::ByteView d = Data();
    const char* base = reinterpret_cast<const char*>(d.data());
    // Backwards from the end in 16384-byte chunks; consecutive chunks overlap by the
    // keyword's length so that a keyword across a boundary is found.
    std::size_t end = d.size();
    std::size_t start = end - std::min<std::size_t>(end, (end % 16384 < 9 ? end % 16384 + 16384 : end % 16384));
    std::size_t found = std::string_view::npos;
    for (;;) {
        std::string_view chunk(base + start, end - start);
        found = chunk.rfind(kKey);
        if (found != std::string_view::npos) {
            found += start;
            break;
        }
        if (start == 0) QVX_THROW("startxref within the file", "PDF startxref not found. The file is not a valid PDF document.");
        end = std::min(d.size(), start + kKey.size() - 1);
        start = start > 16384 ? start - 16384 : 0;
    }
    Seek(found + kKey.size());
    ClearStack();
    if (!GetObj() || StackSize() != 1 || !IsNumberAt(0)) QVX_THROW("GetObj() && StackSize() == 1 && IsNumberAt(0)", "startxref expects a single argument");
    double v = NumberAt(0);
    ClearStack();
    if (HookLevel() >= 1 && HookLevel() <= 11) {
        std::size_t p = SkipEOLMarker(d, static_cast<std::size_t>(Tell()));
        if (!BytesAt(d, p, "%%EOF") || SkipEOLMarker(d, p + 5) != d.size()) Report(e_PDFA133);
    }
    // Objects after the last startxref are an update whose own table was cut off (a
    // download that stopped): the table found describes an older revision, and conversion
    // rebuilds from the objects instead of losing the update's pages.
    if (mp_doc->GetCheckState().convert && HasObjectAfter(d, static_cast<std::size_t>(Tell())))
        QVX_THROW("no object after startxref", "An update follows the last cross-reference table");
    if (!(v >= 0 && v < 1e18)) QVX_THROW("v >= 0 && v < 1e18", "Bad xref");
    return static_cast<std::uint64_t>(v) + m_header_offset;
}

bool XRefParser::FileOffset(const Obj* trailer, std::string_view key, std::uint64_t& out) const
{
    Obj* v = trailer->FindObj(key);
    if (!v || v->IsIndirect() || !v->IsNumber()) return false;
    double d = v->GetNumber();
    if (!(d >= 0 && d < 1e18)) return false;
    out = static_cast<std::uint64_t>(d) + m_header_offset;
    return true;
}

XRefParser::Section XRefParser::ParseXRef(std::uint64_t offset)
{
    if (offset >= Data().size()) QVX_THROW("offset < Data().size()", "xref table not found");
    Seek(offset);
    ClearStack();
    m_cur_num = 0;
    if (!GetObj() && Token() == "xref") return {offset, ParseClassic(), false};
    return {offset, ParseXRefStream(offset), true};
}

std::unique_ptr<Obj> XRefParser::ParseClassic()
{
    Common::ByteView d = Data();
    const bool check = HookLevel() >= 1 && HookLevel() <= 11;
    if (check) {
        std::size_t p = SkipEOLMarker(d, static_cast<std::size_t>(Tell()));
        if (!(p < d.size() && IsDigit(d[p]))) Report(e_PDFA142);
    }
    const std::uint32_t first_obj = mp_doc->GetFirstObjNum();
    bool first_subsection = true;
    for (;;) {
        ClearStack();
        if (!GetObj()) break;  // the keyword after the last subsection
        if (check && !(PeekByte() == ' ' && IsDigit(PeekByte(1)))) Report(e_PDFA141);
        if (!GetObj() || !IsNumberAt(0) || !IsNumberAt(1)) QVX_THROW("GetObj() && IsNumberAt(0) && IsNumberAt(1)", "Bad xref");
        double start_d = NumberAt(0), count_d = NumberAt(1);
        if (!(start_d >= 0 && count_d >= 0 && start_d + count_d <= Common::Limits::kMaxXRefObjNum + 1.0))
            QVX_THROW("start_d >= 0 && count_d >= 0 && start_d + count_d <= Common::Limits::kMaxXRefObjNum + 1.0", start_d + count_d > Common::Limits::kMaxXRefObjNum + 1.0 ? "Bad obj num" : "Bad xref");
        auto start = static_cast<std::uint64_t>(start_d);
        auto count = static_cast<std::uint64_t>(count_d);
        for (std::uint64_t i = 0; i < count; ++i) {
            ClearStack();
            if (!GetObj() || !GetObj() || !IsNumberAt(0) || !IsNumberAt(1)) QVX_THROW("GetObj() && GetObj() && IsNumberAt(0) && IsNumberAt(1)", "Bad xref");
            if (GetObj()) QVX_THROW("!GetObj()", "Bad xref");
            std::string_view kw = Token();
            if (kw != "f" && kw != "n") QVX_THROW("kw == \"f\" || kw == \"n\"", "Cross reference table is corrupt.");
            double off_d = NumberAt(0), gen_d = NumberAt(1);
            if (!(off_d >= 0 && off_d < 1e18 && gen_d >= 0 && gen_d < 1e18)) QVX_THROW("off_d >= 0 && off_d < 1e18 && gen_d >= 0 && gen_d < 1e18", "Bad xref");
            auto off = static_cast<std::uint64_t>(off_d);
            auto gen = static_cast<std::uint64_t>(gen_d);
            // A first subsection numbered from 1 that starts with the free-list head is
            // really numbered from 0.
            if (first_subsection && i == 0 && start == 1 && kw == "f" && off == 0 && gen == 65535) start = 0;
            std::uint64_t num = start + i;
            if (kw == "n" && off == 0 && num != first_obj) Define(num, 0, 0, gen);
            else if (kw == "n") Define(num, 1, off + m_header_offset, gen);
            else Define(num, 0, off, gen);
        }
        first_subsection = false;
    }
    if (Token() != "trailer") QVX_THROW("Token() == \"trailer\"", "Missing trailer.");
    ClearStack();
    if (!GetObj() || StackSize() != 1 || !IsDictAt(0)) QVX_THROW("GetObj() && StackSize() == 1 && IsDictAt(0)", "Operator trailer expects a single dictionary");
    return TakeAt(0);
}

std::unique_ptr<Obj> XRefParser::ParseXRefStream(std::uint64_t offset)
{
    // Already read: the first token (not xref). The header is "n g obj".
    while (StackSize() < 3 && GetObj()) {
    }
    if (Token() != "obj") QVX_THROW("Token() == \"obj\"", "Object header not found");
    if (StackSize() != 2 || !IsNumberAt(0) || !IsNumberAt(1)) QVX_THROW("StackSize() == 2 && IsNumberAt(0) && IsNumberAt(1)", "Operator obj expects two arguments");
    const std::uint32_t self = GetNonNegativeIntAt(0);
    const std::uint32_t self_gen = GetNonNegativeIntAt(1);
    ClearStack();
    while (GetObj()) {
    }
    if (Token() != "stream") QVX_THROW("Token() == \"stream\"", "PDF 1.5 XRef table is not a stream object");
    if (StackSize() != 1 || !IsDictAt(0)) QVX_THROW("StackSize() == 1 && IsDictAt(0)", "Stream expects a dictionary as an argument");
    SkipStreamEOL();
    std::unique_ptr<Dict> dict(static_cast<Dict*>(TakeAt(0).release()));
    FileStream stream(std::move(dict), *mp_doc, Tell());
    mp_doc->SetHasXRefStream();

    auto number = [&](const Obj* o) {
        o = o ? o->Resolve() : nullptr;
        if (!o || !o->IsNumber() || !(o->GetNumber() >= 0 && o->GetNumber() < 1e18)) QVX_THROW("o && o->IsNumber() && o->GetNumber() >= 0 && o->GetNumber() < 1e18", "Bad xref");
        return static_cast<std::uint64_t>(o->GetNumber());
    };
    Obj* w = stream.FindObj("W");
    if (!w || !w->IsArray() || w->Size() < 3) QVX_THROW("w && w->IsArray() && w->Size() >= 3", "Bad xref");
    std::uint64_t widths[3];
    for (int i = 0; i < 3; ++i) {
        widths[i] = number(w->GetAt(i));
        if (widths[i] > 63) QVX_THROW("widths[i] <= 63", "Bad xref");
    }
    const std::uint64_t entry_size = widths[0] + widths[1] + widths[2];
    std::vector<std::uint64_t> index;
    if (Obj* idx = stream.FindObj("Index"); idx && idx->IsArray()) {
        for (std::size_t i = 0; i + 1 < idx->Size(); i += 2) {
            index.push_back(number(idx->GetAt(i)));
            index.push_back(number(idx->GetAt(i + 1)));
        }
    } else {
        index = {0, number(stream.FindObj("Size"))};
    }
    Common::Bytes data;
    {
        auto dec = stream.GetDecodedStream();
        while (std::size_t n = dec->Size()) {
            data.insert(data.end(), dec->Begin(), dec->Begin() + n);
            dec->Consume(n);
        }
    }
    std::size_t pos = 0;
    auto field = [&](std::uint64_t width) {
        std::uint64_t v = 0;
        for (std::uint64_t k = 0; k < width; ++k) v = (v << 8) | data[pos++];
        return v;
    };
    for (std::size_t s = 0; s + 1 < index.size() && entry_size > 0; s += 2) {
        std::uint64_t start = index[s];
        // The data bounds the count: a section cannot describe more entries than it holds.
        std::uint64_t count = std::min<std::uint64_t>(index[s + 1], (data.size() - pos) / entry_size);
        if (count > 0 && start + count - 1 > Common::Limits::kMaxXRefObjNum) QVX_THROW("count == 0 || start + count - 1 <= Common::Limits::kMaxXRefObjNum", "Bad obj num");
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint64_t type = widths[0] == 0 ? 1 : (pos += widths[0] - 1, data[pos++]);
            std::uint64_t f2 = field(widths[1]);
            std::uint64_t f3 = field(widths[2]);
            if (type == 1) f2 += m_header_offset;
            Define(start + i, static_cast<int>(type), f2, f3);
        }
    }
    // The stream itself is an object of the file even when no section lists it.
    Define(self, 1, offset, self_gen);
    return stream.GetDict()->Clone();
}

void XRefParser::CheckTrailerID(const std::vector<Section>& sections)
{
    auto by_offset = [](const Section& a, const Section& b) { return a.offset < b.offset; };
    const Section& last = *std::max_element(sections.begin(), sections.end(), by_offset);
    const Section& first = *std::min_element(sections.begin(), sections.end(), by_offset);
    if (last.stream) Report(e_PDFA15);
    auto valid_id = [](const Obj* trailer) -> const Obj* {
        Obj* id = trailer->FindObj("ID");
        if (!id || id->IsIndirect() || !id->IsArray() || id->Size() != 2) return nullptr;
        for (std::size_t i = 0; i < 2; ++i)
            if (id->GetAt(i)->IsIndirect() || !id->GetAt(i)->IsString()) return nullptr;
        return id;
    };
    const Obj* id = valid_id(last.trailer.get());
    if (!id) {
        Report(e_PDFA131);
        return;
    }
    if (HookLevel() >= 3 && (id->GetAt(0)->Size() == 0 || id->GetAt(1)->Size() == 0)) {
        Report(e_PDFA135);
        return;
    }
    if (&first == &last) return;
    if (const Obj* first_id = valid_id(first.trailer.get())) {
        for (std::size_t i = 0; i < 2; ++i)
            if (!first_id->GetAt(i)->IsEqual(id->GetAt(i))) {
                Report(e_PDFA134);
                break;
            }
    }
}

void XRefParser::ParseImpl()
{
    mp_doc->SetLoadingXRef(true);
    struct Done {
        SDFDocImpl& d;
        ~Done() { d.SetLoadingXRef(false); }
    } done{*mp_doc};
    ReadHeader();
    std::uint64_t start = FindXRefOffset();
    // An incremental update names this section as its Prev, as startxref did.
    mp_doc->SetLastXRefOffset(start - m_header_offset);
    std::vector<Section> sections;
    sections.push_back(ParseXRef(start));
    if (!sections.back().trailer || !sections.back().trailer->IsDict()) QVX_THROW("sections.back().trailer && sections.back().trailer->IsDict()", "Could not read the trailer.");
    const Obj* trailer = sections.back().trailer.get();
    if (Obj* size = trailer->FindObj("Size"); size && !size->IsIndirect() && size->IsNumber()) {
        double n = size->GetNumber();
        if (n > 1 && n <= Common::Limits::kMaxXRefObjNum + 1.0) mp_doc->Grow(static_cast<std::uint32_t>(n) - 1);
    }
    std::set<std::uint64_t> visited{start};
    for (const Obj* cur = trailer;;) {
        std::uint64_t off;
        if (FileOffset(cur, "XRefStm", off) && visited.insert(off).second) {
            // A hybrid file: the stream only fills what the table left empty.
            Section extra = ParseXRef(off);
            (void)extra;
        }
        if (!FileOffset(cur, "Prev", off) || !visited.insert(off).second) break;  // end, or an XRef reference loop
        sections.push_back(ParseXRef(off));
        cur = sections.back().trailer.get();
    }
    if (HookLevel() >= 1 && HookLevel() <= 11) CheckTrailerID(sections);
    Obj* encrypt = sections.front().trailer->FindObj("Encrypt");
    if (encrypt && encrypt->IsIndirect()) mp_doc->SetEncryptObjNum(encrypt->GetObjNum());
    mp_doc->SetTrailer(std::move(sections.front().trailer));
}

}  // namespace qvx::SDF
