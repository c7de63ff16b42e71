// Round trip through the writer: every file of the robustness set and the conformance corpus
// that opens is saved, and the copy is checked with the oracles: it opens again without
// repair (unless the original needed one), qpdf --check finds it no worse than the original, qpdf counts the same pages,
// and pdftoppm renders page 1 at 50 dpi to the same pixels. Files alternate between the
// two table forms (cross-reference stream with object streams, classic table) as the
// converter saves them (unused objects left out); every eighth is also saved linearized
// and checked with qpdf --check-linearization (clean unless qpdf --check finds damage in
// the original). Explained differences are listed in
// save-roundtrip-exceptions.txt.
//
// A sample of every tenth file runs by default; QVX_ROUNDTRIP_ALL=1 runs every file, and
// QVX_ROUNDTRIP_ORACLES=0 only opens and saves (the sweep for the sanitizer build).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "common/Exception.h"
#include "sdf/SDFDoc.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;
using namespace qvx;
using qvx::Test::ReadFile;
using qvx::Test::Run;

namespace {

// "file name<TAB>check<TAB>reason": the check (qpdf, pages, pixels, save, linearized) that
// may differ for that file.
std::map<std::string, std::string> Exceptions()
{
    std::map<std::string, std::string> out;
    std::ifstream in(qvx::Test::SourceDir() / "tests/sdf/shared/save-roundtrip-exceptions.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto tab = line.find('\t');
        auto tab2 = line.find('\t', tab + 1);
        if (tab != std::string::npos && tab2 != std::string::npos)
            out[line.substr(0, tab) + "\t" + line.substr(tab + 1, tab2 - tab - 1)] = line.substr(tab2 + 1);
    }
    return out;
}

bool EnvSet(const char* name, const char* value)
{
    const char* v = std::getenv(name);
    return v && std::string(v) == value;
}

// qpdf --check: 0 clean, 3 warnings, 2 errors; ranked so that a larger rank is worse.
int QpdfRank(const fs::path& p)
{
    int st = Run({"/usr/bin/qpdf", "--check", p.string()}).status;
    return st == 0 ? 0 : st == 3 ? 1 : 2;
}

std::string Pages(const fs::path& p) { return Run({"/usr/bin/qpdf", "--show-npages", p.string()}).output; }

// The PPM bytes of page 1 at 50 dpi; empty when pdftoppm renders nothing.
std::string Render(const fs::path& p, const fs::path& dir, const std::string& tag)
{
    fs::path prefix = dir / tag;
    Run({"/usr/bin/pdftoppm", "-r", "50", "-f", "1", "-l", "1", p.string(), prefix.string()}, {}, 120);
    std::string bytes;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(tag + "-", 0) == 0) {
            bytes = ReadFile(e.path());
            fs::remove(e.path());
        }
    return bytes;
}

struct Tally {
    int files = 0, opened = 0, encrypted = 0, refused = 0, saved = 0, reopened = 0;
    int qpdf_clean = 0, qpdf_no_worse = 0, pages_compared = 0, pages_same = 0, rendered = 0, pixels_same = 0;
    int linearized = 0, linearized_clean = 0;
};

}  // namespace

