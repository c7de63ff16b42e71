#pragma once
// Keeps libjpeg's error handling inside the library's own frames. libjpeg reports a fatal
// error by calling error_exit, whose default ends the process; here it longjmps back to
// Run, which only ever has plain C frames and trivially destructible lambdas between its
// setjmp and the library, so no C++ destructor is skipped. C++ exceptions raised by our
// source and destination callbacks are parked by Call and rethrown by the caller after
// Run returns, since they must not unwind through the library's C frames either.
//
// Internal to the JPEG filters; include only from their .cpp files.

#include <csetjmp>
#include <cstdio>
#include <exception>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

namespace qvx::Filters {

class JpegGuard {
public:
    // Installs the quiet error manager on a compress or decompress object, before create.
    void Install(j_common_ptr cinfo);

    // Runs f; false when the library failed or a callback parked an exception.
    template <class F>
    bool Run(F&& f)
    {
        if (setjmp(m_jmp) != 0) return false;
        f();
        return true;
    }

    // For callbacks: runs f; an exception it throws is parked and the library is left
    // through Run once the handler has finished.
    template <class F>
    void Call(F&& f)
    {
        bool failed = false;
        try {
            f();
        } catch (...) {
            m_parked = std::current_exception();
            failed = true;
        }
        if (failed) Leave();
    }
    // From a callback: fails with our own message and leaves through Run.
    [[noreturn]] void Fail(const char* message);

    // Rethrows a parked exception, if any.
    void RethrowParked();
    // The library's (or Fail's) message of the last failure.
    const std::string& Message() const { return m_message; }
    long Warnings() const { return m_mgr.num_warnings; }

    static JpegGuard& Of(j_common_ptr cinfo) { return *static_cast<JpegGuard*>(cinfo->client_data); }

private:
    static void ErrorExit(j_common_ptr cinfo);
    static void EmitMessage(j_common_ptr cinfo, int level);
    static void OutputMessage(j_common_ptr) {}
    [[noreturn]] void Leave();

    jpeg_error_mgr m_mgr{};
    std::jmp_buf m_jmp{};
    std::exception_ptr m_parked;
    std::string m_message;
};

}  // namespace qvx::Filters
