#pragma once
// The primary hint stream of a linearized file: the page offset hint table and the shared
// object hint table, bit-packed. Offsets are given as a reader sees them with the hint
// stream itself taken out of the file.

#include <cstdint>
#include <vector>

#include "common/Buffer.h"

namespace qvx::SDF {

struct PageHint {
    std::uint32_t objects = 0;   // the page object and the objects placed with it
    std::uint64_t length = 0;    // bytes from the page object to the next page's
    // Shared object table indexes of the objects the page uses besides its own (none for
    // the first page).
    std::vector<std::uint32_t> shared;
};

struct HintTables {
    std::uint64_t first_page_offset = 0;        // the first page's page object
    std::vector<PageHint> pages;
    // Shared object table: one entry per object, first those of the first page, then
    // those of the shared objects section.
    std::uint32_t first_page_entries = 0;
    std::vector<std::uint64_t> entry_lengths;
    std::uint32_t first_shared_num = 0;         // first object of the shared section (0: none)
    std::uint64_t first_shared_offset = 0;
    // The outlines (a generic hint table; count 0: none): the first of the objects placed
    // together, their offset and length, and how many objects the outlines reach.
    std::uint32_t outline_first_num = 0;
    std::uint64_t outline_offset = 0;
    std::uint32_t outline_count = 0;
    std::uint64_t outline_length = 0;
};

struct HintStreamData {
    Common::Bytes data;
    std::uint32_t shared_table_offset = 0;  // the hint stream's S
    std::uint32_t outline_table_offset = 0; // the hint stream's O (0: no outline table)
};

HintStreamData EncodeHints(const HintTables& tables);

}  // namespace qvx::SDF