TEST(SaveRoundTrip, SharedFilesSurviveASave)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared folder";
    std::vector<fs::path> files;
    for (const char* sub : {"robust", "corpus"})
        for (const auto& e : fs::recursive_directory_iterator(*shared / sub))
            if (e.is_regular_file() && e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    const bool all = EnvSet("QVX_ROUNDTRIP_ALL", "1");
    const bool oracles = !EnvSet("QVX_ROUNDTRIP_ORACLES", "0");
    const auto exceptions = Exceptions();
    qvx::Test::TempDir dir;
    const fs::path out = dir.Path() / "out.pdf";

    Tally t;
    std::vector<std::string> failures;
    std::size_t used_exceptions = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!all && i % 10 != 0) continue;
        const fs::path& in = files[i];
        const std::string name = in.filename().string();
        auto fail = [&](const std::string& check, const std::string& what) {
            if (exceptions.count(name + "\t" + check)) ++used_exceptions;
            else failures.push_back(name + " [" + check + "]: " + what);
        };
        ++t.files;
        std::uint32_t flags = SDF::SDFDoc::e_prune_unused | (t.files % 2 ? 0u : std::uint32_t{SDF::SDFDoc::e_classic_xref});
        bool repaired = false;
        {
            SDF::SDFDoc doc;
            try {
                doc.OpenFile(in.string());
            } catch (const Common::Exception&) {
                continue;
            }
            ++t.opened;
            repaired = doc.HasRepairedXRef();
            // Until the document has its security handler its strings and streams stay encrypted.
            if (doc.GetTrailer()->FindObj("Encrypt") && !doc.GetSecurityHandler()) {
                ++t.encrypted;
                continue;
            }
            try {
                doc.SaveToPath(out.string(), flags);
            } catch (const Common::Exception& e) {
                const std::string& m = e.GetMessage();
                // The documented refusals: an object the table names that cannot be read, and
                // object streams for a document without a catalog.
                if (m.find("Error loading the object. ") != std::string::npos ||
                    m.find("Error loading compressed object stream. ") != std::string::npos ||
                    m.find("The document does not contain the Root entry.") != std::string::npos) {
                    ++t.refused;
                } else {
                    fail("save", m);
                }
                continue;
            }
            ++t.saved;
        }
        SDF::SDFDoc again;
        try {
            again.OpenFile(out.string());
            // A document whose structure fails the open checks (no page tree) is rebuilt again.
            if (again.HasRepairedXRef() && !repaired) fail("reopen", "the saved copy needed a repair");
            else ++t.reopened;
        } catch (const Common::Exception& e) {
            fail("reopen", e.GetMessage());
        }
        if (!oracles) continue;

        int before = QpdfRank(in), after = QpdfRank(out);
        t.qpdf_clean += after == 0;
        if (after <= before) ++t.qpdf_no_worse;
        else fail("qpdf", "qpdf --check worse than on the original");
        std::string pages_in = Pages(in), pages_out = Pages(out);
        if (!pages_in.empty() && std::isdigit(static_cast<unsigned char>(pages_in[0]))) {
            ++t.pages_compared;
            if (pages_in == pages_out) ++t.pages_same;
            else fail("pages", "qpdf counts " + pages_in.substr(0, pages_in.size() - 1) + " pages before, " + pages_out + " after");
        }
        std::string a = Render(in, dir.Path(), "a");
        if (!a.empty()) {
            ++t.rendered;
            if (a == Render(out, dir.Path(), "b")) ++t.pixels_same;
            else fail("pixels", "page 1 renders differently");
        }
        if (i % 8 == 0) {
            SDF::SDFDoc doc;
            doc.OpenFile(in.string());
            try {
                doc.SaveToPath(out.string(), SDF::SDFDoc::e_linearize);
                ++t.linearized;
                qvx::Test::RunResult r = qvx::Test::Run({"/usr/bin/qpdf", "--check-linearization", out.string()});
                int rank = r.status == 0 ? 0 : r.status == 3 ? 1 : 2;
                t.linearized_clean += rank == 0;
                // Damage qpdf sees in the original (a broken page tree, a NUL in a name)
                // it sees in the copy too.
                if (rank > before) fail("linearized", r.output.substr(0, 300));
            } catch (const Common::Exception& e) {
                fail("linearized", e.GetMessage());
            }
        }
    }
    std::printf("files %d: opened %d, encrypted (no security handler yet) %d, refused (unreadable object, no catalog) %d, "
                "saved %d, reopened without repair %d\n",
                t.files, t.opened, t.encrypted, t.refused, t.saved, t.reopened);
    if (oracles)
        std::printf("qpdf --check clean %d, no worse than the original %d; pages compared %d, same %d; "
                    "page 1 rendered %d, pixel-identical %d; linearized %d, clean %d; listed exceptions met %zu\n",
                    t.qpdf_clean, t.qpdf_no_worse, t.pages_compared, t.pages_same, t.rendered, t.pixels_same,
                    t.linearized, t.linearized_clean, used_exceptions);
    for (const auto& f : failures) ADD_FAILURE() << f;
}
