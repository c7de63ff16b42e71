#pragma once
// Content of a drawn appearance, written operator by operator, with the resources it
// names. Shared by the annotation and form-field appearances.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/AnnotAppearance.h"
#include "pdf/Geometry.h"

namespace qvx::PDF {

class AppearanceWriter {
public:
    AppearanceWriter& Op(std::string_view text);
    AppearanceWriter& Num(double v);
    AppearanceWriter& Point(double x, double y) { return Num(x).Num(y); }
    // A colour array of 1, 3 or 4 numbers as the fill (g, rg, k) or stroke (G, RG, K)
    // operator; false, writing nothing, for any other array (an empty one means none).
    bool Colour(const SDF::Obj* array, bool stroke);
    void Rectangle(const Rect& r);
    void Ellipse(const Rect& r);
    void Polyline(const std::vector<double>& xy, bool close);
    // A literal string operand.
    AppearanceWriter& String(std::string_view bytes);
    // Names a resource of the category and returns its name ("F0", "GS0"...).
    std::string Resource(std::string_view category, std::string_view prefix, SDF::Obj* value);
    std::string Resource(std::string_view category, std::string_view prefix, std::unique_ptr<SDF::Obj> value);

    // The form XObject of the content with BBox bbox, made indirect in doc.
    SDF::Obj* Finish(SDF::SDFDoc& doc, const Rect& bbox);

private:
    struct Entry {
        std::string category;
        std::string name;
        SDF::Obj* value;
        bool owned;
    };
    std::string m_content;
    std::vector<Entry> m_resources;
    std::vector<std::unique_ptr<SDF::Obj>> m_owned;
};

// The border width of an annotation (BS W, else the third number of Border, 0 when Border
// is malformed; 1 by default, but 0 for a widget: viewers frame a field only where its
// entries give a width) and, when its style is dashed, writes the dash pattern.
double BorderWidth(const Annot& annot);
void BorderDash(const Annot& annot, AppearanceWriter& w);

// The appearances of widgets, free text and stamps, which write text (FieldAppearance.cpp).
SDF::Obj* DrawFreeText(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect);
SDF::Obj* DrawStamp(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect);
DrawnAppearance DrawWidget(SDF::SDFDoc& doc, const Annot& annot, const Rect& rect);

}  // namespace qvx::PDF
