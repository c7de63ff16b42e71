#include "filters/JpegGuard.h"

namespace qvx::Filters {

void JpegGuard::Install(j_common_ptr cinfo)
{
    cinfo->err = jpeg_std_error(&m_mgr);
    m_mgr.error_exit = &JpegGuard::ErrorExit;
    m_mgr.emit_message = &JpegGuard::EmitMessage;
    m_mgr.output_message = &JpegGuard::OutputMessage;
    cinfo->client_data = this;
}

void JpegGuard::ErrorExit(j_common_ptr cinfo)
{
    JpegGuard& g = Of(cinfo);
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    g.m_message = text;
    std::longjmp(g.m_jmp, 1);
}

// Warnings (corrupt entropy data, premature end) are counted, never printed: the library
// goes on with what it can decode.
void JpegGuard::EmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) ++cinfo->err->num_warnings;
}

void JpegGuard::Leave()
{
    m_message = "exception in a JPEG data callback";
    std::longjmp(m_jmp, 1);
}

void JpegGuard::Fail(const char* message)
{
    m_message = message;
    std::longjmp(m_jmp, 1);
}

void JpegGuard::RethrowParked()
{
    if (m_parked) {
        std::exception_ptr e = std::move(m_parked);
        m_parked = nullptr;
        std::rethrow_exception(e);
    }
}

}  // namespace qvx::Filters
