#include "sdf/ObjParser.h"

#include <utility>

#include "common/Exception.h"
#include "common/Limits.h"
#include "sdf/CharClass.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

using namespace CharClass;

namespace {

// A signature dictionary's Contents is never encrypted (the bytes signed are as written).
bool IsSignatureDict(const Obj& d)
{
    Obj* contents = d.FindObj("Contents");
    Obj* range = d.FindObj("ByteRange");
    Obj* type = d.FindObj("Type");
    return contents && contents->IsString() && range && range->IsArray() &&
           (!type || (type->IsName() && (type->GetName() == "Sig" || type->GetName() == "DocTimeStamp")));
}

// Visits the direct dictionaries inside obj, with raw the same place in a second reading
// (null when only looking). Returns whether a signature dictionary was met.
bool VisitSignatures(Obj& obj, const Obj* raw, int depth)
{
    if (depth > Common::Limits::kMaxObjectNesting || obj.IsIndirect()) return false;
    bool found = false;
    if (obj.IsDict() || obj.IsStream()) {
        if (IsSignatureDict(obj)) {
            found = true;
            const Obj* rc = raw ? raw->FindObj("Contents") : nullptr;
            if (rc && rc->IsString()) obj.FindObj("Contents")->SetString(rc->GetBuffer());
        }
        for (auto it = obj.DictBegin(); it.HasNext(); ++it) {
            const Obj* r = raw && (raw->IsDict() || raw->IsStream()) ? raw->FindObj(it.KeyText()) : nullptr;
            found |= VisitSignatures(*it.Value(), r, depth + 1);
            if (found && !raw) return true;
        }
    } else if (obj.IsArray()) {
        for (std::size_t i = 0; i < obj.Size(); ++i) {
            const Obj* r = raw && raw->IsArray() && i < raw->Size() ? raw->GetAt(i) : nullptr;
            found |= VisitSignatures(*obj.GetAt(i), r, depth + 1);
            if (found && !raw) return true;
        }
    }
    return found;
}

}  // namespace

ObjParser::ObjParser(SDFDocImpl& doc) : Parser(doc.GetFileView(), &doc) { SalvageInConversion(); }

std::unique_ptr<Obj> ObjParser::LoadObject(Indirect& entry)
{
    if (entry.EntryKind() == Indirect::e_compressed) return LoadCompressedObject(entry);
    if (entry.EntryKind() != Indirect::e_in_use) QVX_THROW("entry.EntryKind() == Indirect::e_in_use", "Unknown object type");
    m_cur_num = entry.GetObjNum();
    m_cur_gen = entry.GetGenNum();
    struct Reset {
        ObjParser& p;
        ~Reset() { p.m_cur_num = 0; p.ClearStack(); }
    } reset{*this};
    bool check = HookLevel() >= 1 && HookLevel() <= 11;
    std::uint64_t offset = entry.GetOffset();
    if (offset >= Data().size()) QVX_THROW("offset < Data().size()", "Object header not found");
    SeekHeader(offset, check);
    ReadHeader(check);
    std::unique_ptr<Obj> obj = ReadBody(check);
    if (DecryptsStrings() && mp_doc->GetSecurityHandler() && VisitSignatures(*obj, nullptr, 0)) {
        KeepOriginalStringObjParser raw(*mp_doc);
        VisitSignatures(*obj, raw.LoadObject(entry).get(), 0);
    }
    return obj;
}

void ObjParser::SeekHeader(std::uint64_t offset, bool check)
{
    Seek(offset);
    if (!check) return;
    if (offset == 0) {
        Report(e_PDFA183);
        return;
    }
    Seek(offset - 1);
    // A table offset that points at the EOL before the object number (one byte early, as
    // some writers count) still has the number preceded by an EOL.
    if (!IsEOL(PeekByte()) && !IsEOL(PeekByte(1))) {
        Report(e_PDFA183);
        Seek(offset);
        return;
    }
    if (!IsEOL(PeekByte())) GetByte();
    while (IsEOL(PeekByte())) GetByte();
    if (!IsDigit(PeekByte())) Report(e_PDFA183);
}

void ObjParser::ReadHeader(bool check)
{
    ClearStack();
    int count = 0;
    while (GetObj()) {
        ++count;
        if (check && count <= 2 && StackSize() == static_cast<std::size_t>(count) && IsNumberAt(count - 1)) {
            bool ok = PeekByte() == ' ' && (count == 1 ? IsDigit(PeekByte(1)) : PeekByte(1) == 'o');
            if (!ok) Report(count == 1 ? e_PDFA181 : e_PDFA182);
        }
        if (StackSize() > 2) break;
    }
    if (Token() != "obj") QVX_THROW("Token() == \"obj\"", "Object header not found");
    if (StackSize() != 2 || !IsNumberAt(0) || !IsNumberAt(1)) QVX_THROW("StackSize() == 2 && IsNumberAt(0) && IsNumberAt(1)", "Operator obj expects two arguments");
    if (check && !IsEOL(PeekByte())) Report(e_PDFA185);
    ClearStack();
}

