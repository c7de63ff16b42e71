#include "sdf/ObjWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "sdf/Objects.h"

namespace qvx::SDF {

ObjWriter::~ObjWriter()
{
    try {
        Flush();
    } catch (const Common::Exception&) {
        // A sink that fails here already failed a write the caller saw, or sees at its flush.
    }
}

std::uint64_t ObjWriter::Written() const { return m_w.Count() + m_out.size(); }

void ObjWriter::Flush()
{
    if (m_out.empty()) return;
    m_w.WriteString(m_out);
    m_out.clear();
}

void ObjWriter::MaybeFlush()
{
    if (m_out.size() >= (1u << 16)) Flush();
}

void ObjWriter::Write(const Obj& obj)
{
    WriteValue(obj, 0, true);
    MaybeFlush();
}

void ObjWriter::WriteDirect(const Obj& obj)
{
    WriteValue(obj, 0, false);
    MaybeFlush();
}

void ObjWriter::AppendNumber(std::string& out, double v)
{
    if (v == std::floor(v) && v >= -2251799813685248.0 && v < 2251799813685247.0) {
        out += std::to_string(static_cast<long long>(v));
        return;
    }
    if (!std::isfinite(v)) {
        out += "0.0";
        return;
    }
    long double a = std::fabs(static_cast<long double>(v));
    int e = static_cast<int>(std::floor(std::log10(a)));
    long double m = a / std::pow(10.0L, e);
    if (m >= 10) {
        m /= 10;
        ++e;
    } else if (m < 1) {
        m *= 10;
        --e;
    }
    m += 5e-6L;
    if (m >= 10) {
        m /= 10;
        ++e;
    }
    if (e < -38 || e > 40) {
        out += "0.0";
        return;
    }
    long digits = std::clamp(static_cast<long>(m * 100000), 100000L, 999999L);
    char d[8];
    std::snprintf(d, sizeof d, "%06ld", digits);
    std::string_view sig(d, 6);
    auto strip = [](std::string_view s) {
        while (!s.empty() && s.back() == '0') s.remove_suffix(1);
        return s;
    };
    int k = e + 1;
    if (v < 0) out += '-';
    if (k >= 6) {
        out += sig;
        out.append(static_cast<std::size_t>(k - 6), '0');
        out += ".0";
    } else if (k <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-k), '0');
        out += strip(sig);
    } else {
        out += sig.substr(0, static_cast<std::size_t>(k));
        out += '.';
        std::string_view rest = strip(sig.substr(static_cast<std::size_t>(k)));
        out += rest.empty() ? std::string_view("0") : rest;
    }
}

static const char kHex[] = "0123456789ABCDEF";

void ObjWriter::AppendName(std::string& out, std::string_view name)
{
    out += '/';
    for (unsigned char c : name) {
        bool plain = c >= 0x21 && c <= 0x7E && c != '(' && c != ')' && c != '<' && c != '>' && c != '[' &&
                     c != ']' && c != '{' && c != '}' && c != '/' && c != '%' && c != '#';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '#';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

void ObjWriter::AppendLiteralString(std::string& out, Common::ByteView b)
{
    out += '(';
    for (std::size_t i = 0; i < b.size(); ++i) {
        unsigned char c = b[i];
        switch (c) {
        case '(': out += "\\("; continue;
        case ')': out += "\\)"; continue;
        case '\\': out += "\\\\"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        case '\b': out += "\\b"; continue;
        case '\f': out += "\\f"; continue;
        default: break;
        }
        if (c >= 0x20 && c <= 0x7E) {
            out += static_cast<char>(c);
            continue;
        }
        bool next_digit = i + 1 < b.size() && b[i + 1] >= '0' && b[i + 1] <= '9';
        char esc[8];
        if (c < 64 && !next_digit) std::snprintf(esc, sizeof esc, "\\%o", c);
        else std::snprintf(esc, sizeof esc, "\\%03o", c);
        out += esc;
    }
    out += ')';
}

void ObjWriter::AppendHexString(std::string& out, Common::ByteView b)
{
    out += '<';
    for (unsigned char c : b) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    out += '>';
}

void ObjWriter::WriteReference(const Obj& entry)
{
    // Entry 0 holds the trailer (references past the table lead there); it is no object.
    if (entry.GetObjNum() == 0) {
        m_out += "null";
        return;
    }
    m_out += std::to_string(entry.GetObjNum());
    m_out += ' ';
    m_out += std::to_string(entry.GetGenNum());
    m_out += " R";
}

void ObjWriter::WriteString(const Obj& str) { AppendLiteralString(m_out, str.GetBuffer()); }

// Values written after a key with a space between: those that begin with a regular byte.
static bool StartsRegular(const Obj& v)
{
    if (v.IsIndirect()) return true;
    Obj::Type t = v.GetType();
    return t == Obj::e_number || t == Obj::e_bool || t == Obj::e_null;
}

void ObjWriter::WriteValue(const Obj& obj, int depth, bool as_reference)
{
    if (depth >= Common::Limits::kMaxObjectNesting) QVX_THROW("depth < kMaxObjectNesting", "Exceeds maximum nesting level");
    if (obj.IsIndirect() && as_reference) {
        WriteReference(obj);
        return;
    }
    const Obj& o = *obj.Resolve();
    switch (o.GetType()) {
    case Obj::e_null: m_out += "null"; break;
    case Obj::e_bool: m_out += o.GetBool() ? "true" : "false"; break;
    case Obj::e_number: AppendNumber(m_out, o.GetNumber()); break;
    case Obj::e_name: AppendName(m_out, o.GetName()); break;
    case Obj::e_string: WriteString(o); break;
    case Obj::e_array: {
        m_out += '[';
        std::size_t n = o.Size();
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) m_out += (i - 1 >= 50 && (i - 1) % 50 == 0) ? '\n' : ' ';
            WriteValue(*o.GetAt(i), depth + 1, true);
            MaybeFlush();
        }
        m_out += ']';
        break;
    }
    case Obj::e_dict:
        m_out += "<<";
        for (DictIterator it = o.DictBegin(); it.HasNext(); ++it) {
            AppendName(m_out, it.KeyText());
            if (StartsRegular(*it.Value())) m_out += ' ';
            WriteValue(*it.Value(), depth + 1, true);
            MaybeFlush();
        }
        m_out += ">>";
        break;
    case Obj::e_stream: WriteStream(o, depth); break;
    }
}

Common::Bytes ObjWriter::StreamData(const Obj& stream)
{
    auto raw = stream.GetRawStream(true);
    Filters::FilterReader r(*raw);
    return r.ReadAll();
}

void ObjWriter::WriteStream(const Obj& s, int depth)
{
    Common::Bytes data = StreamData(s);
    m_out += "<<";
    bool length_written = false;
    auto write_length = [&] {
        AppendName(m_out, "Length");
        m_out += ' ';
        AppendNumber(m_out, static_cast<double>(data.size()));
        length_written = true;
    };
    for (DictIterator it = s.DictBegin(); it.HasNext(); ++it) {
        if (!length_written && it.KeyText() >= "Length") {
            write_length();
            if (it.KeyText() == "Length") continue;
        }
        AppendName(m_out, it.KeyText());
        if (StartsRegular(*it.Value())) m_out += ' ';
        WriteValue(*it.Value(), depth + 1, true);
    }
    if (!length_written) write_length();
    m_out += ">>\rstream\n";
    Flush();
    m_w.WriteBuffer(data);
    m_out += "\nendstream";
}

}  // namespace qvx::SDF
