#pragma once
// Documents built in memory for the page-layer tests: objects are written in PDF syntax,
// with @n standing for a reference to object n (the object parser is not involved).

#include <memory>
#include <string>
#include <string_view>

#include "pdf/ContentLexer.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::Test {

class TestDoc {
public:
    // count: the object numbers 1..count made available (null until set).
    explicit TestDoc(int count = 20)
    {
        for (int i = 0; i < count; ++i) doc.CreateIndirectNull();
    }

    // Sets object n from its PDF text.
    SDF::Obj* Set(int n, std::string_view text) { return Place(n, Parse(text)); }
    // Sets object n to a stream with the dictionary text and data.
    SDF::Obj* SetStream(int n, std::string_view dict, std::string_view data)
    {
        auto d = Parse(dict);
        std::unique_ptr<SDF::Dict> dd(static_cast<SDF::Dict*>(d.release()));
        return Place(n, SDF::FileStream::Create(Common::ToBytes(data), std::move(dd)));
    }
    void SetRoot(int n) { doc.GetTrailer()->Put("Root", doc.GetObj(n)); }
    SDF::Obj* Get(int n) const { return doc.GetObj(n); }

    // A direct object from PDF text.
    std::unique_ptr<SDF::Obj> Parse(std::string_view text)
    {
        // @n is written bare; the lexer reads it as the name /@n.
        std::string src;
        for (char c : text) {
            if (c == '@' && (src.empty() || src.back() != '/')) src += '/';
            src += c;
        }
        src += " x";
        PDF::ContentLexer lex(Common::AsBytes(src));
        PDF::Operation op;
        if (!lex.Next(op) || op.Size() == 0) return SDF::Null::Create();
        return Convert(const_cast<PDF::Operand&>(op[0]));
    }

    SDF::SDFDoc doc;

private:
    SDF::Obj* Place(int n, std::unique_ptr<SDF::Obj> obj)
    {
        SDF::Indirect* e = doc.GetImpl().GetEntry(static_cast<std::uint32_t>(n));
        e->SetReferent(std::move(obj));
        return e;
    }

    std::unique_ptr<SDF::Obj> Convert(PDF::Operand& o)
    {
        switch (o.kind) {
        case PDF::Operand::e_number: return SDF::Number::Create(o.number);
        case PDF::Operand::e_bool: return SDF::Bool::Create(o.boolean);
        case PDF::Operand::e_string: return SDF::Str::Create(o.text);
        case PDF::Operand::e_name:
            if (!o.text.empty() && o.text[0] == '@') return nullptr;  // replaced by the caller
            return SDF::Name::Create(o.text);
        case PDF::Operand::e_array:
        case PDF::Operand::e_dict: Fix(o.obj.get()); return std::move(o.obj);
        default: return SDF::Null::Create();
        }
    }

    // Turns @n names inside containers into references.
    void Fix(SDF::Obj* c)
    {
        if (c->IsArray()) {
            for (std::size_t i = 0; i < c->Size(); ++i) {
                SDF::Obj* v = c->GetAt(i);
                if (int n = RefOf(v)) c->Replace(i, doc.GetObj(static_cast<std::uint32_t>(n)));
                else if (v->IsArray() || v->IsDict()) Fix(v);
            }
        } else if (c->IsDict()) {
            for (auto it = c->DictBegin(); it.HasNext(); it.Next()) {
                SDF::Obj* v = it.Value();
                if (int n = RefOf(v)) {
                    std::string key(it.KeyText());
                    c->Put(key, doc.GetObj(static_cast<std::uint32_t>(n)));
                    it = c->Find(key);
                } else if (v->IsArray() || v->IsDict()) {
                    Fix(v);
                }
            }
        }
    }
    static int RefOf(SDF::Obj* v)
    {
        if (!v->IsName() || v->GetName().size() < 2 || v->GetName()[0] != '@') return 0;
        return std::stoi(std::string(v->GetName().substr(1)));
    }
};

}  // namespace qvx::Test
