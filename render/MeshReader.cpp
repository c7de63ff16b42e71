#include "render/MeshReader.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/Limits.h"
#include "pdf/ColorSpace.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "render/ColourConvert.h"
#include "render/FunctionEval.h"
#include "sdf/Obj.h"

namespace qvx::Render {

namespace {

class BitReader {
public:
    explicit BitReader(const Common::Bytes& d) : m_data(d) {}
    bool AtEnd() const { return m_pos >= m_data.size() * 8; }
    // n bits (1..32) as an unsigned number; false past the end.
    bool Read(int n, double& out)
    {
        if (n <= 0 || n > 32 || m_pos + n > m_data.size() * 8) return false;
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i, ++m_pos) v = (v << 1) | ((m_data[m_pos / 8] >> (7 - m_pos % 8)) & 1);
        out = static_cast<double>(v);
        return true;
    }
    void Align() { m_pos = (m_pos + 7) / 8 * 8; }

private:
    const Common::Bytes& m_data;
    std::size_t m_pos = 0;
};

struct Vertex {
    double x = 0, y = 0;
    RGB c;
};

struct MeshInput {
    int bpc = 0, bpcomp = 0, bpf = 0, ncomps = 0;
    std::vector<double> decode;
    const PDF::ColorSpace* cs;
    const FunctionEval* function;
    ColourConvert& colours;

    bool Point(BitReader& r, double& x, double& y) const
    {
        double maxv = std::ldexp(1.0, bpc) - 1;
        if (!r.Read(bpc, x) || !r.Read(bpc, y)) return false;
        x = decode[0] + x * (decode[1] - decode[0]) / maxv;
        y = decode[2] + y * (decode[3] - decode[2]) / maxv;
        return true;
    }
    bool Colour(BitReader& r, RGB& out) const
    {
        double maxv = std::ldexp(1.0, bpcomp) - 1;
        double c[Common::Limits::kMaxColorComponents + 1] = {};
        for (int i = 0; i < ncomps; ++i) {
            if (!r.Read(bpcomp, c[i])) return false;
            c[i] = decode[4 + 2 * i] + c[i] * (decode[5 + 2 * i] - decode[4 + 2 * i]) / maxv;
        }
        if (function) {
            double o[Common::Limits::kMaxColorComponents + 1] = {};
            if (function->Outputs() > Common::Limits::kMaxColorComponents) return false;
            function->Eval(c, ncomps, o);
            out = colours.ToRGB(cs, o, function->Outputs());
        } else {
            out = colours.ToRGB(cs, c, ncomps);
        }
        return true;
    }
    bool Vert(BitReader& r, Vertex& v) const { return Point(r, v.x, v.y) && Colour(r, v.c); }
};

void Corner(cairo_pattern_t* p, int i, const RGB& c, double alpha)
{
    cairo_mesh_pattern_set_corner_color_rgba(p, i, c.r, c.g, c.b, alpha);
}

void Triangle(cairo_pattern_t* p, const Vertex& a, const Vertex& b, const Vertex& c, double alpha)
{
    cairo_mesh_pattern_begin_patch(p);
    cairo_mesh_pattern_move_to(p, a.x, a.y);
    cairo_mesh_pattern_line_to(p, b.x, b.y);
    cairo_mesh_pattern_line_to(p, c.x, c.y);
    Corner(p, 0, a.c, alpha);
    Corner(p, 1, b.c, alpha);
    Corner(p, 2, c.c, alpha);
    cairo_mesh_pattern_end_patch(p);
}

}  // namespace

