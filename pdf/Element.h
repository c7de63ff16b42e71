#pragma once
// What the element reader delivers: elements (drawing operations, q/Q and marked
// content) with the graphics state in force, and the problems it met on the way.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/ContentLexer.h"
#include "pdf/GState.h"
#include "pdf/Image.h"

namespace qvx::PDF {

struct Element {
    enum Kind {
        e_path,                    // a path painted (or only clipped, with n)
        e_text,                    // Tj, TJ, ' or "
        e_image,                   // Do of an image XObject
        e_inline_image,            // BI ... ID ... EI
        e_shading,                 // sh
        e_form,                    // Do of a form XObject
        e_xobject,                 // Do of anything else (PostScript, damaged, undefined)
        e_save,                    // q
        e_restore,                 // Q
        e_marked_content_begin,    // BMC, BDC
        e_marked_content_end,      // EMC
        e_marked_content_point,    // MP, DP
    };

    Kind kind = e_path;
    const Operation* op = nullptr;     // the operator and its operands
    const GState* gstate = nullptr;    // the state in force
    // GState::Attr bits of the attributes that differ from the previous element's state.
    std::uint64_t changed = 0;
    // q nesting in the current content stream after this operator (each stream starts at 0).
    int depth = 0;
    // The content stream the operator is in (for a page: one of its Contents streams).
    SDF::Obj* stream = nullptr;

    // Paths.
    bool stroke = false, fill = false, even_odd = false, clip = false;
    // Do, sh, marked content: the resource name or tag, and the object (XObject stream,
    // shading, properties dictionary; null when undefined).
    std::string_view name;
    SDF::Obj* obj = nullptr;
    // Images (XObject or inline).
    ImageInfo image;
    Common::ByteView inline_data;
    // Text: the strings shown, in order, with the TJ adjustments between them, and the text
    // matrix at the start.
    struct Shown {
        Common::ByteView bytes;
        double adjust_before = 0;  // TJ number before this string (thousandths of text space)
    };
    std::vector<Shown> strings;
    double adjust_after = 0;       // TJ numbers after the last string
    Matrix text_matrix;

    bool Is(Kind k) const { return kind == k; }
};

struct ContentIssue {
    enum Kind {
        e_unknown_operator,    // a keyword that is no content operator
        e_bad_operands,        // too few operands, or of the wrong kind, or an ID or EI outside an
                               // inline image; the operator is skipped
        e_extra_operands,      // numbers before those a number operator takes; the last ones count
        e_syntax,              // damaged tokens, unterminated objects
        e_missing_resource,    // a name not defined by the resource dictionaries
        e_bad_resource,        // a resource of the wrong kind, or that cannot be read
        e_unbalanced_restore,  // Q without q in the same stream
        e_recursion,           // a stream entered inside itself
        e_nesting_limit,       // too many streams entered inside one another
        e_reread_limit,        // a stream drawn again after the walk re-read its share
        e_unreadable_stream,   // a content stream whose data cannot be decoded
        e_inherited_resource,  // a name defined only by an invoking stream's resources
        e_ended_inside,        // the stream ended inside an operation (offset: its end)
    };
    Kind kind;
    std::string_view op;        // the operator keyword (may be empty)
    std::string_view category;  // resource category for resource issues
    std::string name;           // resource name, or the unknown keyword
    SDF::Obj* stream = nullptr; // innermost content stream
    std::size_t offset = 0;     // of the operator in the stream's data
    bool in_compatibility = false;  // between BX and EX
    // Inherited resources: the resource's entry in the invoking stream's resources, and the
    // object whose Resources the innermost stream draws with (a form, pattern or appearance
    // stream, or a Type 3 font).
    SDF::Obj* resource = nullptr;
    SDF::Obj* resources_owner = nullptr;
    // The resource dictionary the innermost stream draws with (null when it has none).
    SDF::Obj* resources = nullptr;
};

class ContentObserver {
public:
    virtual ~ContentObserver() = default;
    virtual void OnIssue(const ContentIssue& issue) = 0;
};

}  // namespace qvx::PDF
