#include "pdf/Field.h"

#include <algorithm>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

struct Inherit {
    std::string name;
    std::string ft;
    int flags = 0;
    Obj* v = nullptr;
    Obj* da = nullptr;
};

// A kid is a field when it has T (or FT/Kids) rather than being a pure widget.
bool IsFieldNode(Obj* d)
{
    return d->FindObj("T") || d->FindObj("FT") || d->FindObj("Kids");
}

}  // namespace

std::vector<Field> Field::ReadAll(SDF::SDFDoc& doc)
{
    std::vector<Field> out;
    Obj* fields = nullptr;
    try {
        fields = FindArray(FindDict(doc.GetRoot(), "AcroForm"), "Fields");
    } catch (const Common::Exception&) {
        return out;
    }
    if (!fields) return out;
    struct Item {
        Obj* dict;
        Inherit inh;
        int depth;
    };
    std::vector<Item> stack;
    std::vector<Obj*> seen;
    for (std::size_t i = fields->Size(); i-- > 0;) {
        Obj* d = Deref(fields->GetAt(i));
        if (d && d->IsDict()) stack.push_back({d, {}, 0});
    }
    while (!stack.empty() && out.size() < Common::Limits::kMaxFields) {
        Item it = std::move(stack.back());
        stack.pop_back();
        if (std::find(seen.begin(), seen.end(), it.dict) != seen.end()) continue;
        seen.push_back(it.dict);
        Inherit inh = it.inh;
        Obj* t = FindIn(it.dict, "T");
        if (t && t->IsString()) {
            std::string part = it.dict->FindObj("T")->GetAsPDFText().ToUTF8();
            inh.name = inh.name.empty() ? part : inh.name + "." + part;
        }
        if (std::string_view ft = FindName(it.dict, "FT"); !ft.empty()) inh.ft = std::string(ft);
        if (Obj* ff = FindIn(it.dict, "Ff"); ff && ff->IsNumber()) inh.flags = FindFlags(it.dict, "Ff");
        if (Obj* v = FindIn(it.dict, "V")) inh.v = v;
        if (Obj* da = FindIn(it.dict, "DA")) inh.da = da;
        Obj* kids = FindArray(it.dict, "Kids");
        std::vector<Obj*> field_kids, widgets;
        if (kids) {
            for (std::size_t k = 0; k < kids->Size(); ++k) {
                Obj* ref = kids->GetAt(k);
                Obj* kd = Deref(ref);
                if (!kd || !kd->IsDict() || kd == it.dict) continue;
                if (std::find(seen.begin(), seen.end(), kd) != seen.end()) continue;  // a loop
                (IsFieldNode(kd) ? field_kids : widgets).push_back(IsFieldNode(kd) ? kd : ref);
            }
        }
        if (!field_kids.empty() && it.depth < Common::Limits::kMaxFieldDepth) {
            for (std::size_t k = field_kids.size(); k-- > 0;) stack.push_back({field_kids[k], inh, it.depth + 1});
            if (widgets.empty()) continue;
        }
        Field f;
        f.mp_dict = it.dict;
        f.m_name = inh.name;
        f.m_ft = inh.ft;
        f.m_flags = inh.flags;
        f.mp_v = inh.v;
        f.mp_da = inh.da;
        f.m_widgets = widgets;
        if (widgets.empty() && FindName(it.dict, "Subtype") == "Widget") f.m_widgets.push_back(it.dict);
        out.push_back(std::move(f));
    }
    return out;
}

Field::Type Field::GetType() const
{
    if (m_ft == "Btn") return e_button;
    if (m_ft == "Tx") return e_text;
    if (m_ft == "Ch") return e_choice;
    if (m_ft == "Sig") return e_signature;
    return e_unknown;
}

Obj* Field::GetAction() const { return FindDict(mp_dict, "A"); }
Obj* Field::GetAdditionalActions() const { return FindDict(mp_dict, "AA"); }

}  // namespace qvx::PDF
