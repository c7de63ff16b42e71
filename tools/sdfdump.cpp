// sdfdump: what the object layer reads from a PDF file.
//
//   sdfdump FILE                 trailer, one line per object, page count
//   sdfdump --json FILE          the same as JSON (values as qpdf --json writes them)
//   sdfdump --object N FILE      object N in PDF syntax
//   sdfdump --raw N FILE         stream N's raw bytes (decrypted)
//   sdfdump --decoded N FILE     stream N's decoded bytes
//   --password P                 for encrypted files, once the security handler exists

#include <cstdio>
#include <cstring>
#include <iostream>
#include <algorithm>
#include <vector>
#include <string>

#include "common/Digest.h"
#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/ObjWriter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"

using namespace qvx;
using SDF::Obj;

namespace {

std::string ObjText(const Obj* o)
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter w(sink);
        SDF::ObjWriter(w).Write(*o);
    }
    return std::string(Common::AsChars(sink.Data()));
}

std::string FilterNames(const Obj* s)
{
    const Obj* f = s->FindObj("Filter");
    if (!f) return "none";
    f = f->Resolve();
    if (f->IsName()) return "/" + std::string(f->GetName());
    if (!f->IsArray()) return "?";
    std::string out;
    for (std::size_t i = 0; i < f->Size(); ++i) {
        const Obj* n = f->GetAt(i)->Resolve();
        out += (i ? " /" : "/") + std::string(n->IsName() ? n->GetName() : "?");
    }
    return out.empty() ? "none" : out;
}

// Leaves of the page tree: nodes of type Page, or without Kids. A page listed twice counts
// twice; a node that is its own ancestor is not followed again, and the walk stops after a
// fixed number of visits.
std::size_t CountPages(SDF::SDFDoc& doc)
{
    std::size_t pages = 0, visits = 0;
    std::vector<const Obj*> path;
    auto walk = [&](auto& self, Obj* node) -> void {
        if (++visits > 1000000 || path.size() > 1000) return;
        try {
            if (!node || !node->IsDict()) return;
            const Obj* direct = node->Resolve();
            if (std::find(path.begin(), path.end(), direct) != path.end()) return;
            Obj* type = node->FindObj("Type");
            Obj* kids = node->FindObj("Kids");
            if ((type && type->IsName() && type->GetName() == "Page") || !kids || !kids->IsArray()) {
                ++pages;
                return;
            }
            path.push_back(direct);
            for (std::size_t i = 0; i < kids->Size(); ++i) self(self, kids->GetAt(i));
            path.pop_back();
        } catch (const Common::Exception&) {
        }
    };
    try {
        walk(walk, doc.GetRoot()->FindObj("Pages"));
    } catch (const Common::Exception&) {
    }
    return pages;
}

// Bytes as a JSON string, as qpdf writes names: control bytes escaped, the others as they are
// (so a name that is not UTF-8 stays its bytes).
void JsonString(std::string& out, std::string_view s)
{
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string JsonError(const Common::Exception& e)
{
    std::string out = "{\"error\":";
    JsonString(out, e.GetMessage());
    return out + "}";
}

void JsonValue(std::string& out, const Obj* o, int depth)
{
    if (o->IsIndirect()) {
        out += '"' + std::to_string(o->GetObjNum()) + " " + std::to_string(o->GetGenNum()) + " R\"";
        return;
    }
    if (depth > 1000) {
        out += "null";
        return;
    }
    switch (o->GetType()) {
    case Obj::e_null: out += "null"; break;
    case Obj::e_bool: out += o->GetBool() ? "true" : "false"; break;
    case Obj::e_number: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.10g", o->GetNumber());
        out += buf;
        break;
    }
    case Obj::e_name: JsonString(out, "/" + std::string(o->GetName())); break;
    case Obj::e_string: {
        std::string hex = "b:";
        char buf[3];
        for (unsigned char c : o->GetBuffer()) {
            std::snprintf(buf, sizeof buf, "%02x", c);
            hex += buf;
        }
        JsonString(out, hex);
        break;
    }
    case Obj::e_array:
        out += '[';
        for (std::size_t i = 0; i < o->Size(); ++i) {
            if (i) out += ',';
            JsonValue(out, o->GetAt(i), depth + 1);
        }
        out += ']';
        break;
    case Obj::e_dict:
    case Obj::e_stream: {
        if (o->IsStream()) out += "{\"stream\":{\"dict\":";
        out += '{';
        bool first = true;
        for (SDF::DictIterator it = o->DictBegin(); it.HasNext(); ++it) {
            if (!first) out += ',';
            first = false;
            JsonString(out, "/" + std::string(it.KeyText()));
            out += ':';
            JsonValue(out, it.Value(), depth + 1);
        }
        out += '}';
        if (o->IsStream()) out += "}}";
        break;
    }
    }
}

