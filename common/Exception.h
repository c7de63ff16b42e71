#pragma once
// The engine's one exception type. Every failure inside the engine is thrown as a
// Common::Exception through QVX_THROW / QVX_CHECK, which record the source location.

#include <exception>
#include <string>

namespace qvx::Common {

class Exception : public std::exception {
public:
    Exception(std::string message, std::string condition, const char* file,
              std::string function, long line);

    const std::string& GetMessage() const { return m_message; }
    const std::string& GetCondition() const { return m_condition; }
    // The source file name after the last slash or backslash.
    const std::string& GetFileName() const { return m_file; }
    const std::string& GetFunction() const { return m_function; }
    long GetLineNumber() const { return m_line; }

    // "Exception: " followed by the labelled lines (message, condition, version,
    // platform, architecture, file, function, line).
    std::string GetFullText() const;
    // The message alone.
    const char* what() const noexcept override { return m_message.c_str(); }

    static const char* EngineVersion();

private:
    std::string m_message;
    std::string m_condition;
    std::string m_file;
    std::string m_function;
    long m_line;
};

}  // namespace qvx::Common

// Throws with an explicit condition text; the function is the enclosing one.
#define QVX_THROW(condition, message) \
    throw ::qvx::Common::Exception((message), (condition), __FILE__, __func__, __LINE__)

// Throws with an explicit function name (for messages whose reported function is fixed).
#define QVX_THROW_IN(condition, function, message) \
    throw ::qvx::Common::Exception((message), (condition), __FILE__, (function), __LINE__)

// Throws when expr is false; the condition text is the expression itself.
#define QVX_CHECK(expr, message)                                                   \
    do {                                                                           \
        if (!(expr)) {                                                             \
            throw ::qvx::Common::Exception((message), #expr, __FILE__, __func__,   \
                                           __LINE__);                              \
        }                                                                          \
    } while (0)
