#include "apps/tolva/BatchRunCapture.h"

#include <utility>

#include "apps/tolva/BatchRunWire.h"

namespace qvx::Tolva {

namespace {

// Report text travels as records of this channel, log messages under their kind.
constexpr char kReportChannel = 0;

}  // namespace

OutputCapture::OutputCapture(ToolSettings& settings)
    : m_settings(settings), m_log(settings.log), mp_log_user(settings.logUser),
      mp_report_buf(static_cast<std::ostream&>(settings.report).rdbuf(&m_report))
{
    settings.log = &OutputCapture::Sink;
    settings.logUser = this;
}

OutputCapture::~OutputCapture()
{
    static_cast<std::ostream&>(m_settings.report).rdbuf(mp_report_buf);
    m_settings.report.clear();
    m_settings.log = m_log;
    m_settings.logUser = mp_log_user;
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

std::string OutputCapture::Take()
{
    FlushReport();
    return std::exchange(m_records, {});
}

void ReplayRecords(std::string_view records, LogSink log, void* log_user, std::ostream& report)
{
    char channel = 0;
    std::string_view text;
    while (NextRecord(records, channel, text)) {
        if (channel == kReportChannel) report << text;
        else if (log) log(channel, std::string(text).c_str(), log_user);
    }
}

}  // namespace qvx::Tolva
