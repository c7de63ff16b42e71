#pragma once
// PDF functions as far as the checks inspect them: type, input and output dimensions, and
// the sub-functions of stitching functions. Functions are not evaluated here.

#include <memory>
#include <vector>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

struct Function {
    SDF::Obj* obj = nullptr;  // the dictionary or stream
    int type = -1;            // FunctionType 0, 2, 3, 4; -1 when absent or invalid
    int inputs = 0;           // Domain pairs
    int outputs = 0;          // Range pairs (0 when Range is absent)
    std::vector<Function> functions;  // type 3: Functions

    bool IsValid() const { return type == 0 || type == 2 || type == 3 || type == 4; }
    // Reads a function; an array of functions (as shadings allow) reads as the first.
    static Function Read(SDF::Obj* obj, int depth = 0);
};

}  // namespace qvx::PDF