int Dump(SDF::SDFDoc& doc, bool json)
{
    std::string out;
    if (json) {
        out += "{\"repaired\":";
        out += doc.HasRepairedXRef() ? "true" : "false";
        out += ",\"trailer\":";
        JsonValue(out, doc.GetTrailer(), 0);
        out += ",\"objects\":{";
    } else {
        out += "header " + doc.GetHeader() + (doc.HasRepairedXRef() ? " (table rebuilt)" : "") + "\n";
        out += "trailer " + ObjText(doc.GetTrailer()) + "\n";
    }
    std::string streams;
    bool first = true;
    for (std::size_t n = 1; n < doc.XRefSize(); ++n) {
        Obj* e = doc.GetObj(static_cast<std::uint32_t>(n));
        if (!e->IsIndirect() || e->IsFree()) continue;
        std::string id = std::to_string(n) + " " + std::to_string(e->GetGenNum());
        std::string line, stream_json;
        try {
            const Obj* o = e->Resolve();
            static const char* kKinds[] = {"null", "bool", "number", "name", "string", "dict", "array", "stream"};
            line = id + " " + kKinds[o->GetType()];
            if (json) {
                line.clear();
                JsonValue(line, o, 0);
            }
            if (o->IsStream()) {
                std::string filters = FilterNames(o);
                try {
                    auto dec = o->GetDecodedStream();
                    Filters::FilterReader r(*dec);
                    Common::Bytes data = r.ReadAll();
                    if (json) stream_json = "{\"length\":" + std::to_string(data.size()) + ",\"sha256\":\"" + Common::Sha256Hex(data) + "\"}";
                    else line += " " + filters + " decoded=" + std::to_string(data.size()) + " sha256=" + Common::Sha256Hex(data);
                } catch (const Common::Exception& ex) {
                    if (json) stream_json = JsonError(ex);
                    else line += " " + filters + " error: " + ex.GetMessage();
                }
            }
        } catch (const Common::Exception& ex) {
            line = json ? JsonError(ex) : id + " error: " + ex.GetMessage();
        }
        if (json) {
            out += (first ? "\"" : ",\"") + id + "\":" + line;
            if (!stream_json.empty()) streams += (streams.empty() ? "\"" : ",\"") + id + "\":" + stream_json;
            first = false;
        } else {
            out += line + "\n";
        }
    }
    std::size_t pages = CountPages(doc);
    if (json) out += "},\"streams\":{" + streams + "},\"pages\":" + std::to_string(pages) + "}\n";
    else out += "pages " + std::to_string(pages) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: sdfdump [--json] [--password P] [--object N | --raw N | --decoded N] FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string file, mode;
    long num = -1;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json") json = true;
        else if (a == "--password" && i + 1 < argc) ++i;  // no security handler yet
        else if ((a == "--object" || a == "--raw" || a == "--decoded") && i + 1 < argc) mode = a, num = std::atol(argv[++i]);
        else if (!a.empty() && a[0] != '-' && file.empty()) file = a;
        else return Usage();
    }
    if (file.empty()) return Usage();
    try {
        SDF::SDFDoc doc;
        doc.OpenFile(file);
        if (mode.empty()) return Dump(doc, json);
        if (num < 0 || static_cast<std::size_t>(num) >= doc.XRefSize()) {
            std::fprintf(stderr, "sdfdump: no object %ld\n", num);
            return 1;
        }
        Obj* o = doc.GetObj(static_cast<std::uint32_t>(num));
        if (mode == "--object") {
            std::string t = ObjText(o->Resolve()) + "\n";
            std::fwrite(t.data(), 1, t.size(), stdout);
            return 0;
        }
        auto f = mode == "--raw" ? o->GetRawStream(true) : o->GetDecodedStream();
        Filters::FilterReader r(*f);
        Common::Bytes b = r.ReadAll();
        std::fwrite(b.data(), 1, b.size(), stdout);
        return 0;
    } catch (const Common::Exception& e) {
        std::fprintf(stderr, "sdfdump: %s\n", e.GetMessage().c_str());
        return 1;
    }
}
