#pragma once
// Draws the elements of content streams onto a cairo context: one drawer per walk (a page,
// an annotation appearance, a pattern cell, a soft mask), each with the device matrix its
// user space maps through.

#include <array>
#include "render/CairoApi.h"
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "pdf/ElementReader.h"
#include "pdf/Geometry.h"
#include "pdf/Page.h"
#include "pdf/ResourceCache.h"
#include "render/GlyphMasks.h"

namespace qvx::Render {

class ColourConvert;
class FontFaces;
class OptionalContent;
struct RGB;

// What every drawer of one page shares: caches, and the work done so far against the caps.
class ImageCache;

struct RenderContext {
    PDF::ResourceCache& cache;
    ColourConvert& colours;
    FontFaces& fonts;
    const OptionalContent& oc;
    std::uint64_t operators = 0;
    std::uint64_t image_pixels = 0;
    ImageCache* images = nullptr;   // decoded images shared with other drawings
    bool complete = true;
    int depth = 0;  // drawers running inside one another (patterns, soft masks, glyphs)
    // Soft masks drawn (A8 surfaces of the target's size) by mask and device matrix, and the
    // matrix in force when each mask was set.
    using MaskKey = std::pair<const SDF::Obj*, std::array<double, 6>>;
    std::map<MaskKey, cairo_surface_t*> masks;
    std::map<const SDF::Obj*, PDF::Matrix> mask_ctm;
    // Function-based shadings sampled into images, by shading, colour space and alpha (in
    // 255ths): drawn again, in patterns and groups, without evaluating the function anew.
    using SampledShadingKey = std::tuple<const SDF::Obj*, const void*, int>;
    std::map<SampledShadingKey, cairo_surface_t*> sampled_shadings;
    // Type 3 glyph procedures declared with d0 (they set their own colours).
    std::map<const SDF::Obj*, bool> coloured_glyphs;
    GlyphMasks glyph_masks;

    RenderContext(PDF::ResourceCache& c, ColourConvert& cc, FontFaces& f, const OptionalContent& o)
        : cache(c), colours(cc), fonts(f), oc(o) {}
    ~RenderContext();
    RenderContext(const RenderContext&) = delete;
    RenderContext& operator=(const RenderContext&) = delete;
    bool OverBudget() const;
};

class ContentDrawer : private PDF::ContentObserver {
public:
    // base: user space of the walk (the page's default space, or the annotation's placement)
    // to device pixels of cr.
    ContentDrawer(cairo_t* cr, RenderContext& ctx, const PDF::Matrix& base);
    ~ContentDrawer() override;
    ContentDrawer(const ContentDrawer&) = delete;
    ContentDrawer& operator=(const ContentDrawer&) = delete;

    // stops: offsets in the page's content (its streams joined as the element reader joins
    // them), ascending; at_stop(i) is called when the page's own content reaches the first
    // element at or after stops[i], or its end, with the target flushed.
    void DrawPage(const PDF::Page& page, const std::vector<std::size_t>& stops = {},
                  const std::function<void(std::size_t)>& at_stop = {});
    // A form-like stream (appearance, pattern cell, soft mask group) with its own resources,
    // clipped to its BBox, in the space its Matrix gives (own_matrix) or in the base space.
    void DrawForm(SDF::Obj* stream, bool own_matrix = true);
    // Content made up by the renderer itself, without resources, in the base space.
    void DrawContent(const std::string& content);
    // The colour the first fill or stroke of an uncoloured pattern cell or Type 3 glyph takes.
    void SetInheritedColour(const RGB& rgb);

private:
    struct Segment {
        enum Kind : std::uint8_t { e_move, e_line, e_curve, e_close } kind;
        double p[6];
    };

