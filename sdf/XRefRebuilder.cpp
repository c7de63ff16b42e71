#include "sdf/XRefRebuilder.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "sdf/CharClass.h"
#include "sdf/DocSecurity.h"
#include "sdf/FileHeader.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/StreamLength.h"

namespace qvx::SDF {

using namespace CharClass;

namespace {
constexpr std::uint32_t kMaxNum = Common::Limits::kMaxRebuildObjNum;

bool IsNamed(const Obj* dict, std::string_view key, std::string_view value)
{
    Obj* v = dict->FindObj(key);
    return v && !v->IsIndirect() && v->IsName() && v->GetName() == value;
}
}  // namespace

XRefRebuilderImpl::XRefRebuilderImpl(SDFDocImpl& doc) : Parser(doc.GetFileView(), &doc)
{
    // The scan also reads definitions that a later one replaces and bytes inside damaged
    // objects; the object pass reads every object of the rebuilt table again with the
    // checks on, so findings here would only be false or repeated.
    DisableHooks();
    SalvageInConversion();
}

bool XRefRebuilderImpl::HandleKeyword(std::string_view keyword)
{
    if (keyword != "R") return false;
    PushTableReference(PopReference("Reference expects two arguments"), kMaxNum);
    return true;
}

std::size_t XRefRebuilderImpl::Next(NextHit& cache, std::string_view keyword, std::size_t from)
{
    Common::ByteView d = Data();
    if (cache.valid && cache.from <= from && from <= cache.at) return cache.at;
    const void* hit = from < d.size() ? memmem(d.data() + from, d.size() - from, keyword.data(), keyword.size()) : nullptr;
    cache = {from, hit ? static_cast<std::size_t>(static_cast<const Byte*>(hit) - d.data()) : d.size(), true};
    return cache.at;
}

std::optional<std::uint64_t> XRefRebuilderImpl::ScanStreamLength(std::size_t data)
{
    // A scan from m_scan_from ended its data at m_scan_end (or found nothing): no earlier
    // end qualifies, so any later start up to that point gets the same end.
    if (m_scan_valid && m_scan_from <= data && data <= m_scan_end) {
        if (!m_scan_found) return std::nullopt;
        return m_scan_end - data;
    }
    std::optional<std::uint64_t> len = CalcStmLength(Data(), data);
    m_scan_valid = true;
    m_scan_from = data;
    m_scan_found = len;
    m_scan_end = len ? data + static_cast<std::size_t>(*len) : Data().size();
    return len;
}

void XRefRebuilderImpl::OfferTrailer(std::unique_ptr<Obj> dict)
{
    if (!dict || !dict->IsDict()) QVX_THROW("dict && dict->IsDict()", "rebuild error");
    if (!mp_trailer || !dict->FindObj("Prev")) mp_trailer = std::move(dict);
}

std::size_t XRefRebuilderImpl::ReadObject(std::uint32_t num, std::uint32_t gen, std::size_t header, std::size_t body)
{
    Common::ByteView d = Data();
    m_cur_num = num;
    m_cur_gen = static_cast<std::uint16_t>(gen);
    // A damaged body must not read past the next endobj (an unbalanced string would
    // otherwise take the rest of the file, again for every object after it).
    SetLimit(Next(m_next_endobj, "endobj", body) + 6);
    struct Unlimit {
        XRefRebuilderImpl& p;
        ~Unlimit() { p.ClearLimit(); p.ClearStack(); p.m_cur_num = 0; }
    } unlimit{*this};
    Seek(body);
    ClearStack();
    std::size_t after_first = body;
    bool got = false;
    while (GetObj()) {
        if (!got) after_first = static_cast<std::size_t>(Tell());
        got = true;
    }
    std::string_view kw = Token();
    if (kw == "stream") {
        if (StackSize() != 1 || !IsDictAt(0)) QVX_THROW("StackSize() == 1 && IsDictAt(0)", "Stream expects a dictionary as an argument");
        SkipStreamEOL();
        auto data = static_cast<std::size_t>(Tell());
        std::unique_ptr<Obj> dict = TakeAt(0);
        Obj* len_obj = dict->FindObj("Length");
        bool direct = len_obj && !len_obj->IsIndirect() && len_obj->IsNumber() && len_obj->GetNumber() >= 0 &&
                      len_obj->GetNumber() <= 4294967295.0;
        std::optional<std::uint64_t> len;
        if (direct) {
            auto given = static_cast<std::uint64_t>(len_obj->GetNumber());
            if (given <= d.size() - data && KeywordAt(d, SkipWhiteAndComments(d, data + given), "endstream")) len = given;
        }
        if (!len) len = ScanStreamLength(data);
        if (!len && Salvaging() && direct && len_obj->GetNumber() > static_cast<double>(d.size() - data) && UsableWhenCut(*dict))
            len = d.size() - data;
        // A cross-reference stream's dictionary serves as the trailer even when its data is
        // damaged: it is all a file without a trailer keyword has to find its catalog by.
        if (IsNamed(dict.get(), "Type", "XRef")) OfferTrailer(dict->Clone());
        if (!len) QVX_THROW("len", "Unexpected end of stream");
        const std::int32_t level = mp_doc->HookLevel();
        if (!direct && !(len_obj && len_obj->IsIndirect()) && level >= 1 && level <= 11)
            mp_doc->GetCheckState().ReportAt(level, e_PDFA173, num);
        // Conversion also reads a stream whose Type damage changed but which has the N and
        // First an object stream's pairs need: the objects it holds are the document.
        auto number = [&](std::string_view key) { Obj* v = dict->FindObj(key); return v && !v->IsIndirect() && v->IsNumber(); };
        const bool packed = IsNamed(dict.get(), "Type", "ObjStm") ||
                            (Salvaging() && !IsNamed(dict.get(), "Type", "XRef") && number("N") && number("First"));
        if (packed) mp_doc->RebuiltObjStms().emplace_back(num, header);
        mp_doc->SetEntry(num, Indirect::e_in_use, header, gen % 65536);
        ++m_objects;
        std::size_t end = SkipWhiteAndComments(d, data + static_cast<std::size_t>(*len));
        if (KeywordAt(d, end, "endstream")) end = SkipWhiteAndComments(d, end + 9);
        if (KeywordAt(d, end, "endobj")) end += 6;
        return std::max(end, body);
    }
    if (!got) QVX_THROW("got", "Operator endobj expects a single argument");
    if (IsDictAt(0)) {
        std::unique_ptr<Obj> first = TakeAt(0);
        if (IsNamed(first.get(), "Type", "Catalog")) m_catalog = num;
    }
    mp_doc->SetEntry(num, Indirect::e_in_use, header, gen % 65536);
    ++m_objects;
    // Without endobj the next header may already have been read as part of the body.
    return kw == "endobj" ? static_cast<std::size_t>(Tell()) : after_first;
}

std::size_t XRefRebuilderImpl::ReadTrailer(std::size_t after_keyword)
{
    std::size_t limit = std::min(Next(m_next_startxref, "startxref", after_keyword),
                                 Next(m_next_trailer, "trailer", after_keyword));
    SetLimit(limit);
    struct Unlimit {
        XRefRebuilderImpl& p;
        ~Unlimit() { p.ClearLimit(); p.ClearStack(); }
    } unlimit{*this};
    Seek(after_keyword);
    ClearStack();
    if (!GetObj()) return after_keyword;
    OfferTrailer(TakeAt(0));
    return static_cast<std::size_t>(Tell());
}

void RegisterObjectStreams(SDFDocImpl& doc)
{
    for (auto [stm_num, header] : doc.RebuiltObjStms()) {
        Indirect* stm = doc.GetEntry(stm_num);
        if (!stm || stm->EntryKind() != Indirect::e_in_use || stm->GetOffset() != header) continue;
        std::shared_ptr<const ObjStmData> data;
        try {
            data = doc.GetObjStm(stm_num);
        } catch (const std::exception&) {
            continue;  // an object stream that cannot be decoded adds nothing
        }
        for (std::size_t i = 0; i < data->pairs.size(); ++i) {
            std::uint32_t num = data->pairs[i].first;
            if (num == stm_num || num == 0) continue;
            Indirect* e = doc.GetEntry(num);
            // A plain definition later in the file wins over the object stream.
            bool replace = !e || e->IsPlaceholder() || e->EntryKind() == Indirect::e_compressed ||
                           (e->EntryKind() == Indirect::e_in_use && e->GetOffset() < header && !e->IsLoaded());
            if (replace) doc.SetEntry(num, Indirect::e_compressed, stm_num, static_cast<std::uint32_t>(i));
        }
    }
}

// The last catalog that the object streams hold, or 0. Loads their objects: only for a file
// whose trailers are all lost, so there is no encryption to know of.
static std::uint32_t CatalogInObjectStreams(SDFDocImpl& doc)
{
    std::uint32_t found = 0;
    for (auto [stm_num, header] : doc.RebuiltObjStms()) {
        std::shared_ptr<const ObjStmData> data;
        try {
            data = doc.GetObjStm(stm_num);
        } catch (const std::exception&) {
            continue;
        }
        for (const auto& [num, offset] : data->pairs) {
            Indirect* e = doc.GetEntry(num);
            if (!e || e->EntryKind() != Indirect::e_compressed || e->GetOffset() != stm_num) continue;
            try {
                Obj* o = e->Resolve();
                if (o && o->IsDict() && IsNamed(o, "Type", "Catalog")) found = num;
            } catch (const std::exception&) {
            }
        }
    }
    return found;
}

void XRefRebuilderImpl::MakeTrailer()
{
    if (!m_catalog) {
        RegisterObjectStreams(*mp_doc);
        m_streams_registered = true;
        m_catalog = CatalogInObjectStreams(*mp_doc);
    }
    // A file cut before its catalog (a download that stopped) still has the objects before
    // the cut: the trailer goes without Root, and conversion makes a catalog for the pages.
    if (!m_catalog && !m_objects) QVX_THROW("m_objects", "rebuild error");
    auto t = Dict::Create();
    if (m_catalog) t->Put("Root", mp_doc->GetObj(m_catalog));
    mp_trailer = std::move(t);
}

void XRefRebuilderImpl::Rebuild()
{
    Common::ByteView d = Data();
    // Without a header the scan still recovers the objects, as other readers do; a file
    // with neither a header nor anything of a document is refused as not a PDF.
    std::optional<FileHeader> header = FindFileHeader(d, 4096);
    if (header) mp_doc->SetHeader(header->text, header->offset);
    const std::size_t n = d.size();
    std::size_t pos = header ? static_cast<std::size_t>(header->offset + header->text.size()) : 0;
    while (pos < n) {
        Byte c = d[pos];
        if (IsWhite(c)) {
            ++pos;
        } else if (c == '%') {
            while (pos < n && !IsEOL(d[pos])) ++pos;
        } else if (IsDigit(c)) {
            const std::size_t start = pos;
            std::optional<ObjectHeader> h = ObjectHeaderAt(d, pos);
            if (!h || h->num > kMaxNum || h->num == 0) {
                while (pos < n && IsDigit(d[pos])) ++pos;
                continue;
            }
            try {
                pos = ReadObject(static_cast<std::uint32_t>(h->num), static_cast<std::uint32_t>(h->gen % 65536), start, h->body);
            } catch (const std::exception&) {
                pos = h->body;  // the object is dropped; look for headers inside it
            }
        } else if (c == 't' && KeywordAt(d, pos, "trailer")) {
            try {
                pos = ReadTrailer(pos + 7);
            } catch (const std::exception&) {
                pos += 7;
            }
        } else if (IsRegular(c)) {
            while (pos < n && IsRegular(d[pos])) ++pos;
        } else {
            ++pos;
        }
    }
    if (!mp_trailer && !m_catalog && !header)
        QVX_THROW("header", "PDF header not found. The file is not a valid PDF document.");
    if (!mp_trailer) MakeTrailer();
    if (!mp_trailer->FindObj("Root") && m_catalog) mp_trailer->Put("Root", mp_doc->GetObj(m_catalog));
    Obj* encrypt = mp_trailer->FindObj("Encrypt");
    if (encrypt && encrypt->IsIndirect()) mp_doc->SetEncryptObjNum(encrypt->GetObjNum());
    mp_doc->SetTrailer(std::move(mp_trailer));
    // Installing a handler registers the object streams it can now decrypt.
    ReinitSecurityHandler(*mp_doc);
    if (!mp_doc->GetSecurityHandler() && !m_streams_registered) RegisterObjectStreams(*mp_doc);
    mp_doc->GetTrailer()->PutNumber("Size", static_cast<double>(mp_doc->XRefSize()));
}

}  // namespace qvx::SDF