cairo_pattern_t* MeshPattern(SDF::Obj* sh, int type, const PDF::ColorSpace* cs, const FunctionEval* function,
                             double alpha, ColourConvert& colours, std::size_t& patches)
{
    patches = 0;
    if (!sh || !sh->IsStream() || type < 4 || type > 7) return nullptr;
    MeshInput in{static_cast<int>(PDF::FindNumber(sh, "BitsPerCoordinate", 0)),
                 static_cast<int>(PDF::FindNumber(sh, "BitsPerComponent", 0)),
                 static_cast<int>(PDF::FindNumber(sh, "BitsPerFlag", 0)), 0, {}, cs, function, colours};
    in.ncomps = function ? 1 : (cs ? cs->GetComponentCount() : 1);
    if (in.bpc < 1 || in.bpc > 32 || in.bpcomp < 1 || in.bpcomp > 16 || in.ncomps < 1 ||
        in.ncomps > Common::Limits::kMaxColorComponents)
        return nullptr;
    SDF::Obj* dec = PDF::FindArray(sh, "Decode");
    if (!dec || dec->Size() < 4 + 2 * static_cast<std::size_t>(in.ncomps)) return nullptr;
    for (std::size_t i = 0; i < 4 + 2 * static_cast<std::size_t>(in.ncomps); ++i) in.decode.push_back(PDF::NumberAt(dec, i, 0));
    // Each patch takes at least a few bytes: the data read is bounded by the patch cap.
    auto data = PDF::ReadDecoded(sh, Common::Limits::kMaxMeshPatches * 64);
    if (!data) return nullptr;
    BitReader r(*data);
    cairo_pattern_t* p = cairo_pattern_create_mesh();
    if (type == 4) {
        Vertex va, vb, vc;
        bool have = false;
        while (!r.AtEnd() && patches < Common::Limits::kMaxMeshPatches) {
            double flag;
            if (!r.Read(in.bpf, flag)) break;
            Vertex v;
            if (!in.Vert(r, v)) break;
            r.Align();
            if (flag == 0 || !have) {
                // Two more vertices (their flags ignored) complete a new triangle.
                Vertex v2, v3;
                double f2, f3;
                if (!r.Read(in.bpf, f2) || !in.Vert(r, v2)) break;
                r.Align();
                if (!r.Read(in.bpf, f3) || !in.Vert(r, v3)) break;
                r.Align();
                va = v, vb = v2, vc = v3;
                have = true;
            } else if (flag == 1) {
                va = vb, vb = vc, vc = v;
            } else {
                vb = vc, vc = v;
            }
            Triangle(p, va, vb, vc, alpha);
            ++patches;
        }
    } else if (type == 5) {
        int per_row = static_cast<int>(PDF::FindNumber(sh, "VerticesPerRow", 0));
        if (per_row >= 2 && per_row < 1 << 20) {
            std::vector<Vertex> prev, row;
            while (patches < Common::Limits::kMaxMeshPatches) {
                row.clear();
                for (int i = 0; i < per_row; ++i) {
                    Vertex v;
                    if (!in.Vert(r, v)) break;
                    row.push_back(v);
                }
                if (static_cast<int>(row.size()) < per_row) break;
                if (!prev.empty()) {
                    for (int i = 0; i + 1 < per_row; ++i) {
                        Triangle(p, prev[i], prev[i + 1], row[i], alpha);
                        Triangle(p, prev[i + 1], row[i + 1], row[i], alpha);
                        patches += 2;
                    }
                }
                prev.swap(row);
            }
        }
    } else {
        // Boundary points in order around the patch (12), the tensor's inner points (4), and
        // the corner colours; shared edges come from the previous patch.
        double px[16], py[16];
        RGB c[4];
        bool have = false;
        int inner = type == 7 ? 4 : 0;
        while (!r.AtEnd() && patches < Common::Limits::kMaxMeshPatches) {
            double flag;
            if (!r.Read(in.bpf, flag)) break;
            int f = static_cast<int>(flag);
            if (f != 0 && !have) break;
            int first = 0;
            if (f >= 1 && f <= 3) {
                double qx[4], qy[4];
                RGB c0, c1;
                int start = 3 * f;
                for (int i = 0; i < 4; ++i) qx[i] = px[(start + i) % 12], qy[i] = py[(start + i) % 12];
                c0 = c[f], c1 = c[(f + 1) % 4];
                for (int i = 0; i < 4; ++i) px[i] = qx[i], py[i] = qy[i];
                c[0] = c0, c[1] = c1;
                first = 4;
            } else if (f != 0) {
                break;
            }
            bool ok = true;
            for (int i = first; i < 12 + inner && ok; ++i) ok = in.Point(r, px[i], py[i]);
            for (int i = first ? 2 : 0; i < 4 && ok; ++i) ok = in.Colour(r, c[i]);
            r.Align();
            if (!ok) break;
            have = true;
            cairo_mesh_pattern_begin_patch(p);
            cairo_mesh_pattern_move_to(p, px[0], py[0]);
            for (int side = 0; side < 4; ++side) {
                int k = 3 * side;
                cairo_mesh_pattern_curve_to(p, px[k + 1], py[k + 1], px[k + 2], py[k + 2], px[(k + 3) % 12], py[(k + 3) % 12]);
            }
            for (int i = 0; i < inner; ++i) cairo_mesh_pattern_set_control_point(p, i, px[12 + i], py[12 + i]);
            for (int i = 0; i < 4; ++i) Corner(p, i, c[i], alpha);
            cairo_mesh_pattern_end_patch(p);
            ++patches;
        }
    }
    if (!patches) {
        cairo_pattern_destroy(p);
        return nullptr;
    }
    return p;
}

}  // namespace qvx::Render
