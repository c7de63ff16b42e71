#pragma once
// Conversion: a page tree the reader had to repair (a wrong Count, loops, kids that are not
// dictionaries, a catalog whose Pages is a page, pages listed twice) is written anew as one
// node holding the pages the reader found, in their order, so that the copy shows exactly
// those pages to every reader.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Conversion, before any pass: a catalog that could not be read (the trailer's Root missing,
// not a dictionary, or an object the parser gave up on) is replaced by a new, empty one, so
// the passes can fill it and the pages the file holds are found by RecoverLostPages. Throws
// when neither the catalog's page tree nor the file's page objects yield a page: there is
// nothing to convert, and a copy would only look like one. A tree that reads as empty is kept.
void GiveCatalog(PassContext& ctx);

// Conversion, before the page checks: when the tree yields no page although the file holds
// page objects (a Kids entry that is one page instead of an array, a Pages entry that lost its
// Kids), those pages form a new tree, so the copy is never left without the pages it had.
// Page objects are the catalog's single kid and every object whose Type is Page.
void RecoverLostPages(PassContext& ctx);

// Conversion, before the page checks: a page that has no resources, of its own or inherited,
// gets an empty dictionary: readers that follow the page's rules to the letter reject the
// copy without one, it draws nothing different, and the fonts its text lacks (a damaged
// Resources key) are defined in it.
void GiveMissingResources(PassContext& ctx);

// Conversion, before the page checks: a Contents entry that is neither a stream nor an array
// of streams (damage left a dictionary, a number or a missing object) is dropped, and so are
// the entries of an array that are not streams. Readers draw nothing for them, and strict
// ones reject the copy that keeps them.
void KeepReadableContents(PassContext& ctx);

// Runs after the page checks, so the pages it moves carry their repairs. A kid that refers to
// an object no reader can read becomes a blank page of its ancestors' size, as viewers show
// it, so the copy keeps the page numbering. Does nothing when the tree was read as it stands
// or when it holds no page at all.
void RewritePageTree(PassContext& ctx);

}  // namespace qvx::PDF
