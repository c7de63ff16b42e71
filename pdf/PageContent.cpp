#include "pdf/PageContent.h"

#include <cmath>
#include <cstdio>

#include "common/Exception.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Resource names tried before giving up: far more than a page holds.
constexpr int kMaxNameTries = 1 << 20;

constexpr std::string_view kOpen = "q\n";
constexpr std::string_view kClose = "Q\n";

bool HasData(Obj* stream, std::string_view prefix, bool whole)
{
    if (stream->FindObj("Filter")) return false;
    auto data = ReadDecoded(stream, 1 << 20);
    if (!data || data->size() < prefix.size() || (whole && data->size() != prefix.size())) return false;
    return std::string_view(reinterpret_cast<const char*>(data->data()), prefix.size()) == prefix;
}

Common::Bytes BytesOf(std::string_view a, std::string_view b = {})
{
    Common::Bytes out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace

SDF::SDFDoc& DocOf(const Page& page)
{
    Obj* dict = page.GetSDFObj();
    SDF::SDFDoc* doc = dict ? dict->GetDoc() : nullptr;
    QVX_CHECK(doc, "The page belongs to no document");
    return *doc;
}

Obj* IndirectOf(Obj* resolved)
{
    if (resolved->IsIndirect()) return resolved;
    Obj* parent = resolved->GetParent();
    if (parent && parent->IsIndirect()) return parent;
    SDF::SDFDoc* doc = resolved->GetDoc();
    QVX_CHECK(doc, "The object belongs to no document");
    return doc->AddObj(resolved->Clone());
}

std::string ContentNumber(double v)
{
    if (!std::isfinite(v)) v = 0;
    if (std::fabs(v) < 5e-7) v = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    std::string s(buf);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string ContentMatrix(const Matrix& m)
{
    std::string out;
    for (double v : {m.a, m.b, m.c, m.d, m.e, m.f}) out += (out.empty() ? "" : " ") + ContentNumber(v);
    return out;
}

std::vector<std::string> FreeResourceNames(const Page& page, std::string_view category, std::string_view prefix,
                                           std::size_t count)
{
    Obj* cat = FindDict(Deref(page.GetResourceDict()), category);
    std::vector<std::string> out;
    for (int i = 0; out.size() < count; ++i) {
        QVX_CHECK(i < kMaxNameTries, "No free resource name");
        std::string name = std::string(prefix) + std::to_string(i);
        if (!cat || !cat->FindObj(name)) out.push_back(std::move(name));
    }
    return out;
}

void PutPageResource(Page& page, std::string_view category, const std::string& name, Obj* value)
{
    Obj* res = Deref(page.GetResourceDict());
    if (!res || !res->IsDict()) {
        res = Deref(page.GetSDFObj())->PutDict("Resources");
        page.SetResourceDict(res);
    }
    Obj* cat = FindIn(res, category);
    if (!cat || !cat->IsDict()) cat = res->PutDict(category);
    cat->Put(name, value);
}

std::string AddPageResource(Page& page, std::string_view category, std::string_view prefix, Obj* value)
{
    std::string name = FreeResourceNames(page, category, prefix, 1).front();
    PutPageResource(page, category, name, value);
    return name;
}

namespace {

// The page's content between a new first stream (before) and a new last one (after); the
// page's own streams keep their numbers.
void WrapPageContent(const Page& page, std::string_view before, std::string_view after)
{
    SDF::SDFDoc& doc = DocOf(page);
    auto array = SDF::Array::Create();
    array->PushBack(doc.CreateIndirectStream(BytesOf(before)));
    for (Obj* s : page.GetContentStreamEntries()) array->PushBack(s);
    array->PushBack(doc.CreateIndirectStream(BytesOf(after)));
    Deref(page.GetSDFObj())->Put("Contents", std::move(array));
}

}  // namespace

void AppendPageContent(const Page& page, std::string_view content)
{
    std::vector<Obj*> streams = page.GetContentStreams();
    Obj* contents = FindIn(Deref(page.GetSDFObj()), "Contents");
    if (streams.size() >= 2 && contents && contents->IsArray() && HasData(streams.front(), kOpen, true) &&
        HasData(streams.back(), kClose, false)) {
        auto data = ReadDecoded(streams.back(), 1ull << 30);
        QVX_CHECK(data, "The closing content stream cannot be read");
        data->insert(data->end(), content.begin(), content.end());
        streams.back()->SetStreamData(std::move(*data));
        return;
    }
    WrapPageContent(page, kOpen, std::string(kClose) + std::string(content));
}

void TransformPageContent(const Page& page, const Matrix& m)
{
    // The line break before Q ends a last operator the page's own stream left unterminated.
    WrapPageContent(page, "q " + ContentMatrix(m) + " cm\n", "\nQ\n");
}

}  // namespace qvx::PDF
