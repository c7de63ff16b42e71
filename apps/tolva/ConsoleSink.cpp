#include <iostream>

#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

namespace {

void WriteConsole(std::ostream& out, int kind, const char* text, void* user)
{
    switch (kind) {
    case e_LogError:
        out << "Error: ";
        if (!text) {
            out.setstate(std::ios::badbit);
            return;
        }
        out << text << std::endl;
        break;
    case e_LogInfo:
        if (!text) {
            out.setstate(std::ios::badbit);
            return;
        }
        out << text;
        break;
    case e_LogReadLine: {
        std::string line;
        std::getline(std::cin, line);
        if (user) *static_cast<std::string*>(user) = std::move(line);
        break;
    }
    default:
        break;
    }
}

}  // namespace

void ConsoleSink(int kind, const char* text, void* user) { WriteConsole(std::cout, kind, text, user); }

void ConsoleErrorSink(int kind, const char* text, void* user) { WriteConsole(std::cerr, kind, text, user); }

void Log(const ToolSettings& settings, int kind, const std::string& text)
{
    if (settings.log) settings.log(kind, text.c_str(), settings.logUser);
}

}  // namespace qvx::Tolva
