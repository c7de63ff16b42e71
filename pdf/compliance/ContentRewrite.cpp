#include "pdf/compliance/ContentRewrite.h"

#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "pdf/ExtGState.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// Content streams bigger than this are left as they are.
constexpr std::uint64_t kMaxContentBytes = 1ull << 30;

// A dictionary's entries as content syntax, without the brackets around them.
std::string EntriesText(const SDF::Obj& dict)
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter w(sink);
        dict.Write(w);
    }
    std::string_view text = Common::AsChars(sink.Data());
    return text.size() >= 4 ? std::string(text.substr(2, text.size() - 4)) : std::string();
}

}  // namespace

bool RewriteContent(SDF::Obj* stream, const OperationEdit& edit)
{
    if (!stream || !stream->IsStream()) return false;
    std::optional<Common::Bytes> data = ReadDecoded(stream, kMaxContentBytes);
    if (!data) return false;
    const std::string_view all(reinterpret_cast<const char*>(data->data()), data->size());
    ContentLexer lexer(*data);
    Operation op;
    std::string out;
    std::size_t from = 0;
    bool changed = false;
    while (lexer.Next(op)) {
        const std::size_t to = lexer.Position();
        const std::string_view bytes = all.substr(from, to - from);
        if (edit(op, bytes, out)) changed = true;
        else out += bytes;
        from = to;
    }
    if (!changed) return false;
    out += all.substr(from);
    stream->SetStreamData(SDF::FlateBytes(Common::AsBytes(out)));
    stream->PutName("Filter", "FlateDecode");
    stream->Erase("DecodeParms");
    return true;
}

void RemoveUnknownOperators(PassContext& ctx)
{
    const StreamsToClean streams = std::move(ctx.caches.Get<StreamsToClean>());
    ctx.caches.Drop<StreamsToClean>();
    for (const auto& [stream, missing] : streams) {
        if (ctx.Stopped()) return;
        RewriteContent(stream, [&missing](const Operation& op, std::string_view, std::string& out) {
            const bool gone = op.op == Op::e_unknown ||
                              (op.op == Op::e_Do && op.Size() == 1 && op[0].IsName() && missing.contains(op[0].text));
            if (gone) out += ' ';
            return gone;
        });
    }
}

void CopyInheritedResources(PassContext& ctx)
{
    const std::vector<InheritedResource> found = std::move(ctx.caches.Get<InheritedResources>());
    ctx.caches.Drop<InheritedResources>();
    for (const InheritedResource& r : found) {
        SDF::Obj* owner = r.owner->Resolve();
        SDF::Obj* resources = FindDict(owner, "Resources");
        if (!resources) resources = owner->PutDict("Resources");
        SDF::Obj* category = FindDict(resources, r.category);
        if (!category) category = resources->PutDict(r.category);
        if (!category->FindObj(r.name)) category->Put(r.name, r.entry);
    }
}

void RemoveInlineImageEntries(PassContext& ctx)
{
    const std::set<SDF::Obj*> streams = std::move(ctx.caches.Get<StreamsWithInlineImageEntries>());
    ctx.caches.Drop<StreamsWithInlineImageEntries>();
    for (SDF::Obj* stream : streams) {
        if (ctx.Stopped()) return;
        RewriteContent(stream, [](const Operation& op, std::string_view, std::string& out) {
            SDF::Obj* dict = op.inline_dict;
            // A damaged image is left as it was read: its extent is a guess.
            if (op.op != Op::e_BI || !dict || op.flags) return false;
            const bool interpolate = FindBool(dict, "Interpolate", false);
            const std::string_view intent = FindName(dict, "Intent");
            const bool bad_intent = !intent.empty() && !IsStandardRenderingIntent(intent);
            if (!interpolate && !bad_intent) return false;
            if (interpolate) dict->Erase("Interpolate");
            if (bad_intent) dict->Erase("Intent");
            out += "\nBI";
            out += EntriesText(*dict);
            out += " ID ";
            out += Common::AsChars(op.inline_data);
            out += "\nEI";
            return true;
        });
    }
}

}  // namespace qvx::PDF
