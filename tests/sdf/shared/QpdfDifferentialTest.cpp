// Differential test against qpdf: for every file of the robustness and conformance sets
// that qpdf opens, sdfdump opens it too, finds the same number of pages, and reads the same
// objects and the same decoded stream data. Files where the two repairs legitimately
// differ are listed with the reason in qpdf-differential-allow.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "common/Digest.h"
#include "sdf/Str.h"
#include "tests/sdf/shared/MiniJson.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;
using qvx::Test::Json;

namespace {

std::string Unhex(std::string_view h)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
    return out;
}

bool IsRef(const Json& v)
{
    static const std::regex ref(R"(\d+ \d+ R)");
    return v.kind == Json::e_string && std::regex_match(v.str, ref);
}

// Objects are matched by number: generations differ where the two repairs disagree about a
// damaged table, which the counts report separately.
std::string Number(const std::string& id) { return id.substr(0, id.find(' ')); }

// One side's objects: "n g" -> value; a reference to a missing or null object reads as null.
struct Side {
    std::map<std::string, const Json*> objects;  // by number
    bool Dangling(const Json& v) const
    {
        if (!IsRef(v)) return false;
        auto it = objects.find(Number(v.str));
        return it == objects.end() || Unreadable(*it->second);
    }
    // What cannot be read counts as null (sdfdump reports the error, qpdf shows null).
    static bool Unreadable(const Json& v) { return v.kind == Json::e_null || v.Get("error"); }
    bool IsNullish(const Json& v) const { return v.kind == Json::e_null || Dangling(v); }
};

class Comparer {
public:
    Comparer(const Side& ours, const Side& theirs) : m_ours(ours), m_theirs(theirs) {}

    // ours and theirs hold the same PDF value; why not, otherwise.
    std::string Diff(const Json& a, const Json& b, int depth = 0) const
    {
        if (depth > 500) return {};
        if ((m_ours.IsNullish(a) || Side::Unreadable(a)) && m_theirs.IsNullish(b)) return {};
        if (IsRef(a) || IsRef(b))
            return IsRef(a) && IsRef(b) && Number(a.str) == Number(b.str) ? std::string() : "reference " + a.str + " vs " + b.str;
        if (a.kind != b.kind) return "kind " + std::to_string(a.kind) + " vs " + std::to_string(b.kind);
        switch (a.kind) {
        case Json::e_null: return {};
        case Json::e_bool: return a.b == b.b ? std::string() : "bool";
        case Json::e_number:
            return std::abs(a.num - b.num) <= 1e-6 * std::max(1.0, std::abs(a.num)) ? std::string()
                                                                                     : "number " + std::to_string(a.num) + " vs " + std::to_string(b.num);
        case Json::e_string: return StringDiff(a.str, b.str);
        case Json::e_array:
            if (a.items.size() != b.items.size()) return "array size";
            for (std::size_t i = 0; i < a.items.size(); ++i)
                if (auto d = Diff(a.items[i], b.items[i], depth + 1); !d.empty()) return "[" + std::to_string(i) + "] " + d;
            return {};
        case Json::e_object: return ObjectDiff(a, b, depth);
        }
        return {};
    }

private:
    std::string StringDiff(const std::string& a, const std::string& b) const
    {
        if (a.starts_with("b:") && b.starts_with("b:"))
            return Unhex(a.substr(2)) == Unhex(b.substr(2)) ? std::string() : "string bytes";
        if (a.starts_with("b:") && b.starts_with("u:")) {
            std::string text = qvx::SDF::Str::Create(Unhex(a.substr(2)))->GetAsPDFText().ToUTF8();
            return text == b.substr(2) ? std::string() : "text " + text + " vs " + b.substr(2);
        }
        return a == b ? std::string() : "name " + a + " vs " + b;
    }

    std::string ObjectDiff(const Json& a, const Json& b, int depth) const
    {
        const Json* sa = a.Get("stream");
        const Json* sb = b.Get("stream");
        if ((sa != nullptr) != (sb != nullptr)) return "stream vs dictionary";
        if (sa) return DictDiff(*sa->Get("dict"), *sb->Get("dict"), depth, true);
        return DictDiff(a, b, depth, false);
    }

    std::string DictDiff(const Json& a, const Json& b, int depth, bool stream) const
    {
        std::set<std::string> keys;
        for (const auto& [k, v] : a.members) keys.insert(k);
        for (const auto& [k, v] : b.members) keys.insert(k);
        for (const std::string& k : keys) {
            // The stream data's own entries: qpdf drops them when it writes decoded data.
            if (stream && (k == "/Length" || k == "/Filter" || k == "/DecodeParms")) continue;
            const Json* va = a.Get(k);
            const Json* vb = b.Get(k);
            bool na = !va || m_ours.IsNullish(*va);
            bool nb = !vb || m_theirs.IsNullish(*vb);
            if (na && nb) continue;
            if (na != nb) return "key " + k + (na ? " missing in ours" : " missing in qpdf's");
            if (auto d = Diff(*va, *vb, depth + 1); !d.empty()) return k + " " + d;
        }
        return {};
    }

    const Side& m_ours;
    const Side& m_theirs;
};

struct Totals {
    int files = 0, qpdf_opens = 0, we_open = 0, pages_equal = 0, encrypted = 0;
    long objects = 0, objects_equal = 0, streams = 0, streams_equal = 0;
};

