#pragma once
// Per-document compliance state. It lives in the document so that the parser, the
// cross-reference reader and every check of the compliance engine record into one place.

#include <cstdint>
#include <map>
#include <set>

#include "sdf/Rules.h"

namespace qvx::SDF {

// One violated rule: the objects at fault (ascending, unique) and whether the rule was
// reported since the flag was last cleared.
struct ErrorRecord {
    std::set<std::uint32_t> refs;
    bool present = false;
};

// Error code -> record, ordered by signed code so PDF/UA codes (negative) come first.
class ErrorStore {
public:
    using Map = std::map<std::int32_t, ErrorRecord>;

    explicit ErrorStore(std::uint32_t max_refs = 10) : m_max_refs(max_refs) {}

    // Most object numbers kept per code; 0 keeps all.
    void SetMaxRefs(std::uint32_t n) { m_max_refs = n; }
    std::uint32_t GetMaxRefs() const { return m_max_refs; }

    // Ensures a record for the code and sets its present flag.
    ErrorRecord& AddError(std::int32_t code);
    // As above, then keeps obj_num (unless 0, or the record is full).
    ErrorRecord& AddError(std::int32_t code, std::uint32_t obj_num);
    // As above with the object's number; a null object records the code only. Written for
    // any object handle with GetObjNum so that checks can pass the object they hold.
    template <class O>
        requires requires(const O& o) { o.GetObjNum(); }
    ErrorRecord& AddError(std::int32_t code, const O* obj)
    {
        return obj ? AddError(code, static_cast<std::uint32_t>(obj->GetObjNum())) : AddError(code);
    }

    bool Has(std::int32_t code) const { return m_err.count(code) != 0; }
    void Remove(std::int32_t code) { m_err.erase(code); }
    void ClearPresent();
    bool AnyPresent() const;
    bool Empty() const { return m_err.empty(); }

    const Map& Records() const { return m_err; }
    Map& Records() { return m_err; }

private:
    std::uint32_t m_max_refs;
    Map m_err;
};

// Everything a compliance run shares with the object layer and its passes.
struct CheckState {
    // Level the parser hooks check against: 0 none, 1..11 PDF/A levels, 12 PDF/UA-1.
    std::int32_t parser_level = 0;
    ErrorStore errors;

    std::int32_t level = 0;       // target level of the passes
    bool convert = false;         // repair in place
    bool first_stop = false;
    bool is_pdfa = false;
    bool is_pdfua = false;
    bool* stop = nullptr;         // set by a pass on a violation with first-stop; may be null
    bool flatten = false;
    std::int32_t dpi = 300;

    // PDF/A part of a level: 1 for 1..2, 2 for 3..5, 3 for 6..8, 4 for 9..11, else 0.
    static int PartOf(std::int32_t level);

    // Records a violation of a rule in force at the passes' level (see sdf/Rules.h) and, when
    // first-stop is on and the run does not repair, sets the stop flag; a rule not in force
    // at the level is dropped.
    void Report(std::int32_t code, std::uint32_t obj_num = 0) { ReportAt(level, code, obj_num); }
    // As Report, against another level: the parser hooks check against theirs.
    void ReportAt(std::int32_t at_level, std::int32_t code, std::uint32_t obj_num = 0);
    // Sets the stop flag when first-stop is on and the run does not repair: for checks that
    // find a fault another part of the run has recorded.
    void RequestStop();
    bool Stopped() const { return stop && *stop; }
};

}  // namespace qvx::SDF
