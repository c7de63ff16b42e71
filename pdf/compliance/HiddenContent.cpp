#include "pdf/compliance/HiddenContent.h"

#include <set>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/ContentWalk.h"
#include "render/OptionalContent.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace {

bool Paints(Op op)
{
    switch (op) {
    case Op::e_S: case Op::e_s: case Op::e_f: case Op::e_F: case Op::e_fstar:
    case Op::e_B: case Op::e_Bstar: case Op::e_b: case Op::e_bstar: return true;
    default: return false;
    }
}

bool ShowsText(Op op) { return op == Op::e_Tj || op == Op::e_TJ || op == Op::e_quote || op == Op::e_dquote; }

class Hider {
public:
    Hider(SDF::SDFDoc& doc, const PassContext& ctx) : m_oc(doc), m_ctx(ctx) {}

    void OnPage(const Page& page)
    {
        State state;
        for (SDF::Obj* s : page.GetContentStreams()) Stream(s, page.GetResourceDict(), state);
        Resources(page.GetResourceDict(), 0);
        SDF::Obj* annots = page.GetAnnots();
        for (std::size_t i = annots ? annots->Size() : 0; i-- > 0;)
            if (!m_oc.Visible(FindIn(Deref(annots->GetAt(i)), "OC"))) annots->EraseAt(i);
        for (SDF::Obj* appearance : AppearanceStreams(page)) Form(appearance, 0);
    }

private:
    // What carries from one operation (and one stream of a page) to the next.
    struct State {
        std::vector<bool> marks;   // open marked content: whether each hides
        int hidden = 0;            // how many of them hide
        std::vector<int> modes{0}; // text rendering mode, per saved graphics state
    };

    void Form(SDF::Obj* form, int depth)
    {
        // Stream marks the form done; a form met again (a loop) stops here.
        if (depth > Common::Limits::kMaxContentNesting || m_done.count(form)) return;
        State state;
        SDF::Obj* res = FindDict(form, "Resources");
        Stream(form, res, state);
        Resources(res, depth + 1);
    }

    // The forms and tiling patterns a resource dictionary names.
    void Resources(SDF::Obj* res, int depth)
    {
        for (const char* category : {"XObject", "Pattern"}) {
            ForEachEntry(FindDict(res, category), [&](SDF::Obj* s) {
                if (s->IsStream() && (FindName(s, "Subtype") == "Form" || FindNumber(s, "PatternType", 0) == 1))
                    Form(s, depth);
            });
        }
    }

    bool HiddenMark(const Operation& op, SDF::Obj* res) const
    {
        if (op.Size() < 2 || !op[0].IsName() || op[0].text != "OC") return false;
        SDF::Obj* props = op[1].IsName() ? FindIn(FindDict(res, "Properties"), op[1].text) : op[1].obj.get();
        return !m_oc.Visible(props);
    }

    bool HiddenXObject(const Operation& op, SDF::Obj* res) const
    {
        if (op.Size() < 1 || !op[0].IsName()) return false;
        SDF::Obj* x = Deref(FindIn(FindDict(res, "XObject"), op[0].text));
        return x && !m_oc.Visible(FindIn(x, "OC"));
    }

    void Stream(SDF::Obj* stream, SDF::Obj* res, State& st)
    {
        if (!stream || !stream->IsStream() || !m_done.insert(stream).second || m_ctx.Stopped()) return;
        RewriteContent(stream, [&](const Operation& op, std::string_view bytes, std::string& out) {
            const int mode = st.modes.back();
            switch (op.op) {
            case Op::e_q: st.modes.push_back(mode); break;
            case Op::e_Q: if (st.modes.size() > 1) st.modes.pop_back(); break;
            case Op::e_Tr: if (op.Size() == 1 && op[0].IsNumber()) st.modes.back() = static_cast<int>(op[0].number); break;
            case Op::e_BMC: st.marks.push_back(false); break;
            case Op::e_BDC: {
                const bool hides = HiddenMark(op, res);
                st.marks.push_back(hides);
                st.hidden += hides;
                break;
            }
            case Op::e_EMC:
                if (!st.marks.empty()) {
                    st.hidden -= st.marks.back();
                    st.marks.pop_back();
                }
                break;
            default: break;
            }
            if (st.hidden == 0 && !(op.op == Op::e_Do && HiddenXObject(op, res))) return false;
            if (op.op == Op::e_Do || op.op == Op::e_sh || op.op == Op::e_BI) {
                // Operands and operator go.
                out += ' ';
            } else if (Paints(op.op)) {
                // The operator is the last token of its bytes; it becomes n.
                const std::size_t at = bytes.rfind(op.keyword);
                if (at == std::string_view::npos) return false;
                out += bytes.substr(0, at);
                out += 'n';
                out += bytes.substr(at + op.keyword.size());
            } else if (ShowsText(op.op)) {
                AppendInvisible(out, bytes, mode);
            } else {
                return false;
            }
            return true;
        });
    }

    Render::OptionalContent m_oc;
    const PassContext& m_ctx;
    std::set<const SDF::Obj*> m_done;
};

}  // namespace

void HideOffContent(PassContext& ctx)
{
    Hider hider(ctx.doc, ctx);
    try {
        for (const Page& page : ctx.Pages().Pages()) {
            if (ctx.Stopped()) return;
            try {
                hider.OnPage(page);
            } catch (const Common::Exception&) {
                // A page that cannot be read keeps its content; the page checks report it.
            }
        }
    } catch (const Common::Exception&) {
        // No page tree to walk: nothing is drawn that could show.
    }
}

}  // namespace qvx::PDF
