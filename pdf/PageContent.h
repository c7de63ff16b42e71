#pragma once
// Edits of a page for repairs that draw onto it: resources under names the page does not
// use yet, and content drawn after the page's own.

#include <string>
#include <string_view>
#include <vector>

#include "pdf/Page.h"

namespace qvx::PDF {

// count resource names prefix followed by a number that the page's category does not use.
std::vector<std::string> FreeResourceNames(const Page& page, std::string_view category, std::string_view prefix,
                                           std::size_t count);
// Stores value (a reference when it is an indirect object) in the page's resource category
// under name; a page without Resources gets its own, and page is updated to it.
void PutPageResource(Page& page, std::string_view category, const std::string& name, SDF::Obj* value);
// Stores value (a reference when it is an indirect object) in the page's resource
// category under prefix followed by the first number that makes a new name; returns the
// name. A page without Resources gets its own, and page is updated to it.
std::string AddPageResource(Page& page, std::string_view category, std::string_view prefix, SDF::Obj* value);

// Appends content drawn after everything the page draws. The page's own content is put
// between q and Q once, so the state it leaves behind (a transform, a clip) does not reach
// the addition, and later additions go into the same closing stream.
void AppendPageContent(const Page& page, std::string_view content);
// Draws the page's content through m (between q and Q), in streams of its own before and
// after the page's.
void TransformPageContent(const Page& page, const Matrix& m);

// The table entry of an indirect object given resolved (as Deref gives it), so that it can
// be referred to; a direct object is made indirect as a copy.
SDF::Obj* IndirectOf(SDF::Obj* resolved);

// A number as content operands write it: at most six decimals, no trailing zeros.
std::string ContentNumber(double v);
// "a b c d e f" of a matrix.
std::string ContentMatrix(const Matrix& m);

// The document that holds the page's dictionary; throws when it has none.
SDF::SDFDoc& DocOf(const Page& page);

}  // namespace qvx::PDF
