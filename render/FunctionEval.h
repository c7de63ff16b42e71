#pragma once
// PDF functions evaluated: sampled (0), exponential (2), stitching (3) and PostScript
// calculator (4). Built once from the function object, then called per colour or sample.

#include <memory>
#include <vector>

namespace qvx::SDF {
class Obj;
}

namespace qvx::Render {

class FunctionEval {
public:
    // Null when obj is no function that can be evaluated or has more outputs than a colour
    // has components. An array of functions (one per output, as shadings allow) evaluates
    // as one function with their outputs in turn.
    static std::unique_ptr<FunctionEval> Create(SDF::Obj* obj, int depth = 0);
    virtual ~FunctionEval() = default;

    // Writes Outputs() values; inputs beyond those given read as 0.
    virtual void Eval(const double* in, int nin, double* out) const = 0;
    int Outputs() const { return m_outputs; }

protected:
    int m_outputs = 0;
    std::vector<double> m_domain, m_range;
    double ClipIn(double v, int i) const;
    void ClipOut(double* out) const;

private:
    static std::unique_ptr<FunctionEval> Build(SDF::Obj* obj, int depth);
};

}  // namespace qvx::Render