std::map<std::string, std::string> AllowList()
{
    std::map<std::string, std::string> out;
    std::ifstream in(qvx::Test::SourceDir() / "tests/sdf/shared/qpdf-differential-allow.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        auto colon = line.find(':');
        out[line.substr(0, colon)] = colon == std::string::npos ? "" : line.substr(colon + 1);
    }
    return out;
}

}  // namespace

TEST(QpdfDifferential, SdfdumpReadsWhatQpdfReads)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared material";
    fs::path sdfdump = qvx::Test::TolvaPath().parent_path().parent_path().parent_path() / "tools/sdfdump";
    ASSERT_TRUE(fs::exists(sdfdump)) << sdfdump;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(*shared / "robust/qpdf"))
        if (e.path().extension() == ".pdf") files.push_back(e.path());
    for (const auto& e : fs::recursive_directory_iterator(*shared / "corpus"))
        if (e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    const auto allowed = AllowList();
    const bool verbose = std::getenv("QVX_DIFF_VERBOSE") != nullptr;
    const char* only = std::getenv("QVX_DIFF_ONLY");  // a regular expression on file names

    qvx::Test::TempDir tmp;
    Totals t;
    std::vector<std::string> failures;
    for (const fs::path& file : files) {
        std::string name = fs::relative(file, *shared).string();
        if (only && !std::regex_search(name, std::regex(only))) continue;
        ++t.files;
        fs::path prefix = tmp.Path() / "s";
        auto q = qvx::Test::Run({"/bin/sh", "-c",
                                 "exec qpdf --json --json-key=qpdf --json-key=pages --json-stream-data=file "
                                 "--json-stream-prefix='" + prefix.string() + "' \"$0\" 2>/dev/null",
                                 file.string()}, {}, 20);
        if ((q.status != 0 && q.status != 3) || q.output.empty()) continue;
        ++t.qpdf_opens;
        auto ours_run = qvx::Test::Run({sdfdump.string(), "--json", file.string()}, {}, 20);
        bool allow = allowed.count(name) != 0;
        auto fail = [&](const std::string& why) {
            if (!allow) failures.push_back(name + ": " + why);
            if (verbose) std::printf("%s %s: %s\n", allow ? "allowed" : "FAIL", name.c_str(), why.c_str());
        };
        if (ours_run.status != 0) {
            fail("sdfdump failed: " + ours_run.output.substr(0, 200));
            continue;
        }
        ++t.we_open;
        Json theirs_json, ours_json;
        try {
            theirs_json = Json::Parse(q.output);
            ours_json = Json::Parse(ours_run.output);
        } catch (const std::exception& e) {
            fail(std::string("unreadable JSON: ") + e.what());
            continue;
        }
        if (ours_json.Get("trailer")->Get("/Encrypt")) {
            ++t.encrypted;  // qpdf decrypts; this layer has no security handler yet
            continue;
        }
        std::size_t qpdf_pages = theirs_json.Get("pages") ? theirs_json.Get("pages")->items.size() : 0;
        if (static_cast<std::size_t>(ours_json.Get("pages")->num) == qpdf_pages) ++t.pages_equal;
        else fail("pages " + std::to_string(static_cast<long>(ours_json.Get("pages")->num)) + " vs " + std::to_string(qpdf_pages));

        const Json& qobjs = theirs_json.Get("qpdf")->items.at(1);
        Side ours, theirs;
        for (const auto& [id, v] : ours_json.Get("objects")->members) ours.objects[Number(id)] = &v;
        for (const auto& [key, v] : qobjs.members) {
            if (!key.starts_with("obj:")) continue;
            const Json* val = v.Get("value") ? v.Get("value") : &v;
            theirs.objects[Number(key.substr(4))] = val;
        }
        Comparer cmp(ours, theirs);
        std::string first_diff;
        for (const auto& [id, tv] : theirs.objects) {
            ++t.objects;
            auto it = ours.objects.find(id);
            const Json null_json;
            std::string d = cmp.Diff(it == ours.objects.end() ? null_json : *it->second, *tv);
            if (d.empty()) ++t.objects_equal;
            else if (first_diff.empty()) first_diff = "object " + id + ": " + d;

            const Json* stream = tv->Get("stream");
            if (!stream || !stream->Get("datafile") || stream->Get("dict")->Get("/Filter")) continue;
            ++t.streams;
            std::ifstream in(stream->Get("datafile")->str, std::ios::binary);
            std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const Json* mine = nullptr;
            for (const auto& [sid, sv] : ours_json.Get("streams")->members)
                if (Number(sid) == id) mine = &sv;
            if (mine && mine->Get("sha256") && mine->Get("sha256")->str == qvx::Common::Sha256Hex(qvx::Common::AsBytes(data))) ++t.streams_equal;
            else if (first_diff.empty()) first_diff = "stream " + id + " decodes differently";
        }
        if (!first_diff.empty()) fail(first_diff);
        for (const auto& e : fs::directory_iterator(tmp.Path())) fs::remove(e.path());
    }
    std::printf("files %d, qpdf opens %d, sdfdump opens %d, pages equal %d, encrypted (not compared) %d\n"
                "objects %ld, equal %ld; decoded streams %ld, equal %ld; allowed differences %zu\n",
                t.files, t.qpdf_opens, t.we_open, t.pages_equal, t.encrypted, t.objects, t.objects_equal, t.streams,
                t.streams_equal, allowed.size());
    for (const std::string& f : failures) ADD_FAILURE() << f;
}
