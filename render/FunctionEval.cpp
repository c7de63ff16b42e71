#include "render/FunctionEval.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/PSLexer.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"

namespace qvx::Render {

using PDF::FindArray;
using PDF::FindNumber;
using PDF::NumberAt;

namespace {

// A stitching function joins at most this many functions.
constexpr std::size_t kMaxStitched = 256;

// The numbers of an array of per-component entries, or of up to limit entries.
std::vector<double> Numbers(const SDF::Obj* arr, std::size_t limit = 2 * Common::Limits::kMaxColorComponents + 2)
{
    std::vector<double> v;
    if (!arr) return v;
    std::size_t n = std::min<std::size_t>(arr->Size(), limit);
    for (std::size_t i = 0; i < n; ++i) v.push_back(NumberAt(arr, i, 0));
    return v;
}

double Interpolate(double x, double x0, double x1, double y0, double y1)
{
    return x1 == x0 ? y0 : y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

class Sampled final : public FunctionEval {
public:
    bool Read(SDF::Obj* o)
    {
        int m = static_cast<int>(m_domain.size() / 2);
        int n = static_cast<int>(m_range.size() / 2);
        if (m < 1 || m > 8 || n < 1) return false;
        m_outputs = n;
        m_bps = static_cast<int>(FindNumber(o, "BitsPerSample", 0));
        if (m_bps != 1 && m_bps != 2 && m_bps != 4 && m_bps != 8 && m_bps != 12 && m_bps != 16 && m_bps != 24 && m_bps != 32)
            return false;
        std::vector<double> size = Numbers(FindArray(o, "Size"));
        if (static_cast<int>(size.size()) < m) return false;
        std::uint64_t total = n;
        for (int i = 0; i < m; ++i) {
            if (size[i] < 1 || size[i] > 1 << 16) return false;
            m_size.push_back(static_cast<int>(size[i]));
            total *= m_size.back();
            if (total > Common::Limits::kMaxFunctionSamples) return false;
        }
        m_encode = Numbers(FindArray(o, "Encode"));
        if (static_cast<int>(m_encode.size()) < 2 * m) {
            m_encode.clear();
            for (int i = 0; i < m; ++i) m_encode.insert(m_encode.end(), {0.0, m_size[i] - 1.0});
        }
        m_decode = Numbers(FindArray(o, "Decode"));
        if (static_cast<int>(m_decode.size()) < 2 * n) m_decode = m_range;
        auto data = PDF::ReadDecoded(o, (total * m_bps + 7) / 8);
        if (!data) return false;
        m_samples.assign(total, 0);
        double maxv = std::ldexp(1.0, m_bps) - 1;
        std::uint64_t bit = 0;
        for (std::uint64_t i = 0; i < total; ++i, bit += m_bps) {
            std::uint64_t v = 0;
            for (int b = 0; b < m_bps; ++b) {
                std::uint64_t p = bit + b;
                std::uint8_t byte = p / 8 < data->size() ? (*data)[p / 8] : 0;
                v = (v << 1) | ((byte >> (7 - p % 8)) & 1);
            }
            m_samples[i] = v / maxv;
        }
        return true;
    }

    void Eval(const double* in, int nin, double* out) const override
    {
        int m = static_cast<int>(m_size.size());
        int n = m_outputs;
        int lo[8];
        double frac[8];
        for (int i = 0; i < m; ++i) {
            double x = ClipIn(i < nin ? in[i] : 0, i);
            double e = Interpolate(x, m_domain[2 * i], m_domain[2 * i + 1], m_encode[2 * i], m_encode[2 * i + 1]);
            e = std::clamp(e, 0.0, m_size[i] - 1.0);
            lo[i] = std::min(static_cast<int>(e), std::max(0, m_size[i] - 2));
            frac[i] = m_size[i] > 1 ? e - lo[i] : 0;
        }
        for (int j = 0; j < n; ++j) out[j] = 0;
        // Multilinear interpolation over the 2^m corners around the point.
        for (int corner = 0; corner < (1 << m); ++corner) {
            double w = 1;
            std::uint64_t index = 0, stride = 1;
            for (int i = 0; i < m; ++i) {
                bool up = corner & (1 << i);
                int k = lo[i] + (up && m_size[i] > 1 ? 1 : 0);
                w *= up ? frac[i] : 1 - frac[i];
                index += k * stride;
                stride *= m_size[i];
            }
            if (w == 0) continue;
            for (int j = 0; j < n; ++j) out[j] += w * m_samples[index * n + j];
        }
        for (int j = 0; j < n; ++j) out[j] = m_decode[2 * j] + out[j] * (m_decode[2 * j + 1] - m_decode[2 * j]);
        ClipOut(out);
    }

private:
    int m_bps = 8;
    std::vector<int> m_size;
    std::vector<double> m_encode, m_decode;
    std::vector<double> m_samples;
};

class Exponential final : public FunctionEval {
public:
    bool Read(SDF::Obj* o)
    {
        m_c0 = Numbers(FindArray(o, "C0"));
        m_c1 = Numbers(FindArray(o, "C1"));
        if (m_c0.empty()) m_c0 = {0};
        if (m_c1.empty()) m_c1 = {1};
        if (m_c0.size() != m_c1.size()) return false;
        m_n = FindNumber(o, "N", 1);
        m_outputs = static_cast<int>(m_c0.size());
        return true;
    }

    void Eval(const double* in, int nin, double* out) const override
    {
        double x = ClipIn(nin > 0 ? in[0] : 0, 0);
        double p = std::pow(x, m_n);
        if (!std::isfinite(p)) p = 0;
        for (int j = 0; j < m_outputs; ++j) out[j] = m_c0[j] + p * (m_c1[j] - m_c0[j]);
        ClipOut(out);
    }

private:
    std::vector<double> m_c0, m_c1;
    double m_n = 1;
};

class Stitching final : public FunctionEval {
public:
    bool Read(SDF::Obj* o, int depth)
    {
        SDF::Obj* fs = FindArray(o, "Functions");
        if (!fs || fs->Size() == 0 || fs->Size() > kMaxStitched) return false;
        for (std::size_t i = 0; i < fs->Size(); ++i) {
            auto f = Create(fs->GetAt(i), depth + 1);
            if (!f) return false;
            if (!m_outputs) m_outputs = f->Outputs();
            if (f->Outputs() < m_outputs) return false;
            m_parts.push_back(std::move(f));
        }
        m_bounds = Numbers(FindArray(o, "Bounds"), kMaxStitched);
        m_encode = Numbers(FindArray(o, "Encode"), 2 * kMaxStitched);
        if (m_domain.size() < 2 || m_bounds.size() + 1 < m_parts.size() || m_encode.size() < 2 * m_parts.size()) return false;
        return true;
    }

    void Eval(const double* in, int nin, double* out) const override
    {
        double x = ClipIn(nin > 0 ? in[0] : 0, 0);
        std::size_t k = 0;
        while (k + 1 < m_parts.size() && x >= m_bounds[k]) ++k;
        double lo = k == 0 ? m_domain[0] : m_bounds[k - 1];
        double hi = k + 1 == m_parts.size() ? m_domain[1] : m_bounds[k];
        double e = Interpolate(x, lo, hi, m_encode[2 * k], m_encode[2 * k + 1]);
        m_parts[k]->Eval(&e, 1, out);
        ClipOut(out);
    }

private:
    std::vector<std::unique_ptr<FunctionEval>> m_parts;
    std::vector<double> m_bounds, m_encode;
};

// PostScript calculator: the program compiled to a flat list where each if/ifelse holds
// the positions of its procedures.
class Calculator final : public FunctionEval {
public:
    bool Read(SDF::Obj* o)
    {
        m_outputs = static_cast<int>(m_range.size() / 2);
        if (!m_outputs) return false;
        auto data = PDF::ReadDecoded(o, Common::Limits::kMaxCalculatorBytes);
        if (!data) return false;
        PDF::PSLexer lex(*data);
        PDF::PSToken t = lex.Next();
        if (t.kind != PDF::PSToken::e_open_proc) return false;
        return Compile(lex, 0);
    }

    void Eval(const double* in, int nin, double* out) const override
    {
        std::vector<double> st;
        st.reserve(64);
        int nd = static_cast<int>(m_domain.size() / 2);
        for (int i = 0; i < nd; ++i) st.push_back(ClipIn(i < nin ? in[i] : 0, i));
        long budget = Common::Limits::kMaxCalculatorSteps;
        Run(0, m_code.size(), st, budget);
        int base = static_cast<int>(st.size()) - m_outputs;
        for (int j = 0; j < m_outputs; ++j) out[j] = base + j >= 0 ? st[base + j] : 0;
        ClipOut(out);
    }

private:
    enum Kind { e_num, e_op, e_if, e_ifelse, e_jump };
    struct Ins {
        Kind kind;
        double value = 0;         // e_num
        std::string_view op = {}; // e_op
        std::size_t a = 0, b = 0; // if: the procedure [a, b); ifelse: then [a, b), else [b, c)
        std::size_t c = 0;
    };

    // Compiles up to the closing brace; procedures followed by if/ifelse become one instruction.
    bool Compile(PDF::PSLexer& lex, int depth)
    {
        if (depth > 64 || m_code.size() > Common::Limits::kMaxCalculatorBytes) return false;
        std::vector<std::pair<std::size_t, std::size_t>> procs;  // pending procedures
        for (;;) {
            PDF::PSToken t = lex.Next();
            switch (t.kind) {
            case PDF::PSToken::e_int: case PDF::PSToken::e_real:
                procs.clear();
                m_code.push_back({e_num, t.r});
                break;
            case PDF::PSToken::e_open_proc: {
                // The procedure is laid out after a jump over it; if/ifelse later refer to it.
                std::size_t jump = m_code.size();
                m_code.push_back({e_jump});
                std::size_t start = m_code.size();
                if (!Compile(lex, depth + 1)) return false;
                m_code[jump].a = m_code.size();
                procs.push_back({start, m_code.size()});
                break;
            }
            case PDF::PSToken::e_close_proc:
                return true;
            case PDF::PSToken::e_keyword: {
                Ins ins{e_op};
                if (t.text == "if" && procs.size() >= 1) {
                    ins.kind = e_if;
                    ins.a = procs.back().first;
                    ins.b = procs.back().second;
                } else if (t.text == "ifelse" && procs.size() >= 2) {
                    ins.kind = e_ifelse;
                    ins.a = procs[procs.size() - 2].first;
                    ins.b = procs[procs.size() - 2].second;
                    ins.c = procs.back().first;
                    ins.value = static_cast<double>(procs.back().second);
                } else {
                    ins.op = Intern(t.text);
                    if (ins.op.empty()) return false;
                }
                procs.clear();
                m_code.push_back(ins);
                break;
            }
            default:
                return false;
            }
        }
    }

    static std::string_view Intern(const std::string& s)
    {
        static constexpr std::string_view ops[] = {
            "abs", "add", "atan", "ceiling", "cos", "cvi", "cvr", "div", "exp", "floor", "idiv", "ln", "log",
            "mod", "mul", "neg", "round", "sin", "sqrt", "sub", "truncate", "and", "bitshift", "eq", "false",
            "ge", "gt", "le", "lt", "ne", "not", "or", "true", "xor", "copy", "dup", "exch", "index", "pop", "roll"};
        for (std::string_view o : ops)
            if (o == s) return o;
        return {};
    }

    void Run(std::size_t from, std::size_t to, std::vector<double>& st, long& budget) const
    {
        for (std::size_t pc = from; pc < to && budget > 0; ++pc, --budget) {
            const Ins& ins = m_code[pc];
            if (ins.kind == e_num) {
                if (st.size() < kMaxStack) st.push_back(ins.value);
                continue;
            }
            if (ins.kind == e_jump) {
                pc = ins.a - 1;
                continue;
            }
            if (ins.kind == e_if || ins.kind == e_ifelse) {
                if (st.empty()) return;
                bool c = st.back() != 0;
                st.pop_back();
                if (c) Run(ins.a, ins.b, st, budget);
                else if (ins.kind == e_ifelse) Run(ins.c, static_cast<std::size_t>(ins.value), st, budget);
                continue;
            }
            if (!Op(ins.op, st)) return;
        }
    }

    static bool Op(std::string_view op, std::vector<double>& st)
    {
        auto pop = [&st](double& v) {
            if (st.empty()) return false;
            v = st.back();
            st.pop_back();
            return true;
        };
        auto push = [&st](double v) {
            if (st.size() < kMaxStack) st.push_back(std::isfinite(v) ? v : 0);
        };
        double a = 0, b = 0;
        if (op == "true") { push(1); return true; }
        if (op == "false") { push(0); return true; }
        if (op == "dup") { if (!pop(a)) return false; push(a); push(a); return true; }
        if (op == "pop") return pop(a);
        if (op == "exch") { if (!pop(b) || !pop(a)) return false; push(b); push(a); return true; }
        if (op == "copy" || op == "index") {
            if (!pop(a)) return false;
            long n = static_cast<long>(a);
            if (n < 0 || n >= static_cast<long>(st.size()) + (op == "copy")) return false;
            if (op == "index") { push(st[st.size() - 1 - n]); return true; }
            std::size_t base = st.size() - n;
            for (long i = 0; i < n; ++i) push(st[base + i]);
            return true;
        }
        if (op == "roll") {
            if (!pop(b) || !pop(a)) return false;
            long n = static_cast<long>(a), j = static_cast<long>(b);
            if (n <= 0 || n > static_cast<long>(st.size())) return n == 0;
            j = ((j % n) + n) % n;
            std::rotate(st.end() - n, st.end() - j, st.end());
            return true;
        }
        // One operand.
        static constexpr std::string_view unary[] = {"abs", "ceiling", "cos", "cvi", "cvr", "floor", "ln", "log",
                                                     "neg", "round", "sin", "sqrt", "truncate", "not"};
        if (std::find(std::begin(unary), std::end(unary), op) != std::end(unary)) {
            if (!pop(a)) return false;
            double r = a;
            if (op == "abs") r = std::fabs(a);
            else if (op == "ceiling") r = std::ceil(a);
            else if (op == "cos") r = std::cos(a * M_PI / 180);
            else if (op == "sin") r = std::sin(a * M_PI / 180);
            else if (op == "cvi" || op == "truncate") r = std::trunc(a);
            else if (op == "floor") r = std::floor(a);
            else if (op == "ln") r = a > 0 ? std::log(a) : 0;
            else if (op == "log") r = a > 0 ? std::log10(a) : 0;
            else if (op == "neg") r = -a;
            else if (op == "round") r = std::floor(a + 0.5);
            else if (op == "sqrt") r = a >= 0 ? std::sqrt(a) : 0;
            else if (op == "not") r = (a == 0 || a == 1) ? 1 - a : ~static_cast<long long>(a);
            push(r);
            return true;
        }
        if (!pop(b) || !pop(a)) return false;
        long long ia = static_cast<long long>(a), ib = static_cast<long long>(b);
        double r = 0;
        if (op == "add") r = a + b;
        else if (op == "sub") r = a - b;
        else if (op == "mul") r = a * b;
        else if (op == "div") r = b != 0 ? a / b : 0;
        else if (op == "idiv") r = ib != 0 ? static_cast<double>(ia / ib) : 0;
        else if (op == "mod") r = ib != 0 ? static_cast<double>(ia % ib) : 0;
        else if (op == "exp") r = std::pow(a, b);
        else if (op == "atan") {
            r = std::atan2(a, b) * 180 / M_PI;
            if (r < 0) r += 360;
        } else if (op == "and") r = static_cast<double>(ia & ib);
        else if (op == "or") r = static_cast<double>(ia | ib);
        else if (op == "xor") r = static_cast<double>(ia ^ ib);
        else if (op == "bitshift") r = ib >= 0 ? static_cast<double>(ib < 63 ? ia << ib : 0) : static_cast<double>(-ib < 63 ? ia >> -ib : 0);
        else if (op == "eq") r = a == b;
        else if (op == "ne") r = a != b;
        else if (op == "ge") r = a >= b;
        else if (op == "gt") r = a > b;
        else if (op == "le") r = a <= b;
        else if (op == "lt") r = a < b;
        push(r);
        return true;
    }

    static constexpr std::size_t kMaxStack = 100;
    std::vector<Ins> m_code;
};

}  // namespace

double FunctionEval::ClipIn(double v, int i) const
{
    if (2 * i + 1 >= static_cast<int>(m_domain.size()) || !std::isfinite(v)) return std::isfinite(v) ? v : 0;
    return std::clamp(v, std::min(m_domain[2 * i], m_domain[2 * i + 1]), std::max(m_domain[2 * i], m_domain[2 * i + 1]));
}

void FunctionEval::ClipOut(double* out) const
{
    for (int j = 0; j < m_outputs; ++j) {
        if (!std::isfinite(out[j])) out[j] = 0;
        if (2 * j + 1 < static_cast<int>(m_range.size()))
            out[j] = std::clamp(out[j], std::min(m_range[2 * j], m_range[2 * j + 1]), std::max(m_range[2 * j], m_range[2 * j + 1]));
    }
}

namespace {

// Several one-output functions side by side (the array form of shadings).
class Parallel final : public FunctionEval {
public:
    explicit Parallel(std::vector<std::unique_ptr<FunctionEval>> parts) : m_parts(std::move(parts))
    {
        for (auto& p : m_parts) m_outputs += p->Outputs();
    }
    void Eval(const double* in, int nin, double* out) const override
    {
        for (auto& p : m_parts) {
            p->Eval(in, nin, out);
            out += p->Outputs();
        }
    }

private:
    std::vector<std::unique_ptr<FunctionEval>> m_parts;
};

}  // namespace

std::unique_ptr<FunctionEval> FunctionEval::Create(SDF::Obj* obj, int depth)
{
    std::unique_ptr<FunctionEval> f = Build(obj, depth);
    // Callers keep the outputs in buffers sized for the most components a colour can have.
    if (f && f->Outputs() > Common::Limits::kMaxColorComponents) return nullptr;
    return f;
}

std::unique_ptr<FunctionEval> FunctionEval::Build(SDF::Obj* obj, int depth)
{
    SDF::Obj* o = PDF::Deref(obj);
    if (!o || depth > Common::Limits::kMaxColorSpaceNesting) return nullptr;
    if (o->IsArray()) {
        std::vector<std::unique_ptr<FunctionEval>> parts;
        for (std::size_t i = 0; i < std::min<std::size_t>(o->Size(), Common::Limits::kMaxColorComponents); ++i) {
            auto f = Create(o->GetAt(i), depth + 1);
            if (!f) return nullptr;
            parts.push_back(std::move(f));
        }
        if (parts.empty()) return nullptr;
        return std::make_unique<Parallel>(std::move(parts));
    }
    if (!o->IsDict() && !o->IsStream()) return nullptr;
    int type = static_cast<int>(FindNumber(o, "FunctionType", -1));
    std::vector<double> domain = Numbers(FindArray(o, "Domain"));
    std::vector<double> range = Numbers(FindArray(o, "Range"));
    auto setup = [&](FunctionEval& f) {
        f.m_domain = domain;
        f.m_range = range;
    };
    if (type == 0 && o->IsStream()) {
        auto f = std::make_unique<Sampled>();
        setup(*f);
        if (f->Read(o)) return f;
    } else if (type == 2) {
        auto f = std::make_unique<Exponential>();
        setup(*f);
        if (f->Read(o)) return f;
    } else if (type == 3) {
        auto f = std::make_unique<Stitching>();
        setup(*f);
        if (f->Read(o, depth)) return f;
    } else if (type == 4 && o->IsStream()) {
        auto f = std::make_unique<Calculator>();
        setup(*f);
        if (f->Read(o)) return f;
    }
    return nullptr;
}

}  // namespace qvx::Render
