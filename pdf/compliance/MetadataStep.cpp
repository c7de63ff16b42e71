#include "pdf/compliance/MetadataStep.h"

#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/MetadataDocument.h"
#include "pdf/compliance/PDFAConformance.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

namespace {

Common::UString FileNameOf(const Common::UString& path)
{
    const std::u16string& u = path.Units();
    std::size_t slash = u.find_last_of(u"/\\");
    return Common::UString(slash == std::u16string::npos ? u : u.substr(slash + 1));
}

void PutModDateOnlyInfo(SDF::SDFDoc& doc, const DocInfoValues& values)
{
    SDF::Obj* info = doc.GetTrailer()->Put("Info", doc.CreateIndirectDict());
    info->PutString("ModDate", values.mod_date.Format());
}

// Ghostscript writes UTC as "Z00'00'". Some validators read the digits after Z as an offset
// they cannot parse and find the Info and packet dates apart; the same instant is "Z" alone.
void TidyUTCDates(SDF::SDFDoc& doc)
{
    SDF::Obj* info = InfoDict(doc);
    if (!info) return;
    constexpr std::size_t kFull = 17;  // "D:", 14 digits and "Z"
    for (const char* key : {"CreationDate", "ModDate"}) {
        SDF::Obj* date = Deref(info->FindObj(key));
        if (!date || !date->IsString()) continue;
        std::string_view raw = Common::AsChars(date->GetBuffer());
        if (raw.size() <= kFull || raw.substr(0, 2) != "D:" || raw[kFull - 1] != 'Z') continue;
        if (raw.substr(2, 14).find_first_not_of("0123456789") != std::string_view::npos) continue;
        info->PutString(key, std::string(raw.substr(0, kFull)));
    }
}

void RunPDFA(SDF::SDFDoc& doc, DocInfoValues& values)
{
    SDF::CheckState& state = doc.GetCheckState();
    XmpMetaHolder holder;
    if (state.convert) state.errors.ClearPresent();
    ProcessMetadata(doc, values, state.convert ? &holder : nullptr);
    if (state.Stopped()) return;
    if (state.convert && state.errors.AnyPresent()) {
        WriteMetadata(doc, values, holder);
        if (state.Stopped()) return;
    }
    if (state.convert) TidyUTCDates(doc);
    if (state.level >= e_Level4 && state.level <= e_Level4F) CheckPDFA4Info(doc, values);
}

void RunPDFUA(SDF::SDFDoc& doc, const Common::UString& input_name)
{
    SDF::CheckState& state = doc.GetCheckState();
    if (state.convert) state.errors.ClearPresent();
    XmpUAResult found = ProcessMetadataUA(doc);
    if (state.Stopped() || !state.convert || !state.errors.AnyPresent()) return;
    Common::UString title = found.title;
    if (title.IsEmpty()) title = FileNameOf(input_name);
    if (title.IsEmpty()) title = Common::UString::FromUTF8("No Title");
    UpdateMetadataUA(doc, std::move(title));
}

}  // namespace

void RunMetadataStep(SDF::SDFDoc& doc, const Common::UString& input_name)
{
    SDF::CheckState& state = doc.GetCheckState();
    if (state.is_pdfa) {
        DocInfoValues values = ReadDocInfoValues(doc);
        RunPDFA(doc, values);
    } else if (state.is_pdfua) RunPDFUA(doc, input_name);
}

void CheckPDFA4Info(SDF::SDFDoc& doc, const DocInfoValues& values)
{
    SDF::CheckState& state = doc.GetCheckState();
    SDF::Obj* trailer = doc.GetTrailer();
    SDF::Obj* root = doc.GetRoot();
    SDF::Obj* info = trailer->FindObj("Info");
    if (!Deref(info)) info = nullptr;  // null, or a reference to a free entry
    SDF::Obj* piece = root->FindObj("PieceInfo");
    if (!info) {
        if (piece && state.convert) PutModDateOnlyInfo(doc, values);
        return;
    }
    std::uint32_t info_num = ObjNumOf(info);
    if (piece && piece->IsDict()) {
        bool is_dict = info->IsDict();
        if (!is_dict || !info->FindObj("ModDate")) {
            state.Report(SDF::e_PDFA46135, info_num);
            if (state.convert) PutModDateOnlyInfo(doc, values);
        } else if (info->Size() > 1) {
            state.Report(SDF::e_PDFA46135, info_num);
            if (!state.convert) return;
            std::vector<std::string> keys;
            for (auto it = info->DictBegin(); it != info->DictEnd(); ++it)
                if (it.KeyText() != "ModDate") keys.emplace_back(it.KeyText());
            for (const std::string& k : keys) info->Erase(k);
        }
        return;
    }
    if (piece) {
        state.Report(SDF::e_PDFA11, ObjNumOf(piece));
        if (state.convert) root->Erase("PieceInfo");
    }
    state.Report(SDF::e_PDFA46134, info_num);
    if (state.convert) trailer->Erase("Info");
}

}  // namespace qvx::PDF
