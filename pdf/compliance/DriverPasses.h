#pragma once
// The passes of the compliance driver, in their order, with the file that holds each. A pass
// returns nothing, records through its PassContext, repairs in conversion, and tests the
// stop flag between the objects or pages it visits.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// 0: conversion to PDF/A-1 with flattening: the transparency flattener. FlatteningPass.cpp
void RunFlatteningPrePass(PassContext& ctx);
// 1: Encrypt in the trailer (132; PDF/UA: 10, -17161). FileSyntaxPasses.cpp
void RunEncryptionPass(PassContext& ctx);
// 2: the trailer ID; a new one in conversion. FileSyntaxPasses.cpp, FileIdentifier.cpp
void RunFileIdentifierPass(PassContext& ctx);
// 3: drops 134 unless the file is linearized. FileSyntaxPasses.cpp
void RunLinearizationIdPass(PassContext& ctx);
// 4: MarkInfo and Suspects (822, -1714). StructurePasses.cpp
void RunMarkInfoPass(PassContext& ctx);
// 5: StructTreeRoot, structure elements, RoleMap, ActualText. StructurePasses.cpp
void RunStructTreePass(PassContext& ctx);
// 6: object count (1125), then every object: streams and filters, Filespec dictionaries.
// ObjectPass.cpp, StreamChecks.cpp, ObjectChecks.h
void RunObjectPass(PassContext& ctx);
// 7: the catalog's Perms and DocMDP signature references (11210). PermissionsPass.cpp
void RunPermissionsPass(PassContext& ctx);
// 8: the name dictionary: EmbeddedFiles, JavaScript, AlternatePresentations. CatalogPasses.cpp
void RunNameTreesPass(PassContext& ctx);
// 9: OCProperties. CatalogPasses.cpp
void RunOptionalContentPass(PassContext& ctx);
// 10: Requirements (11000). CatalogPasses.cpp
void RunRequirementsPass(PassContext& ctx);
// 11: the catalog's Version (461121). CatalogPasses.cpp
void RunCatalogVersionPass(PassContext& ctx);
// 12: Info and XMP metadata (validation, and the rewrite in conversion). MetadataPass.cpp
void RunMetadataPass(PassContext& ctx);
// 13: clears the present marks, then every page. PagePass.cpp
void RunPagePass(PassContext& ctx);
// 14: conversion with structure data: applies it. StructurePasses.cpp
void RunStructureDataPass(PassContext& ctx);

}  // namespace qvx::PDF
