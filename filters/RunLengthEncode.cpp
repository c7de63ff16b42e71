#include "filters/RunLengthEncode.h"

namespace qvx::Filters {

RunLengthEncode::RunLengthEncode(std::unique_ptr<Filter> out) : BufFilter(e_output, std::move(out)) {}

void RunLengthEncode::FlushLiteral()
{
    if (m_literal.empty()) return;
    m_out.push_back(static_cast<Byte>(m_literal.size() - 1));
    m_out.insert(m_out.end(), m_literal.begin(), m_literal.end());
    m_literal.clear();
}

void RunLengthEncode::EndRun()
{
    // A single byte joins the literal; longer runs are written as repeats.
    if (m_run == 1) {
        m_literal.push_back(static_cast<Byte>(m_run_byte));
        if (m_literal.size() == 128) FlushLiteral();
    } else if (m_run > 1) {
        FlushLiteral();
        m_out.push_back(static_cast<Byte>(257 - m_run));
        m_out.push_back(static_cast<Byte>(m_run_byte));
    }
    m_run = 0;
}

void RunLengthEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    m_out.clear();
    for (std::size_t i = 0; i < size; ++i) {
        int c = data[i];
        if (c == m_run_byte && m_run < 128) {
            ++m_run;
            continue;
        }
        EndRun();
        m_run_byte = c;
        m_run = 1;
    }
    if (final) {
        EndRun();
        FlushLiteral();
        m_run_byte = -1;
        m_out.push_back(128);
    }
    WriteOutput(m_out.data(), m_out.size());
}

}  // namespace qvx::Filters
