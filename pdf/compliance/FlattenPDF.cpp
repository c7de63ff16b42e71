#include "pdf/compliance/FlattenPDF.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>
#include <string>

#include "common/Exception.h"
#include "filters/DCTEncode.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "pdf/ContentLexer.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageContent.h"
#include "pdf/compliance/FlattenPlan.h"
#include "pdf/compliance/OutputIntents.h"
#include "render/PageRenderer.h"
#include "sdf/Objects.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Resolutions outside this range are taken as its nearest end.
constexpr int kMinDpi = 18;
constexpr int kMaxDpi = 2400;

// The rows and columns of the bitmap that cover rect (default user space), bitmap being
// drawn from area at ppu pixels per unit; at least one pixel each way.
struct PixelBox {
    int x0, y0, x1, y1;
};
PixelBox PixelsOf(const Rect& rect, const Rect& area, double ppu, int width, int height)
{
    // A region of no width draws at an infinite scale, whose products can be NaN: taken as 0.
    auto clamp = [](double v, int hi) { return v > 0 ? static_cast<int>(std::min(v, static_cast<double>(hi))) : 0; };
    PixelBox b{clamp(std::floor((rect.x1 - area.x1) * ppu), width), clamp(std::floor((area.y2 - rect.y2) * ppu), height),
               clamp(std::ceil((rect.x2 - area.x1) * ppu), width), clamp(std::ceil((area.y2 - rect.y1) * ppu), height)};
    if (b.x1 <= b.x0) b.x0 > 0 ? --b.x0 : ++b.x1;
    if (b.y1 <= b.y0) b.y0 > 0 ? --b.y0 : ++b.y1;
    return b;
}

// An RGB bitmap as JPEG data.
Common::Bytes EncodeJpeg(const Render::Bitmap& rgb, int quality)
{
    Filters::DCTEncodeParams p;
    p.width = rgb.width;
    p.height = rgb.height;
    p.components = 3;
    p.quality = quality;
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* mem = sink.get();
    Filters::DCTEncode enc(std::move(sink), p);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(rgb.data.data(), rgb.data.size());
    w.Finish();
    return mem->Release();
}

// The resource names content can use: the names its operators are given, and those its
// inline images give as their colour space (alone or in an array).
std::set<std::string, std::less<>> NamesIn(const Common::Bytes& content)
{
    std::set<std::string, std::less<>> names;
    ContentLexer lexer(content);
    Operation op;
    while (lexer.Next(op)) {
        for (const Operand& operand : op.Operands())
            if (operand.IsName()) names.insert(operand.text);
        Obj* space = op.op == Op::e_BI && op.inline_dict ? Deref(op.inline_dict->FindObj("ColorSpace")) : nullptr;
        if (space && space->IsName()) names.insert(std::string(space->GetName()));
        for (std::size_t i = 0; space && space->IsArray() && i < space->Size(); ++i)
            if (Obj* part = Deref(space->GetAt(i)); part && part->IsName()) names.insert(std::string(part->GetName()));
    }
    return names;
}

// The page's resources as its flattened content uses them, in a dictionary of the page's
// own (the one it had may be shared): what transparency touched is drawn into the images
// now, so the forms, images and states only it used go, and checkers find nothing the page
// no longer draws. Default colour spaces apply without being named and stay.
std::unique_ptr<Obj> UsedResources(Obj* resources, const Common::Bytes& content)
{
    static constexpr std::string_view kNamed[] = {"XObject", "ExtGState", "Pattern", "Shading", "Font", "ColorSpace", "Properties"};
    const auto names = NamesIn(content);
    auto out = SDF::Dict::Create();
    for (auto it = resources->DictBegin(); it != resources->DictEnd(); ++it) {
        std::string_view category = it.KeyText();
        Obj* entries = Deref(it.Value());
        if (std::find(std::begin(kNamed), std::end(kNamed), category) == std::end(kNamed) || !entries || !entries->IsDict()) {
            out->Put(category, it.Value());
            continue;
        }
        Obj* kept = out->PutDict(category);
        for (auto e = entries->DictBegin(); e != entries->DictEnd(); ++e) {
            std::string_view name = e.KeyText();
            if (names.count(name) || (category == "ColorSpace" && name.starts_with("Default"))) kept->Put(name, e.Value());
        }
    }
    return out;
}

}  // namespace

FlattenPDF::FlattenPDF(SDF::SDFDoc& doc, FlattenShared& shared) : m_doc(doc), m_shared(shared) {}

FlattenPDF::~FlattenPDF() = default;

void FlattenPDF::Begin(const Page& page)
{
    m_page = page;
    m_stage = e_plan;
    mp_plan.reset();
    m_images.clear();
}

bool FlattenPDF::Step()
{
    switch (m_stage) {
    case e_idle: QVX_THROW("m_stage != e_idle", "The flattener was given no page");
    case e_plan:
        Plan();
        m_stage = mp_plan->Changes() ? e_draw : e_write;
        return false;
    case e_draw:
        Draw();
        m_stage = e_write;
        return false;
    case e_write:
        Write();
        m_stage = e_done;
        return true;
    case e_done: return true;
    }
    return true;
}

void FlattenPDF::Plan() { mp_plan = std::make_unique<FlattenPlan>(m_shared.cache, m_page); }

