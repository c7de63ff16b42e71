#include "common/Exception.h"

#include <sys/utsname.h>

namespace qvx::Common {

namespace {

std::string BaseName(const char* path)
{
    std::string s = path ? path : "";
    auto pos = s.find_last_of("/\\");
    return pos == std::string::npos ? s : s.substr(pos + 1);
}

std::string Architecture()
{
    struct utsname u {};
    if (uname(&u) == 0) return u.machine;
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__i386__)
    return "i386";
#else
    return "unknown";
#endif
}

}  // namespace

Exception::Exception(std::string message, std::string condition, const char* file,
                     std::string function, long line)
    : m_message(std::move(message)),
      m_condition(std::move(condition)),
      m_file(BaseName(file)),
      m_function(std::move(function)),
      m_line(line)
{
}

const char* Exception::EngineVersion() { return "10.8.0-842bd75"; }

std::string Exception::GetFullText() const
{
    std::string s = "Exception: ";
    s += "\n\t Message: " + m_message;
    s += "\n\t Conditional expression: " + m_condition;
    s += "\n\t Version      : ";
    s += EngineVersion();
    s += "\n\t Platform     : Linux";
    s += "\n\t Architecture : " + Architecture();
    s += "\n\t Filename     : " + m_file;
    s += "\n\t Function     : " + m_function;
    s += "\n\t Linenumber   : " + std::to_string(m_line);
    return s;
}

}  // namespace qvx::Common
