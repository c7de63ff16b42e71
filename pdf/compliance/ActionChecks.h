#pragma once
// Actions wherever they hang (catalog OpenAction and AA, page AA, links, widgets, outline
// items): the permitted types per level (611), the predefined Named actions (612), GoTo
// destinations (623), the chain through Next, and the trigger keys of additional-actions
// dictionaries at PDF/A-4 (46631).

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// A destination (an array, or a name the document's destinations resolve) that leads to a
// page of this document.
bool IsValidDest(PassContext& ctx, SDF::Obj* dest);

// A Dest whose page is gone (null, missing, or no page of this document), as tools that
// split documents leave them, taken from holder (an outline item, a link): readers go
// nowhere, and readers that check destinations reject the file. Named destinations and page
// numbers, which some writers give, stay. (A go-to action that leads nowhere is an invalid
// destination, which the action checks remove.)
void DropDeadDest(PassContext& ctx, SDF::Obj* holder);

// Checks an action and the actions after it through Next. Records against the action at
// fault; true when every action of the chain is permitted. A null or free action passes.
bool CheckAction(PassContext& ctx, SDF::Obj* action);

// Checks every action of an additional-actions dictionary; true when all pass.
bool CheckAdditionalActions(PassContext& ctx, SDF::Obj* aa);

// PDF/A-4: an additional-actions dictionary may only name the triggers E, X, D, U, Fo and
// Bl. True when aa (a dictionary or null) keeps to them.
bool HasOnlyPermittedTriggers(const SDF::Obj* aa);

// A form field or widget may not act (91); at PDF/A-4 its AA may, with permitted actions.
// Conversion removes A, and AA where it is not kept.
void CheckFieldActions(PassContext& ctx, SDF::Obj* dict);

}  // namespace qvx::PDF
