#pragma once
// The content checks of the colour group: colour spaces against the output intent and the
// Default spaces, Separation and DeviceN rules, transparency, extended graphics states,
// halftones, rendering intents, overprint mode, images and XObjects, q nesting, illegal
// operators and undefined resources, and the page group. One object serves a whole run
// (it remembers Separation colorants across pages).
//
// Split by concern: ColourChecks.cpp (dispatch, page state, page group),
// ColourSpaceChecks.cpp (colour spaces), GStateChecks.cpp (graphics state and
// ExtGState resources), XObjectChecks.cpp (images, forms and other XObjects).

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "pdf/compliance/ContentWalk.h"

namespace qvx::PDF {

// Extended graphics states whose transfer curve (TR, TR2) the page checks found in
// conversion; no level allows one. After the page walk, when no reader holds the state that
// points at it, a curve that changes no value goes; any other stays (and is reported), since
// taking it away would change every colour it applies to.
struct TransferCurvesToRemove : std::set<SDF::Obj*> {};
void RemoveTransferCurves(PassContext& ctx);
// Extended graphics states naming a rendering intent no reader knows, found by the page
// checks in conversion. Readers draw with RelativeColorimetric for such a name, and after the
// page walk the states name it.
struct UnknownIntentStates : std::set<SDF::Obj*> {};
void NameUnknownIntents(PassContext& ctx);
// Images that resources name but no content draws (left in a pattern that flattening drew
// into the page, say) are judged by other checkers all the same: conversion takes from
// them, as from drawn ones, the entries no level allows, which changes nothing drawn.
void TidyUndrawnImages(PassContext& ctx);

class ColourCheck final : public ContentCheck {
public:
    void PageBegin(PassContext& ctx, const Page& page) override;
    void OnElement(PassContext& ctx, const Element& el, ElementReader& reader) override;
    void OnIssue(PassContext& ctx, const ContentIssue& issue) override;
    void PageEnd(PassContext& ctx, const Page& page) override;

private:
    struct Separation {
        SDF::Obj* tint = nullptr;
        SDF::Obj* alt = nullptr;
        SDF::Obj* space = nullptr;  // the Separation array
    };
    struct GroupSpace {
        int depth;  // reader nesting depth of the streams inside the group (0: the page's)
        std::shared_ptr<const ColorSpace> space;
        bool isolated;
    };
    // Where a colour space is checked: the element's stream and resources, and the
    // Separation or DeviceN space whose alternate it is (null outside an alternate).
    struct SpaceUse {
        SDF::Obj* stream = nullptr;
        const Resources* res = nullptr;
        const ColorSpace* alt_owner = nullptr;
        const ColorSpace* colorant_of = nullptr;  // the DeviceN whose colorant the Separation describes
    };

    // ColourSpaceChecks.cpp
    // remember: the space outlives the run (it is cached), so a second use can be skipped.
    void CheckSpace(PassContext& ctx, const ColorSpace* cs, const SpaceUse& use, int depth = 0, bool remember = true);
    void CheckSeparation(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use, int depth);
    void CheckDeviceN(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use, int depth);
    // The colorant limits: 8 in part 1, 32 in parts 2 and 3.
    static void CheckColorantCount(PassContext& ctx, std::size_t colorants);
    // A DeviceN array with more colorants than the colour space reader takes never becomes a
    // space; its count is checked from the array (cs may be any colour space object).
    static void CheckUnreadableDeviceN(PassContext& ctx, SDF::Obj* cs);
    void CheckICC(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use);
    void CheckDevice(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use);
    void CheckPaint(PassContext& ctx, const ColorState& colour, const SpaceUse& use);
    std::shared_ptr<const ColorSpace> SpaceOf(PassContext& ctx, SDF::Obj* obj, const Resources& res, bool is_inline);
    // The blending space in force: the innermost device-independent space of the page group
    // or an isolated form group.
    const ColorSpace* GroupColourSpace() const;
    // Conversion: the resources dictionary where a Default space for this use goes (made
    // when the content has none).
    SDF::Obj* ResourcesToHoldDefault(const SpaceUse& use);

    // GStateChecks.cpp
    void CheckGStateChanges(PassContext& ctx, const Element& el);
    void CheckOverprint(PassContext& ctx, const Element& el, const Resources& res);
    void CheckResourceDicts(PassContext& ctx, const Resources& res);
    void CheckExtGState(PassContext& ctx, SDF::Obj* gs);
    // Conversion to PDF/A-1: the transparency entries of every ExtGState the page used.
    void RemoveTransparency();

    // XObjectChecks.cpp
    void CheckImage(PassContext& ctx, const Element& el, const Resources& res);
    void CheckForm(PassContext& ctx, const Element& el, ElementReader& reader);
    // The entries of a form's dictionary; false when its transparency group was found where
    // none may be, which ends the form's checks. painted: the element that paints the form,
    // none for an annotation's appearance.
    bool CheckFormDict(PassContext& ctx, SDF::Obj* form, const Element* painted);
    void CheckOtherXObject(PassContext& ctx, const Element& el, const Resources& res);
    void PushGroup(PassContext& ctx, SDF::Obj* owner, int depth, const Resources& res);

    void MarkTransparency() { m_transparency = true; }

    std::map<std::string, Separation> m_separations;  // colorant name -> first Separation seen
    std::set<const SDF::Obj*> m_gstates_seen;          // ExtGState dictionaries checked
    // Colour spaces checked: space, stream, resources, blending space, alternate owner.
    std::set<std::tuple<const void*, const void*, const void*, const void*, const void*>> m_spaces_checked;
    std::set<const SDF::Obj*> m_resources_seen;        // resource dictionaries checked
    // Per page.
    bool m_transparency = false;
    // The colours were set by the content (text is checked with them whatever its mode).
    bool m_fill_set = false, m_stroke_set = false;
    std::vector<GroupSpace> m_groups;
    std::set<SDF::Obj*> m_page_resources;              // resource dictionaries the page used
    std::set<const SDF::Obj*> m_overprint_done;        // streams whose overprint was reported
    SDF::Obj* mp_last_stream = nullptr;                // the stream of the element before
    SDF::Obj* mp_page = nullptr;                       // the page dictionary being walked
};

}  // namespace qvx::PDF