std::unique_ptr<Obj> ObjParser::ReadBody(bool check)
{
    std::uint64_t body = Tell();
    while (GetObj()) {
    }
    std::string_view kw = Token();
    if (check && kw == "endobj" && !TokenAfterEOL()) Report(e_PDFA184);
    if (kw == "stream") {
        if (check) {
            int b0 = PeekByte(), b1 = PeekByte(1);
            if (!(b0 == '\n' || (b0 == '\r' && b1 == '\n'))) Report(e_PDFA171);
        }
        SkipStreamEOL();
        if (StackSize() != 1 || !IsDictAt(0)) QVX_THROW("StackSize() == 1 && IsDictAt(0)", "Stream expects a dictionary as an argument");
        std::unique_ptr<Dict> dict(static_cast<Dict*>(TakeAt(0).release()));
        Obj* type = dict->FindObj("Type");
        if (m_cur_num != 0 && mp_doc->GetSecurityHandler() && type && type->IsName() && type->GetName() == "XRef") {
            // Cross-reference streams are never encrypted: read the dictionary again with
            // its strings (the ID) as they are.
            std::uint32_t num = std::exchange(m_cur_num, 0);
            ClearStack();
            Seek(body);
            while (GetObj()) {
            }
            m_cur_num = num;
            SkipStreamEOL();
            if (StackSize() != 1 || !IsDictAt(0)) QVX_THROW("StackSize() == 1 && IsDictAt(0)", "Stream expects a dictionary as an argument");
            dict.reset(static_cast<Dict*>(TakeAt(0).release()));
        }
        return std::make_unique<FileStream>(std::move(dict), *mp_doc, Tell());
    }
    if (StackSize() == 0) QVX_THROW("StackSize() != 0", "Operator endobj expects a single argument");
    if (check && kw == "endobj" && !IsEOL(PeekByte())) Report(e_PDFA186);
    return TakeAt(0);
}

void ObjParser::OnString(Common::Bytes& bytes)
{
    SecurityHandler* sh = mp_doc->GetSecurityHandler();
    if (sh && m_cur_num != 0 && m_cur_num != mp_doc->GetEncryptObjNum()) sh->DecryptString(bytes, m_cur_num, m_cur_gen);
}

std::unique_ptr<ObjStmParser> ObjParser::MakeObjStmParser(const ObjStmData& stm)
{
    return std::make_unique<ObjStmParser>(stm, *mp_doc);
}

std::unique_ptr<Obj> ObjParser::LoadCompressedObject(Indirect& entry)
{
    std::uint64_t stm_num = entry.GetOffset();
    Indirect* stm = stm_num < mp_doc->XRefSize() ? mp_doc->GetEntry(static_cast<std::uint32_t>(stm_num)) : nullptr;
    if (!stm || stm->EntryKind() != Indirect::e_in_use) QVX_THROW("stm && stm->EntryKind() == Indirect::e_in_use", "Bad obj stream");
    if (!stm->Resolve()->IsStream()) QVX_THROW("stm->Resolve()->IsStream()", "Bad obj stream");
    if (HookLevel() >= 1) mp_doc->GetCheckState().ReportAt(HookLevel(), e_PDFA14, static_cast<std::uint32_t>(stm_num));
    std::shared_ptr<const ObjStmData> data = mp_doc->GetObjStm(static_cast<std::uint32_t>(stm_num));
    auto p = MakeObjStmParser(*data);
    return p->ReadObject(entry.GetObjNum(), entry.GetField3());
}

void KeepOriginalStringObjStmParser::PushNumber(double value, bool, std::string_view text)
{
    PushObj(ObjSlot(std::make_unique<OriginalStringNumber>(value, text)));
}

void KeepOriginalStringObjParser::PushNumber(double value, bool, std::string_view text)
{
    PushObj(ObjSlot(std::make_unique<OriginalStringNumber>(value, text)));
}

std::unique_ptr<ObjStmParser> KeepOriginalStringObjParser::MakeObjStmParser(const ObjStmData& stm)
{
    return std::make_unique<KeepOriginalStringObjStmParser>(stm, *mp_doc);
}

std::unique_ptr<Obj> ParseKeepOriginal(SDFDocImpl& doc, Indirect& entry)
{
    std::lock_guard lock(doc.Mutex());
    KeepOriginalStringObjParser p(doc);
    return p.LoadObject(entry);
}

}  // namespace qvx::SDF