// One drawing of the page (without its annotations, which stay annotations) over the
// area of every region; each group's images are cut from it when the drawing reaches the
// group's stop, so content drawn over them later is not in them too.
void FlattenPDF::Draw()
{
    if (mp_plan->ImageCount() == 0) return;
    const double ppu = std::clamp(m_dpi, kMinDpi, kMaxDpi) / 72.0;
    Rect b = mp_plan->Bounds();
    Rect area{std::floor(b.x1 * ppu) / ppu, std::floor(b.y1 * ppu) / ppu, std::ceil(b.x2 * ppu) / ppu,
              std::ceil(b.y2 * ppu) / ppu};
    Render::RenderOptions options;
    options.dpi = ppu * 72;
    options.annotations = false;
    options.alpha = false;
    options.region = area;
    const std::vector<FlattenPlan::Group>& groups = mp_plan->Groups();
    // The groups by stop; each stop's images are cut when the drawing reaches it.
    std::vector<std::size_t> order(groups.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return groups[a].stop < groups[b].stop; });
    for (std::size_t i : order) options.stops.push_back(groups[i].stop);
    std::vector<std::vector<Jpeg>> cut(groups.size());
    options.at_stop = [&](std::size_t stop, const Render::Snapshot& drawing) {
        // A capped drawing has fewer pixels than asked for; the images then have fewer too.
        const double got = drawing.width / area.Width();
        const std::size_t group = order[stop];
        for (const Rect& r : groups[group].rects) {
            PixelBox px = PixelsOf(r, area, got, drawing.width, drawing.height);
            Jpeg j;
            j.width = px.x1 - px.x0;
            j.height = px.y1 - px.y0;
            j.rect = {area.x1 + px.x0 / got, area.y2 - px.y1 / got, area.x1 + px.x1 / got, area.y2 - px.y0 / got};
            j.data = EncodeJpeg(drawing.Crop(px.x0, px.y0, px.x1, px.y1), m_quality);
            cut[group].push_back(std::move(j));
        }
    };
    Render::RenderResult drawn = Render::RenderPage(m_doc, m_page, options);
    QVX_CHECK(drawn.complete, "The page could not be drawn completely");
    for (std::size_t group = 0; group < groups.size(); ++group) {
        QVX_CHECK(cut[group].size() == groups[group].rects.size(), "The drawing of the page has no usable bitmap");
        for (Jpeg& j : cut[group]) m_images.push_back(std::move(j));
    }
}

void FlattenPDF::Write()
{
    Obj* dict = Deref(m_page.GetSDFObj());
    QVX_CHECK(dict && dict->IsDict(), "The page is not a dictionary");
    if (!mp_plan->Changes()) {
        dict->Erase("Group");
        return;
    }
    // Everything that can fail comes before the first change to the page.
    std::vector<std::string> names = FreeResourceNames(m_page, "XObject", "Flat", m_images.size());
    std::string reset = FreeResourceNames(m_page, "ExtGState", "FlatGS", 1).front();
    std::vector<std::string> fonts = FreeResourceNames(m_page, "Font", "FlatF", mp_plan->Fonts().size());
    std::vector<FlattenPlan::Placed> placed;
    for (std::size_t i = 0; i < m_images.size(); ++i) placed.push_back({names[i], m_images[i].rect});
    const Common::Bytes text = mp_plan->Rewrite(reset, placed, fonts);
    Common::Bytes content = SDF::FlateBytes(text);
    std::vector<Obj*> font_refs;
    for (Obj* f : mp_plan->Fonts()) font_refs.push_back(IndirectOf(f));
    Obj* resources = Deref(m_page.GetResourceDict());
    std::unique_ptr<Obj> used = resources && resources->IsDict() ? UsedResources(resources, text) : SDF::Dict::Create();

    m_page.SetResourceDict(dict->Put("Resources", std::move(used)));

    for (std::size_t i = 0; i < m_images.size(); ++i) {
        auto d = SDF::Dict::Create();
        d->PutName("Type", "XObject");
        d->PutName("Subtype", "Image");
        d->PutNumber("Width", m_images[i].width);
        d->PutNumber("Height", m_images[i].height);
        d->Put("ColorSpace", ImageSpace());
        d->PutNumber("BitsPerComponent", 8);
        d->PutName("Filter", "DCTDecode");
        PutPageResource(m_page, "XObject", names[i], m_doc.CreateIndirectStream(std::move(m_images[i].data), std::move(d)));
    }
    for (std::size_t i = 0; i < fonts.size(); ++i) PutPageResource(m_page, "Font", fonts[i], font_refs[i]);
    Obj* gs = m_doc.CreateIndirectDict();
    gs->PutName("Type", "ExtGState");
    gs->PutNumber("CA", 1);
    gs->PutNumber("ca", 1);
    gs->PutName("BM", "Normal");
    gs->PutName("SMask", "None");
    PutPageResource(m_page, "ExtGState", reset, gs);
    auto cd = SDF::Dict::Create();
    cd->PutName("Filter", "FlateDecode");
    dict->Put("Contents", m_doc.CreateIndirectStream(std::move(content), std::move(cd)));
    dict->Erase("Group");
}

Obj* FlattenPDF::ImageSpace()
{
    if (!m_shared.image_space) m_shared.image_space = NewSRGBImageSpace(m_doc);
    return m_shared.image_space;
}

}  // namespace qvx::PDF
