#include "sdf/ObjParser.h"

#include "common/Exception.h"
#include "sdf/CharClass.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

using namespace CharClass;

ObjParser::ObjParser(SDFDocImpl& doc) : Parser(doc.GetFileView(), &doc) {}

std::unique_ptr<Obj> ObjParser::LoadObject(Indirect& entry)
{
    if (entry.EntryKind() == Indirect::e_compressed) return LoadCompressedObject(entry);
    if (entry.EntryKind() != Indirect::e_in_use) QVX_THROW("false", "Unknown object type");
    m_cur_num = entry.GetObjNum();
    m_cur_gen = entry.GetGenNum();
    struct Reset {
        ObjParser& p;
        ~Reset() { p.m_cur_num = 0; p.ClearStack(); }
    } reset{*this};
    bool check = HookLevel() >= 1 && HookLevel() <= 11;
    std::uint64_t offset = entry.GetOffset();
    if (offset >= Data().size()) QVX_THROW("false", "Object header not found");
    SeekHeader(offset, check);
    ReadHeader(check);
    return ReadBody(check);
}

void ObjParser::SeekHeader(std::uint64_t offset, bool check)
{
    Seek(offset);
    if (!check) return;
    if (offset == 0) {
        Report(183);
        return;
    }
    Seek(offset - 1);
    if (!IsEOL(PeekByte())) {
        Report(183);
        Seek(offset);
        return;
    }
    while (IsEOL(PeekByte())) GetByte();
    if (!IsDigit(PeekByte())) Report(183);
}

void ObjParser::ReadHeader(bool check)
{
    ClearStack();
    int count = 0;
    while (GetObj()) {
        ++count;
        if (check && count <= 2 && StackSize() == static_cast<std::size_t>(count) && IsNumberAt(count - 1)) {
            bool ok = PeekByte() == ' ' && (count == 1 ? IsDigit(PeekByte(1)) : PeekByte(1) == 'o');
            if (!ok) Report(count == 1 ? 181 : 182);
        }
        if (StackSize() > 2) break;
    }
    if (Token() != "obj") QVX_THROW("false", "Object header not found");
    if (StackSize() != 2 || !IsNumberAt(0) || !IsNumberAt(1)) QVX_THROW("false", "Operator obj expects two arguments");
    if (check && !IsEOL(PeekByte())) Report(185);
    ClearStack();
}

std::unique_ptr<Obj> ObjParser::ReadBody(bool check)
{
    while (GetObj()) {
    }
    std::string_view kw = Token();
    if (check && kw == "endobj" && !TokenAfterEOL()) Report(184);
    if (kw == "stream") {
        if (check && HookPart() <= 3) {
            int b0 = PeekByte(), b1 = PeekByte(1);
            if (!(b0 == '\n' || (b0 == '\r' && b1 == '\n'))) Report(171);
        }
        SkipStreamEOL();
        if (StackSize() != 1 || !IsDictAt(0)) QVX_THROW("false", "Stream expects a dictionary as an argument");
        std::unique_ptr<Dict> dict(static_cast<Dict*>(TakeAt(0).release()));
        return std::make_unique<FileStream>(std::move(dict), *mp_doc, Tell());
    }
    if (StackSize() == 0) QVX_THROW("false", "Operator endobj expects a single argument");
    if (check && kw == "endobj" && !IsEOL(PeekByte())) Report(186);
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
    if (!stm || stm->EntryKind() != Indirect::e_in_use) QVX_THROW("false", "Bad obj stream");
    if (!stm->Resolve()->IsStream()) QVX_THROW("false", "Bad obj stream");
    if (HookLevel() >= 1 && HookLevel() <= 2) mp_doc->GetCheckState().Report(14, static_cast<std::uint32_t>(stm_num));
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
