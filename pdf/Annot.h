#pragma once
// An annotation dictionary: subtype, flags, rectangle, appearance streams, colours,
// opacity and the field of a widget.
//
//     for (std::size_t i = 0; i < Annot::Count(page); ++i) {
//         Annot a = Annot::At(page, i);
//         if (!a.IsValid()) continue;
//         if (a.GetType() == Annot::e_Widget && !a.HasFlag(Annot::e_print)) ...
//     }

#include <cstddef>
#include <optional>
#include <string_view>

#include "pdf/Geometry.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class Page;

class Annot {
public:
    // Subtype codes as the annotation checks number them.
    enum Type {
        e_Text, e_Link, e_FreeText, e_Line, e_Square, e_Circle, e_Polygon, e_Polyline, e_Highlight,
        e_Underline, e_Squiggly, e_StrikeOut, e_Stamp, e_Caret, e_Ink, e_Popup, e_FileAttachment, e_Sound,
        e_Movie, e_Widget, e_Screen, e_PrinterMark, e_TrapNet, e_Watermark, e_3D, e_Redact, e_Projection,
        e_RichMedia, e_Unknown
    };
    // Flag bit indexes in F (the value is 1 << index).
    enum Flag { e_invisible = 0, e_hidden = 1, e_print = 2, e_no_zoom = 3, e_no_rotate = 4, e_no_view = 5,
                e_read_only = 6, e_locked = 7, e_toggle_no_view = 8, e_locked_contents = 9 };
    enum AppearanceKind { e_normal, e_rollover, e_down };

    Annot() = default;
    // obj: an element of Annots (a reference or a direct dictionary).
    explicit Annot(SDF::Obj* obj);
    // The number of elements of a page's Annots, and the annotation of element i.
    static std::size_t Count(const Page& page);
    static Annot At(const Page& page, std::size_t i);

    // A dictionary (Type, when present, is not checked).
    bool IsValid() const { return mp_dict != nullptr; }
    SDF::Obj* GetSDFObj() const { return mp_obj; }
    Type GetType() const;
    static Type TypeFromName(std::string_view subtype);

    // F is present; its value (0 when absent or not a number).
    bool HasFlags() const;
    int GetFlags() const;
    bool HasFlag(Flag f) const { return (GetFlags() >> f) & 1; }

    // Rect normalised, or nullopt when missing or damaged.
    std::optional<Rect> GetRect() const;
    void SetRect(const Rect& r);
    // AP (a dictionary) or null; its N, R or D entry; the stream of the current state (the
    // entry itself when it is a stream, else its sub-entry named by AS), or null.
    SDF::Obj* GetAppearanceDict() const;
    SDF::Obj* GetAppearanceEntry(AppearanceKind which = e_normal) const;
    SDF::Obj* GetAppearance(AppearanceKind which = e_normal) const;
    // AS, or empty.
    std::string_view GetAppearanceState() const;

    // C and IC when arrays, else null; CA as a number (1 when absent); BM as found (null).
    SDF::Obj* GetColor() const;
    SDF::Obj* GetInteriorColor() const;
    std::optional<double> GetOpacity() const;
    SDF::Obj* GetBlendMode() const;
    // A (action), AA (additional actions), Parent (widgets: their field), Popup.
    SDF::Obj* GetAction() const;
    SDF::Obj* GetAdditionalActions() const;
    // Widgets: the field dictionary (the widget itself when merged with its field).
    SDF::Obj* GetField() const;

    // Draws the normal appearance of the current state into the page's content, placed
    // on Rect as viewers place it (upright when NoRotate is set), and removes the
    // annotation from the page's Annots. Throws when there is no such appearance or it
    // cannot be placed; the page is then left as it was. (AnnotFlatten.cpp)
    void Flatten(Page& page);

private:
    SDF::Obj* mp_obj = nullptr;
    SDF::Obj* mp_dict = nullptr;
};

}  // namespace qvx::PDF
