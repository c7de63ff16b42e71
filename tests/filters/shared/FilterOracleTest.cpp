// Every filtered stream of the shared corpora, decoded by the engine and by an oracle:
// the Flate, LZW, ASCII85, ASCIIHex and RunLength chains (with predictors) against qpdf's
// decoded stream data, and every JBIG2Decode stream against jbig2dec. Streams qpdf cannot
// decode are left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "common/Exception.h"
#include "filters/DecodeFilterFactory.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "tests/filters/JBIG2TestSupport.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;
using namespace qvx;

namespace {

struct Stage {
    std::string name;
    Filters::DecodeParams params;
};

struct Stream {
    std::string where;  // file and object, for messages
    std::vector<Stage> stages;
    Common::Bytes raw;
    std::optional<Common::Bytes> qpdf;  // qpdf's decoded data, when it could decode
};

Common::Bytes Slurp(const fs::path& p)
{
    std::string s = Test::ReadFile(p);
    return Common::Bytes(s.begin(), s.end());
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, sep);) out.push_back(item);
    return out;
}

Stage ParseStage(const std::string& text, const fs::path& dir, const std::string& image)
{
    Stage st;
    auto items = Split(text, ',');
    st.name = items.empty() ? "" : items[0];
    Filters::DecodeParams& p = st.params;
    auto apply = [&](const std::string& kv) {
        auto eq = kv.find('=');
        if (eq == std::string::npos) return;
        const std::string k = kv.substr(0, eq), v = kv.substr(eq + 1);
        const long n = v == "true" ? 1 : v == "false" ? 0 : std::atol(v.c_str());
        if (k == "Predictor") p.predictor = int(n);
        else if (k == "Columns") p.columns = int(n);
        else if (k == "Colors") p.colors = int(n);
        else if (k == "BitsPerComponent") p.bits_per_component = int(n);
        else if (k == "EarlyChange") p.early_change = int(n);
        else if (k == "ColorTransform") p.color_transform = int(n);
        else if (k == "K") p.k = int(n);
        else if (k == "EndOfLine") p.end_of_line = n;
        else if (k == "EncodedByteAlign") p.encoded_byte_align = n;
        else if (k == "Rows") p.rows = int(n);
        else if (k == "EndOfBlock") p.end_of_block = n;
        else if (k == "BlackIs1") p.black_is_1 = n;
        else if (k == "DamagedRowsBeforeError") p.damaged_rows_before_error = int(n);
        else if (k == "globals") p.jbig2_globals = Slurp(dir / v);
        else if (k == "width") p.width = std::uint32_t(n);
        else if (k == "height") p.height = std::uint32_t(n);
        else if (k == "bpc") p.image_bits_per_component = int(n);
    };
    for (std::size_t i = 1; i < items.size(); ++i) apply(items[i]);
    for (const auto& kv : Split(image, ',')) apply(kv);
    return st;
}

// Extracts the streams of every PDF of the shared corpora once, into a folder that lives
// as long as the test program.
const fs::path& Extracted()
{
    static qvx::Test::TempDir dir;
    static const bool done = [] {
        std::vector<std::string> argv = {"/usr/bin/python3",
                                         (qvx::Test::SourceDir() / "tests/filters/shared/extract_streams.py").string(),
                                         dir.Path().string()};
        std::vector<std::string> pdfs;
        for (const char* sub : {"corpus", "robust"}) {
            std::error_code ec;
            for (const auto& e : fs::recursive_directory_iterator(*qvx::Test::SharedDir() / sub, ec))
                if (e.is_regular_file() && e.path().extension() == ".pdf") pdfs.push_back(e.path().string());
        }
        std::sort(pdfs.begin(), pdfs.end());
        argv.insert(argv.end(), pdfs.begin(), pdfs.end());
        return qvx::Test::Run(argv, {}, 3000).status == 0;
    }();
    EXPECT_TRUE(done) << "extract_streams.py failed";
    return dir.Path();
}

// Calls fn for every stream with filters, one at a time.
void ForEachStream(const std::function<void(const Stream&)>& fn)
{
    const fs::path& root = Extracted();
    for (std::size_t k = 0;; ++k) {
        const fs::path dir = root / std::to_string(k);
        if (!fs::exists(dir)) break;
        const std::string pdf = fs::path(qvx::Test::ReadFile(dir / "source.txt")).filename().string();
        std::ifstream index(dir / "index.txt");
        for (std::string line; std::getline(index, line);) {
            auto cols = Split(line, '\t');
            if (cols.size() < 2) continue;
            Stream s;
            s.where = pdf + " object " + cols[0];
            for (const auto& st : Split(cols[1], '|')) s.stages.push_back(ParseStage(st, dir, cols.size() > 2 ? cols[2] : ""));
            s.raw = Slurp(dir / (cols[0] + ".raw"));
            if (fs::exists(dir / (cols[0] + ".qpdf"))) s.qpdf = Slurp(dir / (cols[0] + ".qpdf"));
            fn(s);
        }
    }
}