    // Damage met by the reader: what it skipped is missing from the page.
    void OnIssue(const PDF::ContentIssue& issue) override;
    // Runs the elements of the innermost stream of the reader.
    void Walk();
    // Calls at_stop for the stops up to offset (all that are left for the end).
    void ReachStops(std::size_t offset);
    void OnOperator(const PDF::Operation& op);
    bool SetMatrix(const PDF::Matrix& user);
    void AppendPath();
    void DrawPath(const PDF::Element& e);
    // current_path: what is stroked is m_path (not a glyph outline), looked at for thin lines.
    void Stroke(const PDF::GState& gs, bool current_path = false);
    // Rectangles and straight lines along the pixel grid drawn with whole-pixel edges: the
    // current path replaced by the area to fill; false when the path is not such a shape.
    // A rectangle without area becomes the row or column of pixels it lies in, to be painted
    // with the share of the colour `coverage` gives (1 for the others).
    // The path as a rectangle along the device's axes (two opposite corners), if it is one.
    std::optional<std::array<double, 4>> DeviceRectangle(const PDF::Matrix& ctm) const;
    bool SnapRectangleFill(const PDF::Matrix& ctm, double& coverage);
    // A clip to such a rectangle keeps whole every pixel row it enters, as pdftoppm clips.
    void SnapRectangleClip(const PDF::Matrix& ctm);
    bool SnapLineStroke(const PDF::GState& gs);
    // Whether the path is of straight segments only, each horizontal or vertical on the device.
    bool AlongPixelGrid(const PDF::Matrix& ctm) const;
    void ReplacePath(const std::vector<std::array<double, 4>>& device_rects);
    void EnterForm(const PDF::Element& e);
    // A transparency group drawn and composited with the state gs it was drawn in.
    void DrawGroup(SDF::Obj* group, const PDF::GState& gs);
    // Paints the source over the whole clip, replacing what is there.
    void PaintUnder();
    // In a knockout group: the object's area returns to the group's backdrop before the
    // object is painted on it. The area: the current path filled or stroked, the whole clip
    // (a shading), or the clip through a mask (a stencil image's samples).
    enum KnockoutArea : std::uint8_t { e_fill_area, e_stroke_area, e_clip_area };
    void Knockout(KnockoutArea area, cairo_pattern_t* mask = nullptr);

    // Sources: false when the colour cannot be painted (a pattern that could not be built).
    bool SetSource(const PDF::GState& gs, bool fill);
    RGB ColourOf(const PDF::ColorState& c);
    cairo_pattern_t* ShadingPattern(SDF::Obj* shading, const PDF::Matrix& to_user, double alpha);
    cairo_pattern_t* TilingPattern(const PDF::GState& gs, bool fill, double alpha);
    // Sets a pattern's matrix from its space's map to the device, relative to cairo's user space.
    bool SetPatternMatrix(cairo_pattern_t* pattern, const PDF::Matrix& to_device);

    // Painting with the transparency of the state in force: blend mode, soft mask.
    void BeginPaint(const PDF::GState& gs);
    void EndPaint(const PDF::GState& gs);
    cairo_surface_t* SoftMask(SDF::Obj* smask);

    void DrawText(const PDF::Element& e);
    void ApplyTextClip();
    void DrawType3(const PDF::Element& e, const PDF::GState& gs);
    bool ColouredGlyph(SDF::Obj* proc);
    void DrawImage(const PDF::Element& e);
    void DrawShading(const PDF::Element& e);

    cairo_t* mp_cr;
    RenderContext& m_ctx;
    PDF::Matrix m_base;
    PDF::ElementReader m_reader;
    std::vector<Segment> m_path;
    double m_cx = 0, m_cy = 0;  // current point (user space)
    bool m_clip_even_odd = false;
    std::unique_ptr<RGB> mp_inherited;
    // Glyph outlines of clipping text modes (device space), applied at ET.
    std::vector<cairo_path_t*> m_text_clip;
    bool m_text_clip_pending = false;
    // Marked-content sequences open, each whether optional content hides it, and how many hide.
    std::vector<bool> m_marked;
    int m_hidden = 0;
    int m_glyphs = 0;  // Type 3 glyph procedures running
    // Inside a knockout group, and its backdrop (device space; null: transparent).
    bool m_knockout = false;
    cairo_pattern_t* mp_knockout_backdrop = nullptr;
    // The page's stops, while its own content is walked.
    const std::vector<std::size_t>* mp_stops = nullptr;
    const std::function<void(std::size_t)>* mp_at_stop = nullptr;
    std::size_t m_next_stop = 0;
    std::size_t m_op_offset = 0;  // of the operator read last, in its stream's data
};

}  // namespace qvx::Render
