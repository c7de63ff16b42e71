#include <deque>
#include <map>
#include <string>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ContentRewrite.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

constexpr int kDeepestSave = 28;

bool TagsContent(const Operation& op)
{
    return op.op == Op::e_BDC && op.Size() == 2 && op[1].obj && FindIn(op[1].obj.get(), "MCID");
}

// The q operations (by offset) that open the deepest level allowed, each with the offset of
// the Q that closes it, where what lies between can be drawn as a form: whole text objects
// and marked sequences, and no marks that tie content to the structure tree (their
// identifiers belong to the stream they are in). A Type 3 glyph is left alone.
std::map<std::size_t, std::size_t> MovableSaves(Common::ByteView data)
{
    std::map<std::size_t, std::size_t> found;
    ContentLexer lexer(data);
    Operation op;
    int depth = 0, text = 0, marks = 0;
    std::size_t open = 0;
    bool movable = false, first = true;
    while (lexer.Next(op)) {
        if (first && (op.op == Op::e_d0 || op.op == Op::e_d1)) return {};
        first = false;
        if (op.op == Op::e_q && ++depth == kDeepestSave) {
            open = op.offset;
            movable = text == 0;
            text = marks = 0;
            continue;
        }
        if (op.op == Op::e_Q && depth > 0) {
            if (depth-- == kDeepestSave && movable && text == 0 && marks == 0) found[open] = op.offset;
            continue;
        }
        if (depth < kDeepestSave) {
            if (op.op == Op::e_BT) text = 1;
            if (op.op == Op::e_ET) text = 0;
            continue;
        }
        if (op.op == Op::e_BT) ++text;
        if (op.op == Op::e_ET && --text < 0) movable = false;
        if (op.op == Op::e_BMC || op.op == Op::e_BDC) ++marks;
        if (op.op == Op::e_EMC && --marks < 0) movable = false;
        if (TagsContent(op)) movable = false;
    }
    return found;
}

// A name the category of resources does not hold yet.
std::string FreeName(SDF::Obj* category)
{
    for (int i = 1;; ++i) {
        std::string name = "Nest" + std::to_string(i);
        if (!category->FindObj(name)) return name;
    }
}

}  // namespace

void MoveDeepNestingIntoForms(PassContext& ctx)
{
    const DeepNesting found = std::move(ctx.caches.Get<DeepNesting>());
    ctx.caches.Drop<DeepNesting>();
    // Beyond PDF/A-1's limit on reals the form's box would not be written as it is meant.
    const double reach = ctx.Part() == 1 ? 32767 : 1e7;
    std::deque<std::pair<SDF::Obj*, SDF::Obj*>> pending(found.begin(), found.end());
    while (!pending.empty() && !ctx.Stopped()) {
        SDF::Obj* stream = pending.front().first;
        SDF::Obj* resources = pending.front().second;
        pending.pop_front();
        std::optional<Common::Bytes> data = ReadDecoded(stream, Common::Limits::kMaxContentBytes);
        if (!data || !resources || !resources->IsDict()) continue;
        const std::map<std::size_t, std::size_t> saves = MovableSaves(*data);
        if (saves.empty()) continue;
        SDF::Obj* xobjects = FindDict(resources, "XObject");
        if (!xobjects) xobjects = resources->PutDict("XObject");
        std::size_t closing = 0;
        std::string inner;
        RewriteContent(stream, [&](const Operation& op, std::string_view bytes, std::string& out) {
            if (closing == 0) {
                if (op.op != Op::e_q || !saves.contains(op.offset)) return false;
                closing = saves.at(op.offset);
                inner.clear();
                return true;
            }
            if (op.offset != closing) {
                inner += bytes;
                return true;
            }
            closing = 0;
            auto dict = SDF::Dict::Create();
            dict->PutName("Type", "XObject");
            dict->PutName("Subtype", "Form");
            SDF::Obj* bbox = dict->PutArray("BBox");
            for (double v : {-reach, -reach, reach, reach}) bbox->PushBackNumber(v);
            dict->Put("Resources", resources);
            dict->PutName("Filter", "FlateDecode");
            SDF::Obj* form = ctx.doc.CreateIndirectStream(SDF::FlateBytes(Common::AsBytes(inner)), std::move(dict));
            const std::string name = FreeName(xobjects);
            xobjects->Put(name, form);
            out.append(" /").append(name).append(" Do");
            // Nesting deeper than twice the limit goes on inside the form.
            pending.emplace_back(form, FindDict(form, "Resources"));
            return true;
        });
    }
}

}  // namespace qvx::PDF