bool GeneralPurpose(const std::string& name)
{
    static const std::set<std::string> kNames = {"FlateDecode",    "Fl", "LZWDecode",       "LZW", "ASCII85Decode", "A85",
                                                 "ASCIIHexDecode", "AHx", "RunLengthDecode", "RL"};
    return kNames.count(name) > 0;
}

// Runs the stages [0, count) over data.
Common::Bytes Decode(const Common::Bytes& data, const std::vector<Stage>& stages, std::size_t count)
{
    std::unique_ptr<Filters::Filter> f = std::make_unique<Filters::MemoryFilter>(data);
    for (std::size_t i = 0; i < count; ++i) {
        Filters::DecodeParams p = stages[i].params;
        p.raw_length = data.size();
        f = Filters::CreateDecodeFilter(stages[i].name, p, std::move(f));
    }
    return Filters::FilterReader(*f).ReadAll();
}

// Files whose streams are known to decode differently from the oracle, one file name a
// line with the reason after it; a difference anywhere else fails the test.
std::set<std::string> KnownDifferences()
{
    std::set<std::string> names;
    std::ifstream in(qvx::Test::SourceDir() / "tests/filters/shared/oracle-known-differences.txt");
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') names.insert(line.substr(0, line.find_first_of(" \t")));
    return names;
}

bool IsKnownDifference(const std::string& where)
{
    static const std::set<std::string> known = KnownDifferences();
    return known.count(where.substr(0, where.find(" object "))) != 0;
}

}  // namespace

TEST(FilterOracle, GeneralPurposeChainsMatchQpdf)
{
    if (!qvx::Test::SharedDir()) GTEST_SKIP() << "no shared folder";
    std::size_t compared = 0, agreed = 0, undecodable = 0;
    ForEachStream([&](const Stream& s) {
        if (!std::all_of(s.stages.begin(), s.stages.end(), [](const Stage& st) { return GeneralPurpose(st.name); }))
            return;
        if (!s.qpdf) {
            ++undecodable;
            return;
        }
        ++compared;
        Common::Bytes ours;
        try {
            ours = Decode(s.raw, s.stages, s.stages.size());
        } catch (const Common::Exception& e) {
            ADD_FAILURE() << s.where << ": " << e.what();
            return;
        }
        if (ours == *s.qpdf)
            ++agreed;
        else if (!IsKnownDifference(s.where))
            ADD_FAILURE() << s.where << ": " << ours.size() << " bytes, qpdf " << s.qpdf->size();
    });
    std::printf("general-purpose filter chains: %zu of %zu agree with qpdf (%zu qpdf could not decode)\n", agreed,
                compared, undecodable);
    EXPECT_GT(compared, 0u);
}

TEST(FilterOracle, JBIG2StreamsMatchJbig2dec)
{
    if (!qvx::Test::SharedDir()) GTEST_SKIP() << "no shared folder";
    std::size_t found = 0, agreed = 0;
    ForEachStream([&](const Stream& s) {
        auto it = std::find_if(s.stages.begin(), s.stages.end(), [](const Stage& st) { return st.name == "JBIG2Decode"; });
        if (it == s.stages.end()) return;
        ++found;
        const std::size_t before = std::size_t(it - s.stages.begin());
        const Common::Bytes page = before ? Decode(s.raw, s.stages, before) : s.raw;
        auto theirs = qvx::Test::JBIG2::OracleDecode(page, it->params.jbig2_globals);
        if (!theirs) {
            ADD_FAILURE() << s.where << ": jbig2dec cannot decode it";
            return;
        }
        const auto ours = qvx::Test::JBIG2::EngineDecode(page, it->params.jbig2_globals);
        const std::string diff = qvx::Test::JBIG2::Difference(ours, *theirs);
        if (diff.empty())
            ++agreed;
        else if (!IsKnownDifference(s.where))
            ADD_FAILURE() << s.where << ": " << diff;
    });
    std::printf("JBIG2Decode streams: %zu of %zu agree with jbig2dec\n", agreed, found);
    if (found == 0) GTEST_SKIP() << "the shared corpora hold no JBIG2Decode stream";
}
