#pragma once
// Conversion: the outline tree written as readers walk it, from each node's First along Next.
// Damaged files give items whose Parent, Prev, Last or Count tell another story; readers that
// check the links reject such a copy, and viewers show the walked tree anyway. Items whose
// destination's page is not in the document (split documents) lose that destination.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Every item reached gets Parent, Prev and Next from its place in the walk and every node
// First, Last and Count (open items keep a positive Count, closed ones a negative one; the
// root counts the items shown). An item met a second time ends its list there; lists deeper
// than a reader's patience are cut. A tree with an item held directly, not as an object of its
// own, is left as it is.
void RepairOutlines(PassContext& ctx);

}  // namespace qvx::PDF
