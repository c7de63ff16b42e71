#include "sdf/CompressObjects.h"

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/DocWriter.h"
#include "sdf/ObjWalk.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/WriteFlate.h"

namespace qvx::SDF {

std::vector<std::vector<std::uint32_t>> CompressObjects(SDFDocImpl& doc, const std::vector<bool>& eligible)
{
    Obj* trailer = doc.GetTrailer();
    Obj* root = trailer->IsDict() ? trailer->FindObj("Root") : nullptr;
    if (!root || !root->IsDict()) QVX_THROW("root", "The document does not contain the Root entry.");

    std::vector<Obj*> parts;
    for (const char* key : {"Pages", "Outlines", "StructTreeRoot", "Names", "PageLabels"})
        if (Obj* o = root->FindObj(key)) parts.push_back(o);
    if (Obj* info = trailer->FindObj("Info")) parts.push_back(info);

    std::vector<bool> seen(doc.XRefSize(), false);
    std::vector<std::vector<std::uint32_t>> groups;
    WalkRules rules;
    rules.enter = [&](Indirect& e) {
        std::uint32_t n = e.GetObjNum();
        if (n >= seen.size() || seen[n]) return false;
        seen[n] = true;
        if (n < eligible.size() && eligible[n]) groups.back().push_back(n);
        return true;
    };
    for (Obj* part : parts) {
        groups.emplace_back();
        WalkReachable(*part, rules);
    }
    groups.emplace_back();
    for (std::uint32_t n = 1; n < eligible.size(); ++n)
        if (eligible[n] && !seen[n]) groups.back().push_back(n);

    std::vector<std::vector<std::uint32_t>> streams;
    for (const auto& g : groups)
        for (std::size_t i = 0; i < g.size(); i += kObjStmMaxObjects)
            streams.emplace_back(g.begin() + static_cast<std::ptrdiff_t>(i),
                                 g.begin() + static_cast<std::ptrdiff_t>(std::min(g.size(), i + kObjStmMaxObjects)));
    return streams;
}

void WriteObjectStream(DocWriter& w, SDFDocImpl& doc, std::uint32_t num, const std::vector<std::uint32_t>& members,
                       bool hex_strings)
{
    Filters::MemoryFilter body_sink;
    std::string index;
    {
        Filters::FilterWriter bw(body_sink);
        DocWriter body(bw, 0);
        body.SetOutput(nullptr, hex_strings);
        for (std::uint32_t n : members) {
            index += std::to_string(n) + ' ' + std::to_string(body.Offset()) + ' ';
            body.WritePlain(*doc.GetEntry(n)->GetReferent());
            body.WriteText("\n");
        }
        body.Flush();
    }
    Common::Bytes data(index.begin(), index.end());
    Common::ByteView b = body_sink.Data();
    data.insert(data.end(), b.begin(), b.end());

    auto dict = Dict::Create();
    dict->PutName("Type", "ObjStm");
    dict->PutNumber("N", static_cast<double>(members.size()));
    dict->PutNumber("First", static_cast<double>(index.size()));
    dict->PutName("Filter", "FlateDecode");
    auto stream = FileStream::Create(FlateBytes(data), std::move(dict));
    w.WriteIndirect(num, 0, *stream);
}

}  // namespace qvx::SDF
