#pragma once
// Walks the objects reachable from a starting object, without recursion: the writer's
// reachability marking, object-stream grouping and linearized layout all need it.

#include <functional>
#include <string_view>

namespace qvx::SDF {

class Indirect;
class Obj;

struct WalkRules {
    // Called once per table entry met (never for free entries); true to descend into its
    // referent. The caller keeps its own visited set (the marks, a vector).
    std::function<bool(Indirect& entry)> enter;
    // Optional: false to leave out the value of key in dictionary dict.
    std::function<bool(const Obj& dict, std::string_view key)> follow;
};

// Walks start and everything it reaches under rules, except the Length of streams (which
// every save writes as a number). An entry whose referent cannot be loaded is entered but
// not descended into (the save reports it when it writes it).
void WalkReachable(Obj& start, const WalkRules& rules);

// Marks (the entry mark bit) every table entry reachable from start, after clearing the
// marks of the whole table; returns how many entries were marked.
class SDFDocImpl;
std::size_t MarkReachable(SDFDocImpl& doc, Obj& start);

}  // namespace qvx::SDF
