#include "apps/tolva/BatchRunCapture.h"

#include <bit>
#include <utility>

#include "apps/tolva/BatchRunWire.h"
#include "apps/tolva/Report.h"
#include "common/Exception.h"

namespace qvx::Tolva {

namespace {

// Report text travels as records of channel 0, finished files of channel 16, log messages
// under their kind (1 to 4).
constexpr char kReportChannel = 0;
constexpr char kFileChannel = 16;

void AppendText(std::string& out, std::string_view text)
{
    AppendNumber(out, text.size(), 4);
    out += text;
}

void AppendUString(std::string& out, const Common::UString& text)
{
    AppendNumber(out, text.Units().size(), 4);
    for (char16_t c : text.Units()) AppendNumber(out, c, 2);
}

void AppendFindings(std::string& out, const std::vector<Finding>& findings)
{
    AppendNumber(out, findings.size(), 4);
    for (const Finding& f : findings) {
        AppendNumber(out, static_cast<std::uint32_t>(f.code), 4);
        AppendNumber(out, f.objects.size(), 4);
        for (std::uint32_t o : f.objects) AppendNumber(out, o, 4);
    }
}

void AppendLook(std::string& out, const std::optional<Render::LookResult>& look)
{
    AppendNumber(out, look ? 1 : 0, 1);
    if (!look) return;
    AppendNumber(out, look->compared, 4);
    AppendNumber(out, look->drawn, 4);
    AppendNumber(out, look->undrawn, 4);
    AppendNumber(out, look->changed.size(), 4);
    for (const Render::PageLook& p : look->changed) {
        AppendNumber(out, p.page, 4);
        AppendNumber(out, std::bit_cast<std::uint64_t>(p.psnr), 8);
    }
}

std::string EncodeFile(const FileResult& r)
{
    std::string out;
    AppendUString(out, r.name);
    AppendUString(out, r.path);
    AppendNumber(out, static_cast<std::uint32_t>(r.level), 4);
    AppendNumber(out, static_cast<std::uint8_t>(r.verdict), 1);
    AppendFindings(out, r.findings);
    AppendText(out, r.error);
    AppendNumber(out, r.conversion ? 1 : 0, 1);
    if (const auto& c = r.conversion) {
        AppendText(out, c->output);
        AppendUString(out, c->name);
        AppendNumber(out, c->revalidated ? 1 : 0, 1);
        AppendNumber(out, static_cast<std::uint8_t>(c->verdict), 1);
        AppendFindings(out, c->findings);
        AppendText(out, c->error);
        AppendLook(out, c->look);
    }
    return out;
}

// A count of items of at least `size` bytes each, checked against what is left.
std::size_t Count(WireReader& in, std::size_t size)
{
    std::uint64_t n = in.Number(4);
    QVX_CHECK(n <= in.Remaining() / size, "A worker's result counts more items than it holds");
    return static_cast<std::size_t>(n);
}

Common::UString ReadUString(WireReader& in)
{
    std::u16string units(Count(in, 2), u'\0');
    for (char16_t& c : units) c = static_cast<char16_t>(in.Number(2));
    return Common::UString(std::move(units));
}

std::string ReadText(WireReader& in) { return std::string(in.Bytes(in.Number(4))); }

Verdict ReadVerdict(WireReader& in)
{
    std::uint64_t v = in.Number(1);
    QVX_CHECK(v <= static_cast<std::uint64_t>(Verdict::e_NoClaim), "A worker's result has an unknown verdict");
    return static_cast<Verdict>(v);
}

std::vector<Finding> ReadFindings(WireReader& in)
{
    std::vector<Finding> findings(Count(in, 8));
    for (Finding& f : findings) {
        f.code = static_cast<std::int32_t>(in.Number(4));
        f.objects.resize(Count(in, 4));
        for (std::uint32_t& o : f.objects) o = static_cast<std::uint32_t>(in.Number(4));
    }
    return findings;
}

std::optional<Render::LookResult> ReadLook(WireReader& in)
{
    if (!in.Number(1)) return std::nullopt;
    Render::LookResult look;
    look.compared = static_cast<std::uint32_t>(in.Number(4));
    look.drawn = static_cast<std::uint32_t>(in.Number(4));
    look.undrawn = static_cast<std::uint32_t>(in.Number(4));
    look.changed.resize(Count(in, 12));
    for (Render::PageLook& p : look.changed) {
        p.page = static_cast<std::uint32_t>(in.Number(4));
        p.psnr = std::bit_cast<double>(in.Number(8));
    }
    return look;
}

FileResult DecodeFile(std::string_view bytes)
{
    WireReader in(bytes);
    FileResult r;
    r.name = ReadUString(in);
    r.path = ReadUString(in);
    r.level = static_cast<std::int32_t>(in.Number(4));
    r.verdict = ReadVerdict(in);
    r.findings = ReadFindings(in);
    r.error = ReadText(in);
    if (in.Number(1)) {
        ConversionResult& c = r.conversion.emplace();
        c.output = ReadText(in);
        c.name = ReadUString(in);
        c.revalidated = in.Number(1) != 0;
        c.verdict = ReadVerdict(in);
        c.findings = ReadFindings(in);
        c.error = ReadText(in);
        c.look = ReadLook(in);
    }
    QVX_CHECK(in.Remaining() == 0, "A worker's file result has bytes left over");
    return r;
}

}  // namespace

OutputCapture::OutputCapture(ToolSettings& settings)
    : m_settings(settings), m_log(settings.log), mp_log_user(settings.logUser),
      mp_report_buf(static_cast<std::ostream&>(settings.report).rdbuf(&m_report))
{
    settings.log = &OutputCapture::Sink;
    settings.logUser = this;
    settings.mp_capture = this;
}

OutputCapture::~OutputCapture()
{
    static_cast<std::ostream&>(m_settings.report).rdbuf(mp_report_buf);
    m_settings.report.clear();
    m_settings.log = m_log;
    m_settings.logUser = mp_log_user;
    m_settings.mp_capture = nullptr;
}

void OutputCapture::Sink(int kind, const char* text, void* user)
{
    auto* self = static_cast<OutputCapture*>(user);
    self->FlushReport();
    AppendRecord(self->m_records, static_cast<char>(kind), text ? std::string_view(text) : std::string_view());
}

void OutputCapture::FlushReport()
{
    std::string text = m_report.str();
    if (text.empty()) return;
    AppendRecord(m_records, kReportChannel, text);
    m_report.str({});
}

void OutputCapture::AddFile(const FileResult& result)
{
    FlushReport();
    AppendRecord(m_records, kFileChannel, EncodeFile(result));
}

std::string OutputCapture::Take()
{
    FlushReport();
    return std::exchange(m_records, {});
}

void ReplayRecords(std::string_view records, LogSink log, void* log_user, ToolSettings& settings)
{
    char channel = 0;
    std::string_view text;
    while (NextRecord(records, channel, text)) {
        if (channel == kReportChannel) settings.report << text;
        else if (channel == kFileChannel) FinishFile(DecodeFile(text), settings);
        else if (log) log(channel, std::string(text).c_str(), log_user);
    }
}

}  // namespace qvx::Tolva
